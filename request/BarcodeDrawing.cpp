// The drawing operations of DataMatrixBarcode: image size at an X-dimension, and painting the
// symbol into a rectangle of a raster.

#include <cstdint>

#include "request/DataMatrixBarcode.h"
#include "render/DrawingGeometry.h"
#include "render/RgbImage.h"
#include "render/SymbolLayout.h"

namespace korvex::internal {

namespace {

constexpr uint32_t kColorMask = 0xFFFFFF;
constexpr double kMilsPerInch = 1000.0;
constexpr double kMillimetresPerInch = 25.4;

bool ColumnsRunAcross(int32_t orientation) { return orientation == 0 || orientation == 180; }

// Offset of the block inside the free space for one axis: 0 start, 1 centre, 2 end, else start.
int32_t AlignmentOffset(int32_t align, int32_t freeSpace, bool hasQuietZone) {
  switch (align) {
    case 1: return freeSpace / 2;
    case 2:
      // The end offset leaves one background pixel beyond the block. Without free space that would
      // put the block one pixel before the start: harmless inside a quiet zone, but it would cut
      // off the first modules without one.
      if (freeSpace == 0 && !hasQuietZone) return 0;
      return freeSpace - 1;
    default: return 0;
  }
}

// Pixels converted to the output unit at res pixels per inch; false for an unknown unit, or for
// a physical unit without a positive resolution to divide by.
bool FromPixels(uint16_t pixels, int32_t res, int32_t unit, double& value) {
  if (unit != Unit::Pixels && res <= 0) return false;
  switch (unit) {
    case Unit::Mils: value = pixels / static_cast<double>(res) * kMilsPerInch; return true;
    case Unit::Inches: value = pixels / static_cast<double>(res); return true;
    case Unit::Millimetres: value = pixels / static_cast<double>(res) * kMillimetresPerInch; return true;
    case Unit::Pixels: value = pixels; return true;
    default: return false;
  }
}

}  // namespace

ResultCode DataMatrixBarcode::ComputeImageSize(double xdim, int32_t hres, int32_t vres, int32_t unitIn,
                                               int32_t unitOut, double& width, double& height) const {
  const bool columnsAcross = ColumnsRunAcross(drawing_.orientation);
  int32_t moduleAcross = 0;
  int32_t moduleDown = 0;
  if (!ToPixels(xdim, hres, vres, unitIn, columnsAcross, moduleAcross)) return Result::InvalidArgument;
  if (!ToPixels(xdim, hres, vres, unitIn, !columnsAcross, moduleDown)) return Result::InvalidArgument;

  const ModuleCountsResult counts = ModuleCounts(format_, drawing_);
  if (counts.tooLarge) return Result::InvalidBarcodeSize;

  // Pixel sizes are 16-bit: they wrap modulo 65536.
  const auto pixelsAcross = static_cast<uint16_t>(static_cast<int64_t>(moduleAcross) * counts.across);
  const auto pixelsDown = static_cast<uint16_t>(static_cast<int64_t>(moduleDown) * counts.down);
  if (pixelsAcross == 0 || pixelsDown == 0) return Result::InvalidArgument;

  const int32_t resAcross = columnsAcross ? hres : vres;
  const int32_t resDown = columnsAcross ? vres : hres;
  double widthOut = 0;
  double heightOut = 0;
  if (!FromPixels(pixelsAcross, resAcross, unitOut, widthOut) || !FromPixels(pixelsDown, resDown, unitOut, heightOut)) {
    return Result::InvalidArgument;
  }
  width = widthOut;
  height = heightOut;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::ComputeLayout(const DrawRect& rect, SymbolLayout& layout) {
  // A wrapped module count would place the modules outside the image: refuse before fitting.
  const ModuleCountsResult counts = ModuleCounts(format_, drawing_);
  int32_t moduleSize = 0;
  if (counts.tooLarge || !FitModuleSize(format_, drawing_, rect, moduleSize)) return Result::InvalidBarcodeSize;
  if (!encoded_) return Result::InvalidData;

  const bool hasQuietZone = drawing_.quietZone && drawing_.quietZoneSize > 0;
  const int32_t freeX = rect.Width() - counts.across * moduleSize;
  const int32_t freeY = rect.Height() - counts.down * moduleSize;
  const int32_t quietOffset = hasQuietZone ? drawing_.quietZoneSize * moduleSize : 0;
  const bool columnsAcross = ColumnsRunAcross(drawing_.orientation);

  layout.area = rect;
  layout.moduleSize = moduleSize;
  layout.x = rect.left + quietOffset + AlignmentOffset(drawing_.alignH, freeX, hasQuietZone);
  layout.y = rect.top + quietOffset + AlignmentOffset(drawing_.alignV, freeY, hasQuietZone);
  layout.orientation = drawing_.orientation;
  layout.columns = columnsAcross ? matrix_.Cols() : matrix_.Rows();
  layout.rows = columnsAcross ? matrix_.Rows() : matrix_.Cols();
  layout.backColor = drawing_.backColor;
  layout.foreColor = drawing_.foreColor;
  matrix_.SetOrientation(layout.orientation);
  return Result::Ok;
}

void DataMatrixBarcode::Paint(RgbImage& image, const SymbolLayout& layout) const {
  const DrawRect& area = layout.area;
  // The image starts in its initial colour: a background of that colour needs no fill.
  if ((layout.backColor & kColorMask) != (image.InitialColor() & kColorMask)) {
    image.FillRect(area.left, area.top, area.Width(), area.Height(), layout.backColor);
  }
  DrawModules(image, matrix_, layout.x, layout.y, layout.moduleSize, layout.moduleSize, layout.foreColor);
}

ResultCode DataMatrixBarcode::Draw(RgbImage& image, const DrawRect& rect) {
  SymbolLayout layout;
  const ResultCode code = ComputeLayout(rect, layout);
  if (code != Result::Ok) return code;
  Paint(image, layout);
  return Result::Ok;
}

}  // namespace korvex::internal
