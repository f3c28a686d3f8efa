// _pulsation: the extension under the Python module `pulsation`.  Thin: it
// hands NumPy arrays to the program's own analysis (prewhiten/arrays.hpp)
// and to the tracking library, releases the interpreter while they work,
// and gives their results back as arrays that share the results' memory.
// The conversions of what users hold (dtypes, masked arrays, astropy
// objects) are the Python package's.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "extraction/libraries.hpp"
#include "extraction/model.hpp"
#include "lightcurve/lightcurve.hpp"
#include "prewhiten/arrays.hpp"
#include "tracking/files.hpp"
#include "tracking/track.hpp"

namespace py = pybind11;

namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::span<const double> span_of(const Doubles& a)
{
    if (a.ndim() != 1) throw std::invalid_argument("arrays must be one-dimensional");
    return {a.data(), static_cast<std::size_t>(a.size())};
}

// A Ctrl-C pressed while the analysis runs without the interpreter: the
// Python error is left set, and this unwinds the analysis to the binding.
struct Interrupted {};

// Checks the interpreter's signals after each frequency of an extraction.
void check_signals(const extraction::Progress&)
{
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw Interrupted{};
}

// A vector owned by `owner` as a NumPy array over the same memory, which
// keeps the owner alive.
py::array_t<double> view(const std::vector<double>& v, py::handle owner)
{
    return py::array_t<double>({static_cast<py::ssize_t>(v.size())}, {sizeof(double)}, v.data(), owner);
}

py::array_t<double> copy_of(const std::vector<double>& v)
{
    return py::array_t<double>(static_cast<py::ssize_t>(v.size()), v.data());
}

py::dict dropped_of(const lightcurve::LightCurve& curve)
{
    lightcurve::Dropped total;
    std::size_t rows = 0;
    for (const lightcurve::Source& s : curve.sources) {
        rows += s.rows;
        total.time_not_finite += s.dropped.time_not_finite;
        total.quality_flagged += s.dropped.quality_flagged;
        total.value_not_finite += s.dropped.value_not_finite;
        total.error_not_finite += s.dropped.error_not_finite;
    }
    py::dict d;
    d["rows"] = rows;
    d["time_not_finite"] = total.time_not_finite;
    d["quality_flagged"] = total.quality_flagged;
    d["value_not_finite"] = total.value_not_finite;
    d["error_not_finite"] = total.error_not_finite;
    return d;
}

py::dict curve_dict(const lightcurve::LightCurve& curve)
{
    py::dict d;
    d["times"] = copy_of(curve.times);
    d["values"] = copy_of(curve.values);
    d["errors"] = curve.has_errors ? py::object(copy_of(curve.errors)) : py::object(py::none());
    d["unit"] = lightcurve::unit_name(curve.unit);
    d["dropped"] = dropped_of(curve);
    py::list files;
    for (const lightcurve::Source& s : curve.sources) files.append(s.file);
    d["files"] = files;
    return d;
}

py::dict read_curve(const std::vector<std::string>& words)
{
    lightcurve::LightCurve curve;
    {
        py::gil_scoped_release released;
        curve = prewhiten::read_light_curve(words);
    }
    return curve_dict(curve);
}

// The analysis, and the seconds it took without the interpreter (what the
// binding adds is the rest of the call).
py::tuple analyse(const std::string& name, const Doubles& times, const Doubles& values,
                                                 const std::optional<Doubles>& errors, const std::string& unit,
                                                 const std::vector<std::string>& words)
{
    lightcurve::LightCurve curve = prewhiten::light_curve_of_arrays(
        name, span_of(times), span_of(values), errors ? span_of(*errors) : std::span<const double>{});
    for (lightcurve::Unit u : {lightcurve::Unit::none, lightcurve::Unit::flux, lightcurve::Unit::mag})
        if (unit == lightcurve::unit_name(u)) curve.unit = u;
    std::unique_ptr<prewhiten::StarAnalysis> analysis;
    const auto start = std::chrono::steady_clock::now();
    try {
        py::gil_scoped_release released;
        analysis = std::make_unique<prewhiten::StarAnalysis>(name, std::move(curve), words, check_signals);
    } catch (const Interrupted&) {
        throw py::error_already_set();
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    return py::make_tuple(std::move(analysis), seconds.count());
}

const extraction::Result& extraction_of(const prewhiten::StarAnalysis& a)
{
    if (!a.extraction()) throw std::invalid_argument("a spectrum-only run has no extraction");
    return *a.extraction();
}

// The model b_s(t) + sum A sin(2 pi (f (t - t_ref) + phase)) at the times,
// b_s the baseline of the segment holding t (the nearest one in a gap), by
// the extraction's own evaluation.
py::array_t<double> evaluate(const prewhiten::StarAnalysis& a, const Doubles& times)
{
    return copy_of(extraction::model_at(extraction_of(a), span_of(times)));
}

// The tracking of a star's frequencies: its four tables as the tracking
// files hold them (text), for the package to read.
py::dict track_frequencies(const prewhiten::StarAnalysis& a, double width, double step, const std::string& baseline,
               bool weights, int threads)
{
    const extraction::Result& r = extraction_of(a);
    const lightcurve::LightCurve& curve = a.curve();
    std::vector<tracking::TableFrequency> table;
    for (const extraction::Frequency& f : r.frequencies)
        table.push_back({f.id, f.value.frequency, f.value.amplitude});
    tracking::Settings settings;
    settings.width = width;
    settings.step = step;
    const char* baselines[] = {"none", "offset", "linear", "quadratic"};
    bool known = false;
    for (int b = 0; b < 4; ++b)
        if (baseline == baselines[b]) settings.baseline = static_cast<tracking::Baseline>(b), known = true;
    if (!known) throw std::invalid_argument("baseline: '" + baseline + "' is not one of none, offset, linear, quadratic");
    settings.weights = weights;
    // The bound of the program's --threads: a thread is started for each
    // window up to the number asked for.
    if (threads < 0 || threads > spectrum::max_threads)
        throw std::invalid_argument("threads: from 0 to " + std::to_string(spectrum::max_threads));
    settings.threads = threads;
    const tracking::FileContext context{lightcurve::unit_name(curve.unit), "extraction"};
    py::dict d;
    std::string texts[4];
    {
        py::gil_scoped_release released;
        const tracking::Result t = tracking::track(curve.times, curve.values,
                                                   weights ? std::span<const double>(curve.errors)
                                                           : std::span<const double>{},
                                                   table, r.t_ref, settings);
        texts[0] = tracking::track_csv(t, context);
        texts[1] = tracking::timedelay_csv(t, context);
        texts[2] = tracking::modulation_csv(t, context);
        texts[3] = tracking::orbit_csv(t, context);
    }
    d["track"] = texts[0];
    d["timedelay"] = texts[1];
    d["modulation"] = texts[2];
    d["orbit"] = texts[3];
    return d;
}

}  // namespace

PYBIND11_MODULE(_pulsation, m)
{
    m.doc() = "The analysis of prewhiten on arrays (the package pulsation is its interface)";
    extraction::configure_libraries();

    // The program's messages: bad options, bad input and stars that cannot
    // be analysed are ValueError; files that cannot be written, OSError.
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const prewhiten::UsageError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const lightcurve::Error& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const prewhiten::AnalysisError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });

    m.attr("version") = prewhiten::program_version_text();
    m.def("options_help", &prewhiten::options_help);
    m.def("stem_of", &prewhiten::stem_of_file, py::arg("file"));
    m.def("read", &read_curve, py::arg("words"));
    m.def("analyse", &analyse, py::arg("name"), py::arg("times"), py::arg("values"), py::arg("errors"),
          py::arg("unit"), py::arg("words"));

    py::class_<prewhiten::StarAnalysis>(m, "Analysis")
        .def_property_readonly("curve", [](const prewhiten::StarAnalysis& a) { return curve_dict(a.curve()); })
        .def_property_readonly("grid",
                               [](const prewhiten::StarAnalysis& a) {
                                   return py::make_tuple(a.grid().fmin, a.grid().step, a.grid().count);
                               })
        .def_property_readonly("amplitude", [](py::object self) {
            return view(self.cast<const prewhiten::StarAnalysis&>().amplitude(), self);
        })
        .def_property_readonly("window", [](py::object self) {
            return view(self.cast<const prewhiten::StarAnalysis&>().window(), self);
        })
        .def_property_readonly("extracted", [](const prewhiten::StarAnalysis& a) { return a.extraction() != nullptr; })
        .def_property_readonly("data_amplitude", [](py::object self) {
            return view(extraction_of(self.cast<const prewhiten::StarAnalysis&>()).data_amplitude, self);
        })
        .def_property_readonly("residual_amplitude", [](py::object self) {
            return view(extraction_of(self.cast<const prewhiten::StarAnalysis&>()).residual_amplitude, self);
        })
        .def_property_readonly("baseline", [](py::object self) {
            const extraction::Result& r = extraction_of(self.cast<const prewhiten::StarAnalysis&>());
            if (r.baseline.empty()) return copy_of(std::vector<double>(r.residuals.size(), r.model.constant));
            return view(r.baseline, self);
        })
        .def_property_readonly("residuals", [](py::object self) {
            return view(extraction_of(self.cast<const prewhiten::StarAnalysis&>()).residuals, self);
        })
        .def_property_readonly("frequencies_csv", &prewhiten::StarAnalysis::frequencies_csv)
        .def_property_readonly("summary",
                               [](const prewhiten::StarAnalysis& a) {
                                   const extraction::Result& r = extraction_of(a);
                                   py::dict d;
                                   d["n"] = r.n;
                                   d["span"] = r.span;
                                   d["t_ref"] = r.t_ref;
                                   d["D"] = r.D;
                                   d["rms"] = r.rms;
                                   d["constant"] = r.model.constant;
                                   d["stop"] = extraction::stop_name(r.stop);
                                   d["stop_sentence"] = a.stop_sentence();
                                   d["weighted"] = r.weighted;
                                   return d;
                               })
        .def_property_readonly("facts", &prewhiten::StarAnalysis::facts)
        .def_property_readonly("warning", &prewhiten::StarAnalysis::warning)
        .def("model", &evaluate, py::arg("times"))
        .def("track", &track_frequencies, py::arg("width"), py::arg("step"), py::arg("baseline"), py::arg("weights"),
             py::arg("threads"))
        .def("write_files", &prewhiten::StarAnalysis::write_files, py::arg("folder"), py::arg("stem"),
             py::call_guard<py::gil_scoped_release>())
        // The drawing library keeps one state for the process: pictures are
        // drawn holding the interpreter's lock, one at a time.
        .def("write_picture", &prewhiten::StarAnalysis::write_picture, py::arg("name"), py::arg("type"));
}
