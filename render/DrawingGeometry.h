#pragma once

#include <cstdint>
#include <functional>

#include "encoder/FormatTable.h"
#include "result/Status.h"

namespace korvex::internal {

class RgbImage;
class SymbolMatrix;
struct SymbolLayout;

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

// Units of ComputeImageSize; the numbers are those callers pass.
enum class Unit : int32_t { Mils = 0, Inches = 1, Millimetres = 2, Pixels = 3 };

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

// 0 and 180 degrees keep the symbol's columns horizontal; every other value lays its rows so.
inline bool ColumnsRunAcross(int32_t orientation) { return orientation == 0 || orientation == 180; }

// Modules along the image's horizontal (across) and vertical (down) axis, quiet zones
// included, each modulo 65536. tooLarge is set when the true count, before wrapping, exceeds 65535.
struct ModuleCountsResult {
  uint16_t across = 0;
  uint16_t down = 0;
  bool tooLarge = false;
};
ModuleCountsResult ModuleCounts(const FormatInfo& format, const DrawingProperties& props);

// A value in the given unit as whole pixels; false for an unknown unit.
bool ToPixels(double value, int32_t hres, int32_t vres, Unit unit, bool horizontal, int32_t& pixels);

// Largest module size at which the symbol and its quiet zones fit the rectangle; false if none.
bool FitModuleSize(const FormatInfo& format, const DrawingProperties& props, const DrawRect& rect, int32_t& moduleSize);

struct ImageSize {
  double width = 0;
  double height = 0;
};
// Image size (in unitOut) that shows a symbol of the format and its quiet zones at the
// X-dimension (in unitIn), at hres x vres pixels per inch: InvalidArgument for an unknown unit,
// a size that wraps to 0 or no resolution to divide by; InvalidBarcodeSize when the module
// count wraps.
StatusOr<ImageSize> ComputeImageSize(const FormatInfo& format, const DrawingProperties& drawing, double xdim,
                                     int32_t hres, int32_t vres, Unit unitIn, Unit unitOut);

// Paints the layout into the image: the background over its area (unless the image already
// starts in that colour), then the dark modules of the matrix as the layout turns them,
// clipped to the image.
void PaintSymbol(RgbImage& image, const SymbolMatrix& matrix, const SymbolLayout& layout);

// The 24-bit raster of a layout at (0, 0): allocated on white, painted, and handed to use while
// it exists. PngInitFailed, without calling use, when its rows find no memory.
Status PaintRaster(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi,
                   const std::function<void(RgbImage&)>& use);

}  // namespace korvex::internal
