// The shortest encodation against a deliberately simple search of the test's own, which prices
// every run of every scheme by the run ends written out below, apart from the encoder's code.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "encoder/AutoEncoder.h"
#include "encoder/MinimalEncoder.h"
#include "unit/encoder/ItemBuilders.h"

using namespace korvex::internal;

namespace {

using namespace test_items;

constexpr Scheme kSchemes[] = {Scheme::Ascii, Scheme::C40, Scheme::Text, Scheme::X12, Scheme::Edifact, Scheme::Base256};

bool IsDigitChar(DataItem item) { return !IsCodewordItem(item) && item >= '0' && item <= '9'; }
bool IsExtended(DataItem item) { return !IsCodewordItem(item) && item >= 128; }

// ASCII: digit pairs from the left, an upper shift before a byte above 127.
std::size_t AsciiCost(const DataItem* items, std::size_t n) {
  std::size_t cost = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (IsDigitChar(items[i]) && i + 1 < n && IsDigitChar(items[i + 1])) ++i;
    cost += IsExtended(items[i]) ? 2 : 1;
  }
  return cost;
}

// C40 or Text values: one for the basic set, a shift before any other byte below 128, and the
// two values of the upper shift before a byte above 127.
std::size_t Values(uint8_t byte, bool c40) {
  if (byte >= 128) return 2 + Values(static_cast<uint8_t>(byte - 128), c40);
  const bool letter = c40 ? (byte >= 'A' && byte <= 'Z') : (byte >= 'a' && byte <= 'z');
  return byte == ' ' || (byte >= '0' && byte <= '9') || letter ? 1 : 2;
}

bool InX12(uint8_t byte) {
  return byte == '\r' || byte == '*' || byte == '>' || byte == ' ' || (byte >= '0' && byte <= '9') ||
         (byte >= 'A' && byte <= 'Z');
}

std::size_t RoomAfter(std::size_t used, std::size_t capacity) {
  if (capacity == kUnknown) return kUnknown;
  return used < capacity ? capacity - used : 0;
}

// One run of a scheme, grown one item at a time and priced as it stands.
class Run {
 public:
  Run(Scheme scheme, const DataItem* first) : scheme_(scheme), first_(first) {}

  // False when the scheme cannot carry the item: only ASCII carries codeword items.
  bool Add(DataItem item) {
    const uint8_t byte = ItemValue(item);
    if (scheme_ != Scheme::Ascii && IsCodewordItem(item)) return false;
    if (scheme_ == Scheme::X12 && !InX12(byte)) return false;
    if (scheme_ == Scheme::Edifact && (byte < 32 || byte > 94)) return false;
    if (scheme_ == Scheme::C40 || scheme_ == Scheme::Text) values_ += Values(byte, scheme_ == Scheme::C40);
    // ASCII: a digit after an unpaired digit joins its codeword.
    const bool pairs = IsDigitChar(item) && unpairedDigit_;
    ascii_ += pairs ? 0 : IsExtended(item) ? 2 : 1;
    unpairedDigit_ = IsDigitChar(item) && !pairs;
    ++count_;
    return true;
  }

  // Codewords of the run written after `used` codewords into a format of the capacity; last:
  // nothing follows the run. Nothing when a decoder would misread the run's end there.
  std::optional<std::size_t> Cost(std::size_t used, std::size_t capacity, bool last) const {
    const bool known = capacity != kUnknown;
    const std::size_t n = count_;
    std::size_t cost = 1;  // the latch
    switch (scheme_) {
      case Scheme::Ascii: return ascii_;
      case Scheme::C40:
      case Scheme::Text: {
        cost += 2 * (values_ / 3);
        const uint8_t lastByte = ItemValue(first_[n - 1]);
        // One value left: unlatch, then the last character in ASCII; at the end of the data a
        // last character of one value that takes the format's last codeword needs no unlatch.
        if (values_ % 3 == 1) {
          if (last && known && used + cost + 1 == capacity && Values(lastByte, scheme_ == Scheme::C40) == 1) {
            return cost + 1;
          }
          return cost + 1 + AsciiCost(first_ + n - 1, 1);
        }
        if (values_ % 3 == 2) cost += 2;  // padded to a triplet
        // Then the unlatch: none where the run ends the data at the format's end, and the pad
        // stands for it where it would be the last data codeword.
        if (last && known && used + cost == capacity) return cost;
        return cost + (last && RoomAfter(used + cost, capacity) == 1 ? 0 : 1);
      }
      case Scheme::X12: {
        cost += 2 * (n / 3);
        const std::size_t left = n % 3;
        const std::size_t room = RoomAfter(used + cost, capacity);
        const bool noUnlatch = last && known && ((left == 0 && room <= 1) || (left == 1 && room == 1));
        return cost + (noUnlatch ? 0 : 1) + AsciiCost(first_ + n - left, left);
      }
      case Scheme::Edifact: {
        cost += 3 * (n / 4);
        const std::size_t left = n % 4;
        const std::size_t room = RoomAfter(used + cost, capacity);
        // In the format's last two codewords decoders read ASCII: the leftovers go there at the
        // end of the data, and no unlatch group may start there.
        if (last && known && left < 3 && room < 3) return cost + AsciiCost(first_ + n - left, left);
        if (known && room < 3) return std::nullopt;
        return cost + std::min<std::size_t>(left + 1, 3);
      }
      default:
        if (n > 1555) return std::nullopt;
        return cost + (n < 250 ? 1 : 2) + n;  // Base256: latch, length field, bytes
    }
  }

 private:
  Scheme scheme_;
  const DataItem* first_;
  std::size_t count_ = 0;
  std::size_t values_ = 0;
  std::size_t ascii_ = 0;
  bool unpairedDigit_ = false;
};

// The fewest codewords written for the items in a format of the capacity (kUnknown: the ends
// written while the format is unknown), or nothing when no way of writing them fits. Every cut
// into runs and every scheme for each run is tried; the runs before a cut are complete and back
// in ASCII, and a cheaper way to a cut only leaves more room, so the cheapest way to each cut is
// all that the runs after it need.
std::optional<std::size_t> FewestBySplits(const DataItemList& items, std::size_t capacity) {
  const std::size_t n = items.size();
  std::vector<std::optional<std::size_t>> best(n + 1);
  best[0] = 0;
  std::optional<std::size_t> fewest;
  if (n == 0) fewest = 0;
  for (std::size_t begin = 0; begin < n; ++begin) {
    if (!best[begin]) continue;
    for (Scheme scheme : kSchemes) {
      Run run(scheme, items.data() + begin);
      for (std::size_t end = begin + 1; end <= n && run.Add(items[end - 1]); ++end) {
        const auto cost = run.Cost(*best[begin], capacity, end == n);
        if (!cost) continue;
        const std::size_t total = *best[begin] + *cost;
        if (end == n && capacity != kUnknown && total > capacity) continue;
        std::optional<std::size_t>& target = end == n ? fewest : best[end];
        if (!target || total < *target) target = total;
      }
    }
  }
  return fewest;
}

// The same, literally: every assignment of a scheme to each item, the stretches of one scheme
// taken as runs.
std::optional<std::size_t> FewestByAssignments(const DataItemList& items, std::size_t capacity) {
  const std::size_t n = items.size();
  std::vector<std::size_t> choice(n, 0);
  std::optional<std::size_t> fewest;
  for (;;) {
    std::optional<std::size_t> total = 0;
    for (std::size_t begin = 0; begin < n && total;) {
      Run run(kSchemes[choice[begin]], items.data() + begin);
      std::size_t end = begin;
      bool carried = true;
      while (end < n && choice[end] == choice[begin] && carried) carried = run.Add(items[end++]);
      const auto cost = carried ? run.Cost(*total, capacity, end == n) : std::nullopt;
      total = cost ? std::optional<std::size_t>(*total + *cost) : std::nullopt;
      begin = end;
    }
    if (total && (capacity == kUnknown || *total <= capacity) && (!fewest || *total < *fewest)) fewest = total;
    std::size_t i = 0;
    while (i < n && ++choice[i] == std::size(kSchemes)) choice[i++] = 0;
    if (i == n) return fewest;
  }
}

// The fewest data codewords a format must hold: the smallest capacity that some way fits.
template <typename Fewest>
std::size_t SmallestCapacity(const DataItemList& items, Fewest fewest) {
  std::size_t capacity = *fewest(items, kUnknown);
  while (!fewest(items, capacity)) ++capacity;
  while (capacity > 0 && fewest(items, capacity - 1)) --capacity;
  return capacity;
}

// What the encoder makes of the items: its plan for the capacity written by the scheme
// encoders, and whether that fits the format as the pipeline judges it.
struct Written {
  std::size_t codewords;
  bool fits;
};

Written WriteMinimal(MinimalEncoder& encoder, const DataItemList& items, std::size_t capacity) {
  CodewordBuffer buffer;
  CodewordWriter out(buffer, capacity);
  EXPECT_TRUE(EncodeAuto(DataRange(items), encoder.Plan(capacity), out));
  return {buffer.size(), buffer.size() <= capacity && !out.Misread()};
}

Written WriteLookAhead(const DataItemList& items, std::size_t capacity) {
  CodewordBuffer buffer;
  CodewordWriter out(buffer, capacity);
  EXPECT_TRUE(EncodeAuto(DataRange(items), PlanSegments(DataRange(items)), out));
  return {buffer.size(), buffer.size() <= capacity && !out.Misread()};
}

// The smallest capacity that the writes fit, given what they write with an unknown capacity:
// the known ends save at most two codewords.
template <typename Write>
std::size_t SmallestFit(Write write) {
  std::size_t capacity = write(kUnknown).codewords;
  capacity = capacity >= 2 ? capacity - 2 : 0;
  while (!write(capacity).fits) ++capacity;
  return capacity;
}

// Checks the encoder on the items against the expected unknown-capacity count and smallest
// capacity; false (with a failure) on the first difference.
bool MatchesEncoder(const DataItemList& items, std::size_t longEnds, std::size_t smallest) {
  MinimalEncoder encoder(DataRange(items), 0);
  const std::size_t written = WriteMinimal(encoder, items, kUnknown).codewords;
  const bool fitsSmallest = WriteMinimal(encoder, items, smallest).fits;
  const bool fitsBelow = smallest > 0 && WriteMinimal(encoder, items, smallest - 1).fits;
  if (written == longEnds && fitsSmallest && !fitsBelow) return true;
  ADD_FAILURE() << "items " << testing::PrintToString(items) << ": codewords " << written << " (search "
                << longEnds << "), fits " << smallest << ": " << fitsSmallest << ", fits " << smallest - 1 << ": "
                << fitsBelow;
  return false;
}

// One character of each class: upper, lower, digit, space, the X12 punctuation, carriage
// return, a byte above 127 (an upper-case letter's in C40, a lower-case one's in Text) and FNC1.
const DataItem kHardAlphabet[] = {'A', 'a', '0', ' ', '*', '>', '\r', 0xC4, kFnc1};

// Every string up to the length over the alphabet, in turn.
template <typename Visit>
void ForEveryString(std::size_t maxLength, Visit visit) {
  DataItemList items;
  for (std::size_t length = 0; length <= maxLength; ++length) {
    std::vector<std::size_t> digits(length, 0);
    items.assign(length, kHardAlphabet[0]);
    for (;;) {
      visit(items);
      std::size_t i = 0;
      while (i < length && ++digits[i] == std::size(kHardAlphabet)) {
        digits[i] = 0;
        items[i] = kHardAlphabet[0];
        ++i;
      }
      if (i == length) break;
      items[i] = kHardAlphabet[digits[i]];
    }
  }
}

// The sanitizer build runs unoptimised, several times slower: there every string is one shorter.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr std::size_t kLongestHardString = 6;
constexpr std::size_t kLongestAssigned = 3;
#else
constexpr std::size_t kLongestHardString = 7;
constexpr std::size_t kLongestAssigned = 4;
#endif

}  // namespace

// The cut search relies on the runs before a cut being independent of those after it; the
// literal search over every assignment checks that on the shorter strings.
TEST(MinimalEncoderSearch, CutsAgreeWithEveryAssignment) {
  std::size_t strings = 0;
  ForEveryString(kLongestAssigned, [&](const DataItemList& items) {
    ++strings;
    ASSERT_EQ(FewestBySplits(items, kUnknown), FewestByAssignments(items, kUnknown)) << testing::PrintToString(items);
    ASSERT_EQ(SmallestCapacity(items, FewestBySplits), SmallestCapacity(items, FewestByAssignments))
        << testing::PrintToString(items);
  });
  EXPECT_GT(strings, 9u * 9 * 9);
}

TEST(MinimalEncoder, EveryHardStringTakesTheFewestCodewords) {
  std::size_t strings = 0;
  ForEveryString(kLongestHardString, [&](const DataItemList& items) {
    ++strings;
    const std::size_t longEnds = *FewestBySplits(items, kUnknown);
    ASSERT_TRUE(MatchesEncoder(items, longEnds, SmallestCapacity(items, FewestBySplits)));
  });
  EXPECT_GT(strings, std::size_t{9 * 9 * 9 * 9 * 9 * 9});
}

namespace {

// Data in stretches of one kind, as real data comes: words, digit runs, the X12 punctuation,
// other punctuation, any byte, FNC1.
DataItemList RandomItems(std::mt19937& random, std::size_t length) {
  static const std::string kPools[] = {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", "0123456789",
                                       " *>\r", "!\"#$%&'()+,-./:;<=?@[\\]^_`{|}"};
  DataItemList items;
  while (items.size() < length) {
    const std::size_t kind = random() % 7;
    const std::size_t stretch = std::min<std::size_t>(1 + random() % 12, length - items.size());
    for (std::size_t i = 0; i < stretch; ++i) {
      if (kind < 5) {
        items.push_back(DataCharItem(static_cast<uint8_t>(kPools[kind][random() % kPools[kind].size()])));
      } else if (kind == 5) {
        items.push_back(DataCharItem(static_cast<uint8_t>(random() % 256)));
      } else {
        items.push_back(kFnc1);
      }
    }
  }
  return items;
}

}  // namespace

TEST(MinimalEncoder, RandomDataTakesTheFewestCodewords) {
  std::mt19937 random(2201);
  for (int round = 0; round < 3000; ++round) {
    const DataItemList items = RandomItems(random, 1 + random() % 40);
    const std::size_t longEnds = *FewestBySplits(items, kUnknown);
    ASSERT_TRUE(MatchesEncoder(items, longEnds, SmallestCapacity(items, FewestBySplits)));
  }
}

TEST(MinimalEncoder, NeverMoreCodewordsThanTheLookAhead) {
  std::mt19937 random(2202);
  int fewer = 0;
  const int rounds = 400;
  for (int round = 0; round < rounds; ++round) {
    const DataItemList items = RandomItems(random, 20 + random() % 1200);
    MinimalEncoder encoder(DataRange(items), 0);
    const auto minimal = [&](std::size_t capacity) { return WriteMinimal(encoder, items, capacity); };
    const auto lookAhead = [&](std::size_t capacity) { return WriteLookAhead(items, capacity); };
    ASSERT_LE(minimal(kUnknown).codewords, lookAhead(kUnknown).codewords) << round;
    const std::size_t minimalFit = SmallestFit(minimal);
    const std::size_t lookAheadFit = SmallestFit(lookAhead);
    ASSERT_LE(minimalFit, lookAheadFit) << round;
    // Never worse at any capacity the look-ahead fits either.
    ASSERT_TRUE(minimal(lookAheadFit).fits) << round;
    fewer += minimalFit < lookAheadFit;
  }
  // Mixed data is where the look-ahead's estimates go wrong.
  EXPECT_GT(fewer, rounds / 2);
}
