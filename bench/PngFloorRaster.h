#pragma once
/* The raster of one request: each image row points at one of the distinct rows, held
 * as (colour index, length) runs; colours are 0xRRGGBB. */
#include <stdint.h>

extern const uint32_t kRasterWidth;
extern const uint32_t kRasterHeight;
extern const uint32_t kRasterColors[];
extern const uint32_t kRasterRuns[];
extern const uint32_t kRasterRowStarts[];
extern const uint32_t kRasterRowOf[];
