#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "result/Status.h"

namespace korvex::internal {

class SymbolMatrix;
struct SymbolLayout;

// The bytes that write puts into a stream over memory, so that libpng's calls stay as they are
// and a failure part-way leaves nothing behind. PngInitFailed when write returns false or the
// stream cannot be opened or closed.
StatusOr<std::string> WriteToMemory(const std::function<bool(FILE*)>& write);

// The layout as a 24-bit PNG: the raster painted from it (PaintRaster), with gamma, time and
// text chunks, and pHYs at a resolution above 0. PngInitFailed when the raster's rows find no
// memory or libpng gives up.
StatusOr<std::string> WritePng(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi);

}  // namespace korvex::internal
