// Runs pre-processing and the whole encoding pipeline on arbitrary data, with the encoding mode,
// preferred format and structured-append header chosen by the input, and checks what must hold
// for any input: the result codes the pipeline can give, the symbol's exact codeword count, the
// header, the Reed-Solomon blocks (every block's syndromes are zero), that the data codewords
// read back, by the decoding rules of ECC200, as exactly the pre-processed data, and that
// encoding the same settings twice gives the same codewords.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "result/ResultCode.h"
#include "encoder/DataItem.h"
#include "encoder/EncodingPipeline.h"
#include "encoder/FormatTable.h"
#include "encoder/Preprocessor.h"

using namespace korvex::internal;

namespace {

constexpr size_t kSettingsBytes = 6;

// The mode by its number, as the checks below state their expectations.
int ModeNumber(const EncodingSettings& settings) { return static_cast<int>(settings.encodingMode); }

[[noreturn]] void Fail(const char* what, const EncodingSettings& settings, ResultCode code) {
  std::fprintf(stderr,
               "Encoder: %s (mode %d, format %d, shape %d, dmre %d, minimal %d, structured append %d %d/%d id %d, "
               "result %d, %zu data bytes)\n",
               what, ModeNumber(settings), settings.preferredFormat, static_cast<int>(settings.shape), settings.dmre,
               settings.minimal,
               settings.structuredAppend, settings.structuredAppendIndex, settings.structuredAppendTotal,
               settings.structuredAppendFileId, code, settings.data.size());
  std::abort();
}

// GF(256) over x^8 + x^5 + x^3 + x^2 + 1, kept apart from the encoder's own tables.
class GaloisField {
 public:
  GaloisField() {
    int value = 1;
    for (int i = 0; i < 255; ++i) {
      exp_[i] = static_cast<uint8_t>(value);
      log_[value] = static_cast<uint8_t>(i);
      value <<= 1;
      if (value & 0x100) value ^= 0x12D;
    }
  }
  uint8_t Multiply(uint8_t a, uint8_t b) const {
    if (a == 0 || b == 0) return 0;
    return exp_[(log_[a] + log_[b]) % 255];
  }
  uint8_t Power(int i) const { return exp_[i % 255]; }

 private:
  std::array<uint8_t, 255> exp_{};
  std::array<uint8_t, 256> log_{};
};

// Where a block's first error-correction codeword stands within each group of blockCount. The
// 144 x 144 format rotates its groups: blocks 9 and 10 come first, then blocks 1 to 8.
size_t EccSlot(const FormatInfo& format, size_t block) {
  constexpr int32_t kRotatedFormat = 24;
  const size_t blocks = static_cast<size_t>(format.blockCount);
  return format.id == kRotatedFormat ? (block + 2) % blocks : block;
}

// Every interleaved block, data followed by its error-correction codewords, must vanish at
// alpha^1 .. alpha^k.
bool BlocksAreCodewords(const CodewordBuffer& codewords, const FormatInfo& format) {
  static const GaloisField field;
  const size_t blocks = static_cast<size_t>(format.blockCount);
  const size_t eccPerBlock = format.eccCodewords / blocks;
  for (size_t block = 0; block < blocks; ++block) {
    CodewordBuffer polynomial;
    for (size_t p = block; p < format.dataCodewords; p += blocks) polynomial.push_back(codewords[p]);
    for (size_t p = EccSlot(format, block); p < format.eccCodewords; p += blocks) {
      polynomial.push_back(codewords[format.dataCodewords + p]);
    }
    for (size_t root = 1; root <= eccPerBlock; ++root) {
      const uint8_t x = field.Power(static_cast<int>(root));
      uint8_t sum = 0;
      for (uint8_t coefficient : polynomial) sum = static_cast<uint8_t>(field.Multiply(sum, x) ^ coefficient);
      if (sum != 0) return false;
    }
  }
  return true;
}

// Reads the data codewords of a symbol back into items: data characters, and the function
// codewords (FNC1, reader programming, macros, ECI with its number) as codeword items. Returns
// false for a codeword sequence that a reader could not decode.
class DataCodewordReader {
 public:
  // fullSymbolEnds: C40 and Text runs may also end as the shortest encodation ends them where
  // they fill the format.
  DataCodewordReader(const CodewordBuffer& codewords, size_t dataCodewords, size_t start, bool fullSymbolEnds)
      : codewords_(codewords), end_(dataCodewords), position_(start), fullSymbolEnds_(fullSymbolEnds) {}

  bool Read(DataItemList& items) {
    items_ = &items;
    while (position_ < end_) {
      const uint8_t codeword = codewords_[position_++];
      if (codeword == kPad) return !upperShift_;
      if (!ReadAsciiCodeword(codeword)) return false;
    }
    return !upperShift_;
  }

  // Whether a C40 or Text run ended other than by this encoder's rule (see ReadC40Text).
  bool C40TextEndMissing() const { return c40TextEndMissing_; }

 private:
  static constexpr uint8_t kPad = 129;
  static constexpr uint8_t kUnlatch = 254;

  void AddData(int byte) {
    items_->push_back(DataCharItem(static_cast<uint8_t>(upperShift_ ? byte + 128 : byte)));
    upperShift_ = false;
  }

  bool AddFunction(uint8_t codeword) {
    if (upperShift_) return false;
    items_->push_back(CodewordItem(codeword));
    return true;
  }

  bool ReadAsciiCodeword(uint8_t codeword) {
    if (codeword >= 1 && codeword <= 128) {
      AddData(codeword - 1);
      return true;
    }
    if (codeword >= 130 && codeword <= 229) {
      if (upperShift_) return false;
      AddData('0' + (codeword - 130) / 10);
      AddData('0' + (codeword - 130) % 10);
      return true;
    }
    switch (codeword) {
      case 230: return ReadC40Text(true);
      case 231: return ReadBase256();
      case 232: case 234: case 236: case 237: return AddFunction(codeword);
      case 235:
        if (upperShift_) return false;
        upperShift_ = true;
        return true;
      case 238: return ReadX12();
      case 239: return ReadC40Text(false);
      case 240: return ReadEdifact();
      case 241: return ReadEci();
      default: return false;
    }
  }

  bool ReadEci() {
    if (!AddFunction(241) || position_ >= end_) return false;
    const uint8_t first = codewords_[position_];
    const size_t length = first <= 127 ? 1 : (first <= 191 ? 2 : 3);
    if (position_ + length > end_) return false;
    for (size_t i = 0; i < length; ++i) items_->push_back(CodewordItem(codewords_[position_++]));
    return true;
  }

  // Two codewords hold three values of 0..39; fewer than two left end the run. Records whether
  // the run ended with the unlatch.
  template <typename TakeValue>
  bool ReadTriplets(TakeValue takeValue) {
    unlatched_ = false;
    while (end_ - position_ >= 2) {
      if (codewords_[position_] == kUnlatch) {
        ++position_;
        unlatched_ = true;
        return true;
      }
      const int packed = codewords_[position_] * 256 + codewords_[position_ + 1] - 1;
      position_ += 2;
      if (packed < 0 || packed >= 64000) return false;
      for (const int value : {packed / 1600, packed / 40 % 40, packed % 40}) {
        if (!takeValue(value)) return false;
      }
    }
    return true;
  }

  bool ReadC40Text(bool c40) {
    int shift = 0;
    const bool read = ReadTriplets([&](int value) {
      const int set = shift;
      shift = 0;
      switch (set) {
        case 0:
          if (value < 3) {
            shift = value + 1;
          } else if (value == 3) {
            AddData(' ');
          } else if (value < 14) {
            AddData('0' + value - 4);
          } else {
            AddData((c40 ? 'A' : 'a') + value - 14);
          }
          return true;
        case 1:
          AddData(value);
          return true;
        case 2:
          if (value <= 14) {
            AddData('!' + value);
          } else if (value <= 21) {
            AddData(':' + value - 15);
          } else if (value <= 26) {
            AddData('[' + value - 22);
          } else if (value == 27) {
            return AddFunction(232);
          } else if (value == 30) {
            if (upperShift_) return false;
            upperShift_ = true;
          } else {
            return false;
          }
          return true;
        default:
          if (value == 0) {
            AddData('`');
          } else if (value <= 26) {
            AddData((c40 ? 'a' : 'A') + value - 1);
          } else if (value <= 31) {
            AddData('{' + value - 27);
          } else {
            return false;
          }
          return true;
      }
    });
    // Shifts left over at the end of the run, upper shift included, belong to a character that
    // follows in ASCII in full (or are padding), so a reader drops them with the run.
    upperShift_ = false;
    // Readers would take a run that simply stops as well, but this encoder always unlatches a
    // C40 or Text run, save where the unlatch would be the last data codeword: the pad is there.
    // The shortest encodation may also stop a run that fills the format: right at its end, or
    // with a last character in ASCII in its last codeword.
    const size_t left = end_ - position_;
    const bool padFollows = left == 1 && codewords_[position_] == kPad;
    const bool fillsFormat =
        fullSymbolEnds_ && (left == 0 || (left == 1 && codewords_[position_] >= 1 && codewords_[position_] <= 128));
    if (read && !unlatched_ && !padFollows && !fillsFormat) c40TextEndMissing_ = true;
    return read;
  }

  bool ReadX12() {
    return ReadTriplets([&](int value) {
      static constexpr std::array<char, 4> kSpecial{'\r', '*', '>', ' '};
      if (upperShift_) return false;
      if (value < 4) {
        AddData(kSpecial[static_cast<size_t>(value)]);
      } else if (value < 14) {
        AddData('0' + value - 4);
      } else {
        AddData('A' + value - 14);
      }
      return true;
    });
  }

  // Four 6-bit values in three codewords; an unlatch value ends the run at the next codeword;
  // fewer than three codewords left end it as well.
  bool ReadEdifact() {
    while (end_ - position_ >= 3) {
      const uint32_t bits = (uint32_t{codewords_[position_]} << 16) | (uint32_t{codewords_[position_ + 1]} << 8) |
                            codewords_[position_ + 2];
      for (int i = 0; i < 4; ++i) {
        const int value = static_cast<int>((bits >> (18 - 6 * i)) & 0x3F);
        if (value == 0x1F) {
          position_ += static_cast<size_t>((6 * (i + 1) + 7) / 8);
          return true;
        }
        if (upperShift_) return false;
        AddData((value & 0x20) ? value : (value | 0x40));
      }
      position_ += 3;
    }
    return true;
  }

  uint8_t Unrandomize255(size_t index) const {
    const int pseudoRandom = static_cast<int>((149 * (index + 1)) % 255) + 1;
    const int value = codewords_[index] - pseudoRandom;
    return static_cast<uint8_t>(value >= 0 ? value : value + 256);
  }

  bool ReadBase256() {
    if (upperShift_ || position_ >= end_) return false;
    const int first = Unrandomize255(position_++);
    size_t count = 0;
    if (first == 0) {
      count = end_ - position_;
    } else if (first < 250) {
      count = static_cast<size_t>(first);
    } else {
      if (position_ >= end_) return false;
      count = 250 * static_cast<size_t>(first - 249) + Unrandomize255(position_++);
    }
    if (count > end_ - position_) return false;
    for (size_t i = 0; i < count; ++i) AddData(Unrandomize255(position_++));
    return true;
  }

  const CodewordBuffer& codewords_;
  size_t end_;
  size_t position_;
  bool fullSymbolEnds_;
  DataItemList* items_ = nullptr;
  bool upperShift_ = false;
  bool unlatched_ = false;
  bool c40TextEndMissing_ = false;
};

EncodingSettings SettingsFromInput(const uint8_t* bytes, size_t size) {
  std::array<uint8_t, kSettingsBytes> head{};
  for (size_t i = 0; i < head.size() && i < size; ++i) head[i] = bytes[i];
  EncodingSettings settings;
  const int mode = head[0] % 8;
  settings.encodingMode = static_cast<EncodingMode>(mode < 7 ? mode : ((head[0] & 0x80) ? -1 : 7));
  const int format = head[1] % 32;
  settings.preferredFormat = format < 31 ? format : ((head[1] & 0x80) ? -1 : 31);
  settings.structuredAppend = (head[2] & 1) != 0;
  settings.structuredAppendIndex = 1 + (head[2] >> 1) % 16;
  // The bits the other settings leave unused: shape from bits 5 and 6 of the format byte, the
  // DMRE sizes from bit 5 of the structured-append byte, and with bit 6 a DMRE id (49: none).
  settings.shape = static_cast<SymbolShape>(((head[1] >> 5) & 3) % 3);
  settings.dmre = (head[2] & 0x20) != 0;
  if (head[2] & 0x40) settings.preferredFormat = kFirstDmreFormatId + format % 19;
  settings.minimal = (head[2] & 0x80) != 0;
  settings.structuredAppendTotal = 2 + head[3] % 15;
  settings.structuredAppendFileId = 1 + ((head[4] << 8) | head[5]) % 64516;
  if (size > kSettingsBytes) settings.data.assign(reinterpret_cast<const char*>(bytes) + kSettingsBytes, size - kSettingsBytes);
  return settings;
}

void CheckPreprocessing(const std::string& data) {
  const std::string text = data.substr(0, data.find('\0'));
  DataItemList items;
  PreprocessData(data, items);
  // Every escape consumes at least as many characters as it yields items.
  if (items.size() > text.size()) std::abort();
  if (text.find('~') == std::string::npos) {
    if (items.size() != text.size()) std::abort();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] != DataCharItem(static_cast<uint8_t>(text[i]))) std::abort();
    }
  }
}

void CheckHeader(const EncodingSettings& settings, const CodewordBuffer& codewords, ResultCode code) {
  if (!settings.structuredAppend) return;
  if (codewords.size() < 4) Fail("structured-append header missing", settings, code);
  const int fileId = settings.structuredAppendFileId;
  const std::array<int, 4> header{233, (settings.structuredAppendIndex - 1) * 16 + 17 - settings.structuredAppendTotal,
                                  fileId / 255, fileId % 255};
  for (size_t i = 0; i < header.size(); ++i) {
    if (codewords[i] != header[i]) Fail("structured-append header wrong", settings, code);
  }
}

void CheckSymbol(const EncodingSettings& settings, const CodewordBuffer& codewords, const FormatInfo& format) {
  const FormatInfo* row = FindFormat(format.id, settings.dmre);
  if (row == nullptr || row->dataCodewords != format.dataCodewords || row->eccCodewords != format.eccCodewords ||
      row->blockCount != format.blockCount) {
    Fail("format is not a table row", settings, Result::Ok);
  }
  if (settings.preferredFormat != 0 && format.id != settings.preferredFormat) {
    Fail("preferred format not used", settings, Result::Ok);
  }
  // Automatic selection reaches the rectangles only for a shape that asks for them.
  const bool automatic = settings.preferredFormat == 0;
  const bool square = format.symbolRows == format.symbolCols;
  if (automatic && settings.shape == SymbolShape::Square && !square) {
    Fail("automatic selection took a rectangle", settings, Result::Ok);
  }
  if (automatic && settings.shape == SymbolShape::Rectangle && square) {
    Fail("rectangle shape took a square", settings, Result::Ok);
  }
  if (codewords.size() != static_cast<size_t>(format.dataCodewords) + format.eccCodewords) {
    Fail("codeword count is not data plus error correction", settings, Result::Ok);
  }
  if (!BlocksAreCodewords(codewords, format)) Fail("error correction does not match the data", settings, Result::Ok);

  DataItemList expected;
  PreprocessData(settings.data, expected);
  DataItemList decoded;
  const bool fullSymbolEnds = settings.minimal && ModeNumber(settings) == 0;
  DataCodewordReader reader(codewords, format.dataCodewords, settings.structuredAppend ? 4 : 0, fullSymbolEnds);
  if (!reader.Read(decoded)) Fail("data codewords do not decode", settings, Result::Ok);
  if (reader.C40TextEndMissing()) Fail("C40 or Text run ends without its unlatch", settings, Result::Ok);
  if (decoded != expected) Fail("data codewords decode to other data", settings, Result::Ok);
}

// Where the format comes in the order the automatic choice tries.
size_t CandidateIndex(const EncodingSettings& settings, const FormatInfo& format) {
  const auto& candidates = FormatCandidates(settings.shape, settings.dmre);
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i]->id == format.id) return i;
  }
  return candidates.size();
}

// The shortest encodation holds the data wherever the look-ahead does, never in a later format,
// and with a fixed mode changes nothing.
void CheckAgainstLookAhead(const EncodingSettings& settings, const CodewordBuffer& codewords, const FormatInfo& format,
                           ResultCode code) {
  EncodingSettings lookAhead = settings;
  lookAhead.minimal = false;
  CodewordBuffer lookAheadCodewords;
  FormatInfo lookAheadFormat;
  const ResultCode lookAheadCode = EncodeCodewords(lookAhead, lookAheadCodewords, lookAheadFormat);
  if (ModeNumber(settings) != 0) {
    if (lookAheadCode != code || lookAheadCodewords != codewords) Fail("minimal changed a fixed mode", settings, code);
    return;
  }
  if (lookAheadCode != Result::Ok) return;
  if (code != Result::Ok) Fail("minimal refused what the look-ahead encodes", settings, code);
  if (settings.preferredFormat == 0 && CandidateIndex(settings, format) > CandidateIndex(settings, lookAheadFormat)) {
    Fail("minimal took a later format than the look-ahead", settings, code);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const EncodingSettings settings = SettingsFromInput(bytes, size);
  CheckPreprocessing(settings.data);

  CodewordBuffer codewords;
  FormatInfo format;
  const ResultCode code = EncodeCodewords(settings, codewords, format);

  switch (code) {
    case Result::Ok:
    case Result::InvalidData:
    case Result::InvalidEncodingMode:
    case Result::InvalidPreferredFormat:
    case Result::NoFittingFormat:
    case Result::DataDoesNotFit:
      break;
    default:
      Fail("unexpected result code", settings, code);
  }
  const bool validMode = ModeNumber(settings) >= 0 && ModeNumber(settings) <= 6;
  if (validMode != (code != Result::InvalidEncodingMode)) Fail("mode check wrong", settings, code);
  if (ModeNumber(settings) == 0 && code == Result::InvalidData) Fail("automatic encodation refused data", settings, code);
  const bool automaticFormat = settings.preferredFormat == 0;
  const bool knownFormat = (settings.preferredFormat >= 0 && settings.preferredFormat <= 30) ||
                           (settings.dmre && settings.preferredFormat >= kFirstDmreFormatId &&
                            settings.preferredFormat <= kLastDmreFormatId);
  if (code == Result::InvalidPreferredFormat && knownFormat) Fail("table format refused", settings, code);
  if (code == Result::Ok && !knownFormat) Fail("unknown format accepted", settings, code);
  if (automaticFormat && code == Result::DataDoesNotFit) Fail("automatic format too small", settings, code);
  if (!automaticFormat && code == Result::NoFittingFormat) Fail("fixed format searched", settings, code);

  if (code != Result::InvalidEncodingMode) CheckHeader(settings, codewords, code);
  if (code == Result::Ok) CheckSymbol(settings, codewords, format);

  if (settings.minimal) CheckAgainstLookAhead(settings, codewords, format, code);

  CodewordBuffer again;
  FormatInfo formatAgain;
  const ResultCode codeAgain = EncodeCodewords(settings, again, formatAgain);
  if (codeAgain != code || (code == Result::Ok && (again != codewords || formatAgain.id != format.id))) {
    Fail("second encoding differs", settings, code);
  }
  return 0;
}
