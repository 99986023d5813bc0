#include "encoder/C40TextEncoder.h"

#include <vector>

#include "encoder/AsciiEncoder.h"

namespace korvex::internal {

namespace {

constexpr uint8_t kNone = 0xFF;
constexpr uint8_t kLatchC40 = 230;
constexpr uint8_t kLatchText = 239;
constexpr uint8_t kUnlatch = 254;
constexpr uint8_t kShift2 = 1;
// Written after kShift2: adds 128 to the character that follows.
constexpr uint8_t kUpperShiftValue = 30;

}  // namespace

// Columns: basic set, shift 1, shift 2, shift 3.
const C40TextTableType C40Table = {{
    {{kNone, 0, 33, 96}},  // 0
    {{kNone, 1, 34, 97}},  // 1
    {{kNone, 2, 35, 98}},  // 2
    {{32, 3, 36, 99}},  // 3
    {{48, 4, 37, 100}},  // 4
    {{49, 5, 38, 101}},  // 5
    {{50, 6, 39, 102}},  // 6
    {{51, 7, 40, 103}},  // 7
    {{52, 8, 41, 104}},  // 8
    {{53, 9, 42, 105}},  // 9
    {{54, 10, 43, 106}},  // 10
    {{55, 11, 44, 107}},  // 11
    {{56, 12, 45, 108}},  // 12
    {{57, 13, 46, 109}},  // 13
    {{65, 14, 47, 110}},  // 14
    {{66, 15, 58, 111}},  // 15
    {{67, 16, 59, 112}},  // 16
    {{68, 17, 60, 113}},  // 17
    {{69, 18, 61, 114}},  // 18
    {{70, 19, 62, 115}},  // 19
    {{71, 20, 63, 116}},  // 20
    {{72, 21, 64, 117}},  // 21
    {{73, 22, 91, 118}},  // 22
    {{74, 23, 92, 119}},  // 23
    {{75, 24, 93, 120}},  // 24
    {{76, 25, 94, 121}},  // 25
    {{77, 26, 95, 122}},  // 26
    {{78, 27, kNone, 123}},  // 27
    {{79, 28, kNone, 124}},  // 28
    {{80, 29, kNone, 125}},  // 29
    {{81, 30, kNone, 126}},  // 30
    {{82, 31, kNone, 127}},  // 31
    {{83, kNone, kNone, kNone}},  // 32
    {{84, kNone, kNone, kNone}},  // 33
    {{85, kNone, kNone, kNone}},  // 34
    {{86, kNone, kNone, kNone}},  // 35
    {{87, kNone, kNone, kNone}},  // 36
    {{88, kNone, kNone, kNone}},  // 37
    {{89, kNone, kNone, kNone}},  // 38
    {{90, kNone, kNone, kNone}},  // 39
}};

// Same as C40 except that upper and lower case trade places in the basic and shift 3 sets.
const C40TextTableType TextTable = {{
    {{kNone, 0, 33, 96}},  // 0
    {{kNone, 1, 34, 65}},  // 1
    {{kNone, 2, 35, 66}},  // 2
    {{32, 3, 36, 67}},  // 3
    {{48, 4, 37, 68}},  // 4
    {{49, 5, 38, 69}},  // 5
    {{50, 6, 39, 70}},  // 6
    {{51, 7, 40, 71}},  // 7
    {{52, 8, 41, 72}},  // 8
    {{53, 9, 42, 73}},  // 9
    {{54, 10, 43, 74}},  // 10
    {{55, 11, 44, 75}},  // 11
    {{56, 12, 45, 76}},  // 12
    {{57, 13, 46, 77}},  // 13
    {{97, 14, 47, 78}},  // 14
    {{98, 15, 58, 79}},  // 15
    {{99, 16, 59, 80}},  // 16
    {{100, 17, 60, 81}},  // 17
    {{101, 18, 61, 82}},  // 18
    {{102, 19, 62, 83}},  // 19
    {{103, 20, 63, 84}},  // 20
    {{104, 21, 64, 85}},  // 21
    {{105, 22, 91, 86}},  // 22
    {{106, 23, 92, 87}},  // 23
    {{107, 24, 93, 88}},  // 24
    {{108, 25, 94, 89}},  // 25
    {{109, 26, 95, 90}},  // 26
    {{110, 27, kNone, 123}},  // 27
    {{111, 28, kNone, 124}},  // 28
    {{112, 29, kNone, 125}},  // 29
    {{113, 30, kNone, 126}},  // 30
    {{114, 31, kNone, 127}},  // 31
    {{115, kNone, kNone, kNone}},  // 32
    {{116, kNone, kNone, kNone}},  // 33
    {{117, kNone, kNone, kNone}},  // 34
    {{118, kNone, kNone, kNone}},  // 35
    {{119, kNone, kNone, kNone}},  // 36
    {{120, kNone, kNone, kNone}},  // 37
    {{121, kNone, kNone, kNone}},  // 38
    {{122, kNone, kNone, kNone}},  // 39
}};

namespace {

// Row and set of every byte 0..127, the first matching cell in the scan order (rows, then sets).
struct ValueIndex {
  std::array<C40TextValue, 128> cells{};

  explicit ValueIndex(const C40TextTableType& table) {
    for (std::size_t row = table.size(); row-- > 0;) {
      for (std::size_t set = table[row].size(); set-- > 0;) {
        const uint8_t byte = table[row][set];
        if (byte < cells.size()) cells[byte] = {true, static_cast<uint8_t>(row), static_cast<uint8_t>(set)};
      }
    }
  }
};

}  // namespace

C40TextValue FindC40TextValue(uint8_t byte, bool useC40) {
  // Built once: every character of a run is looked up.
  static const ValueIndex c40(C40Table);
  static const ValueIndex text(TextTable);
  if (byte >= 128) return {};
  return (useC40 ? c40 : text).cells[byte];
}

void PackTriplet(uint8_t p, uint8_t q, uint8_t r, CodewordWriter& out) {
  const unsigned packed = 1600u * p + 40u * q + r + 1u;
  out.Append(static_cast<uint8_t>(packed / 256));
  out.Append(static_cast<uint8_t>(packed % 256));
}

namespace {

C40TextValues ComputeValuesOf(uint8_t byte, bool useC40) {
  C40TextValues result;
  if (byte >= 128) {
    result.values[result.count++] = kShift2;
    result.values[result.count++] = kUpperShiftValue;
    byte = static_cast<uint8_t>(byte - 128);
  }
  const C40TextValue value = FindC40TextValue(byte, useC40);
  if (value.set != 0) result.values[result.count++] = static_cast<uint8_t>(value.set - 1);
  result.values[result.count++] = value.row;
  return result;
}

using ValuesTable = std::array<C40TextValues, 256>;

ValuesTable BuildValuesTable(bool useC40) {
  ValuesTable table;
  for (std::size_t byte = 0; byte < table.size(); ++byte) table[byte] = ComputeValuesOf(static_cast<uint8_t>(byte), useC40);
  return table;
}

}  // namespace

C40TextValues C40TextValuesOf(uint8_t byte, bool useC40) {
  // Built once: every character of a run, and every one a planner weighs, is looked up.
  static const ValuesTable c40 = BuildValuesTable(true);
  static const ValuesTable text = BuildValuesTable(false);
  return (useC40 ? c40 : text)[byte];
}

// The leftover value is the last character's row; its shift values, if any, closed the last
// triplet, and the whole character is written again in ASCII. The filler 0 of a padded triplet
// is a shift 1 with nothing after it, which decoders drop. Readers take a lone last data
// codeword in ASCII, where 254 is no valid value: where nothing follows and the unlatch would be
// the format's last data codeword, it is left out and the first pad (129) takes its place, so
// these ends take the same codewords in every format.
//
// The full-symbol ends save a codeword where the run ends exactly at the format's end: after
// the last triplet, or the padded one in the last two codewords, the symbol simply ends; and a
// last character of one value in the last codeword goes in ASCII, which readers take there.
C40TextRunEnd C40TextRunEndFor(std::size_t valuesLeft, bool lastSegment, std::size_t room, bool fullSymbolEnds,
                               bool lastCharOneValue) {
  C40TextRunEnd end;
  const bool fillsFormat = lastSegment && fullSymbolEnds && room != CodewordWriter::kUnknownCapacity;
  if (valuesLeft == 1) {
    end.unlatch = !(fillsFormat && lastCharOneValue && room == 1);
    end.lastCharInAscii = true;
    return end;
  }
  end.padTriplet = valuesLeft == 2;
  const std::size_t ownCodewords = end.padTriplet ? kTripletCodewords : 0;
  const std::size_t roomAfter = room >= ownCodewords ? room - ownCodewords : 0;
  const bool endsAtFormatEnd = fillsFormat && room == ownCodewords;
  end.unlatch = !(lastSegment && roomAfter == 1) && !endsAtFormatEnd;
  return end;
}

namespace {

// One run of data characters: latch, full triplets, then the end that C40TextRunEndFor gives.
void EncodeC40TextRun(DataRange run, bool useC40, bool lastSegment, bool fullSymbolEnds, CodewordWriter& out) {
  std::vector<uint8_t> values;
  values.reserve(2 * run.size());
  for (DataItem item : run) {
    const C40TextValues character = C40TextValuesOf(ItemValue(item), useC40);
    for (std::size_t i = 0; i < character.count; ++i) values.push_back(character.values[i]);
  }

  out.Append(useC40 ? kLatchC40 : kLatchText);
  std::size_t next = 0;
  for (; values.size() - next >= kTripletValues; next += kTripletValues) {
    PackTriplet(values[next], values[next + 1], values[next + 2], out);
  }

  const bool lastCharOneValue = C40TextValuesOf(ItemValue(run[run.size() - 1]), useC40).count == 1;
  const C40TextRunEnd end =
      C40TextRunEndFor(values.size() - next, lastSegment, out.Room(), fullSymbolEnds, lastCharOneValue);
  if (end.padTriplet) PackTriplet(values[next], values[next + 1], 0, out);
  if (end.unlatch) out.Append(kUnlatch);
  if (end.lastCharInAscii) EncodeAscii(run.Sub(run.size() - 1, 1), out);
}

}  // namespace

bool EncodeC40Text(DataRange range, bool useC40, bool lastSegment, CodewordWriter& out, bool fullSymbolEnds) {
  return ForEachDataRun(
      range, lastSegment,
      [&](DataRange run, bool runReachesEnd) {
        EncodeC40TextRun(run, useC40, runReachesEnd, fullSymbolEnds, out);
        return true;
      },
      [&](uint8_t codeword) { out.Append(codeword); });
}

}  // namespace korvex::internal
