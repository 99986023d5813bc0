#pragma once

#include <algorithm>
#include <vector>

// Size and data capacity of every format as the published tables give them (ISO ids 1..30,
// DMRE ids 31..48), written down here apart from the encoder's own table.
struct SymbolSize {
  int id;
  int rows;
  int cols;
  int dataCodewords;
  int Area() const { return rows * cols; }
};

inline const std::vector<SymbolSize>& SymbolSizes() {
  static const std::vector<SymbolSize> sizes = {
      {1, 10, 10, 3},      {2, 12, 12, 5},       {3, 14, 14, 8},       {4, 16, 16, 12},      {5, 18, 18, 18},
      {6, 20, 20, 22},     {7, 22, 22, 30},      {8, 24, 24, 36},      {9, 26, 26, 44},      {10, 32, 32, 62},
      {11, 36, 36, 86},    {12, 40, 40, 114},    {13, 44, 44, 144},    {14, 48, 48, 174},    {15, 52, 52, 204},
      {16, 64, 64, 280},   {17, 72, 72, 368},    {18, 80, 80, 456},    {19, 88, 88, 576},    {20, 96, 96, 696},
      {21, 104, 104, 816}, {22, 120, 120, 1050}, {23, 132, 132, 1304}, {24, 144, 144, 1558}, {25, 8, 18, 5},
      {26, 8, 32, 10},     {27, 12, 26, 16},     {28, 12, 36, 22},     {29, 16, 36, 32},     {30, 16, 48, 49},
      {31, 8, 48, 18},     {32, 8, 64, 24},      {33, 8, 80, 32},      {34, 8, 96, 38},      {35, 8, 120, 49},
      {36, 8, 144, 63},    {37, 12, 64, 43},     {38, 12, 88, 64},     {39, 16, 64, 62},     {40, 20, 36, 44},
      {41, 20, 44, 56},    {42, 20, 64, 84},     {43, 22, 48, 72},     {44, 24, 48, 80},     {45, 24, 64, 108},
      {46, 26, 40, 70},    {47, 26, 48, 90},     {48, 26, 64, 118},
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
