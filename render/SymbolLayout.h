#pragma once

#include <cstdint>

#include "encoder/FormatTable.h"
#include "render/DrawingGeometry.h"
#include "result/Status.h"

namespace korvex::internal {

class SymbolMatrix;

// The module at output row i, column j of the matrix turned by orientation (degrees): 90 a
// quarter turn counter-clockwise, 180 a half turn, 270 a quarter turn clockwise. Positions
// outside the turned symbol, and every position of any other orientation, read as light (0).
uint8_t TurnedModule(const SymbolMatrix& matrix, int32_t orientation, uint16_t i, uint16_t j);

// Where a symbol lands in its image, worked out once from the symbol and the drawing
// properties and read by every writer, so that the raster and the vector document can never
// disagree about fitting, alignment, quiet zones or rotation. The symbol itself stays as it is:
// the rotation is the layout's.
struct SymbolLayout {
  DrawRect area;              // the target rectangle, all of it background
  int32_t moduleSize = 0;     // pixels per module side; modules are square
  int32_t x = 0;              // top left pixel of the symbol's first module (quiet zone excluded)
  int32_t y = 0;
  int32_t orientation = 0;    // degrees, as TurnedModule reads them
  uint16_t columns = 0;       // modules of the turned symbol across and down, quiet zones excluded
  uint16_t rows = 0;
  uint32_t backColor = 0xFFFFFF;  // internal form 0x00BBGGRR
  uint32_t foreColor = 0;

  // The module at row i, column j of the symbol as laid out.
  uint8_t Module(const SymbolMatrix& matrix, uint16_t i, uint16_t j) const {
    return TurnedModule(matrix, orientation, i, j);
  }
};

// The layout of a symbol of the format in the rectangle: the largest whole module size at which
// the symbol and its quiet zones fit, placed by the alignment. InvalidBarcodeSize when it does
// not fit at one pixel per module, or when its module count would wrap.
StatusOr<SymbolLayout> ComputeLayout(const FormatInfo& format, const DrawingProperties& drawing, const DrawRect& rect);

}  // namespace korvex::internal
