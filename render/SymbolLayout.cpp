#include "render/SymbolLayout.h"

#include "encoder/SymbolMatrix.h"

namespace korvex::internal {

namespace {

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

}  // namespace

uint8_t TurnedModule(const SymbolMatrix& matrix, int32_t orientation, uint16_t i, uint16_t j) {
  const int row = i;
  const int col = j;
  const int rows = matrix.Rows();
  const int cols = matrix.Cols();
  const bool upright = orientation == 0 || orientation == 180;
  const bool turned = orientation == 90 || orientation == 270;
  // Positions outside the turned symbol and unknown orientations read as light.
  if (upright && (row >= rows || col >= cols)) return 0;
  if (turned && (row >= cols || col >= rows)) return 0;
  switch (orientation) {
    case 0:
      return matrix.Module(row, col);
    case 90:
      return matrix.Module(col, cols - 1 - row);
    case 180:
      return matrix.Module(rows - 1 - row, cols - 1 - col);
    case 270:
      return matrix.Module(rows - 1 - col, row);
    default:
      return 0;
  }
}

StatusOr<SymbolLayout> ComputeLayout(const FormatInfo& format, const DrawingProperties& drawing, const DrawRect& rect) {
  // A wrapped module count would place the modules outside the image: refuse before fitting.
  const ModuleCountsResult counts = ModuleCounts(format, drawing);
  int32_t moduleSize = 0;
  if (counts.tooLarge || !FitModuleSize(format, drawing, rect, moduleSize)) return Result::InvalidBarcodeSize;

  const bool hasQuietZone = drawing.quietZone && drawing.quietZoneSize > 0;
  const int32_t freeX = rect.Width() - counts.across * moduleSize;
  const int32_t freeY = rect.Height() - counts.down * moduleSize;
  const int32_t quietOffset = hasQuietZone ? drawing.quietZoneSize * moduleSize : 0;
  const bool columnsAcross = ColumnsRunAcross(drawing.orientation);

  SymbolLayout layout;
  layout.area = rect;
  layout.moduleSize = moduleSize;
  layout.x = rect.left + quietOffset + AlignmentOffset(drawing.alignH, freeX, hasQuietZone);
  layout.y = rect.top + quietOffset + AlignmentOffset(drawing.alignV, freeY, hasQuietZone);
  layout.orientation = drawing.orientation;
  layout.columns = columnsAcross ? format.symbolCols : format.symbolRows;
  layout.rows = columnsAcross ? format.symbolRows : format.symbolCols;
  layout.backColor = drawing.backColor;
  layout.foreColor = drawing.foreColor;
  return layout;
}

}  // namespace korvex::internal
