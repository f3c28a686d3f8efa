"""The module against the program: same files, same bits; inputs as users
hold them; bad input as ValueError with the program's message."""

import _thread
import filecmp
import threading

import numpy as np
import pytest

import pulsation


def csv_columns(path):
    """The columns of a program's CSV file by name (floats read back exactly)."""
    return np.genfromtxt(path, delimiter=",", names=True, skip_header=1, dtype=None, encoding="utf-8")


# --- the same numbers as the program -----------------------------------------


def test_files_equal_the_programs_byte_for_byte(examples, run_program, tmp_path):
    args = ["--unit", "mag", "--max-frequencies", "6", "--window", "7.2"]
    expected = run_program(examples / "star.dat", *args)
    result = pulsation.prewhiten(pulsation.read(examples / "star.dat", unit="mag"), max_frequencies=6, window=7.2)
    written = result.to_csv(tmp_path, "star")
    assert sorted(p.split("/")[-1] for p in written) == sorted(p.name for p in expected.iterdir())
    for path in expected.iterdir():
        assert filecmp.cmp(path, tmp_path / path.name, shallow=False), path.name


def test_arrays_give_the_programs_numbers_to_the_last_bit(examples, run_program):
    expected = run_program(examples / "star.dat", "--unit", "mag", "--max-frequencies", "6")
    t, y, dy = np.loadtxt(examples / "star.dat", skiprows=1, unpack=True)
    result = pulsation.prewhiten(t, y, dy, unit="mag", max_frequencies=6)
    table = csv_columns(expected / "star.frequencies.csv")
    for column in ("frequency", "frequency_err", "amplitude", "amplitude_err", "phase", "phase_err", "snr",
                   "log10_fap"):
        assert np.array_equal(result.table[column], table[column]), column
    spectrum = csv_columns(expected / "star.spectrum.csv")
    assert np.array_equal(result.frequency, spectrum["frequency"])
    assert np.array_equal(result.amplitude, spectrum["amplitude"])
    assert np.array_equal(result.residual_amplitude, spectrum["residual_amplitude"])
    residuals = np.loadtxt(expected / "star.residuals.dat", skiprows=1)
    assert np.array_equal(result.residuals, residuals[:, 1])
    # The model with the baselines at any times: the residuals to rounding.
    assert np.allclose(result.values - result.model(result.times), result.residuals, rtol=0, atol=1e-12 * np.ptp(result.values))


def test_no_frequency_found_gives_an_empty_table_and_the_files(tmp_path):
    t = np.linspace(0, 10, 500)
    result = pulsation.prewhiten(t, np.random.default_rng(3).normal(size=t.size), snr=50)
    assert len(result.table) == 0 and "frequency" in result.table.dtype.names and result.stop == "snr"
    assert np.allclose(result.residuals, result.values - result.baseline, rtol=0, atol=1e-12 * np.ptp(result.values))
    assert len(result.to_csv(tmp_path)) == 5  # the table twice, residuals, baselines, spectrum


def test_fits_spectrum_equals_the_programs(examples, run_program):
    fits = next(examples.glob("*.fits"))
    expected = csv_columns(run_program(fits, "--spectrum-only", "--unit", "flux") / (fits.stem + ".spectrum.csv"))
    curve = pulsation.read(fits, unit="flux")
    assert curve.dropped["rows"] == len(curve) + sum(v for k, v in curve.dropped.items() if k != "rows")
    f, a = pulsation.amplitude_spectrum(curve)
    assert np.array_equal(f, expected["frequency"]) and np.array_equal(a, expected["amplitude"])


# --- inputs as users hold them -----------------------------------------------


@pytest.fixture(scope="module")
def series():
    rng = np.random.default_rng(7)
    t = np.sort(rng.uniform(0, 20, 600))
    y = 3 * np.sin(2 * np.pi * 2.3 * t) + rng.normal(0, 0.5, t.size)
    return t, y, np.full(t.size, 0.5)


def spectrum_of(*args, **options):
    return pulsation.amplitude_spectrum(*args, fmax=5.0, **options)[1]


def test_dtypes_byte_orders_and_lists_are_the_same_series(series):
    t, y, _ = series
    reference = spectrum_of(t, y)
    assert np.array_equal(spectrum_of(t.astype(">f8"), y.astype(">f8")), reference)
    assert np.array_equal(spectrum_of(list(t), list(y)), reference)
    t32, y32 = t.astype(np.float32), y.astype(np.float32)
    assert np.array_equal(spectrum_of(t32, y32), spectrum_of(t32.astype(float), y32.astype(float)))


def test_masked_and_non_finite_rows_are_dropped_and_counted(series):
    t, y, dy = series
    y_nan = y.copy()
    y_nan[[3, 9]] = np.nan
    mask = np.zeros(t.size, bool)
    mask[[5, 8, 13]] = True
    result = pulsation.prewhiten(t, np.ma.array(y_nan, mask=mask), dy, max_frequencies=1)
    keep = ~mask & np.isfinite(y_nan)
    assert np.array_equal(result.times, t[keep])
    assert result.dropped["masked"] == 3 and result.dropped["value_not_finite"] == 2
    assert result.dropped["rows"] == t.size
    assert np.array_equal(result.residuals, pulsation.prewhiten(t[keep], y[keep], dy[keep],
                                                                max_frequencies=1).residuals)


def test_astropy_time_quantity_and_light_curve_objects(series):
    at = pytest.importorskip("astropy.time")
    u = pytest.importorskip("astropy.units")
    t, y, dy = series
    reference = pulsation.prewhiten(t, y, dy, max_frequencies=2, weights=True)

    class LightCurveLike:  # the attributes a lightkurve light curve has
        time = at.Time(t, format="mjd")
        flux = y * u.electron / u.s
        flux_err = (dy * u.electron / u.s).to(u.electron / u.min)

    result = pulsation.prewhiten(LightCurveLike(), max_frequencies=2, weights=True)
    assert np.array_equal(result.table, reference.table)
    days = pulsation.amplitude_spectrum(t, y)[1]
    hours = pulsation.amplitude_spectrum(t * 24 * u.hour, y)[1]  # times back in days, to rounding
    assert np.allclose(hours, days, rtol=0, atol=1e-8 * days.max())
    iso = at.Time(at.Time(t[:50] + 55000, format="mjd").iso, format="iso")
    assert np.allclose(pulsation.amplitude_spectrum(iso, y[:50])[0], pulsation.amplitude_spectrum(
        t[:50] + 55000 + 2400000.5, y[:50])[0])


# --- bad input ----------------------------------------------------------------


@pytest.mark.parametrize("options, message", [
    ({"snr": 0.5}, "--snr: must be at least 1"),
    ({"no_such_option": 1}, "no-such-option"),
    ({"refine": "some"}, "'some' is not one of all, new, none"),
    ({"fmin": 3.0, "fmax": 2.0}, "--fmax must be above --fmin"),
    ({"weights": True}, "--weights needs an error column"),
    ({"summary": "rows.csv"}, "--summary"),
    ({"track": 10}, "track the result.s frequencies with track"),
])
def test_bad_options_raise_the_programs_message(series, options, message):
    t, y, _ = series
    with pytest.raises(ValueError, match=message):
        pulsation.prewhiten(t, y, **options)


@pytest.mark.parametrize("t, y", [
    ([1.0, 2.0, 3.0], [1.0, 2.0]),
    (np.ones((3, 2)), np.ones((3, 2))),
    (["a", "b", "c"], [1.0, 2.0, 3.0]),
    ([np.nan, np.nan, np.nan], [1.0, 2.0, 3.0]),
    ([5.0, 5.0, 5.0], [1.0, 2.0, 3.0]),
])
def test_bad_light_curves_raise_value_error(t, y):
    with pytest.raises(ValueError):
        pulsation.prewhiten(t, y)


def test_bad_files_raise_the_readers_message(examples, tmp_path):
    with pytest.raises(ValueError, match="missing.dat"):
        pulsation.read(tmp_path / "missing.dat")
    with pytest.raises(ValueError, match="--join"):
        pulsation.read([examples / "star.dat", examples / "star.dat"])


def test_ctrl_c_interrupts_an_extraction():
    noise = np.random.default_rng(1).normal(size=20000)
    times = np.linspace(0, 400, noise.size)
    timer = threading.Timer(0.5, _thread.interrupt_main)  # as a Ctrl-C does
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        pulsation.prewhiten(times, noise, snr=1, fmax=20, max_frequencies=400)
    timer.join()


def test_tracking_gives_its_tables_per_window(series):
    t, y, dy = series
    tables = pulsation.prewhiten(t, y, dy, max_frequencies=1).track(width=5.0)
    assert len(tables["track"]) == 4 and np.allclose(tables["track"]["frequency"], 2.3, atol=0.01)
