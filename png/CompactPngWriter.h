#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "result/Status.h"

namespace korvex::internal {

struct SymbolLayout;
class SymbolMatrix;

// The pixels that the 24-bit raster painted from a layout would hold, written as a PNG of one
// bit per pixel: greyscale (0 black, 1 white) when both colours are black or white, otherwise a
// palette of the background and the module colour (a single entry when they are the same).
// The rows are packed straight from the layout and the module matrix, so no raster is built
// and the geometry (fitting, alignment, quiet zone, rotation) is the layout's own.
//
// The stream carries IHDR, PLTE for a palette, pHYs at a resolution, the image data and IEND:
// no text, time or gamma chunk. Its bytes therefore depend on the layout, the matrix and the
// resolution alone: the same request always gives the same bytes.
//
// layout: made by ComputeLayout into a rectangle at (0, 0), which is the whole image.
// resolutionDpi above 0 adds the pHYs chunk, as for the 24-bit PNG. PngInitFailed when the
// stream could not be written whole (libpng gave up, or memory ran out), and for a layout
// without pixels or not at (0, 0).
StatusOr<std::string> WriteCompactPng(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi);

// The same stream written into stream: false when it could not be written whole, after which
// nothing more was written; also false, writing nothing, without a stream or for such a layout.
bool WriteCompactPng(FILE* stream, const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi);

}  // namespace korvex::internal
