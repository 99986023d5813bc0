#include "render/RgbImage.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace korvex::internal {

RgbImage::RgbImage(int32_t width, int32_t height, uint32_t initialColor, int32_t compressionLevel)
    : compressionLevel_(compressionLevel), width_(width), height_(height), initialColor_(initialColor) {}

bool RgbImage::AllocateRows() {
  rowPointers_.clear();
  rows_.clear();
  if (width_ < 1 || height_ < 1) return false;
  const uint64_t rowBytes = static_cast<uint64_t>(width_) * kBytesPerPixel;
  if (rowBytes * static_cast<uint64_t>(height_) > kMaxRasterBytes) return false;

  const auto height = static_cast<std::size_t>(height_);
  try {
    rows_.reserve(height);
    rowPointers_.reserve(height);
    for (std::size_t y = 0; y < height; ++y) {
      auto row = std::make_unique<uint8_t[]>(static_cast<std::size_t>(rowBytes));
      std::memset(row.get(), 0xFF, static_cast<std::size_t>(rowBytes));
      rowPointers_.push_back(row.get());
      rows_.push_back(std::move(row));
    }
  } catch (const std::bad_alloc&) {
    // A half-built raster is of no use to anyone: leave the image without rows.
    rowPointers_.clear();
    rows_.clear();
    return false;
  }
  return true;
}

void RgbImage::FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t color) {
  if (w < 1 || h < 1 || rows_.empty()) return;
  // Clip in 64 bits so that x + w cannot overflow.
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + w, width_);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + h, height_);
  if (left >= right || top >= bottom) return;

  const auto red = static_cast<uint8_t>(color & 0xFF);
  const auto green = static_cast<uint8_t>((color >> 8) & 0xFF);
  const auto blue = static_cast<uint8_t>((color >> 16) & 0xFF);
  const auto firstByte = static_cast<std::size_t>(left) * 3;
  const auto pixelCount = static_cast<std::size_t>(right - left);
  // Greys, black and white have three equal bytes: one block fill per row.
  const bool grey = red == green && green == blue;

  for (int64_t row = top; row < bottom; ++row) {
    uint8_t* pixel = rows_[static_cast<std::size_t>(row)].get() + firstByte;
    if (grey) {
      std::memset(pixel, red, pixelCount * 3);
      continue;
    }
    for (std::size_t i = 0; i < pixelCount; ++i, pixel += 3) {
      pixel[0] = red;
      pixel[1] = green;
      pixel[2] = blue;
    }
  }
}

}  // namespace korvex::internal
