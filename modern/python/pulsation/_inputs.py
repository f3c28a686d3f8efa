"""Light curves as users hold them, brought to float64 arrays.

Accepted: NumPy arrays of any real dtype and byte order, lists, masked
arrays (masked rows are dropped and counted), astropy Time and Quantity
(recognised by their attributes, so astropy is not needed to import this),
and any object with .time and .flux (and .flux_err), such as a lightkurve
light curve.
"""

import numpy as np

# astropy Time formats whose values are days: taken as they are, so that the
# times keep the user's origin (BKJD, BTJD, MJD); any other format gives its
# Julian dates.
_DAY_FORMATS = ("jd", "mjd", "bkjd", "btjd", "reduced_jd")


def _unmasked(x):
    """The data and the mask (None when nothing is masked) of x."""
    if hasattr(x, "unmasked") and hasattr(x, "mask"):  # astropy Masked objects
        return x.unmasked, np.asarray(x.mask, dtype=bool)
    if isinstance(x, np.ma.MaskedArray):
        return x.data, np.ma.getmaskarray(x)
    return x, None


def _times_in_days(t):
    if hasattr(t, "jd") and hasattr(t, "format"):  # astropy Time
        if getattr(t, "masked", False):
            mask = np.asarray(t.mask, dtype=bool)
        else:
            mask = None
        days = t.value if t.format in _DAY_FORMATS else t.jd
        days, inner = _unmasked(days)
        return days, mask if inner is None else (inner if mask is None else mask | inner)
    t, mask = _unmasked(t)
    if hasattr(t, "unit") and hasattr(t, "to_value"):  # astropy Quantity
        t = t.to_value("d")
    return t, mask


def _values(x, unit=None):
    x, mask = _unmasked(x)
    if hasattr(x, "unit") and hasattr(x, "to_value"):
        x = x.to_value(unit) if unit is not None else x.to_value()
    return x, mask


def _as_float_array(x, what):
    try:
        a = np.asarray(x, dtype=np.float64)
    except (TypeError, ValueError) as e:
        raise ValueError(f"{what}: not numbers ({e})") from None
    if a.ndim != 1:
        raise ValueError(f"{what}: a one-dimensional array is needed, not {a.ndim} dimensions")
    return np.ascontiguousarray(a)


def light_curve_arrays(t, y=None, dy=None):
    """times, values, errors (or None) and the number of masked rows.

    t may be an object with .time and .flux (and .flux_err) in place of the
    three arrays.  A row masked in any of them is dropped.
    """
    if y is None and hasattr(t, "time") and hasattr(t, "flux"):
        obj = t
        t, y = obj.time, obj.flux
        dy = getattr(obj, "flux_err", None) if dy is None else dy
    if y is None:
        raise ValueError("values: none given (pass t and y, or an object with .time and .flux)")
    times, mask_t = _times_in_days(t)
    values, mask_y = _values(y)
    value_unit = getattr(_unmasked(y)[0], "unit", None)
    errors, mask_e = (None, None) if dy is None else _values(dy, value_unit)
    times = _as_float_array(times, "times")
    values = _as_float_array(values, "values")
    if errors is not None:
        errors = _as_float_array(errors, "errors")
    for a, what in ((values, "values"), (errors, "errors")):
        if a is not None and a.size != times.size:
            raise ValueError(f"{what}: {a.size}, not one per time ({times.size})")
    masked = np.zeros(times.size, dtype=bool)
    for m in (mask_t, mask_y, mask_e):
        if m is not None:
            masked |= np.broadcast_to(m, masked.shape)
    count = int(masked.sum())
    if count:
        keep = ~masked
        times, values = times[keep], values[keep]
        errors = None if errors is None else errors[keep]
    return times, values, errors, count


def option_words(options):
    """The command-line words of the program for keyword options.

    snake_case names become --kebab-case; True gives the bare flag, False
    and None leave the option out (its default); numbers are written so
    that they read back to the same double.
    """
    words = []
    for name, value in options.items():
        if value is None or value is False:
            continue
        option = "--" + name.replace("_", "-")
        if value is True:
            words.append(option)
            continue
        if isinstance(value, (float, np.floating)):
            text = repr(float(value))
        elif isinstance(value, (int, np.integer)):
            text = str(int(value))
        else:
            text = str(value)
        words.append(option + "=" + text)
    return words


def times_of(t):
    """Times in days as a float64 array (masked ones as NaN)."""
    times, mask = _times_in_days(t)
    times = _as_float_array(times, "times").copy()
    if mask is not None:
        times[np.broadcast_to(mask, times.shape)] = np.nan
    return times
