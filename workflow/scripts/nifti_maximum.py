"""The largest value of a NIfTI-1 image (.nii or .nii.gz), read with the standard library."""

import array
import gzip
import math
import struct
import sys

HEADER_BYTES = 348

# NIfTI datatype code -> (array typecode, bytes per value)
DATATYPES = {
    2: ("B", 1),  # unsigned char
    4: ("h", 2),  # signed short
    8: ("i", 4),  # signed int
    16: ("f", 4),  # float
    64: ("d", 8),  # double
    256: ("b", 1),  # signed char
    512: ("H", 2),  # unsigned short
    768: ("I", 4),  # unsigned int
}


class NiftiError(Exception):
    pass


def read_bytes(path):
    with open(path, "rb") as stream:
        start = stream.read(2)
    opener = gzip.open if start == b"\x1f\x8b" else open
    with opener(path, "rb") as stream:
        return stream.read()


def maximum(path):
    """The largest finite voxel value, scaled by scl_slope and scl_inter; None for an image
    without one. Raises NiftiError naming the file when it is no NIfTI-1 image this reads."""
    try:
        data = read_bytes(path)
    except (OSError, EOFError) as error:
        raise NiftiError(f"cannot read {path}: {error}") from error
    if len(data) < HEADER_BYTES:
        raise NiftiError(f"{path} is shorter than a NIfTI-1 header")
    for order in "<>":
        if struct.unpack(order + "i", data[:4])[0] == HEADER_BYTES:
            break
    else:
        raise NiftiError(f"{path} is no NIfTI-1 image (sizeof_hdr is not 348)")
    dims = struct.unpack(order + "8h", data[40:56])
    datatype = struct.unpack(order + "h", data[70:72])[0]
    vox_offset = int(struct.unpack(order + "f", data[108:112])[0])
    slope, inter = struct.unpack(order + "ff", data[112:120])
    if datatype not in DATATYPES:
        raise NiftiError(f"{path} holds NIfTI datatype {datatype}, which this does not read")
    if not 1 <= dims[0] <= 7:
        raise NiftiError(f"{path} has {dims[0]} dimensions")
    count = 1
    for extent in dims[1 : dims[0] + 1]:
        count *= max(extent, 0)
    typecode, size = DATATYPES[datatype]
    end = vox_offset + count * size
    if vox_offset < HEADER_BYTES or end > len(data):
        raise NiftiError(
            f"{path} is cut short: {count} values need {end} bytes, it holds {len(data)}"
        )
    values = array.array(typecode)
    if values.itemsize != size:
        raise NiftiError(f"this machine's {typecode!r} values are not {size} bytes")
    values.frombytes(data[vox_offset:end])
    if order != ("<" if sys.byteorder == "little" else ">"):
        values.byteswap()
    if typecode in "fd":
        finite = [value for value in values if math.isfinite(value)]
    else:
        finite = values
    if len(finite) == 0:
        return None
    largest = max(finite)
    if slope != 0.0 and math.isfinite(slope) and (slope != 1.0 or inter != 0.0):
        smallest = min(finite)
        largest = max(largest * slope + inter, smallest * slope + inter)
    return float(largest)
