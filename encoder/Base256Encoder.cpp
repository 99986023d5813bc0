#include "encoder/Base256Encoder.h"

namespace korvex::internal {

namespace {

constexpr uint8_t kLatchBase256 = 231;

void AppendRandomized(uint8_t value, CodewordWriter& out) {
  out.Append(Randomize255(value, out.NextPosition()));
}

// One complete run: latch, length field and bytes. The latch is written even when the run is
// refused, so a caller sees the same buffer state for every refusal.
bool EncodeBase256Run(DataRange run, CodewordWriter& out) {
  out.Append(kLatchBase256);
  const std::size_t length = run.size();
  if (length > kMaxBase256Run) return false;
  if (Base256LengthFieldSize(length) == 1) {
    AppendRandomized(static_cast<uint8_t>(length), out);
  } else {
    AppendRandomized(static_cast<uint8_t>(length / 250 + 249), out);
    AppendRandomized(static_cast<uint8_t>(length % 250), out);
  }
  for (DataItem item : run) AppendRandomized(ItemValue(item), out);
  return true;
}

}  // namespace

uint8_t Randomize255(uint8_t value, std::size_t position) {
  // Reducing the position first keeps the product exact for any position.
  const unsigned pseudoRandom = static_cast<unsigned>((149 * (position % 255)) % 255) + 1;
  const unsigned sum = value + pseudoRandom;
  return static_cast<uint8_t>(sum <= 255 ? sum : sum - 256);
}

bool EncodeBase256(DataRange range, CodewordWriter& out) {
  // A codeword item would only be read as a data byte inside the run, so each one closes the
  // run, goes out on its own in ASCII, and the data after it starts a fresh run.
  return ForEachDataRun(
      range, true, [&out](DataRange run, bool) { return EncodeBase256Run(run, out); },
      [&out](uint8_t codeword) { out.Append(codeword); });
}

}  // namespace korvex::internal
