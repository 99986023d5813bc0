#include "encoder/X12Encoder.h"

#include <algorithm>

#include "encoder/AsciiEncoder.h"
#include "encoder/C40TextEncoder.h"

namespace korvex::internal {

namespace {

constexpr uint8_t kLatchX12 = 238;
constexpr uint8_t kUnlatch = 254;

bool IsUpper(uint8_t byte) { return byte >= 'A' && byte <= 'Z'; }
bool IsDigit(uint8_t byte) { return byte >= '0' && byte <= '9'; }

// One run of data characters, all in the X12 set: latch, full triplets, then the end that
// X12RunEndUnlatches gives.
void EncodeX12Run(DataRange run, bool lastSegment, CodewordWriter& out) {
  out.Append(kLatchX12);
  std::size_t next = 0;
  for (; run.size() - next >= kTripletValues; next += kTripletValues) {
    PackTriplet(X12Value(ItemValue(run[next])), X12Value(ItemValue(run[next + 1])),
                X12Value(ItemValue(run[next + 2])), out);
  }
  const std::size_t left = run.size() - next;
  if (X12RunEndUnlatches(left, lastSegment, out.Room())) out.Append(kUnlatch);
  EncodeAscii(run.Sub(next, left), out);
}

}  // namespace

// A decoder reads a lone last data codeword in ASCII, so where nothing follows and the format's
// capacity is known the run may stop without the unlatch when at most one codeword is left.
bool X12RunEndUnlatches(std::size_t left, bool lastSegment, std::size_t room) {
  const bool shortEndAllowed = lastSegment && room != CodewordWriter::kUnknownCapacity;
  if (left == 0) return !(shortEndAllowed && room <= 1);
  return !(left == 1 && shortEndAllowed && room == 1);
}

bool IsX12Char(uint8_t byte) {
  return byte == 13 || byte == '*' || byte == '>' || byte == ' ' || IsDigit(byte) || IsUpper(byte);
}

uint8_t X12Value(uint8_t byte) {
  switch (byte) {
    case 13: return 0;
    case '*': return 1;
    case '>': return 2;
    case ' ': return 3;
    default: break;
  }
  if (IsDigit(byte)) return static_cast<uint8_t>(byte - '0' + 4);
  if (IsUpper(byte)) return static_cast<uint8_t>(byte - 'A' + 14);
  return 0;
}

bool EncodeX12(DataRange range, bool lastSegment, CodewordWriter& out) {
  const bool allEncodable = std::all_of(range.begin(), range.end(), [](DataItem item) {
    return IsCodewordItem(item) || IsX12Char(ItemValue(item));
  });
  if (!allEncodable) return false;
  return ForEachDataRun(
      range, lastSegment,
      [&](DataRange run, bool runReachesEnd) {
        EncodeX12Run(run, runReachesEnd, out);
        return true;
      },
      [&](uint8_t codeword) { out.Append(codeword); });
}

}  // namespace korvex::internal
