#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/FormatTable.h"
#include "encoder/SymbolMatrix.h"

namespace korvex::internal {

// The codewords of a format, data and error correction alike, filled from arbitrary but fixed
// values, so that the modules vary without any encoding behind them.
inline CodewordBuffer VariedCodewords(const FormatInfo& format) {
  CodewordBuffer codewords(static_cast<std::size_t>(format.dataCodewords) + format.eccCodewords);
  for (std::size_t i = 0; i < codewords.size(); ++i) codewords[i] = static_cast<uint8_t>(i * 37 + 11);
  return codewords;
}

// The symbol matrix of those codewords.
inline SymbolMatrix VariedMatrix(const FormatInfo& format) {
  SymbolMatrix matrix;
  matrix.Build(format, VariedCodewords(format));
  return matrix;
}

}  // namespace korvex::internal
