#pragma once

// libkorvex for C++: typed value classes over the C interface of korvex/korvex.h, which this
// header includes, and the web-parameter calls korvex::Render and korvex::EncodeMatrix.
//
//   const korvex::Symbol symbol = korvex::Encode("Hello");  // throws korvex::Error on failure
//   korvex::DrawingOptions drawing;
//   drawing.moduleSize = 8;
//   const std::string png = symbol.Png(drawing);
//
//   const korvex::Answer answer = korvex::Render({{"data", "Hello"}, {"w", "200"}, {"h", "200"}});
//   if (answer.code == 0) { /* answer.body holds the PNG */ }
//
// Everything here is inline: the library exports only the C functions. Calls are safe on
// several threads at once, as those of the C interface; a Symbol is immutable and may be
// shared.

#ifndef KORVEX_KORVEX_H
#define KORVEX_C_API_ONLY
#include "korvex/korvex.h"
#undef KORVEX_C_API_ONLY
#endif

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvex {

// ---- The web parameters ----

// The parameters of one request as name and value pairs, by the names of the web interface
// (data, w, h, xdim, fmt, mode, angle, quiet, qsize, alignh, alignv, bcolor, fcolor, help,
// debug, ...). Values are taken as given, without URL decoding; a value ends at its first NUL
// byte (write ~X00 in data for that byte). Where a name occurs twice, the first counts.
using Request = std::vector<std::pair<std::string, std::string>>;

// What the web interface would answer to the same parameters.
struct Answer {
  int32_t code = 0;         // 0, or the result code of the step that failed (1 to 14)
  std::string message;      // the code's message, e.g. "Error: Invalid barcode size."
  std::string detail;       // what exactly failed, where the code alone does not say
  std::string contentType;  // "image/png", or "text/html" for the help page (help) and the
                            // error page (debug); empty after a failure without debug
  std::string body;         // the image or the page
  int32_t status = 0;       // the web program's exit status
};

// The symbol's modules, row 0 at the top, unrotated and without quiet zone.
struct ModuleMatrix {
  int32_t code = 0;     // as in Answer
  std::string message;  // as in Answer
  std::string detail;   // as in Answer
  int rows = 0;
  int cols = 0;
  std::vector<uint8_t> modules;  // rows * cols values, row after row: 1 dark, 0 light

  bool Dark(int row, int col) const { return modules[static_cast<std::size_t>(row) * cols + col] != 0; }
};

namespace detail {

inline std::vector<korvex_parameter> AsParameters(const Request& request) {
  std::vector<korvex_parameter> parameters;
  parameters.reserve(request.size());
  for (const auto& [name, value] : request) parameters.push_back({name.c_str(), value.c_str()});
  return parameters;
}

// Frees a handle or a buffer of the library by its own free function.
template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* pointer) const { Free(pointer); }
};

}  // namespace detail

// The answer to the request: the image (or a page) and the result code.
inline Answer Render(const Request& request) {
  const std::vector<korvex_parameter> parameters = detail::AsParameters(request);
  korvex_answer* made = nullptr;
  Answer answer;
  answer.code = korvex_render(parameters.data(), parameters.size(), &made);
  const std::unique_ptr<korvex_answer, detail::Deleter<korvex_answer_free>> owned(made);
  answer.message = korvex_message(answer.code);
  if (!owned) return answer;
  answer.detail = korvex_answer_detail(made);
  answer.contentType = korvex_answer_content_type(made);
  std::size_t size = 0;
  const unsigned char* body = korvex_answer_body(made, &size);
  answer.body.assign(reinterpret_cast<const char*>(body), size);
  answer.status = korvex_answer_status(made);
  return answer;
}

// The symbol that the request's data, fmt, mode, shape and dmre encode to (gs1, gssep and utf8
// read as for Render); the drawing parameters (size, colours, angle, quiet zone, alignment)
// play no part.
inline ModuleMatrix EncodeMatrix(const Request& request) {
  const std::vector<korvex_parameter> parameters = detail::AsParameters(request);
  korvex_symbol* made = nullptr;
  ModuleMatrix matrix;
  matrix.code = korvex_encode_parameters(parameters.data(), parameters.size(), &made);
  const std::unique_ptr<korvex_symbol, detail::Deleter<korvex_symbol_free>> owned(made);
  matrix.message = korvex_message(matrix.code);
  if (!owned) return matrix;
  matrix.detail = korvex_symbol_detail(made);
  if (matrix.code != 0) return matrix;
  matrix.rows = korvex_symbol_rows(made);
  matrix.cols = korvex_symbol_cols(made);
  const uint8_t* modules = korvex_symbol_modules(made);
  matrix.modules.assign(modules, modules + static_cast<std::size_t>(matrix.rows) * matrix.cols);
  return matrix;
}

// The message text of a result code.
inline const char* Message(int32_t code) { return korvex_message(code); }

// The library's version, e.g. "2.0.0".
inline const char* Version() { return korvex_version(); }

// ---- Typed options ----

enum class Input : int32_t {
  Bytes = KORVEX_INPUT_BYTES,  // every byte is data, NUL and '~' included
  Tilde = KORVEX_INPUT_TILDE,  // tilde escapes as in the web parameter data
  Gs1 = KORVEX_INPUT_GS1,      // GS1 element strings in bracket form
  Utf8 = KORVEX_INPUT_UTF8,    // UTF-8 text, marked with ECI 26
  Gs1DigitalLink = KORVEX_INPUT_GS1_DIGITAL_LINK,  // a GS1 Digital Link URI, checked, as plain data
};

enum class Shape : int32_t {
  Square = KORVEX_SHAPE_SQUARE,
  Rectangle = KORVEX_SHAPE_RECTANGLE,
  Any = KORVEX_SHAPE_ANY,
};

enum class Mode : int32_t {
  Auto = KORVEX_MODE_AUTO,
  Ascii = KORVEX_MODE_ASCII,
  C40 = KORVEX_MODE_C40,
  Text = KORVEX_MODE_TEXT,
  Base256 = KORVEX_MODE_BASE256,
  Edifact = KORVEX_MODE_EDIFACT,
  X12 = KORVEX_MODE_X12,
};

enum class Align : int32_t {
  Start = KORVEX_ALIGN_START,
  Center = KORVEX_ALIGN_CENTER,
  End = KORVEX_ALIGN_END,
};

struct EncodeOptions {
  Input input = Input::Bytes;
  bool gs1Separator = false;  // with Input::Gs1: GS instead of FNC1 between element strings
  int32_t format = 0;         // 0: the smallest of the shape; 1..30, or 31..48 with dmre
  Shape shape = Shape::Square;
  bool dmre = false;
  Mode mode = Mode::Auto;
  bool minimal = false;  // the shortest encodation (with Mode::Auto)
  // With Input::Gs1: empty encodes the element strings; a stem (or "1" for https://id.gs1.org)
  // encodes their canonical GS1 Digital Link URI at it.
  std::string digitalLinkStem{};

  korvex_encode_options ToC() const {
    korvex_encode_options options;
    korvex_encode_options_init(&options);
    options.input = static_cast<int32_t>(input);
    options.gs1_separator = gs1Separator ? 1 : 0;
    options.format = format;
    options.shape = static_cast<int32_t>(shape);
    options.dmre = dmre ? 1 : 0;
    options.mode = static_cast<int32_t>(mode);
    options.minimal = minimal ? 1 : 0;
    // Points into this object, which outlives the call that reads it.
    options.digital_link_stem = digitalLinkStem.empty() ? nullptr : digitalLinkStem.c_str();
    return options;
  }
};

struct DrawingOptions {
  int32_t moduleSize = 5;  // pixels per module, where neither width nor height is given
  int32_t width = 0;       // image size to fit the symbol into, 1..699; 0: none
  int32_t height = 0;
  int32_t quietZone = 1;   // modules
  uint32_t foreground = 0x000000;  // 0xRRGGBB
  uint32_t background = 0xFFFFFF;
  int32_t angle = 0;  // 0, 90, 180 or 270
  Align alignH = Align::Center;
  Align alignV = Align::Center;
  int32_t dpi = 0;  // 1..4800; 0: none

  korvex_drawing_options ToC() const {
    korvex_drawing_options options;
    korvex_drawing_options_init(&options);
    options.module_size = moduleSize;
    options.width = width;
    options.height = height;
    options.quiet_zone = quietZone;
    options.foreground = foreground;
    options.background = background;
    options.angle = angle;
    options.align_h = static_cast<int32_t>(alignH);
    options.align_v = static_cast<int32_t>(alignV);
    options.dpi = dpi;
    return options;
  }
};

// A failure of the typed calls: the result code, its message and what exactly failed.
class Error : public std::runtime_error {
 public:
  Error(int32_t code, std::string detail)
      : std::runtime_error(detail.empty() ? std::string(korvex_message(code))
                                          : std::string(korvex_message(code)) + " " + detail),
        code_(code),
        detail_(std::move(detail)) {}

  int32_t Code() const { return code_; }
  const char* Message() const { return korvex_message(code_); }
  const std::string& Detail() const { return detail_; }

 private:
  int32_t code_;
  std::string detail_;
};

// An encoded symbol; copies share the one immutable symbol of the library.
class Symbol {
 public:
  int32_t Rows() const { return korvex_symbol_rows(symbol_.get()); }
  int32_t Cols() const { return korvex_symbol_cols(symbol_.get()); }
  bool Dark(int32_t row, int32_t col) const { return korvex_symbol_module(symbol_.get(), row, col) == 1; }
  int32_t Format() const { return korvex_symbol_format(symbol_.get()); }
  int32_t DataCodewords() const { return korvex_symbol_data_codewords(symbol_.get()); }
  int32_t Capacity() const { return korvex_symbol_capacity(symbol_.get()); }

  std::string Png(const DrawingOptions& options = {}) const { return Written(korvex_write_png, options); }
  // 1 bit per pixel, without text or time chunks.
  std::string CompactPng(const DrawingOptions& options = {}) const {
    return Written(korvex_write_compact_png, options);
  }
  std::string Svg(const DrawingOptions& options = {}) const { return Written(korvex_write_svg, options); }

  const korvex_symbol* Handle() const { return symbol_.get(); }

 private:
  friend Symbol Encode(std::string_view data, const EncodeOptions& options);
  friend Symbol EncodeParameters(const Request& request);
  using Writer = int32_t (*)(const korvex_symbol*, const korvex_drawing_options*, unsigned char**, size_t*,
                             korvex_error**);

  // Takes the handle of korvex_encode*, throwing its failure.
  static Symbol Adopt(int32_t code, korvex_symbol* made) {
    std::shared_ptr<const korvex_symbol> owned(made, detail::Deleter<korvex_symbol_free>());
    if (code != 0) throw Error(code, made != nullptr ? korvex_symbol_detail(made) : "");
    Symbol symbol;
    symbol.symbol_ = std::move(owned);
    return symbol;
  }

  std::string Written(Writer write, const DrawingOptions& options) const {
    const korvex_drawing_options drawing = options.ToC();
    unsigned char* bytes = nullptr;
    std::size_t size = 0;
    korvex_error* failure = nullptr;
    const int32_t code = write(symbol_.get(), &drawing, &bytes, &size, &failure);
    const std::unique_ptr<unsigned char, detail::Deleter<korvex_free>> ownedBytes(bytes);
    const std::unique_ptr<korvex_error, detail::Deleter<korvex_error_free>> ownedFailure(failure);
    if (code != 0) throw Error(code, failure != nullptr ? korvex_error_detail(failure) : "");
    return std::string(reinterpret_cast<const char*>(bytes), size);
  }

  std::shared_ptr<const korvex_symbol> symbol_;
};

// The symbol of the data by the options; throws Error when it cannot be encoded.
inline Symbol Encode(std::string_view data, const EncodeOptions& options = {}) {
  const korvex_encode_options encode = options.ToC();
  korvex_symbol* made = nullptr;
  const int32_t code = korvex_encode(data.data(), data.size(), &encode, &made);
  return Symbol::Adopt(code, made);
}

// The symbol of web parameters (data, fmt, mode, ...), read by the web's rules.
inline Symbol EncodeParameters(const Request& request) {
  const std::vector<korvex_parameter> parameters = detail::AsParameters(request);
  korvex_symbol* made = nullptr;
  const int32_t code = korvex_encode_parameters(parameters.data(), parameters.size(), &made);
  return Symbol::Adopt(code, made);
}

}  // namespace korvex
