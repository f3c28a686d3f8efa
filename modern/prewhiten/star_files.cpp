// The table of a star's files and their writers.
#include "star_files.hpp"

#include <algorithm>
#include <iterator>

#include "numerics/text.hpp"

namespace prewhiten {

namespace fs = std::filesystem;

namespace {

Facts curve_facts(const lightcurve::LightCurve& curve)
{
    return {{"N", std::to_string(curve.size())}, {"T", numerics::full_number(lightcurve::time_span(curve.times))}};
}

Facts joined(Facts a, const Facts& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void frequencies_csv(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_frequencies_csv(name, *r.extraction, r.context);
}

void frequencies_txt(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_frequencies_txt(name, *r.extraction, r.context);
}

void baselines(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_baselines_csv(name, *r.extraction, r.context);
}

void residuals(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_residuals(name, r.curve, *r.extraction, r.context);
}

// The data's spectrum, and after an extraction the final residuals'.
void spectrum(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    Facts facts = joined(curve_facts(r.curve), {{"unit", lightcurve::unit_name(r.curve.unit)}});
    if (!r.extraction) {
        write_spectrum_csv(name, joined(facts, r.method), r.grid, {{"amplitude", r.amplitude}}, r.threads);
        return;
    }
    facts.emplace_back("frequencies", std::to_string(r.extraction->frequencies.size()));
    write_spectrum_csv(name, joined(facts, r.method), r.grid,
                       {{"amplitude", r.extraction->data_amplitude},
                        {"residual_amplitude", r.extraction->residual_amplitude}},
                       r.threads);
}

void window(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    const Facts facts =
        joined(curve_facts(r.curve), {{"window_frequency", numerics::full_number(r.window_frequency.value_or(0))}});
    write_spectrum_csv(name, joined(facts, r.method), r.grid, {{"amplitude", r.window}}, r.threads);
}

void png(const fs::path& name, const StarResults& r, plotting::Plotter& plot)
{
    write_picture(name, PictureType::png, *r.picture, plot);
}

void pdf(const fs::path& name, const StarResults& r, plotting::Plotter& plot)
{
    write_picture(name, PictureType::pdf, *r.picture, plot);
}

// --- the files of a star's tracking ---------------------------------------

void write_text(const fs::path& name, const std::string& text)
{
    OutputFile file(name);
    file.write(text);
    file.commit();
}

void track_csv(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_text(name, tracking::track_csv(r.tracking->result, r.tracking->context));
}

void timedelay_csv(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_text(name, tracking::timedelay_csv(r.tracking->result, r.tracking->context));
}

void modulation_csv(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_text(name, tracking::modulation_csv(r.tracking->result, r.tracking->context));
}

void orbit_csv(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_text(name, tracking::orbit_csv(r.tracking->result, r.tracking->context));
}

void orbit_txt(const fs::path& name, const StarResults& r, plotting::Plotter&)
{
    write_text(name, orbit_text(*r.tracking));
}

void track_png(const fs::path& name, const StarResults& r, plotting::Plotter& plot)
{
    write_track_picture(name, PictureType::png, *r.tracking->picture, plot);
}

void track_pdf(const fs::path& name, const StarResults& r, plotting::Plotter& plot)
{
    write_track_picture(name, PictureType::pdf, *r.tracking->picture, plot);
}

const ResultFile files[] = {
    {".frequencies.csv",
     "id,frequency,frequency_err,amplitude,amplitude_err,\n"
     "phase,phase_err,snr,log10_fap,combination,\n"
     "combination_probability",
     Written::extraction, frequencies_csv},
    {".frequencies.txt", "the same table aligned, with the analytic errors too", Written::extraction,
     frequencies_txt},
    {".residuals.dat", "a header line, then time, residual (and error)", Written::extraction, residuals},
    {".baseline.csv",
     "segment,start,end,N,degree,centre,c0,c0_error,\n"
     "c1,c1_error,c2,c2_error: each segment's baseline",
     Written::baselines, baselines},
    {".spectrum.csv", "frequency,amplitude (and residual_amplitude) over the grid", Written::every_run, spectrum},
    {".window.csv", "frequency,amplitude of the spectral window (--window)", Written::window, window},
    {".png",
     "the picture: spectrum with the frequencies found and the\n"
     "S/N limit, residual spectrum, window, light curve and\n"
     "model (--plot pdf: <stem>.pdf; --plot none: no picture)",
     Written::png, png},
    {".pdf", "", Written::pdf, pdf},
    // --track: the first written is the star's table when it is the whole
    // run (--frequencies), so the windows' table comes first.
    {".track.csv",
     "--track: the amplitudes, phases and time delays of\n"
     "each frequency in each window",
     Written::tracking, track_csv},
    {".timedelay.csv", "each window's time delay (and the orbit's)", Written::tracking, timedelay_csv},
    {".modulation.csv", "each frequency's amplitude trend and frequency change", Written::tracking,
     modulation_csv},
    {".orbit.csv", "the orbit: period, a1 sin i / c, e, ... with errors", Written::tracking, orbit_csv},
    {".orbit.txt", "the orbit and the modulation aligned for reading", Written::tracking, orbit_txt},
    {".track.png",
     "amplitudes and phases in time, the delays and the\n"
     "orbit, their spectrum (--plot pdf: <stem>.track.pdf)",
     Written::track_png, track_png},
    {".track.pdf", "", Written::track_pdf, track_pdf},
};

// Where the name of a file ends and what it holds begins, in --help.
constexpr std::size_t holds_column = 26;

}  // namespace

std::span<const ResultFile> result_files() { return files; }

bool writes(const ResultFile& file, const Options& options)
{
    const bool extraction = extracts(options);
    switch (file.when) {
    case Written::extraction: return extraction;
    case Written::baselines: return extraction && options.baseline != extraction::Baseline::none;
    case Written::every_run: return computes_spectrum(options);
    case Written::window: return options.window.has_value() && computes_spectrum(options);
    case Written::png: return extraction && options.plot == PictureType::png;
    case Written::pdf: return extraction && options.plot == PictureType::pdf;
    case Written::tracking: return tracks(options);
    case Written::track_png: return tracks(options) && options.plot == PictureType::png;
    case Written::track_pdf: return tracks(options) && options.plot == PictureType::pdf;
    }
    return false;
}

bool needs_tracking(const ResultFile& file)
{
    return file.when == Written::tracking || file.when == Written::track_png || file.when == Written::track_pdf;
}

fs::path output_file(const Star& star, const Options& options, const ResultFile& file)
{
    return (fs::path(options.output_folder) / (star.stem + file.suffix)).lexically_normal();
}

std::vector<fs::path> output_files(const Star& star, const Options& options)
{
    std::vector<fs::path> paths;
    for (const ResultFile& file : result_files())
        if (writes(file, options)) paths.push_back(output_file(star, options, file));
    return paths;
}

std::string result_files_help()
{
    std::string text;
    for (const ResultFile& file : result_files()) {
        const std::string holds = file.holds;
        if (holds.empty()) continue;
        std::string name = "  <stem>" + std::string(file.suffix);
        name.resize(std::max(name.size() + 2, holds_column), ' ');
        std::size_t start = 0;
        for (bool first = true; start <= holds.size(); first = false) {
            const std::size_t end = std::min(holds.find('\n', start), holds.size());
            text += (first ? name : std::string(holds_column, ' ')) + holds.substr(start, end - start) + "\n";
            start = end + 1;
        }
    }
    return text;
}

std::vector<fs::path> write_star_files(const Star& star, const Options& options, const StarResults& results,
                                       plotting::Plotter& plot)
{
    std::vector<const ResultFile*> kinds;
    for (const ResultFile& file : result_files())
        if (writes(file, options) && (results.tracking || !needs_tracking(file))) kinds.push_back(&file);
    std::vector<fs::path> written;
    for (const ResultFile* file : kinds) written.push_back(output_file(star, options, *file));
    // The table last: with --resume its presence means the star is done.
    for (std::size_t i = 1; i < kinds.size(); ++i) kinds[i]->write(written[i], results, plot);
    if (!kinds.empty()) kinds.front()->write(written.front(), results, plot);
    return written;
}

}  // namespace prewhiten
