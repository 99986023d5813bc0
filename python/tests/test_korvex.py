"""The package korvex against the library's web road, the reader zxing-cpp and the CGI program."""

from __future__ import annotations

import os
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

import pytest
from conftest import SOURCE_DIR, png_chunks, png_gray, read_png, without_time

import korvex

ALL_BYTES = bytes(range(256))


@pytest.mark.parametrize(
    "data, options, drawing, decoded",
    [
        ("Hello", {}, {}, b"Hello"),
        (b"a\0b~1c~X41~", {}, {}, b"a\0b~1c~X41~"),
        (ALL_BYTES, {}, {"module_size": 3}, ALL_BYTES),
        ("Straße", {}, {}, "Straße".encode()),
        ("~1AB~X41", {"tilde": True}, {}, b"ABA"),
        ("(01)09501101530003(17)270630", {"gs1": True}, {}, b"010950110153000317270630"),
        ("(01)09501101530003(10)AB(21)12", {"gs1": True, "gssep": True}, {}, b"010950110153000310AB\x1d2112"),
        ("Rectangle", {"shape": "rectangle"}, {"angle": 90}, b"Rectangle"),
        ("DMRE", {"dmre": True, "format": 35}, {"angle": 270}, b"DMRE"),
        ("ABCDEF123", {"mode": 2, "minimal": False}, {"fg": "#000080", "bg": "#ffff00", "quiet_zone": 3}, b"ABCDEF123"),
        ("shortest", {"minimal": True}, {"width": 200, "height": 120, "align_h": "left"}, b"shortest"),
        ("https://example.com/~1/01/09506000134352/10/A1?17=261231", {"gs1dl": True}, {},
         b"https://example.com/~1/01/09506000134352/10/A1?17=261231"),
        ("(01)09506000134352(17)261231", {"gs1": True, "dl": "https://example.com/p"}, {},
         b"https://example.com/p/01/09506000134352?17=261231"),
    ],
)
@pytest.mark.parametrize("compact", [True, False])
def test_png_reads_back_through_zxing(data, options, drawing, decoded, compact):
    symbol = korvex.encode(data, **options)
    assert read_png(symbol.png(compact=compact, **drawing)) == decoded


def test_symbol_gives_modules_format_and_codewords():
    symbol = korvex.encode("Hello", mode=1)
    assert (symbol.rows, symbol.cols, symbol.format) == (12, 12, 2)
    # ASCII: a codeword per letter, and 12 x 12 holds five.
    assert (symbol.data_codewords, symbol.capacity) == (5, 5)
    # Finder pattern: the left column and the bottom row dark, the top row alternating.
    assert all(symbol[row, 0] == 1 for row in range(12))
    assert all(symbol[11, col] == 1 for col in range(12))
    assert [symbol[0, col] for col in range(12)] == [1, 0] * 6
    for outside in [(12, 0), (0, 12), (-1, 0)]:
        with pytest.raises(IndexError):
            symbol[outside]
    assert korvex.encode("ABCDEF", mode=1).format == 3


def test_png_and_svg_draw_at_the_requested_size():
    symbol = korvex.encode("Hello")
    for compact in (True, False):
        header = png_chunks(symbol.png(module_size=4, quiet_zone=2, compact=compact))[0][1]
        assert header[:8] == (64).to_bytes(4, "big") * 2  # (12 + 2 * 2) * 4 pixels
    svg = symbol.svg(module_size=4, quiet_zone=2)
    assert re.search(r'<svg [^>]*width="64" height="64"', svg), svg[:300]
    gray = png_gray(symbol.png(module_size=4, quiet_zone=2, compact=False))
    # The first dark module after the two light ones of the quiet zone.
    assert gray[7, 7] == 255 and gray[8, 8] == 0


@pytest.mark.parametrize(
    "call, code, detail",
    [
        (lambda: korvex.encode("(01)09501101530004", gs1=True), 5, "GS1: (01) 09501101530004: check digit should be 3"),
        (lambda: korvex.encode("A" * 40, format=1), 10, ""),
        (lambda: korvex.encode("x", format=49), 1, "format: 49 is out of range"),
        (lambda: korvex.encode("x", mode=7), 1, "mode: 7 is out of range"),
        (lambda: korvex.encode("x", shape="round"), 1, "shape: 'round' is not one of square, rectangle, any"),
        (lambda: korvex.encode("x", gs1=True, tilde=True), 1, "gs1, gs1dl, tilde and utf8 exclude each other"),
        (lambda: korvex.encode("(01)09506000134352", dl="1"), 1, "dl needs gs1=True"),
        (lambda: korvex.encode("https://id.gs1.org/01/09506000134353", gs1dl=True), 5,
         "GS1 Digital Link: /01/09506000134353: check digit should be 2"),
        (lambda: korvex.encode("(99)X", gs1=True, dl="1"), 5,
         "GS1 Digital Link: no primary key, such as (01) or (00), among the AIs: they form no URI"),
        (lambda: korvex.encode(b"\xff", utf8=True), 5, "UTF-8: the data is not valid UTF-8 text"),
        (lambda: korvex.encode("x").png(angle=45), 1, "angle: 45 is out of range"),
        (lambda: korvex.encode("x").svg(width=700), 1, "width: 700 is out of range"),
        (lambda: korvex.encode("x").png(fg="black"), 1, "fg: 'black' is not a colour #RRGGBB"),
        (lambda: korvex.encode("x").png(module_size=5000), 3, ""),
        (lambda: korvex.render(data="A" * 40, fmt="1"), 10, ""),
    ],
)
def test_failures_raise_korvex_error(call, code, detail):
    with pytest.raises(korvex.KorvexError) as caught:
        call()
    assert (caught.value.code, caught.value.detail) == (code, detail)
    assert caught.value.message.startswith("Error: ")


def test_data_of_another_type_is_refused():
    with pytest.raises(TypeError):
        korvex.encode(42)  # type: ignore[arg-type]


def test_threads_get_what_one_thread_gets():
    def work(index: int):
        symbol = korvex.encode(f"Thread {index} " + "x" * index, mode=(0, 1, 2, 3, 4)[index % 5])
        return (without_time(symbol.png(module_size=2 + index % 3, angle=90 * (index % 4), compact=False)),
                without_time(symbol.png()), symbol.svg(), korvex.render(data=str(index), out="svg"))

    expected = [work(index) for index in range(32)]
    with ThreadPoolExecutor(max_workers=4) as pool:
        assert list(pool.map(work, range(32))) == expected


def cgi_answer(program: str, query: str) -> bytes:
    environment = {"REQUEST_METHOD": "GET", "QUERY_STRING": query}
    return subprocess.run([program], env=environment, capture_output=True).stdout


@pytest.mark.parametrize(
    "parameters",
    [
        {"data": "x", "w": "200", "h": "200"},
        {"data": "Label~1", "xdim": "3", "angle": "90", "fcolor": "000080"},
        {"data": "x", "out": "svg", "dpi": "300"},
        {"help": "1"},
        {"data": "A" * 40, "fmt": "1", "debug": "1"},
    ],
)
def test_render_answers_as_the_cgi_program(cgi_program, parameters):
    query = "&".join(f"{name}={value}" for name, value in parameters.items())
    content_type, body = korvex.render(**parameters)
    assert without_time(cgi_answer(cgi_program, query)) == without_time(
        f"Content-type: {content_type}\n\n".encode() + body)


def readme_example() -> str:
    readme = (SOURCE_DIR / "README.md").read_text()
    match = re.search(r"\n```python\n(.*?)\n```\n", readme, re.S)
    assert match, "no ```python block in README.md"
    return match.group(1)


def test_readme_example_runs(tmp_path):
    (tmp_path / "example.py").write_text(readme_example())
    environment = dict(os.environ, PYTHONPATH=str(SOURCE_DIR / "python"))
    run = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, env=environment, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert "5 Error: Invalid data to encode. GS1: (01) 09501101530004: check digit should be 3\n" in run.stdout
    assert run.stdout.endswith(korvex.__version__ + "\n")
    assert read_png((tmp_path / "hello.png").read_bytes()) == b"Hello ~1"


def test_version_is_the_librarys_and_the_projects():
    assert korvex.__version__ == korvex.library_version()
    project = (SOURCE_DIR / "CMakeLists.txt").read_text()
    assert re.search(r"project\(Korvex VERSION (\S+)", project).group(1) == korvex.__version__
    pyproject = (SOURCE_DIR / "python" / "pyproject.toml").read_text()
    assert f'version = "{korvex.__version__}"' in pyproject


def test_to_pil_gives_the_png_image():
    pil = pytest.importorskip("PIL.Image")
    import zxingcpp

    image = korvex.encode("Hello").to_pil(module_size=3, angle=180)
    assert isinstance(image, pil.Image) and image.size == (42, 42)
    assert zxingcpp.read_barcode(image.convert("L")).bytes == b"Hello"
