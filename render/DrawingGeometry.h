#pragma once

#include <cstdint>

#include "result/ResultCode.h"
#include "encoder/FormatTable.h"

namespace korvex::internal {

class RgbImage;
class SymbolMatrix;

// Pixel rectangle; right and bottom are exclusive.
struct DrawRect {
  int32_t left = 0;
  int32_t right = 0;
  int32_t top = 0;
  int32_t bottom = 0;

  DrawRect() = default;
  DrawRect(int32_t l, int32_t t, int32_t r, int32_t b) : left(l), right(r), top(t), bottom(b) {}
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

// Units of ComputeImageSize.
namespace Unit {
constexpr int32_t Mils = 0;
constexpr int32_t Inches = 1;
constexpr int32_t Millimetres = 2;
constexpr int32_t Pixels = 3;
}  // namespace Unit

// Drawing properties of a barcode that the geometry reads.
struct DrawingProperties {
  int32_t orientation = 0;
  uint32_t backColor = 0xFFFFFF;
  uint32_t foreColor = 0;
  bool quietZone = true;
  int32_t quietZoneSize = 1;
  int32_t alignH = 1;
  int32_t alignV = 1;
};

// Modules along the image's horizontal (across) and vertical (down) axis, quiet zones
// included, each modulo 65536. tooLarge is set when the true count, before wrapping, exceeds 65535.
struct ModuleCountsResult {
  uint16_t across = 0;
  uint16_t down = 0;
  bool tooLarge = false;
};
ModuleCountsResult ModuleCounts(const FormatInfo& format, const DrawingProperties& props);

// A value in the given unit as whole pixels; false for an unknown unit.
bool ToPixels(double value, int32_t hres, int32_t vres, int32_t unit, bool horizontal, int32_t& pixels);

// Largest module size at which the symbol and its quiet zones fit the rectangle; false if none.
bool FitModuleSize(const FormatInfo& format, const DrawingProperties& props, const DrawRect& rect, int32_t& moduleSize);

// Paints the dark modules of the matrix, turned by its orientation, with the top left module at (x, y).
void DrawModules(RgbImage& image, const SymbolMatrix& matrix, int32_t x, int32_t y, int32_t moduleWidth,
                 int32_t moduleHeight, uint32_t foreColor);

}  // namespace korvex::internal
