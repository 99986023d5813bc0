#include "support/PngReader.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);

namespace {

// Decoded rasters above this are refused rather than allocated: no test image comes near it.
constexpr uint64_t kMaxDecodedBytes = 256ull * 1024 * 1024;

bool Fail(std::string* error, const std::string& reason) {
  if (error != nullptr) *error = reason;
  return false;
}

uint32_t BigEndian32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

bool IsChunkTypeByte(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool SplitChunks(const std::string& bytes, std::vector<PngChunk>& chunks, std::string* error) {
  if (bytes.size() < kPngSignature.size() || bytes.compare(0, kPngSignature.size(), kPngSignature) != 0) {
    return Fail(error, "missing PNG signature");
  }
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t pos = kPngSignature.size();
  while (true) {
    if (bytes.size() - pos < 12) return Fail(error, "truncated chunk header at byte " + std::to_string(pos));
    const uint32_t length = BigEndian32(p + pos);
    if (length > 0x7FFFFFFFu) return Fail(error, "chunk length out of range at byte " + std::to_string(pos));
    if (bytes.size() - pos - 12 < length) return Fail(error, "truncated chunk at byte " + std::to_string(pos));
    const unsigned char* type = p + pos + 4;
    for (int i = 0; i < 4; ++i) {
      if (!IsChunkTypeByte(type[i])) return Fail(error, "bad chunk type at byte " + std::to_string(pos));
    }
    PngChunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(type), 4);
    chunk.data.assign(type + 4, type + 4 + length);
    const uint32_t storedCrc = BigEndian32(type + 4 + length);
    const uLong computedCrc = crc32(crc32(0L, Z_NULL, 0), type, static_cast<uInt>(length + 4));
    if (storedCrc != static_cast<uint32_t>(computedCrc)) return Fail(error, "CRC mismatch in chunk " + chunk.type);
    pos += 12 + length;
    const bool isEnd = chunk.type == "IEND";
    chunks.push_back(std::move(chunk));
    if (isEnd) break;
  }
  if (pos != bytes.size()) return Fail(error, std::to_string(bytes.size() - pos) + " bytes after IEND");
  return true;
}

bool ParseHeader(const std::vector<PngChunk>& chunks, PngInfo& out, std::string* error) {
  if (chunks.empty() || chunks.front().type != "IHDR") return Fail(error, "first chunk is not IHDR");
  const std::vector<uint8_t>& ihdr = chunks.front().data;
  if (ihdr.size() != 13) return Fail(error, "IHDR has " + std::to_string(ihdr.size()) + " bytes");
  out.width = BigEndian32(ihdr.data());
  out.height = BigEndian32(ihdr.data() + 4);
  out.bitDepth = ihdr[8];
  out.colorType = ihdr[9];
  out.compression = ihdr[10];
  out.filter = ihdr[11];
  out.interlace = ihdr[12];
  return true;
}

bool ParseTexts(const std::vector<PngChunk>& chunks, PngInfo& out, std::string* error) {
  for (const PngChunk& chunk : chunks) {
    if (chunk.type != "tEXt") continue;
    const auto separator = std::find(chunk.data.begin(), chunk.data.end(), uint8_t{0});
    if (separator == chunk.data.end()) return Fail(error, "tEXt chunk without keyword separator");
    out.texts.emplace_back(std::string(chunk.data.begin(), separator), std::string(separator + 1, chunk.data.end()));
  }
  return true;
}

// The libpng side of the decoding. Only plain data and libpng's own structures live in this
// frame, so libpng's longjmp on an error skips no destructor.
struct MemorySource {
  const unsigned char* data;
  std::size_t size;
  std::size_t position;
};

struct DecodeFailure {
  char message[200];
};

void ReadFromMemory(png_structp png, png_bytep target, png_size_t length) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (source->size - source->position < length) png_error(png, "read past the end of the stream");
  std::memcpy(target, source->data + source->position, length);
  source->position += length;
}

void RecordError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<DecodeFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "libpng: %s", message);
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

bool DecodePixels(const unsigned char* data, std::size_t size, png_bytepp rows, uint32_t width, uint32_t height,
                  DecodeFailure& failure) {
  MemorySource source{data, size, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, RecordError, IgnoreWarning);
  if (png == nullptr) {
    std::snprintf(failure.message, sizeof failure.message, "png_create_read_struct failed");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(failure.message, sizeof failure.message, "png_create_info_struct failed");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &source, ReadFromMemory);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_image_width(png, info) != width || png_get_image_height(png, info) != height ||
      png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 3) {
    png_error(png, "decoded layout differs from the header");
  }
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

bool ReadPng(const std::string& bytes, PngInfo& out, std::string* error) {
  out = PngInfo();
  if (!SplitChunks(bytes, out.chunks, error) || !ParseHeader(out.chunks, out, error) ||
      !ParseTexts(out.chunks, out, error)) {
    return false;
  }
  const uint64_t rowBytes = static_cast<uint64_t>(out.width) * 3;
  if (out.width == 0 || out.height == 0 || rowBytes * out.height > kMaxDecodedBytes) {
    return Fail(error, "image size " + std::to_string(out.width) + "x" + std::to_string(out.height) +
                           " out of the decodable range");
  }
  out.rgb.assign(static_cast<std::size_t>(rowBytes * out.height), 0);
  std::vector<png_bytep> rows(out.height);
  for (uint32_t y = 0; y < out.height; ++y) rows[y] = out.rgb.data() + y * rowBytes;
  DecodeFailure failure{};
  if (!DecodePixels(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), rows.data(), out.width,
                    out.height, failure)) {
    out.rgb.clear();
    return Fail(error, failure.message);
  }
  return true;
}

std::vector<std::string> PngInfo::ChunkTypes() const {
  std::vector<std::string> types;
  types.reserve(chunks.size());
  for (const PngChunk& chunk : chunks) types.push_back(chunk.type);
  return types;
}

const PngChunk* PngInfo::FindChunk(const std::string& type) const {
  for (const PngChunk& chunk : chunks) {
    if (chunk.type == type) return &chunk;
  }
  return nullptr;
}

const std::string* PngInfo::FindText(const std::string& keyword) const {
  for (const auto& [key, text] : texts) {
    if (key == keyword) return &text;
  }
  return nullptr;
}

uint32_t PngInfo::PixelRgb(uint32_t x, uint32_t y) const {
  const std::size_t offset = (static_cast<std::size_t>(y) * width + x) * 3;
  return (static_cast<uint32_t>(rgb.at(offset)) << 16) | (static_cast<uint32_t>(rgb.at(offset + 1)) << 8) |
         rgb.at(offset + 2);
}

uint32_t ReadBigEndian32(const std::vector<uint8_t>& data, std::size_t offset) {
  if (offset > data.size() || data.size() - offset < 4) return 0;
  return BigEndian32(data.data() + offset);
}

std::string WithoutPngTime(const std::string& response) {
  const std::size_t start = response.find(kPngSignature);
  if (start == std::string::npos) return response;
  std::string kept = response.substr(0, start + kPngSignature.size());
  constexpr std::size_t kFraming = 12;  // length, type and CRC
  std::size_t pos = kept.size();
  while (pos + kFraming <= response.size()) {
    const uint32_t length = BigEndian32(reinterpret_cast<const unsigned char*>(response.data()) + pos);
    if (length > response.size() - pos - kFraming) break;
    const std::string type = response.substr(pos + 4, 4);
    const bool creationTime = type == "tEXt" && response.compare(pos + 8, 14, std::string("Creation Time\0", 14)) == 0;
    if (type != "tIME" && !creationTime) kept += response.substr(pos, kFraming + length);
    pos += kFraming + length;
  }
  kept += response.substr(pos);  // anything that is no chunk stays, to be compared as it is
  return kept;
}
