#pragma once

#include <cstddef>
#include <limits>

#include "encoder/DataItem.h"

namespace korvex::internal {

// Appends codewords to the symbol's buffer and knows how many data codewords the format being
// filled holds, so that scheme encoders can choose run ends that decoders read correctly.
// While the capacity is unknown (a first, measuring pass) encoders write their long ends.
class CodewordWriter {
 public:
  static constexpr std::size_t kUnknownCapacity = std::numeric_limits<std::size_t>::max();

  explicit CodewordWriter(CodewordBuffer& buffer, std::size_t capacity = kUnknownCapacity)
      : buffer_(buffer), capacity_(capacity) {}

  void Append(uint8_t codeword) { buffer_.push_back(codeword); }
  std::size_t Size() const { return buffer_.size(); }
  // 1-based position that the next appended codeword takes in the buffer.
  std::size_t NextPosition() const { return buffer_.size() + 1; }

  bool CapacityKnown() const { return capacity_ != kUnknownCapacity; }
  std::size_t Capacity() const { return capacity_; }
  // Data codewords left in the format; 0 once full or overfull, the maximum while unknown.
  std::size_t Room() const {
    if (!CapacityKnown()) return kUnknownCapacity;
    return buffer_.size() < capacity_ ? capacity_ - buffer_.size() : 0;
  }

  // Recorded by an encoder that had to write something a decoder would misread in this format
  // (for example an EDIFACT unlatch group starting in the last two data codewords); the
  // pipeline then treats the format as too small.
  void MarkMisread() { misread_ = true; }
  bool Misread() const { return misread_; }

 private:
  CodewordBuffer& buffer_;
  std::size_t capacity_;
  bool misread_ = false;
};

}  // namespace korvex::internal
