#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "encoder/EncodingPipeline.h"
#include "render/DrawingGeometry.h"

namespace korvex::internal {

class ParameterSource;

// What a request answers: the PNG, the PNG at one bit per pixel, or an SVG document.
enum class OutputKind { Png, CompactPng, Svg };

// The values a request asks for, each starting at its default; a parameter that is missing or
// out of its accepted range leaves the default in place. Which parameter sets which field, and
// what it accepts, is in the parameter table (RequestParameter.cpp).
struct RequestSettings {
  RequestSettings() { encoding.data = "1234567"; }

  EncodingSettings encoding;    // a decoded NUL ends the data
  DrawingProperties drawing;    // qsize as read: the drawing refuses a negative size
  int32_t width = 100;
  int32_t height = 100;
  bool sizeGiven = false;       // set once w or h is accepted
  double xDimension = 5.0;      // xdim, or xmm at a dpi; counts only when no size is given
  int32_t resolutionDpi = 0;     // 0 when not given
  double moduleMillimetres = 0;  // 0 when not given
  OutputKind output = OutputKind::Png;
  bool gs1 = false;
  bool gs1GroupSeparator = false;
  bool utf8 = false;
  bool gs1DigitalLink = false;
  std::string digitalLinkStem;   // empty when no URI is asked for
};

// Reads every parameter of the request into settings. The value of each lookup is consumed
// before the next one, as the query string keeps only the latest value.
RequestSettings GatherRequestSettings(ParameterSource& query);

// Number rule of parameters: skips leading white space, takes one optional sign, then decimal
// digits up to the first non-digit (none give 0), accumulated modulo 2^32.
int32_t ReadNumber(const char* text);

// Decimal number rule of xmm: skips leading white space, then digits with at most one decimal
// point, up to the first other character; nullopt without a digit or for a value not finite.
std::optional<double> ReadDecimal(const char* text);

// Hexadecimal digits from the start of text up to the first non-digit, as 0xRRGGBB; only the
// last eight digits count and no digit gives 0.
uint32_t ParseHexColor(const char* text);

// 0xRRGGBB to the internal form 0x00BBGGRR (red in the low byte).
uint32_t RgbToInternalColor(uint32_t rgb);

}  // namespace korvex::internal
