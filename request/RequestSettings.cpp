#include "request/RequestSettings.h"

#include <algorithm>
#include <cmath>

#include "encoder/FormatTable.h"
#include "request/ParameterSource.h"
#include "request/RequestParameter.h"

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

constexpr double kMillimetresPerInch = 25.4;

// Module size in whole pixels of a module of the given millimetres at the resolution: rounded
// to the nearest pixel, at least 1.
double ModulePixels(double millimetres, int32_t dpi) {
  return std::max(1.0, std::round(millimetres * dpi / kMillimetresPerInch));
}

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
  for (const RequestParameter& parameter : RequestParameters()) {
    const char* value = parameter.store != nullptr ? query.Lookup(parameter.name) : nullptr;
    if (value == nullptr) continue;
    const int32_t number = parameter.kind == ParameterKind::Text ? 0 : ReadNumber(value);
    if (parameter.kind == ParameterKind::Number && (number < parameter.low || number > parameter.high)) continue;
    parameter.store(settings, value, number);
  }
  // The rules that join two parameters: fmt reaches the DMRE formats only with dmre, and xmm at
  // a dpi replaces xdim.
  if (!settings.encoding.dmre && settings.encoding.preferredFormat >= kFirstDmreFormatId) {
    settings.encoding.preferredFormat = 0;
  }
  if (!settings.sizeGiven && settings.resolutionDpi > 0 && settings.moduleMillimetres > 0) {
    settings.xDimension = ModulePixels(settings.moduleMillimetres, settings.resolutionDpi);
  }
  return settings;
}

}  // namespace korvex::internal
