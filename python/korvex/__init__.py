"""Data Matrix (ECC200) symbols, encoded and drawn by libkorvex.

    >>> import korvex
    >>> symbol = korvex.encode("Hello")
    >>> symbol.rows, symbol.cols
    (12, 12)
    >>> png = symbol.png(module_size=8)

Calls are safe on several threads at once; a Symbol is immutable.
"""

from __future__ import annotations

import ctypes
from typing import TYPE_CHECKING, Any, Optional, Tuple, Union

from . import _library
from ._library import lib

if TYPE_CHECKING:  # pragma: no cover
    from PIL import Image

__all__ = ["KorvexError", "Symbol", "encode", "render", "library_version", "__version__"]

__version__ = "2.0.0"

_INPUT_BYTES, _INPUT_TILDE, _INPUT_GS1, _INPUT_UTF8, _INPUT_GS1_DIGITAL_LINK = 0, 1, 2, 3, 4
_SHAPES = {"square": 0, "rectangle": 1, "any": 2}
_ALIGNMENTS = {"left": 0, "top": 0, "start": 0, "center": 1, "right": 2, "bottom": 2, "end": 2}
_INVALID_ARGUMENT = 1
_HEX_DIGITS = frozenset("0123456789abcdefABCDEF")


class KorvexError(Exception):
    """A failure of libkorvex: its result code, the code's message and what exactly failed."""

    def __init__(self, code: int, detail: str = "") -> None:
        self.code: int = code
        self.message: str = lib.korvex_message(code).decode()
        self.detail: str = detail
        super().__init__(f"{self.message} {detail}".strip())


def library_version() -> str:
    """The version of the libkorvex that is loaded, e.g. "2.0.0"."""
    return lib.korvex_version().decode()


def _text(value: Optional[bytes]) -> str:
    return value.decode("utf-8", "replace") if value else ""


def _colour(value: Union[str, int], name: str) -> int:
    if isinstance(value, int):
        return value
    text = value[1:] if value[:1] == "#" else value
    try:
        if len(text) != 6 or not all(digit in _HEX_DIGITS for digit in text):
            raise ValueError
        return int(text, 16)
    except (ValueError, TypeError):
        raise KorvexError(_INVALID_ARGUMENT, f"{name}: {value!r} is not a colour #RRGGBB") from None


def _choice(table: dict, value: str, name: str) -> int:
    try:
        return table[value]
    except KeyError:
        raise KorvexError(_INVALID_ARGUMENT, f"{name}: {value!r} is not one of {', '.join(table)}") from None


class Symbol:
    """An encoded Data Matrix symbol: its modules, format and images.

    symbol[row, col] is 1 for a dark module and 0 for a light one, row 0 at the top, without
    quiet zone and unrotated.
    """

    __slots__ = ("_handle", "_modules")
    # Held by the class, so that a symbol freed at interpreter exit still finds it.
    _free = lib.korvex_symbol_free

    def __init__(self, handle: int) -> None:
        self._handle = handle
        self._modules: Optional[bytes] = None

    @property
    def rows(self) -> int:
        """Rows of modules, without quiet zone."""
        return lib.korvex_symbol_rows(self._handle)

    @property
    def cols(self) -> int:
        """Columns of modules, without quiet zone."""
        return lib.korvex_symbol_cols(self._handle)

    @property
    def format(self) -> int:
        """The format id: 1..24 squares, 25..30 rectangles, 31..48 DMRE rectangles."""
        return lib.korvex_symbol_format(self._handle)

    @property
    def data_codewords(self) -> int:
        """Codewords that the data took, before padding."""
        return lib.korvex_symbol_data_codewords(self._handle)

    @property
    def capacity(self) -> int:
        """Data codewords that the format holds."""
        return lib.korvex_symbol_capacity(self._handle)

    def __del__(self) -> None:
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            self._free(handle)

    def __getitem__(self, position: Tuple[int, int]) -> int:
        row, col = position
        rows, cols = self.rows, self.cols
        if not (0 <= row < rows and 0 <= col < cols):
            raise IndexError(f"module {position} is outside the {rows} x {cols} symbol")
        if self._modules is None:
            self._modules = ctypes.string_at(lib.korvex_symbol_modules(self._handle), rows * cols)
        return self._modules[row * cols + col]

    def __repr__(self) -> str:
        return f"<korvex.Symbol {self.rows}x{self.cols} format {self.format}>"

    def _write(self, writer: Any, module_size: int, quiet_zone: int, fg: Union[str, int], bg: Union[str, int],
               angle: int, dpi: Optional[int], width: Optional[int], height: Optional[int], align_h: str,
               align_v: str) -> bytes:
        # Every field given, in the order of korvex_drawing_options.
        options = _library.DrawingOptions(module_size, width or 0, height or 0, quiet_zone, _colour(fg, "fg"),
                                          _colour(bg, "bg"), angle, _choice(_ALIGNMENTS, align_h, "align_h"),
                                          _choice(_ALIGNMENTS, align_v, "align_v"), dpi or 0)
        data = _library._bytes()
        size = ctypes.c_size_t()
        error = ctypes.c_void_p()
        code = writer(self._handle, ctypes.byref(options), ctypes.byref(data), ctypes.byref(size), ctypes.byref(error))
        if code != 0:
            detail = _text(lib.korvex_error_detail(error))
            lib.korvex_error_free(error)
            raise KorvexError(code, detail)
        try:
            return ctypes.string_at(data, size.value)
        finally:
            lib.korvex_free(data)

    def png(self, module_size: int = 5, quiet_zone: int = 1, fg: Union[str, int] = "#000000",
            bg: Union[str, int] = "#ffffff", angle: int = 0, dpi: Optional[int] = None, compact: bool = True,
            *, width: Optional[int] = None, height: Optional[int] = None, align_h: str = "center",
            align_v: str = "center") -> bytes:
        """The symbol as a PNG image.

        module_size is in pixels; width and height (1..699) fit the symbol into an image of that
        size instead. quiet_zone is in modules, fg and bg are "#RRGGBB" (or 0xRRGGBB), angle is
        0, 90, 180 or 270, dpi (1..4800) is written into the image. compact gives 1 bit per
        pixel without text or time chunks; compact=False the 24-bit image of the web program.
        """
        return self._write(lib.korvex_write_compact_png if compact else lib.korvex_write_png, module_size, quiet_zone, fg, bg, angle, dpi, width,
                           height, align_h, align_v)

    def svg(self, module_size: int = 5, quiet_zone: int = 1, fg: Union[str, int] = "#000000",
            bg: Union[str, int] = "#ffffff", angle: int = 0, dpi: Optional[int] = None, *,
            width: Optional[int] = None, height: Optional[int] = None, align_h: str = "center",
            align_v: str = "center") -> str:
        """The symbol as an SVG document, laid out exactly as the PNG with the same options."""
        return self._write(lib.korvex_write_svg, module_size, quiet_zone, fg, bg, angle, dpi, width, height, align_h,
                           align_v).decode("utf-8")

    def to_pil(self, module_size: int = 5, quiet_zone: int = 1, fg: Union[str, int] = "#000000",
               bg: Union[str, int] = "#ffffff", angle: int = 0, dpi: Optional[int] = None, *,
               width: Optional[int] = None, height: Optional[int] = None, align_h: str = "center",
               align_v: str = "center") -> "Image.Image":
        """The symbol as a Pillow image (needs Pillow), drawn as png() draws it."""
        import io

        from PIL import Image

        image = Image.open(io.BytesIO(self.png(module_size, quiet_zone, fg, bg, angle, dpi, compact=False,
                                               width=width, height=height, align_h=align_h, align_v=align_v)))
        image.load()
        return image


def encode(data: Union[str, bytes], *, gs1: bool = False, gssep: bool = False, utf8: bool = False,
           tilde: bool = False, minimal: bool = False, shape: str = "square", dmre: bool = False, format: int = 0,
           mode: int = 0, gs1dl: bool = False, dl: Optional[str] = None) -> Symbol:
    """Encodes data as one Data Matrix symbol.

    bytes are data byte for byte (NUL and "~" included); a str is sent as UTF-8, marked with
    ECI 26 where it holds non-ASCII text (utf8=True asks that of bytes too). tilde=True reads
    tilde escapes as the web does (~1 is FNC1, ~X41 is "A"); gs1=True reads GS1 element strings
    in bracket form, gssep=True separating them with GS instead of FNC1. shape is "square",
    "rectangle" or "any"; dmre adds the DMRE rectangles; format 1..30 (31..48 with dmre) fixes
    the symbol format; mode 1..6 fixes the encodation (ASCII, C40, Text, Base256, EDIFACT,
    X12), 0 switches automatically, minimal=True finds the shortest encodation. gs1dl=True reads
    the data as a GS1 Digital Link URI, checked and encoded exactly as given; with gs1=True,
    dl="https://example.com/products" (or "1" for https://id.gs1.org) encodes the canonical
    Digital Link URI of the element strings at that stem instead of the element strings.

    Raises KorvexError (code 1 for an option out of range) when the data cannot be encoded.
    """
    if sum(map(bool, (gs1, tilde, utf8, gs1dl))) > 1:
        raise KorvexError(_INVALID_ARGUMENT, "gs1, gs1dl, tilde and utf8 exclude each other")
    if dl is not None and not gs1:
        raise KorvexError(_INVALID_ARGUMENT, "dl needs gs1=True")
    if isinstance(data, str):
        raw = data.encode("utf-8")
        text = True
    elif isinstance(data, (bytes, bytearray, memoryview)):
        raw = bytes(data)
        text = False
    else:
        raise TypeError(f"data must be str or bytes, not {type(data).__name__}")
    if gs1dl:
        mode_of_input = _INPUT_GS1_DIGITAL_LINK
    elif gs1:
        mode_of_input = _INPUT_GS1
    elif tilde:
        mode_of_input = _INPUT_TILDE
    elif utf8 or text:
        mode_of_input = _INPUT_UTF8
    else:
        mode_of_input = _INPUT_BYTES
    # Every field given, in the order of korvex_encode_options.
    options = _library.EncodeOptions(mode_of_input, bool(gssep), format, _choice(_SHAPES, shape, "shape"), bool(dmre),
                                     mode, bool(minimal), None if dl is None else str(dl).encode("utf-8"))
    handle = ctypes.c_void_p()
    code = lib.korvex_encode(raw, len(raw), ctypes.byref(options), ctypes.byref(handle))
    if not handle.value:
        raise MemoryError("korvex: no memory for a symbol")
    if code != 0:
        detail = _text(lib.korvex_symbol_detail(handle))
        lib.korvex_symbol_free(handle)
        raise KorvexError(code, detail)
    return Symbol(handle.value)


def render(**parameters: Any) -> Tuple[str, bytes]:
    """What the web program answers to the parameters (data, w, h, fmt, ...): its content type
    and body, byte for byte. Values are given as the web would (str, or anything that str()
    turns into the value); the content type is "" where the web program writes nothing.
    Raises KorvexError for a failure when the web program would answer nothing."""
    names = list(parameters)
    values = [str(value).encode("utf-8") for value in parameters.values()]
    array = (_library.Parameter * max(1, len(names)))()
    for index, name in enumerate(names):
        array[index].name = name.encode("utf-8")
        array[index].value = values[index]
    answer = ctypes.c_void_p()
    code = lib.korvex_render(array, len(names), ctypes.byref(answer))
    if not answer.value:
        raise MemoryError("korvex: no memory for an answer")
    try:
        content_type = _text(lib.korvex_answer_content_type(answer))
        if code != 0 and not content_type:
            raise KorvexError(code, _text(lib.korvex_answer_detail(answer)))
        size = ctypes.c_size_t()
        body = lib.korvex_answer_body(answer, ctypes.byref(size))
        return content_type, ctypes.string_at(body, size.value)
    finally:
        lib.korvex_answer_free(answer)
