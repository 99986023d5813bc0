#include "encoder/C40TextEncoder.h"

#include <vector>

#include "encoder/AsciiEncoder.h"

namespace korvex::internal {

namespace {

constexpr uint8_t kLatchC40 = 230;
constexpr uint8_t kLatchText = 239;
constexpr uint8_t kUnlatch = 254;
constexpr uint8_t kShift2 = 1;
// Written after kShift2: adds 128 to the character that follows.
constexpr uint8_t kUpperShiftValue = 30;

C40TextValue At(int row, int set) { return {true, static_cast<uint8_t>(row), static_cast<uint8_t>(set)}; }

}  // namespace

// The basic set holds space, the digits and the capital letters, shift 1 the control characters,
// shift 2 the punctuation up to '_', shift 3 the rest from '`'. Text is C40 with upper and lower
// case trading places, in the basic set and in shift 3.
C40TextValue FindC40TextValue(uint8_t byte, bool useC40) {
  if (byte >= 128) return {};
  const bool letter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
  if (!useC40 && letter) byte ^= 0x20;
  if (byte == ' ') return At(3, 0);
  if (byte >= '0' && byte <= '9') return At(byte - '0' + 4, 0);
  if (byte >= 'A' && byte <= 'Z') return At(byte - 'A' + 14, 0);
  if (byte < ' ') return At(byte, 1);
  // Shift 2 takes the punctuation in three stretches: ! to / from row 0, : to @ from row 15 and
  // [ to _ from row 22.
  if (byte < '0') return At(byte - '!', 2);
  if (byte < 'A') return At(byte - ':' + 15, 2);
  if (byte < '`') return At(byte - '[' + 22, 2);
  return At(byte - '`', 3);
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
