#include "request/RequestSettings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "request/ParameterSource.h"
#include "encoder/FormatTable.h"
#include "gs1/Gs1DigitalLink.h"

namespace korvex::internal {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Value of a hexadecimal digit, or -1 for any other character.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Stores the number read from the parameter into target (a number or a kind numbered as the
// parameter) when it lies in [low, high].
template <typename Target>
bool ReadInRange(ParameterSource& query, const char* name, int32_t low, int32_t high, Target& target) {
  const char* value = query.Lookup(name);
  if (value == nullptr) {
    return false;
  }
  const int32_t number = ReadNumber(value);
  if (number < low || number > high) {
    return false;
  }
  target = static_cast<Target>(number);
  return true;
}

// A switch read like quiet: any number, non-zero turns it on.
void ReadSwitch(ParameterSource& query, const char* name, bool& target) {
  if (const char* value = query.Lookup(name)) {
    target = ReadNumber(value) != 0;
  }
}

constexpr double kMillimetresPerInch = 25.4;

// shape, dmre (which also opens fmt 31..48), dpi and xmm; xmm at a dpi replaces xdim.
void ReadShapeAndPhysicalSize(ParameterSource& query, RequestSettings& settings) {
  ReadInRange(query, "shape", 0, 2, settings.encoding.shape);
  ReadSwitch(query, "dmre", settings.encoding.dmre);
  if (settings.encoding.dmre) {
    ReadInRange(query, "fmt", kFirstDmreFormatId, kLastDmreFormatId, settings.encoding.preferredFormat);
  }
  ReadInRange(query, "dpi", 1, 4800, settings.resolutionDpi);
  if (const char* xmm = query.Lookup("xmm")) {
    const std::optional<double> millimetres = ReadDecimal(xmm);
    if (millimetres && *millimetres > 0) {
      settings.moduleMillimetres = *millimetres;
    }
  }
  if (!settings.sizeGiven && settings.resolutionDpi > 0 && settings.moduleMillimetres > 0) {
    settings.xDimension = ModulePixels(settings.moduleMillimetres, settings.resolutionDpi);
  }
}

// gs1dl, and dl: absent, empty or 0 builds no URI, 1 asks for the canonical stem, anything else
// is the stem itself (checked when the URI is built).
void ReadDigitalLink(ParameterSource& query, RequestSettings& settings) {
  ReadSwitch(query, "gs1dl", settings.gs1DigitalLink);
  if (const char* stem = query.Lookup("dl")) {
    const std::string value = stem;
    settings.digitalLinkStem = value == "1" ? std::string(kCanonicalGs1DigitalLinkStem) : value == "0" ? "" : value;
  }
}

bool IsRightAngle(int32_t degrees) { return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270; }

}  // namespace

int32_t ReadNumber(const char* text) {
  while (IsSpace(*text)) {
    ++text;
  }
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  uint32_t magnitude = 0;
  for (; IsDecimalDigit(*text); ++text) {
    magnitude = magnitude * 10u + static_cast<uint32_t>(*text - '0');
  }
  const uint32_t bits = negative ? 0u - magnitude : magnitude;
  // Two's complement reading of the 32 bits, spelled out to stay well defined.
  return bits <= 0x7FFFFFFFu ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
}

std::optional<double> ReadDecimal(const char* text) {
  while (IsSpace(*text)) {
    ++text;
  }
  // The digits as one whole number and a count of those after the point: a single division at
  // the end rounds the value as the text gives it, where adding tenths one by one would not.
  double digits = 0;
  double divisor = 1;
  bool anyDigit = false;
  bool afterPoint = false;
  for (;; ++text) {
    if (IsDecimalDigit(*text)) {
      anyDigit = true;
      digits = digits * 10 + (*text - '0');
      if (afterPoint) {
        divisor *= 10;
      }
    } else if (*text == '.' && !afterPoint) {
      afterPoint = true;
    } else {
      break;
    }
  }
  const double value = digits / divisor;
  if (!anyDigit || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

double ModulePixels(double millimetres, int32_t dpi) {
  return std::max(1.0, std::round(millimetres * dpi / kMillimetresPerInch));
}

uint32_t ParseHexColor(const char* text) {
  uint32_t value = 0;
  for (int digit = HexDigit(*text); digit >= 0; digit = HexDigit(*++text)) {
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

uint32_t RgbToInternalColor(uint32_t rgb) {
  const uint32_t red = (rgb >> 16) & 0xFFu;
  const uint32_t green = rgb & 0x00FF00u;
  const uint32_t blue = rgb & 0xFFu;
  return (blue << 16) | green | red;
}

RequestSettings GatherRequestSettings(ParameterSource& query) {
  RequestSettings settings;
  if (const char* data = query.Lookup("data")) {
    settings.encoding.data = data;  // a decoded NUL ends the text here
  }
  if (ReadInRange(query, "w", 1, 699, settings.width)) {
    settings.sizeGiven = true;
  }
  if (ReadInRange(query, "h", 1, 699, settings.height)) {
    settings.sizeGiven = true;
  }
  ReadInRange(query, "fmt", 0, 30, settings.encoding.preferredFormat);
  ReadInRange(query, "mode", 0, 6, settings.encoding.encodingMode);
  if (const char* angle = query.Lookup("angle")) {
    const int32_t degrees = ReadNumber(angle);
    if (IsRightAngle(degrees)) {
      settings.drawing.orientation = degrees;
    }
  }
  if (const char* quiet = query.Lookup("quiet")) {
    settings.drawing.quietZone = ReadNumber(quiet) != 0;
  }
  ReadInRange(query, "alignh", 0, 2, settings.drawing.alignH);
  ReadInRange(query, "alignv", 0, 2, settings.drawing.alignV);
  if (const char* color = query.Lookup("bcolor")) {
    settings.drawing.backColor = RgbToInternalColor(ParseHexColor(color));
  }
  if (const char* color = query.Lookup("fcolor")) {
    settings.drawing.foreColor = RgbToInternalColor(ParseHexColor(color));
  }
  if (const char* size = query.Lookup("qsize")) {
    settings.drawing.quietZoneSize = ReadNumber(size);
  }
  if (const char* out = query.Lookup("out")) {
    settings.svg = std::strcmp(out, "svg") == 0;
  }
  ReadSwitch(query, "gs1", settings.gs1);
  ReadSwitch(query, "gssep", settings.gs1GroupSeparator);
  ReadSwitch(query, "utf8", settings.utf8);
  // Only whole pixel counts reach the size computation: 2.5 reads as 2.
  if (!settings.sizeGiven) {
    if (const char* xdim = query.Lookup("xdim")) {
      const int32_t pixels = ReadNumber(xdim);
      if (pixels > 0) {
        settings.xDimension = pixels;
      }
    }
  }
  ReadShapeAndPhysicalSize(query, settings);
  ReadDigitalLink(query, settings);
  ReadSwitch(query, "compact", settings.compact);
  ReadSwitch(query, "minimal", settings.encoding.minimal);
  return settings;
}

}  // namespace korvex::internal
