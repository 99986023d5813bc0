// The 24-bit PNG: RgbImage::WritePng writes the raster as one stream through libpng.
#include "png/PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "png/PngResolution.h"
#include "render/DrawingGeometry.h"
#include "render/RgbImage.h"

namespace korvex::internal {

namespace {

constexpr int kDefaultCompressionLevel = 6;
constexpr int32_t kCompressionLevelDefaultMarker = -2;
constexpr double kSmallestGamma = 0.1;
constexpr double kFallbackGamma = 0.7;
constexpr int kTextCount = 5;

// Everything the libpng calls need, as plain data.
struct PngJob {
  FILE* stream;
  png_uint_32 width;
  png_uint_32 height;
  int bitDepth;
  int compressionLevel;
  double gamma;
  png_uint_32 pixelsPerMetre;  // 0: no pHYs chunk
  png_bytepp rows;
};

// libpng calls this for any error it cannot recover from; leaving through the recovery point
// of WritePngStream ends the write without another byte of output.
[[noreturn]] void AbandonWrite(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// The only frame that libpng may longjmp into: it holds nothing but plain data and libpng's
// own structures, so no destructor is ever skipped. True when the whole stream was written.
bool WritePngStream(const PngJob& job) {
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
  png_set_compression_level(png, job.compressionLevel);
  png_set_IHDR(png, info, job.width, job.height, job.bitDepth, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_gAMA(png, info, job.gamma);
  if (job.pixelsPerMetre > 0) {
    png_set_pHYs(png, info, job.pixelsPerMetre, job.pixelsPerMetre, PNG_RESOLUTION_METER);
  }

  // One reading of the clock for both the tIME chunk and the "Creation Time" text. The time is
  // broken down with gmtime_r: libpng's png_convert_from_time_t uses gmtime, whose one shared
  // buffer programs drawing on several threads would overwrite under each other.
  const std::time_t now = std::time(nullptr);
  png_time modified{};
  std::tm brokenDown{};
  if (gmtime_r(&now, &brokenDown) != nullptr) png_convert_from_struct_tm(&modified, &brokenDown);
  png_set_tIME(png, info, &modified);
  char creationTime[29] = "";
  if (png_convert_to_rfc1123_buffer(creationTime, &modified) == 0) creationTime[0] = '\0';

  char titleKey[] = "Title";
  char titleText[] = "Title_Text";
  char authorKey[] = "Author";
  char authorText[] = "Author_Text";
  char descriptionKey[] = "Description";
  char descriptionText[] = "Description_Text";
  char creationTimeKey[] = "Creation Time";
  char softwareKey[] = "Software";
  char softwareText[] = "Software_Text";
  png_text texts[kTextCount] = {};
  char* const entries[kTextCount][2] = {{titleKey, titleText},
                                        {authorKey, authorText},
                                        {descriptionKey, descriptionText},
                                        {creationTimeKey, creationTime},
                                        {softwareKey, softwareText}};
  for (int i = 0; i < kTextCount; ++i) {
    texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[i].key = entries[i][0];
    texts[i].text = entries[i][1];
  }
  png_set_text(png, info, texts, kTextCount);

  png_write_info(png, info);
  png_write_image(png, job.rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool RgbImage::WritePng(FILE* stream) {
  // Without a stream or a complete raster there is nothing that could be written.
  if (stream == nullptr || width_ < 1 || height_ < 1 || rowPointers_.size() != static_cast<std::size_t>(height_)) {
    return false;
  }
  if (gamma_ < kSmallestGamma) gamma_ = kFallbackGamma;
  PngJob job{};
  job.stream = stream;
  job.width = static_cast<png_uint_32>(width_);
  job.height = static_cast<png_uint_32>(height_);
  job.bitDepth = bitDepth_;
  job.compressionLevel =
      compressionLevel_ == kCompressionLevelDefaultMarker ? kDefaultCompressionLevel : compressionLevel_;
  job.gamma = gamma_;
  job.pixelsPerMetre = PngPixelsPerMetre(resolutionDpi_);
  job.rows = rowPointers_.data();
  return WritePngStream(job);
}

namespace {
struct FreeDeleter {
  void operator()(char* buffer) const { std::free(buffer); }
};
}  // namespace

StatusOr<std::string> WriteToMemory(const std::function<bool(FILE*)>& write) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr) return Result::PngInitFailed;
  const bool written = write(stream);
  const bool closed = std::fclose(stream) == 0;
  const std::unique_ptr<char, FreeDeleter> owned(buffer);
  // Closing shrinks the buffer to its size; when that fails, glibc reports success but leaves
  // no buffer.
  if (!written || !closed || owned == nullptr) return Result::PngInitFailed;
  return std::string(owned.get(), size);
}

StatusOr<std::string> WritePng(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi) {
  StatusOr<std::string> bytes = Result::PngInitFailed;
  const Status painted = PaintRaster(matrix, layout, resolutionDpi, [&bytes](RgbImage& image) {
    bytes = WriteToMemory([&image](FILE* stream) { return image.WritePng(stream); });
  });
  if (!painted.Ok()) return painted;
  return bytes;
}

}  // namespace korvex::internal
