# Writes the seeds of the FITS reader's fuzzer (tests/fuzz/corpus/fits/): small light-curve
# files, and the same with a header whose row count (or heap) disagrees with the file.
#   python3 tests/fuzz/fits_seeds.py tests/fuzz/corpus/fits
import os
import struct
import sys

out = sys.argv[1]

def card(key, value=None):
    if value is None:
        s = key.ljust(80)
    else:
        if isinstance(value, bool): v = ('T' if value else 'F').rjust(20)
        elif isinstance(value, int): v = str(value).rjust(20)
        else: v = ("'" + value.ljust(8) + "'").ljust(20)
        s = key.ljust(8) + '= ' + v
    return s.ljust(80)[:80]

def header(cards):
    h = ''.join(cards) + card('END')
    h = h.ljust((len(h) + 2879) // 2880 * 2880)
    return h.encode('ascii')

def pad(data):
    return data + b'\0' * ((-len(data)) % 2880)

primary = header([card('SIMPLE', True), card('BITPIX', 8), card('NAXIS', 0), card('EXTEND', True)])
image = header([card('XTENSION', 'IMAGE'), card('BITPIX', 8), card('NAXIS', 0), card('PCOUNT', 0), card('GCOUNT', 1)])

def table(rows, claimed=None, pcount=0, heap=b''):
    cols = [('TIME', 'D', 'd'), ('SAP_FLUX', 'E', 'f'), ('PDCSAP_FLUX', 'E', 'f'), ('PDCSAP_FLUX_ERR', 'E', 'f'),
            ('QUALITY', 'J', 'i')]
    width = 8 + 4 * 4
    cards = [card('XTENSION', 'BINTABLE'), card('BITPIX', 8), card('NAXIS', 2), card('NAXIS1', width),
             card('NAXIS2', len(rows) if claimed is None else claimed), card('PCOUNT', pcount), card('GCOUNT', 1),
             card('TFIELDS', len(cols))]
    for i, (name, form, _) in enumerate(cols, 1):
        cards += [card('TTYPE%d' % i, name), card('TFORM%d' % i, '1' + form)]
    data = b''.join(struct.pack('>dfffi', *r) for r in rows) + heap
    return header(cards) + pad(data)

nan = float('nan')
def rows(n):
    return [(1000.0 + 0.02 * k, 5000.0 + k, 5000.0 + (k % 7), 1.5, 0 if k % 5 else 128) for k in range(n)]

seeds = {
    'light_curve': primary + table(rows(6)) + image,
    'nan_and_flags': primary + table([(1.0, 1, 2, 0.1, 0), (nan, 1, 2, 0.1, 0), (3.0, 1, nan, 0.1, 0),
                                      (4.0, 1, 2, nan, 0), (5.0, 1, 2, 0.1, 4)]),
    # The header's row count against the file: beyond its end, into the next
    # extension, short of the rows there, or absurd; a heap beyond the end.
    'rows_beyond_the_end': primary + table(rows(6), claimed=1000),
    'rows_into_the_next_extension': primary + table(rows(6), claimed=200) + image,
    'rows_short_of_the_table': primary + table(rows(240), claimed=100) + image,
    'rows_2_31': primary + table(rows(6), claimed=2**31 - 1),
    'heap_beyond_the_end': primary + table(rows(6), pcount=100000),
    # A value that is neither a string nor a number, filling its card.
    'value_filling_the_card': (primary + table(rows(6))).replace(b"TTYPE2  = 'SAP_FLUX'".ljust(80),
                                                                 b'TTYPE2  = ' + b'A' * 70),
}
os.makedirs(out, exist_ok=True)
# The first byte is the fuzzer's choice of columns: the defaults.
for name, content in seeds.items():
    with open(os.path.join(out, name), 'wb') as f:
        f.write(b'\0' + content)
