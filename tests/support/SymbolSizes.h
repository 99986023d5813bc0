#pragma once

#include <algorithm>
#include <vector>

// Size, data and error-correction capacity of every format as the published tables give them
// (ISO ids 1..30, DMRE ids 31..48), written down here apart from the encoder's own table.
struct SymbolSize {
  int id;
  int rows;
  int cols;
  int dataCodewords;
  int eccCodewords;
  int Area() const { return rows * cols; }
};

inline const std::vector<SymbolSize>& SymbolSizes() {
  static const std::vector<SymbolSize> sizes = {
      {1, 10, 10, 3, 5}, {2, 12, 12, 5, 7}, {3, 14, 14, 8, 10}, {4, 16, 16, 12, 12},
      {5, 18, 18, 18, 14}, {6, 20, 20, 22, 18}, {7, 22, 22, 30, 20}, {8, 24, 24, 36, 24},
      {9, 26, 26, 44, 28}, {10, 32, 32, 62, 36}, {11, 36, 36, 86, 42}, {12, 40, 40, 114, 48},
      {13, 44, 44, 144, 56}, {14, 48, 48, 174, 68}, {15, 52, 52, 204, 84}, {16, 64, 64, 280, 112},
      {17, 72, 72, 368, 144}, {18, 80, 80, 456, 192}, {19, 88, 88, 576, 224}, {20, 96, 96, 696, 272},
      {21, 104, 104, 816, 336}, {22, 120, 120, 1050, 408}, {23, 132, 132, 1304, 496}, {24, 144, 144, 1558, 620},
      {25, 8, 18, 5, 7}, {26, 8, 32, 10, 11}, {27, 12, 26, 16, 14}, {28, 12, 36, 22, 18},
      {29, 16, 36, 32, 24}, {30, 16, 48, 49, 28}, {31, 8, 48, 18, 15}, {32, 8, 64, 24, 18},
      {33, 8, 80, 32, 22}, {34, 8, 96, 38, 28}, {35, 8, 120, 49, 32}, {36, 8, 144, 63, 36},
      {37, 12, 64, 43, 27}, {38, 12, 88, 64, 36}, {39, 16, 64, 62, 36}, {40, 20, 36, 44, 28},
      {41, 20, 44, 56, 34}, {42, 20, 64, 84, 42}, {43, 22, 48, 72, 38}, {44, 24, 48, 80, 41},
      {45, 24, 64, 108, 46}, {46, 26, 40, 70, 38}, {47, 26, 48, 90, 42}, {48, 26, 64, 118, 50},
  };
  return sizes;
}

// The format ids that the automatic choice of a shape tries, in order: 0 the ISO table order,
// 1 the rectangles by capacity (then area, then id), 2 everything by area (then id).
inline std::vector<int> ShapeOrder(int shape, bool dmre) {
  std::vector<SymbolSize> sizes;
  for (const SymbolSize& s : SymbolSizes()) {
    if (s.id > 30 && (!dmre || shape == 0)) continue;
    if (shape == 1 && s.rows == s.cols) continue;
    sizes.push_back(s);
  }
  if (shape == 1) {
    std::sort(sizes.begin(), sizes.end(), [](const SymbolSize& a, const SymbolSize& b) {
      if (a.dataCodewords != b.dataCodewords) return a.dataCodewords < b.dataCodewords;
      return a.Area() != b.Area() ? a.Area() < b.Area() : a.id < b.id;
    });
  } else if (shape == 2) {
    std::sort(sizes.begin(), sizes.end(), [](const SymbolSize& a, const SymbolSize& b) {
      return a.Area() != b.Area() ? a.Area() < b.Area() : a.id < b.id;
    });
  }
  std::vector<int> ids;
  for (const SymbolSize& s : sizes) ids.push_back(s.id);
  return ids;
}
