#include "png/CompactPngWriter.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "png/PngResolution.h"
#include "png/PngWriter.h"
#include "render/SymbolLayout.h"

namespace korvex::internal {

namespace {

constexpr uint32_t kColorMask = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

// Compression, chosen by the bytes it gives for the default request (70 x 70 pixels), the
// 200 x 200 label and the 699 x 699 symbol of fmt 24, every combination of filter (None, Sub,
// Up, Average, Paeth, all five adaptively, None and Up), strategy (default, filtered, RLE,
// Huffman only, fixed), level (1 to 9), memLevel (1 to 9) and window (512 bytes to 32 KiB)
// written and measured:
// - Filter None (164, 232 and 4307 bytes with the rest as below). A pixel row repeats the one
//   above it for the height of a module, which deflate takes as one match a row back; the
//   other filters work on whole bytes, mixing eight pixels into every value: Sub, Up, Paeth
//   and the adaptive choice gave 7 to 57 % more bytes, Average more than twice as many.
// - Z_FILTERED, which prefers literals to short matches: the rows of a symbol are close to
//   random, and short matches into them cost more than they save. The default strategy gave
//   165, 238 and 4375 bytes, the fixed codes 173, 321 and 7322; RLE and Huffman only 2 to 6
//   times as many.
// - A window of four rows, at least 512 bytes: matches far back, into unrelated rows, cost more
//   bits than the literals they replace. The full 32 KiB window gave 164, 240 and 4568 bytes; a
//   window under two rows loses the match a row back and multiplies the size.
// - Level 6: 7, 8 and 9 give the same bytes on all three and take longer; 5 gave 4434 bytes for
//   the large symbol, 1 to 4 more still.
// - memLevel: zlib's hash table has 2^(memLevel + 7) entries, and it walks all of them each time
//   the small window slides on. A table about the size of the image data (memLevel 3 for the
//   default request, 6 for the label, zlib's default 8 for the large symbol) gives the same
//   bytes as 8 on all three and takes a third of the time on the label (50 against 150 µs in
//   process); on the large symbol 7 gave 4336 bytes and 9 the same as 8.
constexpr int kCompressionLevel = 6;
constexpr int kCompressionStrategy = Z_FILTERED;
constexpr int kRowFilters = PNG_FILTER_NONE;
constexpr int kWindowRows = 4;
constexpr int kSmallestWindowBits = 9;
constexpr int kLargestWindowBits = 15;

constexpr int kLargestMemLevel = 8;
constexpr int kHashBitsAboveMemLevel = 7;

// zlib's memLevel for an image of imageBytes filtered bytes: the smallest whose hash table
// holds as many entries as the image has bytes, at most zlib's default.
int MemLevel(std::size_t imageBytes) {
  int level = 1;
  while (level < kLargestMemLevel && (std::size_t{1} << (level + kHashBitsAboveMemLevel)) < imageBytes) ++level;
  return level;
}

// zlib's window for rows of rowBytes pixel bytes (plus the filter byte of each).
int WindowBits(std::size_t rowBytes) {
  int bits = kSmallestWindowBits;
  while (bits < kLargestWindowBits && (std::size_t{1} << bits) < kWindowRows * (rowBytes + 1)) ++bits;
  return bits;
}

// How pixels become bits: the colour type and, for a palette, its entries.
struct PixelFormat {
  int colorType = PNG_COLOR_TYPE_GRAY;
  png_color palette[2] = {};
  int paletteSize = 0;
  uint8_t backgroundBit = 1;
  uint8_t moduleBit = 0;
};

bool IsBlackOrWhite(uint32_t color) { return color == kBlack || color == kWhite; }

png_color ToPngColor(uint32_t color) {
  // The internal form holds red in the low byte.
  return png_color{static_cast<png_byte>(color & 0xFF), static_cast<png_byte>((color >> 8) & 0xFF),
                   static_cast<png_byte>((color >> 16) & 0xFF)};
}

// The raster ignores bits 24 to 31 of a colour; so does this.
PixelFormat ChoosePixelFormat(uint32_t backColor, uint32_t foreColor) {
  const uint32_t back = backColor & kColorMask;
  const uint32_t fore = foreColor & kColorMask;
  PixelFormat format;
  if (IsBlackOrWhite(back) && IsBlackOrWhite(fore)) {
    // A one-bit grey sample is 0 for black and 1 for white.
    format.colorType = PNG_COLOR_TYPE_GRAY;
    format.backgroundBit = back == kWhite ? 1 : 0;
    format.moduleBit = fore == kWhite ? 1 : 0;
    return format;
  }
  format.colorType = PNG_COLOR_TYPE_PALETTE;
  format.palette[0] = ToPngColor(back);
  format.backgroundBit = 0;
  if (fore == back) {
    format.paletteSize = 1;
    format.moduleBit = 0;
  } else {
    format.palette[1] = ToPngColor(fore);
    format.paletteSize = 2;
    format.moduleBit = 1;
  }
  return format;
}

// Sets pixels [from, to) of a row of one-bit pixels (most significant bit first) to bit.
void FillBits(uint8_t* row, int64_t from, int64_t to, uint8_t bit) {
  if (from >= to) return;
  const uint8_t fill = bit != 0 ? 0xFF : 0x00;
  int64_t firstByte = from >> 3;
  const int64_t lastByte = (to - 1) >> 3;
  const auto mask = [](int64_t start, int64_t end) {  // bits start..end-1 within one byte
    return static_cast<uint8_t>((0xFFu >> start) & ~(0xFFu >> end));
  };
  if (firstByte == lastByte) {
    const uint8_t bits = mask(from & 7, ((to - 1) & 7) + 1);
    row[firstByte] = static_cast<uint8_t>((row[firstByte] & ~bits) | (fill & bits));
    return;
  }
  if ((from & 7) != 0) {
    const uint8_t bits = mask(from & 7, 8);
    row[firstByte] = static_cast<uint8_t>((row[firstByte] & ~bits) | (fill & bits));
    ++firstByte;
  }
  const uint8_t lastBits = mask(0, ((to - 1) & 7) + 1);
  row[lastByte] = static_cast<uint8_t>((row[lastByte] & ~lastBits) | (fill & lastBits));
  std::memset(row + firstByte, fill, static_cast<std::size_t>(lastByte - firstByte));
}

// The image rows from top to bottom, each packed once per module row and handed out again for
// every pixel row of that module row, the way the raster's FillRect paints them: a dark module
// covers its square clipped to the image, everything else shows the background.
class PackedRows {
 public:
  PackedRows(const SymbolLayout& layout, const SymbolMatrix& matrix, const PixelFormat& format,
             std::vector<uint8_t>& backgroundRow, std::vector<uint8_t>& moduleRow)
      : layout_(layout), matrix_(matrix), format_(format), background_(backgroundRow), modules_(moduleRow) {
    std::fill(background_.begin(), background_.end(), format.backgroundBit != 0 ? 0xFF : 0x00);
  }

  // The packed pixels of image row y; rows are asked for in order.
  png_bytep Row(int32_t y) {
    const int64_t moduleSize = layout_.moduleSize;
    const int64_t offset = static_cast<int64_t>(y) - layout_.y;
    if (moduleSize < 1 || offset < 0 || offset >= moduleSize * layout_.rows) return background_.data();
    const int64_t moduleRow = offset / moduleSize;
    if (moduleRow != packedModuleRow_) Pack(static_cast<uint16_t>(moduleRow));
    return modules_.data();
  }

 private:
  // One module row: the background, then each run of dark modules as one span of bits.
  void Pack(uint16_t i) {
    std::copy(background_.begin(), background_.end(), modules_.begin());
    const int64_t width = layout_.area.Width();
    const int64_t moduleSize = layout_.moduleSize;
    uint16_t j = 0;
    while (j < layout_.columns) {
      if (layout_.Module(matrix_, i, j) == 0) {
        ++j;
        continue;
      }
      const uint16_t runStart = j;
      while (j < layout_.columns && layout_.Module(matrix_, i, j) != 0) ++j;
      const int64_t left = layout_.x + runStart * moduleSize;
      const int64_t right = layout_.x + j * moduleSize;
      FillBits(modules_.data(), std::max<int64_t>(left, 0), std::min(right, width), format_.moduleBit);
    }
    packedModuleRow_ = i;
  }

  const SymbolLayout& layout_;
  const SymbolMatrix& matrix_;
  const PixelFormat& format_;
  std::vector<uint8_t>& background_;
  std::vector<uint8_t>& modules_;
  int64_t packedModuleRow_ = -1;
};

// Everything the libpng calls need. The rows are read through a plain pointer to an object
// that lives in the caller's frame.
struct CompactJob {
  FILE* stream;
  png_uint_32 width;
  png_uint_32 height;
  const PixelFormat* format;
  png_uint_32 pixelsPerMetre;  // 0: no pHYs chunk
  int windowBits;
  int memLevel;
  PackedRows* rows;
};

[[noreturn]] void AbandonWrite(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// The only frame that libpng may longjmp into: it holds nothing but plain data and libpng's
// own structures, so no destructor is ever skipped. True when the whole stream was written.
bool WriteCompactStream(const CompactJob& job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, AbandonWrite, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }

  png_init_io(png, job.stream);
  png_set_compression_level(png, kCompressionLevel);
  png_set_compression_strategy(png, kCompressionStrategy);
  png_set_compression_window_bits(png, job.windowBits);
  png_set_compression_mem_level(png, job.memLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, kRowFilters);
  png_set_IHDR(png, info, job.width, job.height, 1, job.format->colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job.format->colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(png, info, job.format->palette, job.format->paletteSize);
  }
  if (job.pixelsPerMetre > 0) {
    png_set_pHYs(png, info, job.pixelsPerMetre, job.pixelsPerMetre, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  for (png_uint_32 y = 0; y < job.height; ++y) png_write_row(png, job.rows->Row(static_cast<int32_t>(y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WriteCompactPng(FILE* stream, const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi) {
  const DrawRect& area = layout.area;
  if (stream == nullptr || area.left != 0 || area.top != 0 || area.Width() < 1 || area.Height() < 1) return false;
  const PixelFormat format = ChoosePixelFormat(layout.backColor, layout.foreColor);
  const auto rowBytes = (static_cast<std::size_t>(area.Width()) + 7) / 8;
  std::vector<uint8_t> backgroundRow;
  std::vector<uint8_t> moduleRow;
  try {
    backgroundRow.resize(rowBytes);
    moduleRow.resize(rowBytes);
  } catch (const std::bad_alloc&) {
    return false;  // as a raster that cannot be allocated
  }
  PackedRows rows(layout, matrix, format, backgroundRow, moduleRow);
  CompactJob job{};
  job.stream = stream;
  job.width = static_cast<png_uint_32>(area.Width());
  job.height = static_cast<png_uint_32>(area.Height());
  job.format = &format;
  job.pixelsPerMetre = PngPixelsPerMetre(resolutionDpi);
  job.windowBits = WindowBits(rowBytes);
  job.memLevel = MemLevel((rowBytes + 1) * job.height);
  job.rows = &rows;
  return WriteCompactStream(job);
}

StatusOr<std::string> WriteCompactPng(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi) {
  return WriteToMemory([&](FILE* stream) { return WriteCompactPng(stream, matrix, layout, resolutionDpi); });
}

}  // namespace korvex::internal
