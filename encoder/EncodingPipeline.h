#pragma once

#include <cstdint>
#include <string>

#include "result/ResultCode.h"
#include "result/Status.h"
#include "encoder/EncodedSymbol.h"
#include "encoder/DataItem.h"
#include "encoder/FormatTable.h"

namespace korvex::internal {

// The scheme the data is encoded in, numbered as the schemes are; Auto lets the encoder choose
// and switch. A value outside Auto..X12 fails the pipeline with InvalidEncodingMode.
enum class EncodingMode : int32_t { Auto = 0, Ascii = 1, C40 = 2, Text = 3, Base256 = 4, Edifact = 5, X12 = 6 };

// What the pipeline reads from the barcode object.
struct EncodingSettings {
  std::string data;
  int32_t preferredFormat = 0;
  SymbolShape shape = SymbolShape::Square;  // which formats the automatic choice tries
  bool dmre = false;                        // adds the DMRE formats
  EncodingMode encodingMode = EncodingMode::Auto;
  bool structuredAppend = false;
  int32_t structuredAppendIndex = 1;
  int32_t structuredAppendTotal = 2;
  int32_t structuredAppendFileId = 1;
  bool minimal = false;  // with Auto: the shortest encodation instead of the look-ahead
};

// Turns the data into the complete codeword sequence of one symbol: header, leading codewords,
// scheme output, padding and error correction. Fills codewords and format; returns 0, 5, 6, 7,
// 8, 9 or 10. dataCodewords, when given, receives how many codewords the data took before padding.
ResultCode EncodeCodewords(const EncodingSettings& settings, CodewordBuffer& codewords, FormatInfo& format,
                           std::size_t* dataCodewords = nullptr);

// The symbol of the settings: EncodeCodewords, then the module matrix of its codewords; on
// failure the code of EncodeCodewords, and in attempted (when given) the format it had chosen,
// unchanged when it failed before choosing one.
StatusOr<EncodedSymbol> EncodeSymbol(const EncodingSettings& settings, FormatInfo* attempted = nullptr);

void AppendPadding(uint16_t count, CodewordBuffer& codewords);
uint8_t Randomize253(uint8_t pad, std::size_t position);

}  // namespace korvex::internal
