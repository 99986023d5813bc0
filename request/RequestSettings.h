#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "encoder/EncodingPipeline.h"
#include "render/DrawingGeometry.h"

namespace korvex::internal {

class ParameterSource;

// The values a request asks for, each starting at its default; a parameter that is missing or
// out of its accepted range leaves the default in place.
struct RequestSettings {
  RequestSettings() { encoding.data = "1234567"; }

  // data; fmt: 0..30 (31..48 with dmre); mode: 0..6; shape: 0..2, looked at only when fmt is 0;
  // dmre: any number, non-zero adds the DMRE formats; minimal: non-zero encodes in the fewest
  // codewords (mode 0). A decoded NUL ends the data.
  EncodingSettings encoding;
  // angle: 0, 90, 180 or 270; quiet: any number, non-zero is on; alignh, alignv: 0..2; bcolor
  // and fcolor in the internal form; qsize: passed on as read, negatives are refused when drawn.
  DrawingProperties drawing;
  int32_t width = 100;          // w: 1..699
  int32_t height = 100;         // h: 1..699
  bool sizeGiven = false;       // set once w or h is accepted
  double xDimension = 5.0;      // xdim: 1 and above, read only when no size is given
  int32_t resolutionDpi = 0;     // dpi: 1..4800; 0 when not given
  double moduleMillimetres = 0;  // xmm: above 0; 0 when not given; at a dpi it replaces xdim
  // out: "svg" answers an SVG document, anything else the PNG; compact: any number, non-zero
  // writes the PNG one bit per pixel (not for SVG).
  bool svg = false;
  bool compact = false;
  bool gs1 = false;             // gs1: data holds GS1 element strings in bracket form
  bool gs1GroupSeparator = false;  // gssep: GS instead of FNC1 between GS1 element strings
  bool utf8 = false;            // utf8: non-ASCII data must be UTF-8 and gets its ECI
  bool gs1DigitalLink = false;   // gs1dl: data is a GS1 Digital Link URI, checked, encoded as it is
  std::string digitalLinkStem;   // dl: with gs1, the stem of the URI built; empty when not asked for
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

// Module size in whole pixels of a module of the given millimetres at the resolution: rounded
// to the nearest pixel, at least 1.
double ModulePixels(double millimetres, int32_t dpi);

// Hexadecimal digits from the start of text up to the first non-digit, as 0xRRGGBB; only the
// last eight digits count and no digit gives 0.
uint32_t ParseHexColor(const char* text);

// 0xRRGGBB to the internal form 0x00BBGGRR (red in the low byte).
uint32_t RgbToInternalColor(uint32_t rgb);

}  // namespace korvex::internal
