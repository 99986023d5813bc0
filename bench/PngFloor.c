/* The floor of the PNG work: paints the raster that the program draws for a request (which
 * one is fixed by the generated raster source linked in) and writes it after the CGI header through libpng with the program's settings (level 6,
 * RGB 8 bits, gAMA, tIME and five text chunks). Nothing else: no request, no encoding. */
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "PngFloorRaster.h"

static void PaintRow(png_bytep row, uint32_t y) {
  const uint32_t distinct = kRasterRowOf[y];
  png_bytep pixel = row;
  for (uint32_t i = kRasterRowStarts[distinct]; i < kRasterRowStarts[distinct + 1]; i += 2) {
    const uint32_t color = kRasterColors[kRasterRuns[i]];
    for (uint32_t n = 0; n < kRasterRuns[i + 1]; ++n) {
      pixel[0] = (png_byte)(color >> 16);
      pixel[1] = (png_byte)(color >> 8);
      pixel[2] = (png_byte)color;
      pixel += 3;
    }
  }
}

int main(void) {
  const size_t rowBytes = (size_t)kRasterWidth * 3;
  png_bytep pixels = malloc(rowBytes * kRasterHeight);
  png_bytepp rows = malloc(sizeof(png_bytep) * kRasterHeight);
  if (pixels == NULL || rows == NULL) {
    return 3;
  }
  for (uint32_t y = 0; y < kRasterHeight; ++y) {
    rows[y] = pixels + rowBytes * y;
    PaintRow(rows[y], y);
  }

  fputs("Content-type: image/png\n\n", stdout);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, stdout);
  png_set_compression_level(png, 6);
  png_set_IHDR(png, info, kRasterWidth, kRasterHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_gAMA(png, info, 0.5);
  const time_t now = time(NULL);
  png_time modified;
  png_convert_from_time_t(&modified, now);
  png_set_tIME(png, info, &modified);
  char creationTime[29] = "";
  png_convert_to_rfc1123_buffer(creationTime, &modified);
  png_text texts[5];
  memset(texts, 0, sizeof texts);
  char* const entries[5][2] = {{"Title", "Title_Text"},
                               {"Author", "Author_Text"},
                               {"Description", "Description_Text"},
                               {"Creation Time", creationTime},
                               {"Software", "Software_Text"}};
  for (int i = 0; i < 5; ++i) {
    texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[i].key = entries[i][0];
    texts[i].text = entries[i][1];
  }
  png_set_text(png, info, texts, 5);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  free(rows);
  free(pixels);
  return 0;
}
