#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex::internal {
class SymbolMatrix;
}  // namespace korvex::internal

// An 8-bit-per-sample raster handed to the decoders: 1 (grey) or 3 (RGB) samples per pixel.
struct Raster {
  int width = 0;
  int height = 0;
  int channels = 1;
  std::vector<uint8_t> pixels;
};

// What a decoder reports for one symbol.
struct Decoded {
  std::string bytes;             // the decoded data bytes
  std::string bytesWithEci;      // zxing only: data with ECI designators as \NNNNNN escapes
  std::string symbologyId;       // zxing only: "]d1", "]d2" (FNC1 first) ...
  std::string text;              // zxing only: the bytes as text, in the character set an ECI names
};

// The matrix drawn black on white, moduleSize pixels per module, quietModules light modules
// around it, turned by orientation (degrees) as a layout turns it.
Raster RenderMatrix(const korvex::internal::SymbolMatrix& matrix, int moduleSize, int quietModules,
                    int32_t orientation = 0);

std::optional<Decoded> ReadWithZxing(const Raster& raster);
std::optional<Decoded> ReadWithDmtx(const Raster& raster);

// Printable form of a byte string for failure messages.
std::string Printable(const std::string& bytes);
