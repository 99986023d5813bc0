#pragma once

#include <cstddef>

#include "encoder/DataItem.h"
#include "encoder/FormatTable.h"
#include "encoder/SymbolMatrix.h"

namespace korvex::internal {

// One encoded symbol, as a value: the format chosen, its codewords (data, padding, error
// correction), how many of them the data took before padding, and the unrotated module matrix.
struct EncodedSymbol {
  FormatInfo format;
  CodewordBuffer codewords;
  std::size_t dataCodewordsUsed = 0;
  SymbolMatrix matrix;
};

}  // namespace korvex::internal
