"""The C interface of libkorvex.so.2, declared for ctypes."""

from __future__ import annotations

import ctypes
import ctypes.util
import os

_SONAME = "libkorvex.so.2"


class EncodeOptions(ctypes.Structure):
    _fields_ = [
        ("input", ctypes.c_int32),
        ("gs1_separator", ctypes.c_int32),
        ("format", ctypes.c_int32),
        ("shape", ctypes.c_int32),
        ("dmre", ctypes.c_int32),
        ("mode", ctypes.c_int32),
        ("minimal", ctypes.c_int32),
        ("digital_link_stem", ctypes.c_char_p),
    ]


class DrawingOptions(ctypes.Structure):
    _fields_ = [
        ("module_size", ctypes.c_int32),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("quiet_zone", ctypes.c_int32),
        ("foreground", ctypes.c_uint32),
        ("background", ctypes.c_uint32),
        ("angle", ctypes.c_int32),
        ("align_h", ctypes.c_int32),
        ("align_v", ctypes.c_int32),
        ("dpi", ctypes.c_int32),
    ]


class Parameter(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("value", ctypes.c_char_p)]


def _load() -> ctypes.CDLL:
    """The library named by KORVEX_LIBRARY, else the installed libkorvex.so.2."""
    path = os.environ.get("KORVEX_LIBRARY")
    if not path:
        found = ctypes.util.find_library("korvex")
        # Only the major version this package is written for.
        path = found if found == _SONAME else _SONAME
    try:
        return ctypes.CDLL(path)
    except OSError as error:
        raise ImportError(
            f"korvex: cannot load {path} ({error}); install libkorvex2 or set KORVEX_LIBRARY"
        ) from None


lib = _load()

_symbol = ctypes.c_void_p
_error = ctypes.c_void_p
_answer = ctypes.c_void_p
_size = ctypes.c_size_t
_bytes = ctypes.POINTER(ctypes.c_ubyte)


def _declare(name: str, result, *arguments) -> None:
    function = getattr(lib, name)
    function.restype = result
    function.argtypes = list(arguments)


_declare("korvex_version", ctypes.c_char_p)
_declare("korvex_message", ctypes.c_char_p, ctypes.c_int32)
_declare("korvex_free", None, ctypes.c_void_p)
_declare("korvex_encode_options_init", None, ctypes.POINTER(EncodeOptions))
_declare("korvex_drawing_options_init", None, ctypes.POINTER(DrawingOptions))
_declare("korvex_encode", ctypes.c_int32, ctypes.c_char_p, _size, ctypes.POINTER(EncodeOptions),
         ctypes.POINTER(_symbol))
_declare("korvex_symbol_free", None, _symbol)
_declare("korvex_symbol_code", ctypes.c_int32, _symbol)
_declare("korvex_symbol_detail", ctypes.c_char_p, _symbol)
for _name in ("rows", "cols", "format", "data_codewords", "capacity"):
    _declare("korvex_symbol_" + _name, ctypes.c_int32, _symbol)
_declare("korvex_symbol_modules", _bytes, _symbol)
for _name in ("png", "compact_png", "svg"):
    _declare("korvex_write_" + _name, ctypes.c_int32, _symbol, ctypes.POINTER(DrawingOptions),
             ctypes.POINTER(_bytes), ctypes.POINTER(_size), ctypes.POINTER(_error))
_declare("korvex_error_free", None, _error)
_declare("korvex_error_detail", ctypes.c_char_p, _error)
_declare("korvex_render", ctypes.c_int32, ctypes.POINTER(Parameter), _size, ctypes.POINTER(_answer))
_declare("korvex_answer_free", None, _answer)
_declare("korvex_answer_detail", ctypes.c_char_p, _answer)
_declare("korvex_answer_content_type", ctypes.c_char_p, _answer)
_declare("korvex_answer_body", _bytes, _answer, ctypes.POINTER(_size))
