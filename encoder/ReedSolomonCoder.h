#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoder/DataItem.h"
#include "encoder/FormatTable.h"

namespace korvex::internal {

// Reed-Solomon coding over GF(256) with the polynomial 0x12D, as ECC200 uses it, for k
// error-correction codewords per block. The tables and the generator are built for every symbol.
class ReedSolomonCoder {
 public:
  static constexpr std::size_t kMaxEccLength = 68;

  explicit ReedSolomonCoder(uint16_t k);  // k at most kMaxEccLength

  int32_t GfMultiply(int32_t a, int32_t b) const;
  // out receives the n data codewords followed by the k error-correction codewords.
  void EncodeBlock(const uint8_t* data, std::size_t n, uint8_t* out) const;

  uint16_t EccLength() const { return eccLength_; }
  int32_t Exp(std::size_t i) const { return exp_[i]; }
  int32_t Log(std::size_t v) const { return log_[v]; }
  // (x + alpha^1) ... (x + alpha^k), the coefficient of x^0 first; those above x^k are 0.
  const int32_t* Generator() const { return generator_.data(); }

 private:
  uint16_t eccLength_;
  std::array<int32_t, 512> exp_{};
  std::array<int32_t, 256> log_{};
  std::array<int32_t, kMaxEccLength + 1> generator_{};
};

// Appends the interleaved error-correction codewords of the format to a buffer that holds
// exactly its data codewords. Always succeeds.
bool AppendErrorCorrection(const FormatInfo& format, CodewordBuffer& codewords);

}  // namespace korvex::internal
