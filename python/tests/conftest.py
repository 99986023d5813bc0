"""Helpers of the package's tests: a PNG reader independent of the library, and the reader."""

from __future__ import annotations

import os
import struct
import sys
import zlib
from pathlib import Path
from typing import Dict, List, Optional

import numpy
import pytest

# The package from this source tree, not an installed copy.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent))

SOURCE_DIR = Path(__file__).resolve().parents[2]


def png_chunks(png: bytes) -> List[tuple]:
    """The (type, data) chunks of a PNG."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n", png[:8]
    chunks, at = [], 8
    while at < len(png):
        (length,) = struct.unpack(">I", png[at:at + 4])
        chunks.append((png[at + 4:at + 8], png[at + 8:at + 8 + length]))
        at += 12 + length
    return chunks


def without_time(png: bytes) -> bytes:
    """The PNG without its tIME chunk and "Creation Time" text, which tell when it was made."""
    kept = png[:8]
    at = 8
    while at < len(png):
        (length,) = struct.unpack(">I", png[at:at + 4])
        chunk = png[at:at + 12 + length]
        if chunk[4:8] != b"tIME" and not chunk[4:].startswith(b"tEXtCreation Time\0"):
            kept += chunk
        at += 12 + length
    return kept


def _paeth(a: int, b: int, c: int) -> int:
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def png_gray(png: bytes) -> numpy.ndarray:
    """The PNG's pixels as grey levels (8-bit RGB, grey or palette images, 1 or 8 bits)."""
    chunks = png_chunks(png)
    header: Dict[str, int] = dict(zip(("width", "height", "depth", "colour"), struct.unpack(">IIBB", chunks[0][1][:10])))
    palette: Optional[bytes] = next((data for kind, data in chunks if kind == b"PLTE"), None)
    raw = zlib.decompress(b"".join(data for kind, data in chunks if kind == b"IDAT"))
    channels = {0: 1, 2: 3, 3: 1}[header["colour"]]
    width, height, depth = header["width"], header["height"], header["depth"]
    stride = (width * channels * depth + 7) // 8
    step = max(1, channels * depth // 8)
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            line[i] = (line[i] + (0, a, b, (a + b) // 2, _paeth(a, b, c))[kind]) & 0xFF
        rows.append(bytes(line))
        previous = line
    image = numpy.zeros((height, width), dtype=numpy.uint8)
    for y, line in enumerate(rows):
        for x in range(width):
            if depth == 8:
                sample = line[x * channels:(x + 1) * channels]
            else:
                sample = bytes([(line[x * depth // 8] >> (8 - depth - (x * depth) % 8)) & ((1 << depth) - 1)])
            if header["colour"] == 3:
                assert palette is not None
                sample = palette[sample[0] * 3:sample[0] * 3 + 3]
            elif depth != 8:
                sample = bytes([sample[0] * 255 // ((1 << depth) - 1)])
            image[y, x] = sum(sample) // len(sample)
    return image


def read_png(png: bytes) -> Optional[bytes]:
    """The data bytes that zxing-cpp reads from the PNG, or None."""
    import zxingcpp

    # A light margin, as a label has around it.
    result = zxingcpp.read_barcode(numpy.pad(png_gray(png), 10, constant_values=255))
    return result.bytes if result is not None and result.valid else None


@pytest.fixture(scope="session")
def cgi_program() -> str:
    path = os.environ.get("KORVEX_CGI", str(SOURCE_DIR / "build" / "korvex.cgi"))
    if not os.access(path, os.X_OK):
        pytest.skip(f"no korvex.cgi at {path} (KORVEX_CGI)")
    return path
