#include <gtest/gtest.h>

#include "encoder/FormatTable.h"
#include "support/SymbolSizes.h"

using namespace korvex::internal;

namespace {
std::vector<FormatInfo> IsoAndDmreRows() {
  std::vector<FormatInfo> rows(FormatTable.begin(), FormatTable.begin() + kFormatCount);
  rows.insert(rows.end(), DmreFormatTable.begin(), DmreFormatTable.begin() + kDmreFormatCount);
  return rows;
}
}  // namespace

TEST(FormatTable, RowsAreConsistent) {
  const std::vector<FormatInfo> rows = IsoAndDmreRows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const FormatInfo& f = rows[i];
    SCOPED_TRACE(f.id);
    EXPECT_EQ(f.id, static_cast<int32_t>(i + 1));
    const SymbolSize& published = SymbolSizes()[i];
    EXPECT_EQ(f.symbolRows, published.rows);
    EXPECT_EQ(f.symbolCols, published.cols);
    EXPECT_EQ(f.dataCodewords, published.dataCodewords);
    // Size and capacities as published; the layout checks below tie the regions to them.
    EXPECT_EQ(f.eccCodewords, published.eccCodewords);
    EXPECT_EQ(f.mappingRows % f.regionRows, 0);
    EXPECT_EQ(f.mappingCols % f.regionCols, 0);
    EXPECT_EQ(f.symbolRows, f.mappingRows + 2 * (f.mappingRows / f.regionRows));
    EXPECT_EQ(f.symbolCols, f.mappingCols + 2 * (f.mappingCols / f.regionCols));
    EXPECT_EQ(f.eccCodewords % f.blockCount, 0);
    // Every mapping module carries a codeword bit, apart from the 2 x 2 fixed corner pattern.
    EXPECT_EQ((f.mappingRows * f.mappingCols) / 8, f.dataCodewords + f.eccCodewords);
    // A Reed-Solomon block over GF(256) holds at most 255 codewords.
    const int dataPerBlock = (f.dataCodewords + f.blockCount - 1) / f.blockCount;
    EXPECT_LE(dataPerBlock + f.eccCodewords / f.blockCount, 255);
  }
  EXPECT_EQ(FormatTable[kFormatCount].id, -1);
  EXPECT_EQ(FormatTable[kFormatCount].dataCodewords, 0);
  EXPECT_EQ(DmreFormatTable[kDmreFormatCount].id, -1);
  for (const FormatInfo& f : DmreFormatTable) EXPECT_LE(f.blockCount, 1) << f.id;
}

TEST(FormatTable, CandidatesFollowTheShapeOrder) {
  for (SymbolShape shape : {SymbolShape::Square, SymbolShape::Rectangle, SymbolShape::Any}) {
    for (bool dmre : {false, true}) {
      SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(shape) << " dmre " << dmre);
      std::vector<int> ids;
      for (const FormatInfo* f : FormatCandidates(shape, dmre)) ids.push_back(f->id);
      EXPECT_EQ(ids, ShapeOrder(static_cast<int>(shape), dmre));
    }
  }
  EXPECT_TRUE(FormatCandidates(static_cast<SymbolShape>(3), true).empty());
  EXPECT_TRUE(FormatCandidates(static_cast<SymbolShape>(-1), false).empty());
}

TEST(FormatTable, FindFormat) {
  EXPECT_EQ(FindFormat(0), nullptr);
  EXPECT_EQ(FindFormat(31), nullptr);
  EXPECT_EQ(FindFormat(-1), nullptr);
  ASSERT_NE(FindFormat(24), nullptr);
  EXPECT_EQ(FindFormat(24)->symbolRows, 144);
  ASSERT_NE(FindFormat(25), nullptr);
  EXPECT_EQ(FindFormat(25)->symbolCols, 18);
  // DMRE ids exist only when asked for.
  EXPECT_EQ(FindFormat(48), nullptr);
  ASSERT_NE(FindFormat(31, true), nullptr);
  EXPECT_EQ(FindFormat(31, true)->symbolCols, 48);
  ASSERT_NE(FindFormat(48, true), nullptr);
  EXPECT_EQ(FindFormat(48, true)->dataCodewords, 118);
  EXPECT_EQ(FindFormat(49, true), nullptr);
  EXPECT_EQ(FindFormat(5, true), FindFormat(5));
}

struct SelectCase {
  FormatChoice choice;
  std::size_t count;
  ResultCode expected;
  int32_t expectedId;  // id held by the format afterwards; 99 = left unchanged
};

TEST(FormatTable, SelectFormat) {
  const SelectCase cases[] = {
      {{0}, 0, Result::Ok, 1},
      {{0}, 3, Result::Ok, 1},
      {{0}, 4, Result::Ok, 2},
      {{0}, 5, Result::Ok, 2},  // 12 x 12, never the 8 x 18 rectangle of the same capacity
      {{0}, 6, Result::Ok, 3},
      {{0}, 1558, Result::Ok, 24},
      {{0}, 1559, Result::NoFittingFormat, 99},
      {{25}, 5, Result::Ok, 25},
      {{25}, 6, Result::DataDoesNotFit, 25},
      {{31}, 1, Result::InvalidPreferredFormat, 99},
      {{-1}, 1, Result::InvalidPreferredFormat, 99},
      {{30}, 49, Result::Ok, 30},
      {{0, SymbolShape::Square, true}, 5, Result::Ok, 2},  // DMRE never joins the squares
      {{0, SymbolShape::Rectangle}, 5, Result::Ok, 25},
      {{0, SymbolShape::Rectangle}, 17, Result::Ok, 28},
      {{0, SymbolShape::Rectangle, true}, 17, Result::Ok, 31},
      {{0, SymbolShape::Rectangle}, 50, Result::NoFittingFormat, 99},
      {{0, SymbolShape::Rectangle, true}, 118, Result::Ok, 48},
      {{0, SymbolShape::Rectangle, true}, 119, Result::NoFittingFormat, 99},
      {{0, SymbolShape::Any}, 5, Result::Ok, 2},
      {{0, SymbolShape::Any}, 9, Result::Ok, 4},
      {{0, SymbolShape::Any, true}, 114, Result::Ok, 12},  // 40 x 40 before 26 x 64
      {{0, SymbolShape::Any, true}, 115, Result::Ok, 48},
      {{0, SymbolShape::Any, true}, 119, Result::Ok, 13},
      {{0, SymbolShape::Any, true}, 1558, Result::Ok, 24},
      {{31, SymbolShape::Square, true}, 18, Result::Ok, 31},
      {{48, SymbolShape::Square, true}, 119, Result::DataDoesNotFit, 48},
      {{49, SymbolShape::Square, true}, 1, Result::InvalidPreferredFormat, 99},
  };
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "preferred " << c.choice.preferredFormat << " shape " << static_cast<int>(c.choice.shape)
                                    << " dmre " << c.choice.dmre << " count " << c.count);
    FormatInfo format;
    format.id = 99;
    EXPECT_EQ(SelectFormat(c.choice, c.count, format), c.expected);
    EXPECT_EQ(format.id, c.expectedId);
  }
}
