#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One chunk of a PNG stream as it stands in the file (its CRC already checked).
struct PngChunk {
  std::string type;           // four letters, e.g. "IHDR"
  std::vector<uint8_t> data;  // the chunk's payload, without length, type and CRC
};

// What a test wants to know about a PNG stream.
struct PngInfo {
  std::vector<PngChunk> chunks;  // every chunk, in stream order
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int compression = 0;
  int filter = 0;
  int interlace = 0;
  // Keyword and text of every tEXt chunk, in stream order.
  std::vector<std::pair<std::string, std::string>> texts;
  // The decoded image as 8-bit R, G, B, row after row (width * height * 3 bytes), whatever
  // the stream's own colour type and bit depth.
  std::vector<uint8_t> rgb;

  // Chunk types in stream order, e.g. {"IHDR", "gAMA", ..., "IEND"}.
  std::vector<std::string> ChunkTypes() const;
  // The first chunk of the type, or nullptr.
  const PngChunk* FindChunk(const std::string& type) const;
  // The text of the first tEXt chunk with the keyword, or nullptr.
  const std::string* FindText(const std::string& keyword) const;
  // R, G, B of pixel (x, y) as 0xRRGGBB (the order in which they stand in the stream).
  uint32_t PixelRgb(uint32_t x, uint32_t y) const;
};

// The 8-byte PNG signature.
extern const std::string kPngSignature;

// Parses a complete PNG stream: signature, chunk structure and CRCs, IHDR, tEXt chunks, and
// decodes the pixels with libpng. Returns false, with a reason in *error when given, for
// anything that is not one well-formed PNG stream (trailing bytes after IEND included).
bool ReadPng(const std::string& bytes, PngInfo& out, std::string* error = nullptr);


// Big-endian 32-bit value at offset of a chunk's payload (0 when it runs past the end).
uint32_t ReadBigEndian32(const std::vector<uint8_t>& data, std::size_t offset);

// The response with its PNG's time fields taken out (the tIME chunk and the "Creation Time"
// text), so that two answers to one request made at different seconds compare equal. Whatever
// precedes the PNG signature (the CGI header) is kept; a response without a PNG is returned
// unchanged.
std::string WithoutPngTime(const std::string& response);
