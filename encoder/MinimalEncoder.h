#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/AutoEncoder.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

// The shortest encodation of the items: among every way of cutting them into runs of the six
// schemes, with the latches, unlatches, shifts and run ends that the scheme encoders write, the
// plan with the fewest codewords for a format of a given capacity. EncodeAuto writes the plan,
// so its codewords are those of the scheme encoders.
//
// A shortest path over (item position, scheme, values or characters waiting for their triplet or
// group): every run but the last starts and ends in ASCII, so the cheapest way to reach a state
// is all that the rest of the data needs. Only the last run's end, and an EDIFACT unlatch that
// would fall in the format's last two codewords, depend on the capacity; the plan for a capacity
// judges those on the same search. Linear in the number of items for each capacity.
class MinimalEncoder {
 public:
  // prefix: the codewords already in the buffer before the items (header, leading codewords).
  MinimalEncoder(DataRange items, std::size_t prefix);

  // The runs with the fewest codewords for a format of the capacity; with
  // CodewordWriter::kUnknownCapacity, under the run ends written while the format is unknown.
  // When no plan fits the capacity, the plan returned does not either.
  std::vector<Segment> Plan(std::size_t capacity);

 private:
  struct Node {
    uint32_t cost;  // codewords written up to here, the prefix included
    uint32_t from;  // the node this one is reached from: its position times 16 plus its state
    std::size_t FromPosition() const { return from >> 4; }
    uint8_t FromState() const { return static_cast<uint8_t>(from & 15); }
  };
  using Table = std::vector<Node>;

  struct Ending {
    uint8_t state = 0;
    std::size_t written = 0;
    bool fits = false;
  };

  class Base256Starts;

  static void Reach(Table& table, std::size_t position, uint8_t state, std::size_t cost, std::size_t fromPosition,
                    uint8_t fromState);
  void Search(std::size_t capacity, Table& table) const;
  void EndBase256Runs(Table& table, std::size_t position, Base256Starts& starts) const;
  void CloseRuns(Table& table, std::size_t position, std::size_t capacity) const;
  void OpenRuns(Table& table, std::size_t position) const;
  void Advance(Table& table, std::size_t position) const;

  // How the run of a state ends, by the scheme encoder's rule for the room left after cost
  // codewords: codewords of its own, then its last asciiTail items in ASCII. The last run may
  // end by the full-symbol ends; lastCharOneValue: the data's last character is one value in
  // the state's C40 or Text set.
  struct RunEnd {
    uint8_t codewords = 0;
    uint8_t asciiTail = 0;
    bool misread = false;  // a decoder would misread that end in the format
  };
  static RunEnd EndOf(uint8_t state, std::size_t cost, std::size_t capacity, bool endsData,
                      bool lastCharOneValue = false);
  // What ASCII writes for the count (0..2) items before the position.
  std::size_t AsciiTail(std::size_t position, std::size_t count) const;
  // Whether the data's last character is one value in the C40 or Text set of the state.
  bool LastCharOneValue(uint8_t state) const;
  Ending BestEnding(const Table& table, std::size_t capacity) const;
  bool PathMisreads(const Table& table, uint8_t state, std::size_t capacity) const;
  std::vector<Segment> PlanOf(const Table& table, uint8_t state) const;

  DataRange items_;
  std::size_t prefix_;
  // What each item costs in each scheme, by the scheme encoders' rules, looked up at every step.
  struct ItemCosts {
    uint8_t asciiOne = 0;  // ASCII codewords of the item alone
    uint8_t asciiTwo = 0;  // of the item and the next one (1 for a digit pair); 0 at the end
    uint8_t c40Values = 0;
    uint8_t textValues = 0;
    bool x12 = false;      // X12 carries it
    bool edifact = false;  // EDIFACT carries it
  };
  std::vector<ItemCosts> costs_;
  std::size_t groupCodewords_;  // of a full EDIFACT group
  std::vector<RunEnd> closes_;  // each state's end where more data follows and the room does not matter
  Table longEnds_;  // the search without a capacity, shared by every capacity that it suits
  bool searched_ = false;
};

}  // namespace korvex::internal
