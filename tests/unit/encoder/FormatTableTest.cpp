#include <gtest/gtest.h>

#include "encoder/FormatTable.h"

TEST(FormatTable, RowsAreConsistent) {
  for (std::size_t i = 0; i < kFormatCount; ++i) {
    const FormatInfo& f = FormatTable[i];
    SCOPED_TRACE(f.id);
    EXPECT_EQ(f.id, static_cast<int32_t>(i + 1));
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
}

TEST(FormatTable, FindFormat) {
  EXPECT_EQ(FindFormat(0), nullptr);
  EXPECT_EQ(FindFormat(31), nullptr);
  EXPECT_EQ(FindFormat(-1), nullptr);
  ASSERT_NE(FindFormat(24), nullptr);
  EXPECT_EQ(FindFormat(24)->symbolRows, 144);
  ASSERT_NE(FindFormat(25), nullptr);
  EXPECT_EQ(FindFormat(25)->symbolCols, 18);
}

struct SelectCase {
  int32_t preferred;
  std::size_t count;
  ResultCode expected;
  int32_t expectedId;  // id held by the format afterwards; 99 = left unchanged
};

TEST(FormatTable, SelectFormat) {
  const SelectCase cases[] = {
      {0, 0, Result::Ok, 1},
      {0, 3, Result::Ok, 1},
      {0, 4, Result::Ok, 2},
      {0, 5, Result::Ok, 2},  // 12 x 12, never the 8 x 18 rectangle of the same capacity
      {0, 6, Result::Ok, 3},
      {0, 1558, Result::Ok, 24},
      {0, 1559, Result::NoFittingFormat, 99},
      {25, 5, Result::Ok, 25},
      {25, 6, Result::DataDoesNotFit, 25},
      {31, 1, Result::InvalidPreferredFormat, 99},
      {-1, 1, Result::InvalidPreferredFormat, 99},
      {30, 49, Result::Ok, 30},
  };
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "preferred " << c.preferred << " count " << c.count);
    FormatInfo format;
    format.id = 99;
    EXPECT_EQ(SelectFormat(c.preferred, c.count, format), c.expected);
    EXPECT_EQ(format.id, c.expectedId);
  }
}
