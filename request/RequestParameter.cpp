#include "request/RequestParameter.h"

#include <cstring>
#include <limits>

#include "encoder/FormatTable.h"
#include "gs1/Gs1DigitalLink.h"
#include "request/RequestSettings.h"

namespace korvex::internal {

namespace {

using Settings = RequestSettings;
using Kind = ParameterKind;
constexpr int32_t kAny = std::numeric_limits<int32_t>::max();
constexpr int32_t kNoLow = std::numeric_limits<int32_t>::min();

}  // namespace

// w and h come before xdim, and out before compact: each of those reads what the earlier set.
const std::vector<RequestParameter>& RequestParameters() {
  static const std::vector<RequestParameter> kTable = {
      {"data", Kind::Text, 0, 0, "`1234567`", "any text", "data to encode, with tilde escapes",
       [](Settings& s, const char* text, int32_t) { s.encoding.data = text; }},  // a decoded NUL ends it
      {"w", Kind::Number, 1, 699, "100", nullptr, "image width in pixels",
       [](Settings& s, const char*, int32_t pixels) { s.width = pixels; s.sizeGiven = true; }},
      {"h", Kind::Number, 1, 699, "100", nullptr, "image height in pixels",
       [](Settings& s, const char*, int32_t pixels) { s.height = pixels; s.sizeGiven = true; }},
      {"fmt", Kind::Number, 0, kLastDmreFormatId, "0", "0 to 30; 0 to 48 with `dmre`",
       "symbol format: 0 automatic (see `shape`), 1..24 squares, 25..30 rectangles, 31..48 DMRE (with `dmre`)",
       [](Settings& s, const char*, int32_t id) { s.encoding.preferredFormat = id; }},
      {"mode", Kind::Number, 0, 6, "0", nullptr,
       "encodation: 0 automatic, 1 ASCII, 2 C40, 3 Text, 4 Base256, 5 EDIFACT, 6 X12",
       [](Settings& s, const char*, int32_t mode) { s.encoding.encodingMode = static_cast<EncodingMode>(mode); }},
      {"angle", Kind::Number, 0, 270, "0", "0, 90, 180, 270", "rotation in degrees",
       [](Settings& s, const char*, int32_t degrees) {
         if (degrees % 90 == 0) s.drawing.orientation = degrees;
       }},
      {"quiet", Kind::Switch, 0, 0, "1", nullptr, "a quiet zone around the symbol",
       [](Settings& s, const char*, int32_t on) { s.drawing.quietZone = on != 0; }},
      {"alignh", Kind::Number, 0, 2, "1", nullptr, "horizontal alignment: 0 left, 1 centre, 2 right",
       [](Settings& s, const char*, int32_t align) { s.drawing.alignH = align; }},
      {"alignv", Kind::Number, 0, 2, "1", nullptr, "vertical alignment: 0 top, 1 centre, 2 bottom",
       [](Settings& s, const char*, int32_t align) { s.drawing.alignV = align; }},
      {"bcolor", Kind::Text, 0, 0, "ffffff", "hexadecimal", "background colour as RRGGBB",
       [](Settings& s, const char* text, int32_t) { s.drawing.backColor = RgbToInternalColor(ParseHexColor(text)); }},
      {"fcolor", Kind::Text, 0, 0, "000000", "hexadecimal", "module colour as RRGGBB",
       [](Settings& s, const char* text, int32_t) { s.drawing.foreColor = RgbToInternalColor(ParseHexColor(text)); }},
      // Passed on as read: the drawing refuses a negative size.
      {"qsize", Kind::Number, kNoLow, kAny, "1", "0 and above", "quiet zone width in modules",
       [](Settings& s, const char*, int32_t modules) { s.drawing.quietZoneSize = modules; }},
      // Only whole pixel counts reach the size computation: 2.5 reads as 2.
      {"xdim", Kind::Number, 1, kAny, "5", nullptr, "pixels per module when neither `w` nor `h` is given",
       [](Settings& s, const char*, int32_t pixels) {
         if (!s.sizeGiven) s.xDimension = pixels;
       }},
      {"out", Kind::Text, 0, 0, "png", "`svg`; anything else gives the PNG",
       "`svg` answers an SVG document instead of the PNG",
       [](Settings& s, const char* text, int32_t) {
         s.output = std::strcmp(text, "svg") == 0 ? OutputKind::Svg : OutputKind::Png;
       }},
      {"debug", Kind::Flag, 0, 0, "none", "any value, or none", "a failure answers an HTML page that names it",
       nullptr},
      {"gs1", Kind::Switch, 0, 0, "0", nullptr, "`data` holds GS1 element strings in bracket form",
       [](Settings& s, const char*, int32_t on) { s.gs1 = on != 0; }},
      {"gssep", Kind::Switch, 0, 0, "0", nullptr, "with `gs1`: GS instead of FNC1 between element strings",
       [](Settings& s, const char*, int32_t on) { s.gs1GroupSeparator = on != 0; }},
      {"utf8", Kind::Switch, 0, 0, "0", nullptr, "text beyond ASCII must be UTF-8 and is marked as such",
       [](Settings& s, const char*, int32_t on) { s.utf8 = on != 0; }},
      {"shape", Kind::Number, 0, 2, "0", nullptr,
       "automatic choice (only with `fmt=0`): 0 smallest square, 1 rectangles only, 2 squares and rectangles",
       [](Settings& s, const char*, int32_t shape) { s.encoding.shape = static_cast<SymbolShape>(shape); }},
      {"dmre", Kind::Switch, 0, 0, "0", nullptr,
       "adds the 18 DMRE rectangles (ids 31..48) to `shape` 1 and 2 and to `fmt`",
       [](Settings& s, const char*, int32_t on) { s.encoding.dmre = on != 0; }},
      {"dpi", Kind::Number, 1, 4800, "none", nullptr,
       "printer resolution in dots per inch; the PNG then carries it (pHYs chunk)",
       [](Settings& s, const char*, int32_t dpi) { s.resolutionDpi = dpi; }},
      {"xmm", Kind::Text, 0, 0, "none", "decimal above 0",
       "module size in millimetres at `dpi`; replaces `xdim` when neither `w` nor `h` is given",
       [](Settings& s, const char* text, int32_t) {
         const std::optional<double> millimetres = ReadDecimal(text);
         if (millimetres && *millimetres > 0) s.moduleMillimetres = *millimetres;
       }},
      {"gs1dl", Kind::Switch, 0, 0, "0", nullptr,
       "`data` is a GS1 Digital Link URI, checked and encoded as plain data",
       [](Settings& s, const char*, int32_t on) { s.gs1DigitalLink = on != 0; }},
      // 1 asks for the canonical stem and 0 (or nothing) for no URI; the stem is checked when the
      // URI is built.
      {"dl", Kind::Text, 0, 0, "none", "`1`, `0` (off) or `http(s)://host[/path]`",
       "with `gs1`: encode the Digital Link URI of the element strings at this stem; `1` for `https://id.gs1.org`",
       [](Settings& s, const char* text, int32_t) {
         const std::string stem = text;
         s.digitalLinkStem = stem == "1" ? std::string(kCanonicalGs1DigitalLinkStem) : stem == "0" ? "" : stem;
       }},
      {"compact", Kind::Switch, 0, 0, "0", nullptr,
       "writes the PNG with one bit per pixel and no time or text chunks; `out=svg` ignores it",
       [](Settings& s, const char*, int32_t on) {
         if (on != 0 && s.output == OutputKind::Png) s.output = OutputKind::CompactPng;
       }},
      {"minimal", Kind::Switch, 0, 0, "0", nullptr,
       "with `mode=0`: the encodation with the fewest data codewords instead of the look-ahead",
       [](Settings& s, const char*, int32_t on) { s.encoding.minimal = on != 0; }},
  };
  return kTable;
}

std::string AcceptedValues(const RequestParameter& parameter) {
  if (parameter.accepted != nullptr) return parameter.accepted;
  if (parameter.kind == ParameterKind::Switch) return "any number, non-zero is on";
  if (parameter.high == kAny) return std::to_string(parameter.low) + " and above";
  return std::to_string(parameter.low) + " to " + std::to_string(parameter.high);
}

}  // namespace korvex::internal
