#include "encoder/FormatTable.h"

#include <algorithm>

namespace korvex::internal {

// Each row: id, symbol rows and columns, mapping rows and columns, data and error-correction
// codewords, region rows and columns, blocks.
//
// Squares first in ascending size, so the first row that holds the data is the smallest
// square; the automatic choice reaches the rectangles only after every square, unless a shape
// other than Square asks for them.
const std::array<FormatInfo, kFormatCount + 1> FormatTable = {{
    {1, 10, 10, 8, 8, 3, 5, 8, 8, 1},
    {2, 12, 12, 10, 10, 5, 7, 10, 10, 1},
    {3, 14, 14, 12, 12, 8, 10, 12, 12, 1},
    {4, 16, 16, 14, 14, 12, 12, 14, 14, 1},
    {5, 18, 18, 16, 16, 18, 14, 16, 16, 1},
    {6, 20, 20, 18, 18, 22, 18, 18, 18, 1},
    {7, 22, 22, 20, 20, 30, 20, 20, 20, 1},
    {8, 24, 24, 22, 22, 36, 24, 22, 22, 1},
    {9, 26, 26, 24, 24, 44, 28, 24, 24, 1},
    {10, 32, 32, 28, 28, 62, 36, 14, 14, 1},
    {11, 36, 36, 32, 32, 86, 42, 16, 16, 1},
    {12, 40, 40, 36, 36, 114, 48, 18, 18, 1},
    {13, 44, 44, 40, 40, 144, 56, 20, 20, 1},
    {14, 48, 48, 44, 44, 174, 68, 22, 22, 1},
    {15, 52, 52, 48, 48, 204, 84, 24, 24, 2},
    {16, 64, 64, 56, 56, 280, 112, 14, 14, 2},
    {17, 72, 72, 64, 64, 368, 144, 16, 16, 4},
    {18, 80, 80, 72, 72, 456, 192, 18, 18, 4},
    {19, 88, 88, 80, 80, 576, 224, 20, 20, 4},
    {20, 96, 96, 88, 88, 696, 272, 22, 22, 4},
    {21, 104, 104, 96, 96, 816, 336, 24, 24, 6},
    {22, 120, 120, 108, 108, 1050, 408, 18, 18, 6},
    {23, 132, 132, 120, 120, 1304, 496, 20, 20, 8},
    {24, 144, 144, 132, 132, 1558, 620, 22, 22, 10},
    {25, 8, 18, 6, 16, 5, 7, 6, 16, 1},
    {26, 8, 32, 6, 28, 10, 11, 6, 14, 1},
    {27, 12, 26, 10, 24, 16, 14, 10, 24, 1},
    {28, 12, 36, 10, 32, 22, 18, 10, 16, 1},
    {29, 16, 36, 14, 32, 32, 24, 14, 16, 1},
    {30, 16, 48, 14, 44, 49, 28, 14, 22, 1},
    {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
}};

// One block each: the longest block (118 + 50 codewords) stays far inside a GF(256) code.
const std::array<FormatInfo, kDmreFormatCount + 1> DmreFormatTable = {{
    {31, 8, 48, 6, 44, 18, 15, 6, 22, 1},
    {32, 8, 64, 6, 56, 24, 18, 6, 14, 1},
    {33, 8, 80, 6, 72, 32, 22, 6, 18, 1},
    {34, 8, 96, 6, 88, 38, 28, 6, 22, 1},
    {35, 8, 120, 6, 108, 49, 32, 6, 18, 1},
    {36, 8, 144, 6, 132, 63, 36, 6, 22, 1},
    {37, 12, 64, 10, 56, 43, 27, 10, 14, 1},
    {38, 12, 88, 10, 80, 64, 36, 10, 20, 1},
    {39, 16, 64, 14, 56, 62, 36, 14, 14, 1},
    {40, 20, 36, 18, 32, 44, 28, 18, 16, 1},
    {41, 20, 44, 18, 40, 56, 34, 18, 20, 1},
    {42, 20, 64, 18, 56, 84, 42, 18, 14, 1},
    {43, 22, 48, 20, 44, 72, 38, 20, 22, 1},
    {44, 24, 48, 22, 44, 80, 41, 22, 22, 1},
    {45, 24, 64, 22, 56, 108, 46, 22, 14, 1},
    {46, 26, 40, 24, 36, 70, 38, 24, 18, 1},
    {47, 26, 48, 24, 44, 90, 42, 24, 22, 1},
    {48, 26, 64, 24, 56, 118, 50, 24, 14, 1},
    {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
}};

namespace {

// Table rows up to the terminator.
template <std::size_t N>
void AppendRows(const std::array<FormatInfo, N>& table, std::vector<const FormatInfo*>& rows) {
  for (const FormatInfo& row : table) {
    if (row.id == -1) break;
    rows.push_back(&row);
  }
}

uint32_t Area(const FormatInfo* f) { return static_cast<uint32_t>(f->symbolRows) * f->symbolCols; }

std::vector<const FormatInfo*> BuildCandidates(SymbolShape shape, bool withDmre) {
  std::vector<const FormatInfo*> rows;
  AppendRows(FormatTable, rows);
  if (shape == SymbolShape::Square) return rows;
  if (withDmre) AppendRows(DmreFormatTable, rows);
  if (shape == SymbolShape::Rectangle) {
    const auto isSquare = [](const FormatInfo* f) { return f->symbolRows == f->symbolCols; };
    rows.erase(std::remove_if(rows.begin(), rows.end(), isSquare), rows.end());
    std::sort(rows.begin(), rows.end(), [](const FormatInfo* a, const FormatInfo* b) {
      if (a->dataCodewords != b->dataCodewords) return a->dataCodewords < b->dataCodewords;
      if (Area(a) != Area(b)) return Area(a) < Area(b);
      return a->id < b->id;
    });
    return rows;
  }
  if (shape != SymbolShape::Any) return {};
  std::sort(rows.begin(), rows.end(), [](const FormatInfo* a, const FormatInfo* b) {
    return Area(a) != Area(b) ? Area(a) < Area(b) : a->id < b->id;
  });
  return rows;
}

}  // namespace

const std::vector<const FormatInfo*>& FormatCandidates(SymbolShape shape, bool withDmre) {
  // Built once per process: every encode walks one of these few constant orders.
  static const std::vector<const FormatInfo*> lists[] = {
      BuildCandidates(SymbolShape::Square, false), BuildCandidates(SymbolShape::Rectangle, false),
      BuildCandidates(SymbolShape::Rectangle, true), BuildCandidates(SymbolShape::Any, false),
      BuildCandidates(SymbolShape::Any, true),       {},
  };
  switch (shape) {
    case SymbolShape::Square: return lists[0];
    case SymbolShape::Rectangle: return lists[withDmre ? 2 : 1];
    case SymbolShape::Any: return lists[withDmre ? 4 : 3];
    default: return lists[5];
  }
}

const FormatInfo* FindFormat(int32_t id, bool withDmre) {
  for (const FormatInfo& row : FormatTable) {
    if (row.id == -1) break;
    if (row.id == id) return &row;
  }
  if (!withDmre || id < kFirstDmreFormatId || id > kLastDmreFormatId) return nullptr;
  return &DmreFormatTable[static_cast<std::size_t>(id - kFirstDmreFormatId)];
}

ResultCode SelectFormat(const FormatChoice& choice, std::size_t count, FormatInfo& format) {
  if (choice.preferredFormat != 0) {
    const FormatInfo* row = FindFormat(choice.preferredFormat, choice.dmre);
    if (row == nullptr) return Result::InvalidPreferredFormat;
    format = *row;
    return count > row->dataCodewords ? Result::DataDoesNotFit : Result::Ok;
  }
  for (const FormatInfo* row : FormatCandidates(choice.shape, choice.dmre)) {
    if (row->dataCodewords >= count) {
      format = *row;
      return Result::Ok;
    }
  }
  return Result::NoFittingFormat;
}

}  // namespace korvex::internal
