#include <gtest/gtest.h>

#include "request/DataMatrixBarcode.h"

using namespace korvex::internal;

TEST(DataMatrixBarcode, DefaultsEncodeTheDefaultDataInBase256) {
  DataMatrixBarcode barcode;
  EXPECT_TRUE(barcode.Encoded());
  EXPECT_EQ(barcode.DataToEncode(), "1234567");
  EXPECT_EQ(barcode.EncodingMode(), 4);
  EXPECT_EQ(barcode.PreferredFormat(), 0);
  EXPECT_EQ(barcode.Orientation(), 0);
  EXPECT_EQ(barcode.BackColor(), 0xFFFFFFu);
  EXPECT_EQ(barcode.ForeColor(), 0u);
  EXPECT_TRUE(barcode.QuietZone());
  EXPECT_EQ(barcode.QuietZoneSize(), 1);
  EXPECT_EQ(barcode.AlignH(), 1);
  EXPECT_EQ(barcode.AlignV(), 1);
  EXPECT_FALSE(barcode.StructuredAppend());
  EXPECT_EQ(barcode.StructuredAppendIndex(), 1);
  EXPECT_EQ(barcode.StructuredAppendTotal(), 2);
  EXPECT_EQ(barcode.StructuredAppendFileId(), 1);
  // Latch, length and seven bytes: ten codewords, the 16 x 16 symbol being the smallest for them.
  EXPECT_EQ(barcode.Codewords().front(), 231);
  EXPECT_EQ(barcode.CurrentFormat().id, 4);
  EXPECT_EQ(barcode.Matrix().Rows(), 16);
}

TEST(DataMatrixBarcode, LockedSettersWaitForTheBracketToClose) {
  DataMatrixBarcode barcode;
  EXPECT_EQ(barcode.SetUpdateLock(true), Result::Ok);
  EXPECT_EQ(barcode.SetEncodingMode(9), Result::Ok);
  EXPECT_TRUE(barcode.Encoded());
  EXPECT_EQ(barcode.SetUpdateLock(false), Result::InvalidEncodingMode);
  EXPECT_FALSE(barcode.Encoded());
}

TEST(DataMatrixBarcode, EqualValuesDoNotEncodeAgain) {
  DataMatrixBarcode barcode;
  EXPECT_EQ(barcode.SetEncodingMode(9), Result::InvalidEncodingMode);
  EXPECT_EQ(barcode.SetEncodingMode(9), Result::Ok);
  EXPECT_FALSE(barcode.Encoded());
  EXPECT_EQ(barcode.SetEncodingMode(1), Result::Ok);
  EXPECT_TRUE(barcode.Encoded());
}

TEST(DataMatrixBarcode, RangeChecks) {
  DataMatrixBarcode barcode;
  struct Case {
    const char* name;
    ResultCode (DataMatrixBarcode::*setter)(int32_t);
    int32_t value;
    ResultCode expected;
  };
  const Case cases[] = {
      {"quiet zone -1", &DataMatrixBarcode::SetQuietZoneSize, -1, Result::InvalidArgument},
      {"quiet zone 0", &DataMatrixBarcode::SetQuietZoneSize, 0, Result::Ok},
      {"index 17", &DataMatrixBarcode::SetStructuredAppendIndex, 17, Result::InvalidArgument},
      {"index 0", &DataMatrixBarcode::SetStructuredAppendIndex, 0, Result::InvalidArgument},
      {"index 16", &DataMatrixBarcode::SetStructuredAppendIndex, 16, Result::Ok},
      {"total 1", &DataMatrixBarcode::SetStructuredAppendTotal, 1, Result::InvalidArgument},
      {"total 17", &DataMatrixBarcode::SetStructuredAppendTotal, 17, Result::InvalidArgument},
      {"total 16", &DataMatrixBarcode::SetStructuredAppendTotal, 16, Result::Ok},
      {"file id 64517", &DataMatrixBarcode::SetStructuredAppendFileId, 64517, Result::InvalidArgument},
      {"file id 0", &DataMatrixBarcode::SetStructuredAppendFileId, 0, Result::InvalidArgument},
      {"file id 64516", &DataMatrixBarcode::SetStructuredAppendFileId, 64516, Result::Ok},
      {"orientation 45 is stored", &DataMatrixBarcode::SetOrientation, 45, Result::Ok},
      {"alignment 7 is stored", &DataMatrixBarcode::SetAlignH, 7, Result::Ok},
      {"shape 3", &DataMatrixBarcode::SetShape, 3, Result::InvalidArgument},
      {"shape -1", &DataMatrixBarcode::SetShape, -1, Result::InvalidArgument},
      {"shape 2", &DataMatrixBarcode::SetShape, 2, Result::Ok},
  };
  for (const Case& c : cases) {
    EXPECT_EQ((barcode.*c.setter)(c.value), c.expected) << c.name;
  }
  EXPECT_EQ(barcode.QuietZoneSize(), 0);
  EXPECT_EQ(barcode.StructuredAppendIndex(), 16);
  EXPECT_EQ(barcode.StructuredAppendTotal(), 16);
  EXPECT_EQ(barcode.StructuredAppendFileId(), 64516);
  EXPECT_EQ(barcode.Orientation(), 45);
  EXPECT_EQ(barcode.Shape(), 2);
}

TEST(DataMatrixBarcode, EqualityIsCheckedBeforeTheRange) {
  DataMatrixBarcode barcode;
  // The current value passes even where the check would refuse a change; a bad new value is refused.
  EXPECT_EQ(barcode.SetStructuredAppendIndex(1), Result::Ok);
  EXPECT_EQ(barcode.SetQuietZoneSize(-5), Result::InvalidArgument);
  EXPECT_EQ(barcode.QuietZoneSize(), 1);
}

TEST(DataMatrixBarcode, StructuredAppendValuesEncodeOnlyWhileOn) {
  DataMatrixBarcode barcode;
  ASSERT_EQ(barcode.SetEncodingMode(1), Result::Ok);
  const CodewordBuffer before = barcode.Codewords();
  EXPECT_EQ(barcode.SetStructuredAppendIndex(3), Result::Ok);
  EXPECT_EQ(barcode.Codewords(), before);
  EXPECT_EQ(barcode.SetStructuredAppend(true), Result::Ok);
  ASSERT_GE(barcode.Codewords().size(), 4u);
  EXPECT_EQ(barcode.Codewords()[0], 233);
  EXPECT_EQ(barcode.Codewords()[1], (3 - 1) * 16 + (17 - 2));
  EXPECT_EQ(barcode.SetStructuredAppendTotal(4), Result::Ok);
  EXPECT_EQ(barcode.Codewords()[1], (3 - 1) * 16 + (17 - 4));
}

TEST(DataMatrixBarcode, DrawingSettersNeverEncode) {
  DataMatrixBarcode barcode;
  ASSERT_EQ(barcode.SetEncodingMode(9), Result::InvalidEncodingMode);
  EXPECT_EQ(barcode.SetOrientation(90), Result::Ok);
  EXPECT_EQ(barcode.SetBackColor(0x123456), Result::Ok);
  EXPECT_EQ(barcode.SetForeColor(0x654321), Result::Ok);
  EXPECT_EQ(barcode.SetQuietZone(false), Result::Ok);
  EXPECT_EQ(barcode.SetAlignV(2), Result::Ok);
  EXPECT_FALSE(barcode.Encoded());
}

TEST(DataMatrixBarcode, FailedEncodingKeepsTheFailingValue) {
  DataMatrixBarcode barcode;
  ASSERT_EQ(barcode.SetEncodingMode(6), Result::Ok);
  EXPECT_EQ(barcode.SetDataToEncode("lower"), Result::InvalidData);
  EXPECT_EQ(barcode.DataToEncode(), "lower");
  EXPECT_FALSE(barcode.Encoded());
  EXPECT_EQ(barcode.SetDataToEncode("lower"), Result::Ok);
  EXPECT_FALSE(barcode.Encoded());
  EXPECT_EQ(barcode.SetDataToEncode("UPPER"), Result::Ok);
  EXPECT_TRUE(barcode.Encoded());
}

TEST(DataMatrixBarcode, PreferredFormatErrors) {
  DataMatrixBarcode barcode;
  EXPECT_EQ(barcode.SetPreferredFormat(31), Result::InvalidPreferredFormat);
  EXPECT_EQ(barcode.SetPreferredFormat(25), Result::DataDoesNotFit);  // 10 codewords in Base256
  EXPECT_EQ(barcode.CurrentFormat().id, 25);
  EXPECT_EQ(barcode.SetPreferredFormat(26), Result::Ok);
  EXPECT_EQ(barcode.Matrix().Cols(), 32);
}

TEST(DataMatrixBarcode, MinimalActsInAutomaticEncodationOnly) {
  DataMatrixBarcode barcode;
  ASSERT_EQ(barcode.SetEncodingMode(0), Result::Ok);
  ASSERT_EQ(barcode.SetDataToEncode("ABCDEFGHIJ"), Result::Ok);  // C40 by the look-ahead: 9 codewords
  EXPECT_EQ(barcode.CurrentFormat().id, 4);
  EXPECT_EQ(barcode.SetMinimal(true), Result::Ok);  // 8 codewords
  EXPECT_TRUE(barcode.Minimal());
  EXPECT_EQ(barcode.CurrentFormat().id, 3);
  EXPECT_EQ(barcode.SetEncodingMode(2), Result::Ok);
  EXPECT_EQ(barcode.CurrentFormat().id, 4);
  EXPECT_EQ(barcode.SetPreferredFormat(3), Result::DataDoesNotFit);
  EXPECT_EQ(barcode.SetEncodingMode(0), Result::Ok);
  EXPECT_EQ(barcode.SetMinimal(false), Result::DataDoesNotFit);
}

TEST(DataMatrixBarcode, ShapeAndDmreChooseTheFormat) {
  DataMatrixBarcode barcode;  // "1234567" in Base256: 9 codewords
  EXPECT_EQ(barcode.CurrentFormat().id, 4);
  EXPECT_EQ(barcode.SetShape(1), Result::Ok);
  EXPECT_EQ(barcode.CurrentFormat().id, 26);
  EXPECT_EQ(barcode.SetDmre(true), Result::Ok);  // 8 x 32 still holds them before 8 x 48
  EXPECT_EQ(barcode.CurrentFormat().id, 26);
  EXPECT_EQ(barcode.SetDataToEncode(std::string(15, 'x')), Result::Ok);  // 17 codewords
  EXPECT_EQ(barcode.CurrentFormat().id, 31);
  EXPECT_EQ(barcode.SetPreferredFormat(48), Result::Ok);
  EXPECT_EQ(barcode.Matrix().Rows(), 26);
  EXPECT_EQ(barcode.Matrix().Cols(), 64);
  EXPECT_EQ(barcode.SetDmre(false), Result::InvalidPreferredFormat);
  EXPECT_FALSE(barcode.Encoded());
}
