#include "render/DrawingGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/RgbImage.h"
#include "encoder/SymbolMatrix.h"

namespace korvex::internal {

namespace {

constexpr double kInchesPerMil = 0.001;
constexpr double kInchesPerMillimetre = 0.03937007874015748;
constexpr int64_t kMaxModuleCount = 65535;

// 0 and 180 degrees keep the symbol's columns horizontal; every other value lays its rows so.
bool ColumnsRunAcross(int32_t orientation) { return orientation == 0 || orientation == 180; }

bool FitsInt32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
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

bool ToPixels(double value, int32_t hres, int32_t vres, int32_t unit, bool horizontal, int32_t& pixels) {
  const double res = horizontal ? hres : vres;
  double product = 0;
  switch (unit) {
    case Unit::Mils: product = value * kInchesPerMil * res; break;
    case Unit::Inches: product = value * res; break;
    case Unit::Millimetres: product = value * kInchesPerMillimetre * res; break;
    case Unit::Pixels: product = value; break;
    default: return false;
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

void DrawModules(RgbImage& image, const SymbolMatrix& matrix, int32_t x, int32_t y, int32_t moduleWidth,
                 int32_t moduleHeight, uint32_t foreColor) {
  const bool columnsAcross = ColumnsRunAcross(matrix.Orientation());
  const uint16_t outputCols = columnsAcross ? matrix.Cols() : matrix.Rows();
  const uint16_t outputRows = columnsAcross ? matrix.Rows() : matrix.Cols();
  for (uint16_t i = 0; i < outputRows; ++i) {
    const int64_t top = y + static_cast<int64_t>(i) * moduleHeight;
    for (uint16_t j = 0; j < outputCols; ++j) {
      if (matrix.RotatedModule(i, j) == 0) continue;
      const int64_t left = x + static_cast<int64_t>(j) * moduleWidth;
      // Positions beyond 32 bits lie outside every image.
      if (!FitsInt32(left) || !FitsInt32(top)) continue;
      image.FillRect(static_cast<int32_t>(left), static_cast<int32_t>(top), moduleWidth, moduleHeight, foreColor);
    }
  }
}

}  // namespace korvex::internal
