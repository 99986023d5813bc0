#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoder/DataItem.h"
#include "encoder/FormatTable.h"

namespace korvex::internal {

// Reed-Solomon coding over GF(256) with the polynomial 0x12D, as ECC200 uses it. The tables
// and the generator are rebuilt for every symbol by InitCoder.
class ReedSolomonCoder {
 public:
  static constexpr std::size_t kMaxEccLength = 68;
  static constexpr std::size_t kGeneratorSize = 4 * kMaxEccLength;

  void SetEccLength(uint16_t k);
  void InitCoder();
  void BuildFieldTables();
  int32_t GfMultiply(int32_t a, int32_t b) const;
  // dst = p1 x p2, using the first 2k coefficients of each factor; dst gets 4k coefficients.
  void MultiplyPolynomials(int32_t* dst, const int32_t* p1, const int32_t* p2) const;
  void ComputeGenerator(uint16_t k, int32_t* gen) const;
  // out receives the n data codewords followed by the k error-correction codewords.
  void EncodeBlock(const uint8_t* data, std::size_t n, uint8_t* out);

  uint16_t EccLength() const { return eccLength_; }
  int32_t Exp(std::size_t i) const { return exp_[i]; }
  int32_t Log(std::size_t v) const { return log_[v]; }
  const int32_t* Generator() const { return generator_.data(); }

 private:
  uint16_t eccLength_ = 0;
  uint16_t workingDegree_ = 0;
  std::array<int32_t, 512> exp_{};
  std::array<int32_t, 256> log_{};
  std::array<int32_t, kGeneratorSize> generator_{};
  std::array<int32_t, kMaxEccLength> parity_{};
};

// Appends the interleaved error-correction codewords of the format to a buffer that holds
// exactly its data codewords. Always succeeds.
bool AppendErrorCorrection(const FormatInfo& format, CodewordBuffer& codewords);

}  // namespace korvex::internal
