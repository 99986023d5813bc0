#pragma once

#include <cstddef>
#include <vector>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

// Scheme numbers shared with EncodingMode.
namespace Scheme {
constexpr int Ascii = 1;
constexpr int C40 = 2;
constexpr int Text = 3;
constexpr int Base256 = 4;
constexpr int Edifact = 5;
constexpr int X12 = 6;
}  // namespace Scheme

// One run chosen by automatic encodation: items [begin, begin + count) in one scheme.
// lastSegment is the end-of-data indication handed over with the run: true for the final run
// and for a run closed at a switch on the last item. fullSymbolEnds: the run may end by the
// rules that hold only where it fills the format exactly (the shortest encodation's last run).
struct Segment {
  int scheme = Scheme::Ascii;
  std::size_t begin = 0;
  std::size_t count = 0;
  bool lastSegment = false;
  bool fullSymbolEnds = false;

  bool operator==(const Segment& other) const {
    return scheme == other.scheme && begin == other.begin && count == other.count &&
           lastSegment == other.lastSegment && fullSymbolEnds == other.fullSymbolEnds;
  }
};

// The scheme in which the first item of the range should be encoded, by the look-ahead counts.
int LookAhead(int current, DataRange items);

// Cuts the items into runs, empty runs left out. Depends only on the data, not on the format.
std::vector<Segment> PlanSegments(DataRange items);

// Hands one run to its scheme's encoder. lastSegment: nothing follows the run in the data;
// fullSymbolEnds as in Segment.
bool EncodeSegment(int scheme, DataRange run, bool lastSegment, CodewordWriter& out, bool fullSymbolEnds = false);

// Encodes the planned runs of the items. False only when a Base256 run is longer than 1555
// bytes, which no format holds anyway.
bool EncodeAuto(DataRange items, const std::vector<Segment>& plan, CodewordWriter& out);

}  // namespace korvex::internal
