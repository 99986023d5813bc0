#include "encoder/ReedSolomonCoder.h"

#include <algorithm>
#include <cassert>

namespace korvex::internal {

namespace {

constexpr int32_t kPrimitivePolynomial = 0x12D;
// A code over GF(256) cannot be longer than the number of non-zero field elements.
constexpr std::size_t kMaxBlockLength = 255;

}  // namespace

ReedSolomonCoder::ReedSolomonCoder(uint16_t k) : eccLength_(k) {
  assert(k <= kMaxEccLength);
  exp_[0] = 1;
  exp_[255] = 1;
  for (std::size_t i = 1; i <= 255; ++i) {
    int32_t value = exp_[i - 1] * 2;
    if (value > 255) value ^= kPrimitivePolynomial;
    exp_[i] = value;
    exp_[i + 255] = value;
  }
  // alpha^0 .. alpha^254 are all different, so one pass gives every value its smallest
  // exponent (log of 1 is 0, not 255) without searching the table for each value.
  for (std::size_t e = 0; e < 255; ++e) log_[static_cast<std::size_t>(exp_[e])] = static_cast<int32_t>(e);

  // One factor (x + alpha^i) at a time: each coefficient takes the one below it plus its own
  // times alpha^i.
  generator_[0] = 1;
  for (std::size_t i = 1; i <= k; ++i) {
    for (std::size_t j = i; j > 0; --j) generator_[j] = generator_[j - 1] ^ GfMultiply(generator_[j], exp_[i]);
    generator_[0] = GfMultiply(generator_[0], exp_[i]);
  }
}

int32_t ReedSolomonCoder::GfMultiply(int32_t a, int32_t b) const {
  if (a == 0 || b == 0) return 0;
  // Both logarithms are at most 254, so the sum stays inside the doubled exponent table.
  return exp_[static_cast<std::size_t>(log_[static_cast<std::size_t>(a)] + log_[static_cast<std::size_t>(b)])];
}

void ReedSolomonCoder::EncodeBlock(const uint8_t* data, std::size_t n, uint8_t* out) const {
  const std::size_t k = eccLength_;
  std::array<int32_t, kMaxEccLength + 1> remainder{};
  if (k > 0) {
    for (std::size_t i = 0; i < n; ++i) {
      const int32_t feedback = data[i] ^ remainder[k - 1];
      for (std::size_t j = k - 1; j >= 1; --j) remainder[j] = remainder[j - 1] ^ GfMultiply(generator_[j], feedback);
      remainder[0] = GfMultiply(generator_[0], feedback);
    }
  }
  std::copy(data, data + n, out);
  for (std::size_t i = 0; i < k; ++i) out[n + i] = static_cast<uint8_t>(remainder[k - 1 - i]);
}

namespace {

constexpr int32_t kRotatedEccFormatId = 24;
constexpr int32_t kRotatedEccShift = 2;

// The 1-based place of block b's codeword inside each group of blockCount error-correction
// codewords. The 144 x 144 format starts every group with its two shorter blocks.
std::size_t EccSlot(const FormatInfo& format, std::size_t block) {
  if (format.id != kRotatedEccFormatId) return block;
  const std::size_t blocks = static_cast<std::size_t>(format.blockCount);
  return (block - 1 + kRotatedEccShift) % blocks + 1;
}

bool FitsCoder(const FormatInfo& format, std::size_t dataCount) {
  if (format.blockCount <= 0 || dataCount != format.dataCodewords) return false;
  const std::size_t blocks = static_cast<std::size_t>(format.blockCount);
  if (format.eccCodewords % blocks != 0) return false;
  const std::size_t eccPerBlock = format.eccCodewords / blocks;
  const std::size_t longestBlock = (dataCount + blocks - 1) / blocks;
  return eccPerBlock <= ReedSolomonCoder::kMaxEccLength && longestBlock + eccPerBlock <= kMaxBlockLength;
}

}  // namespace

bool AppendErrorCorrection(const FormatInfo& format, CodewordBuffer& codewords) {
  const std::size_t dataCount = codewords.size();
  // A buffer that does not hold exactly the format's data would get its codewords written
  // over or mixed into the wrong blocks.
  if (!FitsCoder(format, dataCount)) return false;

  const std::size_t blocks = static_cast<std::size_t>(format.blockCount);
  const auto eccPerBlock = static_cast<uint16_t>(format.eccCodewords / blocks);
  codewords.resize(dataCount + format.eccCodewords, 0);

  // A fresh coder per symbol: its tables are rebuilt for every symbol anyway.
  const ReedSolomonCoder coder(eccPerBlock);

  std::array<uint8_t, kMaxBlockLength + 1> blockData{};
  std::array<uint8_t, kMaxBlockLength + 1> blockOut{};
  for (std::size_t block = 1; block <= blocks; ++block) {
    std::size_t n = 0;
    for (std::size_t position = block; position <= dataCount; position += blocks) blockData[n++] = codewords[position - 1];
    coder.EncodeBlock(blockData.data(), n, blockOut.data());
    const std::size_t slot = EccSlot(format, block);
    for (std::size_t j = 0; j < eccPerBlock; ++j) codewords[dataCount + j * blocks + slot - 1] = blockOut[n + j];
  }
  return true;
}

}  // namespace korvex::internal
