#include "render/DrawingGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/RgbImage.h"
#include "render/SymbolLayout.h"

namespace korvex::internal {

namespace {

constexpr double kInchesPerMil = 0.001;
constexpr double kInchesPerMillimetre = 0.03937007874015748;
constexpr int64_t kMaxModuleCount = 65535;
constexpr double kMilsPerInch = 1000.0;
constexpr double kMillimetresPerInch = 25.4;
constexpr uint32_t kColorMask = 0xFFFFFF;
constexpr uint32_t kRasterInitialColor = 0xFFFFFF;
// The PNG writer reads -2 as zlib's default level.
constexpr int32_t kRasterCompressionLevel = -2;

bool FitsInt32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

// Pixels converted to the output unit at res pixels per inch; false for an unknown unit, or for
// a physical unit without a positive resolution to divide by.
bool FromPixels(uint16_t pixels, int32_t res, Unit unit, double& value) {
  if (unit != Unit::Pixels && res <= 0) return false;
  switch (unit) {
    case Unit::Mils: value = pixels / static_cast<double>(res) * kMilsPerInch; return true;
    case Unit::Inches: value = pixels / static_cast<double>(res); return true;
    case Unit::Millimetres: value = pixels / static_cast<double>(res) * kMillimetresPerInch; return true;
    case Unit::Pixels: value = pixels; return true;
  }
  return false;
}

// The dark modules of the matrix as the layout turns them, with the top left module at the
// layout's first module.
void DrawModules(RgbImage& image, const SymbolMatrix& matrix, const SymbolLayout& layout) {
  const int32_t size = layout.moduleSize;
  for (uint16_t i = 0; i < layout.rows; ++i) {
    const int64_t top = layout.y + static_cast<int64_t>(i) * size;
    for (uint16_t j = 0; j < layout.columns; ++j) {
      if (layout.Module(matrix, i, j) == 0) continue;
      const int64_t left = layout.x + static_cast<int64_t>(j) * size;
      // Positions beyond 32 bits lie outside every image.
      if (!FitsInt32(left) || !FitsInt32(top)) continue;
      image.FillRect(static_cast<int32_t>(left), static_cast<int32_t>(top), size, size, layout.foreColor);
    }
  }
}

}  // namespace

ModuleCountsResult ModuleCounts(const FormatInfo& format, const DrawingProperties& props) {
  const bool columnsAcross = ColumnsRunAcross(props.orientation);
  int64_t across = columnsAcross ? format.symbolCols : format.symbolRows;
  int64_t down = columnsAcross ? format.symbolRows : format.symbolCols;
  if (props.quietZone) {
    const int64_t quiet = 2 * static_cast<int64_t>(props.quietZoneSize);
    across += quiet;
    down += quiet;
  }
  ModuleCountsResult counts;
  counts.across = static_cast<uint16_t>(across);
  counts.down = static_cast<uint16_t>(down);
  counts.tooLarge = across > kMaxModuleCount || down > kMaxModuleCount;
  return counts;
}

bool ToPixels(double value, int32_t hres, int32_t vres, Unit unit, bool horizontal, int32_t& pixels) {
  const double res = horizontal ? hres : vres;
  double product = 0;
  switch (unit) {
    case Unit::Mils: product = value * kInchesPerMil * res; break;
    case Unit::Inches: product = value * res; break;
    case Unit::Millimetres: product = value * kInchesPerMillimetre * res; break;
    case Unit::Pixels: product = value; break;
    default: return false;  // a number that names no unit
  }
  double whole = 0;
  const double fraction = std::modf(product, &whole);
  // Positive halves round up; negative values are cut toward zero (their fraction is never >= 0.5).
  if (fraction >= 0.5) whole += 1;
  // A value with no pixel count in 32 bits (or NaN) is as unusable as an unknown unit.
  if (!(whole >= std::numeric_limits<int32_t>::min() && whole <= std::numeric_limits<int32_t>::max())) return false;
  pixels = static_cast<int32_t>(whole);
  return true;
}

bool FitModuleSize(const FormatInfo& format, const DrawingProperties& props, const DrawRect& rect,
                   int32_t& moduleSize) {
  const ModuleCountsResult counts = ModuleCounts(format, props);
  // A count that wrapped to 0 has no largest module size.
  if (counts.tooLarge || counts.across == 0 || counts.down == 0) return false;
  const int32_t width = rect.Width();
  const int32_t height = rect.Height();
  if (counts.across > width || counts.down > height) return false;
  // The largest m with m * across <= width and m * down <= height, the same value that counting
  // m upward from 1 until a bound breaks would reach.
  moduleSize = std::min(width / counts.across, height / counts.down);
  return true;
}

StatusOr<ImageSize> ComputeImageSize(const FormatInfo& format, const DrawingProperties& drawing, double xdim,
                                     int32_t hres, int32_t vres, Unit unitIn, Unit unitOut) {
  const bool columnsAcross = ColumnsRunAcross(drawing.orientation);
  int32_t moduleAcross = 0;
  int32_t moduleDown = 0;
  if (!ToPixels(xdim, hres, vres, unitIn, columnsAcross, moduleAcross)) return Result::InvalidArgument;
  if (!ToPixels(xdim, hres, vres, unitIn, !columnsAcross, moduleDown)) return Result::InvalidArgument;

  const ModuleCountsResult counts = ModuleCounts(format, drawing);
  if (counts.tooLarge) return Result::InvalidBarcodeSize;

  // Pixel sizes are 16-bit: they wrap modulo 65536.
  const auto pixelsAcross = static_cast<uint16_t>(static_cast<int64_t>(moduleAcross) * counts.across);
  const auto pixelsDown = static_cast<uint16_t>(static_cast<int64_t>(moduleDown) * counts.down);
  if (pixelsAcross == 0 || pixelsDown == 0) return Result::InvalidArgument;

  const int32_t resAcross = columnsAcross ? hres : vres;
  const int32_t resDown = columnsAcross ? vres : hres;
  ImageSize size;
  if (!FromPixels(pixelsAcross, resAcross, unitOut, size.width) || !FromPixels(pixelsDown, resDown, unitOut, size.height)) {
    return Result::InvalidArgument;
  }
  return size;
}

void PaintSymbol(RgbImage& image, const SymbolMatrix& matrix, const SymbolLayout& layout) {
  const DrawRect& area = layout.area;
  // The image starts in its initial colour: a background of that colour needs no fill.
  if ((layout.backColor & kColorMask) != (image.InitialColor() & kColorMask)) {
    image.FillRect(area.left, area.top, area.Width(), area.Height(), layout.backColor);
  }
  DrawModules(image, matrix, layout);
}

Status PaintRaster(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi,
                   const std::function<void(RgbImage&)>& use) {
  RgbImage image(layout.area.right, layout.area.bottom, kRasterInitialColor, kRasterCompressionLevel);
  image.SetResolutionDpi(resolutionDpi);
  if (!image.AllocateRows()) return Result::PngInitFailed;
  PaintSymbol(image, matrix, layout);
  use(image);
  return Status();
}

}  // namespace korvex::internal
