#include "encoder/EdifactEncoder.h"

#include <algorithm>
#include <array>

#include "encoder/AsciiEncoder.h"

namespace korvex::internal {

namespace {

constexpr uint8_t kLatchEdifact = 240;
constexpr uint8_t kUnlatchValue = 31;
constexpr std::size_t kGroupSize = kEdifactGroupSize;
// A group needs up to three codewords; decoders read the last two data codewords of a symbol in
// ASCII, so no group may start with fewer than this many codewords left.
constexpr std::size_t kRoomForGroup = 3;

using Group = std::array<uint8_t, kGroupSize>;

bool AllEdifactChars(DataRange range) {
  return std::all_of(range.begin(), range.end(), [](DataItem item) {
    return IsCodewordItem(item) || IsEdifactChar(ItemValue(item));
  });
}

// The end of a run with `left` characters (0..3) still in the group.
void WriteRunEnd(Group group, std::size_t left, bool endsData, CodewordWriter& out) {
  const EdifactRunEnd end = EdifactRunEndFor(left, endsData, out.Room());
  if (end.leftoversInAscii) {
    std::array<DataItem, kGroupSize> leftovers{};
    for (std::size_t i = 0; i < left; ++i) leftovers[i] = DataCharItem(group[i]);
    EncodeAscii(DataRange(leftovers.data(), left), out);
    return;
  }
  if (end.misread) out.MarkMisread();
  group[left] = kUnlatchValue;
  PackEdifact(group.data(), left + 1, out);
}

void EncodeEdifactRun(DataRange run, bool endsData, CodewordWriter& out) {
  out.Append(kLatchEdifact);
  Group group{};
  std::size_t filled = 0;
  for (DataItem item : run) {
    group[filled++] = ItemValue(item);
    if (filled == kGroupSize) {
      PackEdifact(group.data(), kGroupSize, out);
      filled = 0;
    }
  }
  WriteRunEnd(group, filled, endsData, out);
}

}  // namespace

bool IsEdifactChar(uint8_t byte) { return byte >= 32 && byte <= 94; }

// Where the data ends and the format's last two codewords are reached, decoders are back in
// ASCII by themselves, so the unlatch is left out and the leftovers go in ASCII.
EdifactRunEnd EdifactRunEndFor(std::size_t left, bool endsData, std::size_t room) {
  EdifactRunEnd end;
  const bool capacityKnown = room != CodewordWriter::kUnknownCapacity;
  end.leftoversInAscii = endsData && capacityKnown && left < 3 && room < kRoomForGroup;
  end.misread = !end.leftoversInAscii && capacityKnown && room < kRoomForGroup;
  return end;
}

// One value gives one codeword, two give two, three and four give three.
std::size_t EdifactPackedLength(std::size_t count) { return std::min<std::size_t>(count, 3); }

void PackEdifact(const uint8_t* values, std::size_t count, CodewordWriter& out) {
  count = std::min(count, kGroupSize);
  uint32_t packed = 0;
  for (std::size_t i = 0; i < count; ++i) {
    packed |= static_cast<uint32_t>(values[i] & 0x3F) << (18 - 6 * i);
  }
  const std::size_t codewords = EdifactPackedLength(count);
  for (std::size_t i = 0; i < codewords; ++i) {
    out.Append(static_cast<uint8_t>(packed >> (16 - 8 * i)));
  }
}

bool EncodeEdifact(DataRange range, bool lastSegment, CodewordWriter& out) {
  if (!AllEdifactChars(range)) return false;
  // EDIFACT has no value for a codeword item: the run before it unlatches, the item goes out in
  // ASCII, and the data after it latches again.
  return ForEachDataRun(
      range, lastSegment,
      [&out](DataRange run, bool endsData) {
        EncodeEdifactRun(run, endsData, out);
        return true;
      },
      [&out](uint8_t codeword) { out.Append(codeword); });
}

}  // namespace korvex::internal
