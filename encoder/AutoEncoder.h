#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/CodewordWriter.h"
#include "encoder/DataItem.h"

namespace korvex::internal {

// The encodation schemes, numbered as EncodingMode numbers them.
enum class Scheme : int32_t { Ascii = 1, C40 = 2, Text = 3, Base256 = 4, Edifact = 5, X12 = 6 };

// One run chosen by automatic encodation: items [begin, begin + count) in one scheme.
// lastSegment is the end-of-data indication handed over with the run: true for the final run
// and for a run closed at a switch on the last item. fullSymbolEnds: the run may end by the
// rules that hold only where it fills the format exactly (the shortest encodation's last run).
struct Segment {
  Scheme scheme = Scheme::Ascii;
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
Scheme LookAhead(Scheme current, DataRange items);

// Cuts the items into runs, empty runs left out. Depends only on the data, not on the format.
std::vector<Segment> PlanSegments(DataRange items);

// Hands one run to its scheme's encoder. lastSegment: nothing follows the run in the data;
// fullSymbolEnds as in Segment.
bool EncodeSegment(Scheme scheme, DataRange run, bool lastSegment, CodewordWriter& out, bool fullSymbolEnds = false);

// Encodes the planned runs of the items. False only when a Base256 run is longer than 1555
// bytes, which no format holds anyway.
bool EncodeAuto(DataRange items, const std::vector<Segment>& plan, CodewordWriter& out);

}  // namespace korvex::internal
