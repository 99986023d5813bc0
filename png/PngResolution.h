#pragma once

#include <cmath>
#include <cstdint>

namespace korvex::internal {

// The pHYs value of a resolution: pixels per metre for dpi dots per inch, rounded; 0, which
// stands for no pHYs chunk, when no resolution was asked for. Both PNG writers use it.
inline uint32_t PngPixelsPerMetre(int32_t dpi) {
  constexpr double kMetresPerInch = 0.0254;
  return dpi > 0 ? static_cast<uint32_t>(std::lround(dpi / kMetresPerInch)) : 0;
}

}  // namespace korvex::internal
