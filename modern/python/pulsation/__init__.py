"""pulsation: the frequency analysis of prewhiten on NumPy arrays.

The functions run the program's own code (its reader, its options, its
spectrum and extraction, its writers), so their numbers equal the program's
files to the last bit.  Options take the program's names in snake_case
(``max_frequencies=50`` for ``--max-frequencies 50``); ``options_help()``
lists them.  Bad options and bad input raise ValueError with the program's
message.  The work runs without the interpreter's lock, on the program's
threads (``threads=N``; the results never depend on it); Ctrl-C stops an
extraction after the frequency in hand.
"""

import csv

import numpy as np

from . import _pulsation
from ._inputs import light_curve_arrays, option_words, times_of

__version__ = _pulsation.version
__all__ = ["read", "amplitude_spectrum", "prewhiten", "track", "options_help", "LightCurve", "Prewhitening"]


def options_help():
    """The program's --help text: every option, its default and its meaning."""
    return _pulsation.options_help()


def _frequencies(grid):
    fmin, step, count = grid
    return np.arange(count, dtype=np.float64) * step + fmin


class LightCurve:
    """A light curve as the program reads it: times (days), values in its
    unit ('ppt', 'mmag' or 'none'), errors (or None), and the rows dropped
    by reason (rows, time_not_finite, quality_flagged, value_not_finite,
    error_not_finite, masked).  It has .time, .flux and .flux_err, so it
    can be handed to prewhiten() as it is."""

    def __init__(self, times, values, errors, unit, dropped, files=()):
        self.times, self.values, self.errors = times, values, errors
        self.unit, self.dropped, self.files = unit, dropped, list(files)

    time = property(lambda self: self.times)
    flux = property(lambda self: self.values)
    flux_err = property(lambda self: self.errors)

    def __len__(self):
        return self.times.size

    def __repr__(self):
        return f"<LightCurve of {self.times.size} points, unit {self.unit}>"


def read(path, **options):
    """Reads a light curve as the program does (text or FITS; options time,
    value, error, quality_mask, unit, join).  Several paths are one star
    with join=True."""
    paths = [path] if isinstance(path, (str, bytes)) or not hasattr(path, "__iter__") else list(path)
    words = option_words(options) + ["--"] + [str(p) for p in paths]
    d = _pulsation.read(words)
    d["dropped"]["masked"] = 0
    return LightCurve(d["times"], d["values"], d["errors"], d["unit"], d["dropped"], d["files"])


def _analyse(t, y, dy, name, options):
    unit = getattr(t, "unit", "none") if isinstance(t, LightCurve) else "none"
    times, values, errors, masked = light_curve_arrays(t, y, dy)
    analysis, seconds = _pulsation.analyse(name, times, values, errors, unit, option_words(options))
    return analysis, masked, seconds


def amplitude_spectrum(t, y=None, fmin=None, fmax=None, step=None, oversample=10, method="nufft",
                       tolerance=1e-9, window=None, **options):
    """The amplitude spectrum on the program's grid (defaults 1/T, the
    Nyquist frequency of the median step, 1/(oversample T)).

    Returns (frequency, amplitude), and (frequency, amplitude, window) with
    window=F: the spectral window of a sinusoid at F c/d."""
    options = dict(options, fmin=fmin, fmax=fmax, step=step, method=method, tolerance=tolerance,
                   window=window, spectrum_only=True)
    if step is None:
        options["oversample"] = oversample
    analysis, _, _ = _analyse(t, y, None, _name_of(t, options.pop("name", None)), options)
    f = _frequencies(analysis.grid)
    if window is None:
        return f, analysis.amplitude
    return f, analysis.amplitude, analysis.window


# The columns of the program's tables that count or number things; every
# other column of numbers is float, even where all its values are whole.
_INTEGER_COLUMNS = ("id", "window", "n")


def _column(name, values):
    """A column of a CSV file: integers, floats, or text where not numbers."""
    try:
        return np.array([float(v) for v in values]).astype(int if name in _INTEGER_COLUMNS else float)
    except ValueError:
        return np.array(values, dtype=f"U{max([len(v) for v in values] + [1])}")


def _table(text):
    """The program's CSV table (comment line, header, rows) as a structured
    array with its columns; numbers read back to the same doubles."""
    lines = [line for line in text.splitlines() if line and not line.startswith("#")]
    if not lines:
        return np.empty(0)
    rows = list(csv.reader(lines))
    names, rows = rows[0], rows[1:]
    columns = [_column(name, [row[c] for row in rows]) for c, name in enumerate(names)]
    table = np.empty(len(rows), dtype=[(name, c.dtype) for name, c in zip(names, columns)])
    for name, c in zip(names, columns):
        table[name] = c
    return table


class Prewhitening:
    """The result of prewhiten(): the frequency table and everything the
    program's files hold.

    table               structured array with the columns of the program's
                        <stem>.frequencies.csv (errors from the covariance)
    times, values, errors   the light curve as analysed (its unit, time order)
    residuals           values minus the model, one per point
    baseline            the baseline at each point: each segment's own offset and
                        drift (--baseline), or the model's constant with baseline="none"
    frequency, amplitude, residual_amplitude   the spectra on the grid
    window              the spectral window (window=F), else None
    stop, stop_sentence, D, rms, t_ref, unit, dropped, settings, warning
    seconds             the time the analysis took (the program's code alone)
    """

    def __init__(self, analysis, name, stem, masked, options):
        self._analysis = analysis
        self.name, self.stem = name, stem
        curve = analysis.curve
        self.times, self.values, self.errors = curve["times"], curve["values"], curve["errors"]
        self.unit = curve["unit"]
        self.dropped = dict(curve["dropped"], masked=masked)
        self.dropped["rows"] += masked
        summary = analysis.summary
        self.table = _table(analysis.frequencies_csv)
        self.residuals = analysis.residuals
        self.baseline = analysis.baseline
        self.stop, self.stop_sentence = summary["stop"], summary["stop_sentence"]
        self.D, self.rms, self.t_ref = summary["D"], summary["rms"], summary["t_ref"]
        self.frequency = _frequencies(analysis.grid)
        self.amplitude = analysis.data_amplitude
        self.residual_amplitude = analysis.residual_amplitude
        self.window = analysis.window if options.get("window") is not None else None
        fmin, step, count = analysis.grid
        self.settings = dict(options, fmin=fmin, step=step, count=count, **dict(analysis.facts))
        self.warning = analysis.warning

    def __repr__(self):
        return (f"<Prewhitening of {self.name}: {len(self.table)} frequencies, stop {self.stop}, "
                f"D = {self.D:.3f}>")

    def model(self, t):
        """The fitted model plus the baseline of the segment holding each time
        (the nearest segment in a gap), sum A sin(2 pi (f (t - t_ref) + phase))
        + b_s(t), at the times t (days; any input light_curve_arrays takes)."""
        return self._analysis.model(times_of(t))

    def to_csv(self, folder=".", stem=None):
        """Writes the program's files of the star (all but the picture:
        frequencies.csv, frequencies.txt, residuals.dat, spectrum.csv and
        window.csv with window=F) into folder, named after stem (by default
        as the program names them: after the file read, else the star's
        name); each whole or absent.  Returns their paths."""
        return [str(p) for p in self._analysis.write_files(str(folder), stem or self.stem)]

    def plot(self, path):
        """Writes the program's picture of the star: PNG or PDF by the
        name's extension."""
        path = str(path)
        kind = path.rsplit(".", 1)[-1].lower() if "." in path else ""
        if kind not in ("png", "pdf"):
            raise ValueError(f"{path}: the picture is a .png or a .pdf file")
        self._analysis.write_picture(path, kind)

    def track(self, width=10.0, step=0.0, baseline="linear", weights=False, threads=1):
        """The frequencies of the table tracked through time: see track()."""
        return track(self, width=width, step=step, baseline=baseline, weights=weights, threads=threads)


def _name_of(t, name):
    """The star's name: given, or as the program names a star read from files."""
    if name is not None:
        return str(name)
    if isinstance(t, LightCurve) and t.files:
        more = len(t.files) - 1
        return t.files[0] + (f" + {more} more" if more else "")
    return "star"


def prewhiten(t, y=None, dy=None, *, name=None, **options):
    """The program's frequency extraction on a light curve.

    t, y, dy: times (days), values, errors (optional); or an object with
    .time, .flux and .flux_err (a lightkurve light curve, or read()'s) as t.
    name: what the tables and the picture call the star (by default the
    file's name for a light curve from read(), else "star").
    options: every option of the program by its name in snake_case (snr,
    box, max_frequencies, fap, weights, refine, unit, fmin, fmax, step,
    oversample, method, tolerance, threads, window, ...).
    """
    stem = _pulsation.stem_of(t.files[0]) if isinstance(t, LightCurve) and t.files else (name or "star")
    name = _name_of(t, name)
    analysis, masked, seconds = _analyse(t, y, dy, name, options)
    result = Prewhitening(analysis, name, stem, masked, options)
    result.seconds = seconds
    return result


def track(result, width=10.0, step=0.0, baseline="linear", weights=False, threads=1):
    """Tracks the frequencies of a prewhiten() result through time: each
    refitted in windows of `width` days every `step` days (0: width apart),
    at the table's frequencies and t_ref.

    Returns a dict of structured arrays with the columns of the tracking
    files: 'track' (a row per window and frequency), 'timedelay' (a row per
    window with a delay), 'modulation' (a row per frequency) and 'orbit'."""
    texts = result._analysis.track(float(width), float(step), str(baseline), bool(weights), int(threads))
    return {name: _table(text) for name, text in texts.items()}
