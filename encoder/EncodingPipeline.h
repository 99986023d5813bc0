#pragma once

#include <cstdint>
#include <string>

#include "result/ResultCode.h"
#include "encoder/DataItem.h"
#include "encoder/FormatTable.h"

namespace korvex::internal {

// What the pipeline reads from the barcode object.
struct EncodingSettings {
  std::string data;
  int32_t preferredFormat = 0;
  int32_t shape = SymbolShape::Square;  // which formats the automatic choice tries
  bool dmre = false;                    // adds the DMRE formats
  int32_t encodingMode = 0;
  bool structuredAppend = false;
  int32_t structuredAppendIndex = 1;
  int32_t structuredAppendTotal = 2;
  int32_t structuredAppendFileId = 1;
  bool minimal = false;  // with encodingMode 0: the shortest encodation instead of the look-ahead
};

// Turns the data into the complete codeword sequence of one symbol: header, leading codewords,
// scheme output, padding and error correction. Fills codewords and format; returns 0, 5, 6, 7,
// 8, 9 or 10. dataCodewords, when given, receives how many codewords the data took before padding.
ResultCode EncodeCodewords(const EncodingSettings& settings, CodewordBuffer& codewords, FormatInfo& format,
                           std::size_t* dataCodewords = nullptr);

void AppendStructuredAppendHeader(const EncodingSettings& settings, CodewordBuffer& codewords);
void AppendPadding(uint16_t count, CodewordBuffer& codewords);
uint8_t Randomize253(uint8_t pad, std::size_t position);

}  // namespace korvex::internal
