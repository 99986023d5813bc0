#include "encoder/MinimalEncoder.h"

#include <array>
#include <limits>

#include "encoder/AsciiEncoder.h"
#include "encoder/Base256Encoder.h"
#include "encoder/C40TextEncoder.h"
#include "encoder/CodewordWriter.h"
#include "encoder/EdifactEncoder.h"
#include "encoder/X12Encoder.h"

namespace korvex::internal {

namespace {

// The states of the search: ASCII; C40, Text and X12 with 0..2 values or characters waiting for
// their triplet; EDIFACT with 0..3 characters waiting for their group; inside a Base256 run.
constexpr uint8_t kAscii = 0;
constexpr uint8_t kFirstC40 = 1;
constexpr uint8_t kFirstText = 4;
constexpr uint8_t kFirstX12 = 7;
constexpr uint8_t kFirstEdifact = 10;
constexpr uint8_t kBase256 = 14;
constexpr uint8_t kStateCount = 15;
constexpr uint8_t kNoState = 15;  // the start node has no predecessor

constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();
// Every latch and every unlatch is one codeword.
constexpr std::size_t kSwitchCodewords = 1;

Scheme SchemeOf(uint8_t state) {
  if (state == kAscii) return Scheme::Ascii;
  if (state < kFirstText) return Scheme::C40;
  if (state < kFirstX12) return Scheme::Text;
  if (state < kFirstEdifact) return Scheme::X12;
  if (state < kBase256) return Scheme::Edifact;
  return Scheme::Base256;
}

uint8_t FirstStateOf(Scheme scheme) {
  switch (scheme) {
    case Scheme::C40: return kFirstC40;
    case Scheme::Text: return kFirstText;
    case Scheme::X12: return kFirstX12;
    case Scheme::Edifact: return kFirstEdifact;
    case Scheme::Base256: return kBase256;
    default: return kAscii;
  }
}

// Values or characters waiting in the state's triplet or group.
std::size_t PendingOf(uint8_t state) { return state - FirstStateOf(SchemeOf(state)); }

// The format's room once cost codewords are written, as CodewordWriter::Room() gives it.
std::size_t RoomAt(std::size_t cost, std::size_t capacity) {
  if (capacity == CodewordWriter::kUnknownCapacity) return capacity;
  return cost < capacity ? capacity - cost : 0;
}

}  // namespace

// Where the cheapest Base256 run ending at a position starts. A run costs its latch, its length
// field and one codeword per byte, so the best start j before position k is the one with the
// lowest ASCII cost at j minus j, among those close enough: up to 249 bytes take a one-codeword
// length field, up to 1555 a two-codeword one. Two queues of starts whose keys rise from front
// to back keep each minimum in constant time per position.
class MinimalEncoder::Base256Starts {
 public:
  void Clear() {
    shortRuns_.Clear();
    longRuns_.Clear();
  }

  void Add(uint32_t start, int64_t key) {
    shortRuns_.Add(start, key);
    longRuns_.Add(start, key);
  }

  // The best start for runs ending at end of each window; kUnreached when none.
  uint32_t BestShort(std::size_t end) { return shortRuns_.Best(end, kMaxShortBase256Run); }
  uint32_t BestLong(std::size_t end) { return longRuns_.Best(end, kMaxBase256Run); }

 private:
  struct Queue {
    std::vector<uint32_t> starts;
    std::vector<int64_t> keys;
    std::size_t head = 0;

    void Clear() {
      starts.clear();
      keys.clear();
      head = 0;
    }
    void Add(uint32_t start, int64_t key) {
      while (starts.size() > head && keys.back() >= key) {
        starts.pop_back();
        keys.pop_back();
      }
      starts.push_back(start);
      keys.push_back(key);
    }
    uint32_t Best(std::size_t end, std::size_t maxLength) {
      while (head < starts.size() && end - starts[head] > maxLength) ++head;
      return head < starts.size() ? starts[head] : kUnreached;
    }
  };

  Queue shortRuns_;
  Queue longRuns_;
};

MinimalEncoder::MinimalEncoder(DataRange items, std::size_t prefix)
    : items_(items), prefix_(prefix), costs_(items.size()), groupCodewords_(EdifactPackedLength(kEdifactGroupSize)) {
  // What a data byte costs in each scheme, for every byte once (asciiTwo depends on the next).
  static const std::array<ItemCosts, 256> kByteCosts = [] {
    std::array<ItemCosts, 256> built{};
    for (std::size_t value = 0; value < built.size(); ++value) {
      const auto byte = static_cast<uint8_t>(value);
      const DataItem item = DataCharItem(byte);
      built[value] = ItemCosts{static_cast<uint8_t>(AsciiLength(DataRange(&item, 1))), 0,
                               static_cast<uint8_t>(C40TextValuesOf(byte, true).count),
                               static_cast<uint8_t>(C40TextValuesOf(byte, false).count), IsX12Char(byte),
                               IsEdifactChar(byte)};
    }
    return built;
  }();
  for (std::size_t i = 0; i < items.size(); ++i) {
    ItemCosts& item = costs_[i];
    if (IsCodewordItem(items[i])) {
      item.asciiOne = static_cast<uint8_t>(AsciiLength(items.Sub(i, 1)));  // only ASCII carries a codeword item
    } else {
      item = kByteCosts[ItemValue(items[i])];
    }
    item.asciiTwo = i + 1 < items.size() ? static_cast<uint8_t>(AsciiLength(items.Sub(i, 2))) : 0;
  }
  // How each run ends where more data follows and the format does not matter.
  for (uint8_t state = 0; state < kStateCount; ++state) {
    closes_.push_back(EndOf(state, 0, CodewordWriter::kUnknownCapacity, false));
  }
}

void MinimalEncoder::Reach(Table& table, std::size_t position, uint8_t state, std::size_t cost,
                           std::size_t fromPosition, uint8_t fromState) {
  Node& node = table[position * kStateCount + state];
  // Strictly cheaper only: the first way found stays, which keeps plans deterministic and the
  // links free of cycles.
  if (cost >= node.cost) return;
  node = Node{static_cast<uint32_t>(cost), static_cast<uint32_t>(fromPosition << 4 | fromState)};
}

void MinimalEncoder::Search(std::size_t capacity, Table& table) const {
  const std::size_t n = items_.size();
  table.assign((n + 1) * kStateCount, Node{kUnreached, kNoState});
  table[kAscii] = Node{static_cast<uint32_t>(prefix_), kNoState};
  Base256Starts starts;
  for (std::size_t position = 0;; ++position) {
    EndBase256Runs(table, position, starts);
    CloseRuns(table, position, capacity);
    OpenRuns(table, position);
    if (position == n) break;
    const uint32_t ascii = table[position * kStateCount + kAscii].cost;
    // A Base256 run carries data bytes only: a codeword item goes out in ASCII between runs.
    if (IsCodewordItem(items_[position])) {
      starts.Clear();
    } else if (ascii != kUnreached) {
      starts.Add(static_cast<uint32_t>(position), static_cast<int64_t>(ascii) - static_cast<int64_t>(position));
    }
    Advance(table, position);
  }
}

void MinimalEncoder::EndBase256Runs(Table& table, std::size_t position, Base256Starts& starts) const {
  for (const uint32_t start : {starts.BestShort(position), starts.BestLong(position)}) {
    if (start == kUnreached) continue;
    const std::size_t length = position - start;
    const std::size_t cost =
        table[start * kStateCount + kAscii].cost + kSwitchCodewords + Base256LengthFieldSize(length) + length;
    Reach(table, position, kBase256, cost, start, kAscii);
  }
}

void MinimalEncoder::CloseRuns(Table& table, std::size_t position, std::size_t capacity) const {
  const bool capacityKnown = capacity != CodewordWriter::kUnknownCapacity;
  // What ASCII writes for the last zero, one or two items, the leftovers a run end may carry.
  const std::size_t tails[] = {0, position >= 1 ? costs_[position - 1].asciiOne : 0u,
                               position >= 2 ? costs_[position - 2].asciiTwo : 0u};
  const Node* row = &table[position * kStateCount];
  std::size_t best = row[kAscii].cost;
  uint8_t from = kNoState;
  for (uint8_t state = kAscii + 1; state < kStateCount; ++state) {
    // An unreached state's sum stays at or above kUnreached, so it never wins.
    const std::size_t cost = row[state].cost;
    // Only an EDIFACT unlatch near the format's end looks at the room.
    const RunEnd end = capacityKnown && cost != kUnreached ? EndOf(state, cost, capacity, false) : closes_[state];
    const std::size_t closed = cost + end.codewords + tails[end.asciiTail];
    if (closed < best && !end.misread) {
      best = closed;
      from = state;
    }
  }
  if (from != kNoState) Reach(table, position, kAscii, best, position, from);
}

void MinimalEncoder::OpenRuns(Table& table, std::size_t position) const {
  const uint32_t cost = table[position * kStateCount + kAscii].cost;
  if (cost == kUnreached || position == items_.size()) return;
  for (const uint8_t state : {kFirstC40, kFirstText, kFirstX12, kFirstEdifact}) {
    Reach(table, position, state, cost + kSwitchCodewords, position, kAscii);
  }
}

void MinimalEncoder::Advance(Table& table, std::size_t position) const {
  const ItemCosts& item = costs_[position];
  const Node* here = &table[position * kStateCount];
  // Sums from an unreached state stay at or above kUnreached and never replace anything.
  if (here[kAscii].cost != kUnreached) {
    const std::size_t cost = here[kAscii].cost;
    Reach(table, position + 1, kAscii, cost + item.asciiOne, position, kAscii);
    // Two items that ASCII writes as one codeword: a digit pair.
    if (item.asciiTwo == 1) Reach(table, position + 2, kAscii, cost + 1, position, kAscii);
  }
  // The other schemes have no value for a codeword item; their runs end before it.
  if (IsCodewordItem(items_[position])) return;
  // The item's values join those waiting in the triplet or group, writing each one they fill.
  const auto add = [&](uint8_t first, std::size_t values, std::size_t groupSize, std::size_t groupCodewords) {
    for (std::size_t waiting = 0; waiting < groupSize; ++waiting) {
      const std::size_t total = waiting + values;
      Reach(table, position + 1, static_cast<uint8_t>(first + total % groupSize),
            here[first + waiting].cost + groupCodewords * (total / groupSize), position,
            static_cast<uint8_t>(first + waiting));
    }
  };
  add(kFirstC40, item.c40Values, kTripletValues, kTripletCodewords);
  add(kFirstText, item.textValues, kTripletValues, kTripletCodewords);
  if (item.x12) add(kFirstX12, 1, kTripletValues, kTripletCodewords);
  if (item.edifact) add(kFirstEdifact, 1, kEdifactGroupSize, groupCodewords_);
}

MinimalEncoder::RunEnd MinimalEncoder::EndOf(uint8_t state, std::size_t cost, std::size_t capacity,
                                             bool endsData, bool lastCharOneValue) {
  const std::size_t room = RoomAt(cost, capacity);
  const std::size_t waiting = PendingOf(state);
  RunEnd result;
  switch (SchemeOf(state)) {
    case Scheme::C40:
    case Scheme::Text: {
      const C40TextRunEnd end = C40TextRunEndFor(waiting, endsData, room, true, lastCharOneValue);
      result.codewords = static_cast<uint8_t>((end.padTriplet ? kTripletCodewords : 0) + (end.unlatch ? kSwitchCodewords : 0));
      result.asciiTail = end.lastCharInAscii ? 1 : 0;
      break;
    }
    case Scheme::X12:
      result.codewords = X12RunEndUnlatches(waiting, endsData, room) ? kSwitchCodewords : 0;
      result.asciiTail = static_cast<uint8_t>(waiting);
      break;
    case Scheme::Edifact: {
      const EdifactRunEnd end = EdifactRunEndFor(waiting, endsData, room);
      result.codewords = static_cast<uint8_t>(end.leftoversInAscii ? 0 : EdifactPackedLength(waiting + 1));
      result.asciiTail = end.leftoversInAscii ? static_cast<uint8_t>(waiting) : 0;
      result.misread = end.misread;
      break;
    }
    default:
      // ASCII needs no end, and a Base256 run ends by its length field.
      break;
  }
  return result;
}

std::size_t MinimalEncoder::AsciiTail(std::size_t position, std::size_t count) const {
  if (count == 0) return 0;
  return count == 1 ? costs_[position - 1].asciiOne : costs_[position - 2].asciiTwo;
}

bool MinimalEncoder::LastCharOneValue(uint8_t state) const {
  if (items_.empty()) return false;
  const ItemCosts& last = costs_.back();
  return (SchemeOf(state) == Scheme::C40 ? last.c40Values : last.textValues) == 1;
}

MinimalEncoder::Ending MinimalEncoder::BestEnding(const Table& table, std::size_t capacity) const {
  const std::size_t n = items_.size();
  Ending best;
  bool found = false;
  for (uint8_t state = 0; state < kStateCount; ++state) {
    const uint32_t cost = table[n * kStateCount + state].cost;
    if (cost == kUnreached) continue;
    const RunEnd end = EndOf(state, cost, capacity, true, LastCharOneValue(state));
    if (end.misread) continue;
    const std::size_t written = cost + end.codewords + AsciiTail(n, end.asciiTail);
    const bool fits = capacity == CodewordWriter::kUnknownCapacity || written <= capacity;
    if (!found || (fits && !best.fits) || (fits == best.fits && written < best.written)) {
      best = Ending{state, written, fits};
      found = true;
    }
  }
  return best;
}

bool MinimalEncoder::PathMisreads(const Table& table, uint8_t state, std::size_t capacity) const {
  if (capacity == CodewordWriter::kUnknownCapacity) return false;
  std::size_t position = items_.size();
  while (state != kNoState) {
    const Node& node = table[position * kStateCount + state];
    // A close of an EDIFACT run: its end as the encoder will write it, at the cost it starts.
    if (state == kAscii && node.FromPosition() == position && SchemeOf(node.FromState()) == Scheme::Edifact) {
      const Node& run = table[position * kStateCount + node.FromState()];
      const bool endsData = position == items_.size();
      if (EdifactRunEndFor(PendingOf(node.FromState()), endsData, RoomAt(run.cost, capacity)).misread) return true;
    }
    position = node.FromPosition();
    state = node.FromState();
  }
  return false;
}

std::vector<Segment> MinimalEncoder::PlanOf(const Table& table, uint8_t state) const {
  // Walks the path from the end back to the start, closing a run at every change of state
  // within one position (a latch or a close) and at every Base256 run.
  std::vector<Segment> reversed;
  Segment run{SchemeOf(state), items_.size(), 0, false};
  const auto finish = [&reversed, &run] {
    if (run.count == 0) return;
    // Two ASCII stretches side by side are one run: ASCII pairs digits across them, never worse.
    if (!reversed.empty() && reversed.back().scheme == Scheme::Ascii && run.scheme == Scheme::Ascii) {
      reversed.back().begin = run.begin;
      reversed.back().count += run.count;
    } else {
      reversed.push_back(run);
    }
  };
  for (std::size_t position = items_.size();;) {
    const Node& node = table[position * kStateCount + state];
    if (node.FromState() == kNoState) break;
    if (node.FromPosition() == position) {
      finish();
      run = Segment{SchemeOf(node.FromState()), position, 0, false};
    } else {
      run.begin = node.FromPosition();
      run.count += position - node.FromPosition();
      if (state == kBase256) {
        finish();
        run = Segment{Scheme::Ascii, node.FromPosition(), 0, false};
      }
    }
    position = node.FromPosition();
    state = node.FromState();
  }
  finish();
  std::vector<Segment> plan(reversed.rbegin(), reversed.rend());
  if (!plan.empty()) {
    plan.back().lastSegment = plan.back().begin + plan.back().count == items_.size();
    // The ending was chosen with the full-symbol ends; the writer must know it may use them.
    plan.back().fullSymbolEnds = plan.back().lastSegment;
  }
  return plan;
}

std::vector<Segment> MinimalEncoder::Plan(std::size_t capacity) {
  if (!searched_) {
    Search(CodewordWriter::kUnknownCapacity, longEnds_);
    searched_ = true;
  }
  const Ending ending = BestEnding(longEnds_, capacity);
  if (!PathMisreads(longEnds_, ending.state, capacity)) return PlanOf(longEnds_, ending.state);
  // The cheapest path would unlatch EDIFACT where this format's decoders read ASCII: search again
  // with that end ruled out.
  Table table;
  Search(capacity, table);
  return PlanOf(table, BestEnding(table, capacity).state);
}

}  // namespace korvex::internal
