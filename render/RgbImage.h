#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace korvex::internal {

// A 24-bit RGB raster, one buffer per row (R, G, B bytes per pixel), the rows being what the
// PNG writer hands to libpng. Colours are 0x00BBGGRR: red in the low byte.
class RgbImage {
 public:
  RgbImage(int32_t width, int32_t height, uint32_t initialColor, int32_t compressionLevel);
  virtual ~RgbImage() = default;
  RgbImage(const RgbImage&) = delete;
  RgbImage& operator=(const RgbImage&) = delete;

  // Allocates every row, all pixels white. False when memory runs out or the raster would be
  // larger than kMaxRasterBytes.
  bool AllocateRows();
  // Fills columns x..x+w-1 of rows y..y+h-1, clipped to the image.
  void FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t color);
  // Writes the image as one PNG stream (defined with the PNG writer). False when the stream
  // could not be written whole: libpng gave up part-way, or there was nothing to write.
  bool WritePng(FILE* stream);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t BitDepth() const { return bitDepth_; }
  double Gamma() const { return gamma_; }
  void SetGamma(double gamma) { gamma_ = gamma; }
  int32_t CompressionLevel() const { return compressionLevel_; }
  uint32_t InitialColor() const { return initialColor_; }
  // Pixels per inch the image is meant to print at; 0 (the default) for none, which leaves the
  // PNG without a physical resolution.
  void SetResolutionDpi(int32_t dpi) { resolutionDpi_ = dpi; }
  uint8_t** Rows() { return rowPointers_.data(); }
  const uint8_t* Row(int32_t y) const { return rows_[static_cast<std::size_t>(y)].get(); }

  // Rasters larger than this are refused before anything is allocated.
  static constexpr uint64_t kMaxRasterBytes = 64ull * 1024 * 1024;
  static constexpr uint64_t kBytesPerPixel = 3;

 private:
  int32_t compressionLevel_;
  int32_t width_;
  int32_t height_;
  int32_t bitDepth_ = 8;
  double gamma_ = 0.5;
  uint32_t initialColor_;
  int32_t resolutionDpi_ = 0;
  std::vector<std::unique_ptr<uint8_t[]>> rows_;
  std::vector<uint8_t*> rowPointers_;
};

}  // namespace korvex::internal
