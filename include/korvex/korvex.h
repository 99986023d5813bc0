#pragma once

// libkorvex: Data Matrix (ECC200) symbols in process, from the same parameters as the web
// interface, read by the same rules (defaults, ranges, tilde escapes in data).
//
//   const korvex::Answer answer = korvex::Render({{"data", "Hello"}, {"w", "200"}, {"h", "200"}});
//   if (answer.code == 0) { /* answer.body holds the PNG */ }
//
// Every function may be called from several threads at once: calls share no state, and each
// answer is the one the same call would get alone.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "korvex/export.h"

namespace korvex {

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

// The answer to the request: the image (or a page) and the result code.
KORVEX_EXPORT Answer Render(const Request& request);

// The symbol that the request's data, fmt, mode, shape and dmre encode to (gs1, gssep, utf8,
// gs1dl and dl read as for Render); the drawing parameters (size, colours, angle, quiet zone,
// alignment) play no part.
KORVEX_EXPORT ModuleMatrix EncodeMatrix(const Request& request);

// The message text of a result code.
KORVEX_EXPORT const char* Message(int32_t code);

// The library's version, e.g. "1.4".
KORVEX_EXPORT const char* Version();

}  // namespace korvex
