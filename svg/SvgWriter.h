#pragma once

#include <cstdint>
#include <string>

#include "result/Status.h"

namespace korvex::internal {

struct SymbolLayout;
class SymbolMatrix;

// The symbol as a standalone SVG 1.1 document that shows, at its own size, exactly the pixels
// of the raster painted from the same layout: a background rectangle over the whole image and
// the dark modules as one path of closed rectangles on whole pixels, drawn with crisp edges.
// The same input gives the same bytes; it never fails but for memory, which raises.
// width and height are in pixels, or, at a resolution of resolutionDpi dots per inch (above 0),
// in millimetres, so that the document prints at the size the raster would.
StatusOr<std::string> WriteSvg(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi = 0);

// The path data of the dark modules: one closed rectangle per maximal horizontal run of dark
// modules, runs of the same extent in the rows below merged into it, each rectangle placed
// relative to the start of the one before (the first absolutely). Empty without dark modules.
std::string ModulePathData(const SymbolMatrix& matrix, const SymbolLayout& layout);

}  // namespace korvex::internal
