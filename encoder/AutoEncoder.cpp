#include "encoder/AutoEncoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

#include "encoder/AsciiEncoder.h"
#include "encoder/Base256Encoder.h"
#include "encoder/C40TextEncoder.h"
#include "encoder/EdifactEncoder.h"
#include "encoder/X12Encoder.h"

namespace korvex::internal {

namespace {

// The nearest doubles of the fractional costs; each division is correctly rounded.
constexpr double kTwoThirds = 2.0 / 3.0;
constexpr double kFourThirds = 4.0 / 3.0;
constexpr double kEightThirds = 8.0 / 3.0;
constexpr double kTenThirds = 10.0 / 3.0;
constexpr double kThirteenThirds = 13.0 / 3.0;

bool IsDigit(uint8_t v) { return v >= '0' && v <= '9'; }

// Rounds to the nearest whole number, halves going up (the counts are never negative).
double Nearest(double x) {
  const double whole = std::floor(x);
  return x - whole >= 0.5 ? whole + 1.0 : whole;
}

bool LessThanAll(double x, std::initializer_list<double> others) {
  return std::all_of(others.begin(), others.end(), [x](double other) { return x < other; });
}

bool AtMostAll(double x, std::initializer_list<double> others) {
  return std::all_of(others.begin(), others.end(), [x](double other) { return x <= other; });
}

// What one character adds to each count; the ASCII count is kept apart (see SchemeCounts).
struct CharacterCost {
  double c40;
  double text;
  double x12;
  double edifact;
  double base256;
  bool digit;
  bool extended;
};

constexpr CharacterCost CostOf(uint8_t v) {
  const bool digit = v >= '0' && v <= '9';
  const bool extended = v >= 128;
  const bool upper = v >= 'A' && v <= 'Z';
  const bool lower = v >= 'a' && v <= 'z';
  const bool x12 = digit || upper || v == ' ' || v == 13 || v == '*' || v == '>';
  const bool edifact = v >= 32 && v <= 94;
  const bool function = v == 232 || v == 233 || v == 234 || v == 241;
  return {digit || upper || v == ' ' ? kTwoThirds : extended ? kEightThirds : kFourThirds,
          digit || lower || v == ' ' ? kTwoThirds : extended ? kEightThirds : kFourThirds,
          x12 ? kTwoThirds : extended ? kThirteenThirds : kTenThirds,
          edifact ? 0.75 : extended ? 4.25 : 3.25,
          function ? 4.0 : 1.0,
          digit,
          extended};
}

constexpr std::array<CharacterCost, 256> BuildCostTable() {
  std::array<CharacterCost, 256> table{};
  for (int v = 0; v < 256; ++v) table[static_cast<std::size_t>(v)] = CostOf(static_cast<uint8_t>(v));
  return table;
}

// The look-ahead runs once per character over the rest of the data, so the costs are looked up.
constexpr std::array<CharacterCost, 256> kCosts = BuildCostTable();

// Estimated codewords per scheme for the characters counted so far.
struct SchemeCounts {
  double ascii;
  double c40;
  double text;
  double x12;
  double edifact;
  double base256;

  static SchemeCounts Initial(Scheme current) {
    if (current == Scheme::Ascii) return {0.0, 1.0, 1.0, 1.0, 1.0, 1.25};
    SchemeCounts counts{1.0, 2.0, 2.0, 2.0, 2.0, 2.25};
    counts.Of(current) = 0.0;
    return counts;
  }

  double& Of(Scheme scheme) {
    switch (scheme) {
      case Scheme::C40: return c40;
      case Scheme::Text: return text;
      case Scheme::X12: return x12;
      case Scheme::Edifact: return edifact;
      case Scheme::Base256: return base256;
      default: return ascii;
    }
  }

  // The additions are made one character at a time so that equal counts stay exactly equal.
  void Add(uint8_t v) {
    const CharacterCost& cost = kCosts[v];
    ascii = cost.digit ? ascii + 0.5 : RoundedAscii() + (cost.extended ? 2.0 : 1.0);
    c40 += cost.c40;
    text += cost.text;
    x12 += cost.x12;
    edifact += cost.edifact;
    base256 += cost.base256;
  }

  // The ASCII count only ever holds whole and half values, so adding a half and cutting the
  // fraction rounds it exactly, halves going up, without a call into the maths library.
  double RoundedAscii() const { return static_cast<double>(static_cast<int64_t>(ascii + 0.5)); }

  void RoundAll() {
    for (double* count : {&ascii, &c40, &text, &x12, &edifact, &base256}) *count = Nearest(*count);
  }
};

// No scheme has the number 0: no decision is taken yet.
constexpr auto kUndecided = static_cast<Scheme>(0);

// The decision taken once at least four characters are counted, or kUndecided. next is the item
// after the last one counted, or nullptr at the end of the data.
Scheme EarlyDecision(const SchemeCounts& c, const DataItem* next) {
  // Every rule below implies one of these three tests, which settle most characters alone.
  const double lowestBesideC40 = std::min({c.ascii, c.text, c.x12, c.edifact, c.base256});
  if (!(lowestBesideC40 + 1 <= c.c40) && !(c.base256 + 1 <= c.ascii) && !(c.c40 + 1 < c.ascii)) return kUndecided;
  if (AtMostAll(c.ascii + 1, {c.c40, c.text, c.x12, c.edifact, c.base256})) return Scheme::Ascii;
  if (c.base256 + 1 <= c.ascii) return Scheme::Base256;
  if (LessThanAll(c.base256 + 1, {c.c40, c.text, c.x12, c.edifact})) return Scheme::Base256;
  if (LessThanAll(c.edifact + 1, {c.ascii, c.c40, c.text, c.x12, c.base256})) return Scheme::Edifact;
  if (LessThanAll(c.text + 1, {c.ascii, c.c40, c.edifact, c.x12, c.base256})) return Scheme::Text;
  if (LessThanAll(c.x12 + 1, {c.ascii, c.c40, c.edifact, c.text, c.base256})) return Scheme::X12;
  if (LessThanAll(c.c40 + 1, {c.ascii, c.edifact, c.base256})) {
    if (c.c40 < c.x12) return Scheme::C40;
    if (c.c40 == c.x12) {
      // A tie goes to X12 when the next character is one that C40 can only shift to.
      if (next == nullptr) return Scheme::C40;
      const uint8_t v = ItemValue(*next);
      return (v == 13 || v == '*' || v == '>') ? Scheme::X12 : Scheme::C40;
    }
  }
  return kUndecided;
}

// The decision once every remaining character is counted.
Scheme FinalDecision(SchemeCounts c) {
  c.RoundAll();
  if (AtMostAll(c.ascii, {c.c40, c.text, c.x12, c.edifact, c.base256})) return Scheme::Ascii;
  if (LessThanAll(c.base256, {c.ascii, c.c40, c.text, c.x12, c.edifact})) return Scheme::Base256;
  if (LessThanAll(c.edifact, {c.ascii, c.c40, c.text, c.x12, c.base256})) return Scheme::Edifact;
  if (LessThanAll(c.text, {c.ascii, c.c40, c.x12, c.edifact, c.base256})) return Scheme::Text;
  if (LessThanAll(c.x12, {c.ascii, c.c40, c.text, c.edifact, c.base256})) return Scheme::X12;
  return Scheme::C40;
}

// Whether the scheme can carry the data character at all; the look-ahead only prices it.
bool CanEncode(Scheme scheme, uint8_t v) {
  if (scheme == Scheme::X12) return IsX12Char(v);
  if (scheme == Scheme::Edifact) return IsEdifactChar(v);
  return true;
}

// Builds the plan run by run; a run is recorded when it is closed and left out when empty.
class SegmentPlanner {
 public:
  explicit SegmentPlanner(std::vector<Segment>& plan) : plan_(plan) {}

  Scheme Current() const { return current_; }

  void Close(std::size_t end, bool lastSegment) {
    if (end > begin_) plan_.push_back({current_, begin_, end - begin_, lastSegment});
    begin_ = end;
  }

  void SwitchTo(Scheme scheme, std::size_t at, bool lastSegment) {
    Close(at, lastSegment);
    current_ = scheme;
  }

 private:
  std::vector<Segment>& plan_;
  Scheme current_ = Scheme::Ascii;
  std::size_t begin_ = 0;
};

constexpr int kSchemeCount = 6;

}  // namespace

Scheme LookAhead(Scheme current, DataRange items) {
  SchemeCounts counts = SchemeCounts::Initial(current);
  for (std::size_t p = 0; p < items.size(); ++p) {
    counts.Add(ItemValue(items[p]));
    if (p < 3) continue;
    const DataItem* next = p + 1 < items.size() ? items.begin() + p + 1 : nullptr;
    if (const Scheme decision = EarlyDecision(counts, next); decision != kUndecided) return decision;
  }
  return FinalDecision(counts);
}

std::vector<Segment> PlanSegments(DataRange items) {
  std::vector<Segment> plan;
  SegmentPlanner planner(plan);
  const std::size_t n = items.size();
  std::size_t i = 0;
  int switchesAtItem = 0;
  while (i < n) {
    const bool lastItem = n - i == 1;
    const DataItem item = items[i];
    const Scheme current = planner.Current();

    if (IsCodewordItem(item)) {
      if (current != Scheme::Ascii) planner.SwitchTo(Scheme::Ascii, i, lastItem);
      ++i;
      switchesAtItem = 0;
      continue;
    }
    if (current == Scheme::Ascii && i + 1 < n && IsDigit(ItemValue(item)) && IsDigit(ItemValue(items[i + 1]))) {
      i += 2;
      switchesAtItem = 0;
      continue;
    }

    Scheme chosen = LookAhead(current, items.Sub(i, n - i));
    // The decision is a function of (scheme in force, item): more switches at one item than
    // there are schemes would repeat forever, so the item then stays in the scheme in force.
    if (switchesAtItem >= kSchemeCount) chosen = current;
    if (chosen != current) {
      planner.SwitchTo(chosen, i, lastItem);
      ++switchesAtItem;
      continue;
    }
    if (!CanEncode(current, ItemValue(item))) {
      // The look-ahead may keep X12 or EDIFACT for a character they have no value for; that
      // character goes to ASCII instead, and the look-ahead resumes after it.
      planner.SwitchTo(Scheme::Ascii, i, lastItem);
    }
    ++i;
    switchesAtItem = 0;
  }
  planner.Close(n, true);
  return plan;
}

bool EncodeSegment(Scheme scheme, DataRange run, bool lastSegment, CodewordWriter& out, bool fullSymbolEnds) {
  if (run.empty()) return true;
  switch (scheme) {
    case Scheme::Ascii: return EncodeAscii(run, out);
    case Scheme::C40: return EncodeC40Text(run, true, lastSegment, out, fullSymbolEnds);
    case Scheme::Text: return EncodeC40Text(run, false, lastSegment, out, fullSymbolEnds);
    case Scheme::Base256: return EncodeBase256(run, out);
    case Scheme::Edifact: return EncodeEdifact(run, lastSegment, out);
    case Scheme::X12: return EncodeX12(run, lastSegment, out);
    default: return false;
  }
}

bool EncodeAuto(DataRange items, const std::vector<Segment>& plan, CodewordWriter& out) {
  for (const Segment& segment : plan) {
    // The plan's own indication is also true for a run closed just before a last codeword
    // item; the short run ends are only sound where nothing at all follows.
    const bool nothingFollows = segment.begin + segment.count == items.size();
    if (!EncodeSegment(segment.scheme, items.Sub(segment.begin, segment.count), nothingFollows, out,
                       segment.fullSymbolEnds)) {
      return false;
    }
  }
  return true;
}

}  // namespace korvex::internal
