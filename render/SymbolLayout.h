#pragma once

#include <cstdint>

#include "render/DrawingGeometry.h"

namespace korvex::internal {

// Where a symbol lands in its image, worked out once per request by
// DataMatrixBarcode::ComputeLayout and read by every writer, so that the raster and the vector
// document can never disagree about fitting, alignment, quiet zones or rotation.
struct SymbolLayout {
  DrawRect area;              // the target rectangle, all of it background
  int32_t moduleSize = 0;     // pixels per module side; modules are square
  int32_t x = 0;              // top left pixel of the symbol's first module (quiet zone excluded)
  int32_t y = 0;
  int32_t orientation = 0;    // degrees; the matrix's RotatedModule reads the symbol so turned
  uint16_t columns = 0;       // modules of the turned symbol across and down, quiet zones excluded
  uint16_t rows = 0;
  uint32_t backColor = 0xFFFFFF;  // internal form 0x00BBGGRR
  uint32_t foreColor = 0;
};

}  // namespace korvex::internal
