#include "encoder/SymbolMatrix.h"

#include "encoder/PlacementGrid.h"

namespace korvex::internal {

namespace {

constexpr int32_t kFixedDark = 1;

// The geometry Build relies on: whole regions, each framed by a one-module border.
bool HasRegionLayout(const FormatInfo& format) {
  if (format.regionRows == 0 || format.regionCols == 0) return false;
  if (format.mappingRows % format.regionRows != 0 || format.mappingCols % format.regionCols != 0) return false;
  const int regionsDown = format.mappingRows / format.regionRows;
  const int regionsAcross = format.mappingCols / format.regionCols;
  return format.symbolRows == format.mappingRows + 2 * regionsDown &&
         format.symbolCols == format.mappingCols + 2 * regionsAcross;
}

// Moves a mapping-matrix coordinate past the borders of the regions before it and its own.
int SymbolCoordinate(int mappingIndex, int regionSize) {
  return (mappingIndex / regionSize) * (regionSize + 2) + mappingIndex % regionSize + 1;
}

}  // namespace

bool SymbolMatrix::Build(const FormatInfo& format, const CodewordBuffer& codewords) {
  Release();
  const std::size_t placedCodewords = static_cast<std::size_t>(format.mappingRows) * format.mappingCols / 8;
  // Reading a bit of a codeword that is not there would read past the buffer.
  if (!HasRegionLayout(format) || codewords.size() < placedCodewords) return false;

  rows_ = format.symbolRows;
  cols_ = format.symbolCols;
  modules_.assign(static_cast<std::size_t>(rows_) * cols_, 0);

  const PlacementGrid grid(format.mappingRows, format.mappingCols);
  const int rr = format.regionRows;
  const int rc = format.regionCols;
  for (int i = 0; i < grid.Rows(); ++i) {
    for (int j = 0; j < grid.Cols(); ++j) {
      const int32_t cell = grid.Cell(i, j);
      int dark = 0;
      if (cell == kFixedDark) {
        dark = 1;
      } else if (cell != 0) {
        const auto number = static_cast<std::size_t>(cell / 10);
        if (number >= 1 && number <= codewords.size()) dark = CodewordBit(codewords[number - 1], cell % 10);
      }
      if (dark != 0) SetDark(SymbolCoordinate(i, rr), SymbolCoordinate(j, rc));
    }
  }

  for (int p = 0; p < format.mappingRows / rr; ++p) {
    for (int q = 0; q < format.mappingCols / rc; ++q) DrawRegionBorder(p * (rr + 2), q * (rc + 2), rr, rc);
  }
  return true;
}

void SymbolMatrix::Release() {
  std::vector<uint8_t>().swap(modules_);
  rows_ = 0;
  cols_ = 0;
}

void SymbolMatrix::DrawRegionBorder(int top, int left, int regionRows, int regionCols) {
  const int bottom = top + regionRows + 1;
  const int right = left + regionCols + 1;
  for (int k = 0; k <= regionRows + 1; ++k) SetDark(top + k, left);
  for (int k = 0; k <= regionCols + 1; ++k) SetDark(bottom, left + k);
  for (int k = 0; k <= regionCols + 1; k += 2) SetDark(top, left + k);
  for (int k = 1; k <= regionRows + 1; k += 2) SetDark(top + k, right);
}

}  // namespace korvex::internal
