#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "result/Status.h"

namespace korvex::internal {

// The -o file name of a batch: literal text with %n (the line number, from 1), %s (the line's
// data made safe for a file name) and %% (a percent sign).
class OutputPattern {
 public:
  // The pattern of text, or InvalidArgument with the reason: an unknown % sequence, or neither
  // %n nor %s (every line would overwrite the same file).
  static StatusOr<OutputPattern> Parse(const std::string& text);

  std::string FileName(uint64_t lineNumber, const std::string& data) const;

 private:
  enum class Kind { Text, LineNumber, SafeData };
  struct Piece {
    Kind kind;
    std::string text;
  };
  std::vector<Piece> pieces_;
};

// data as one file name component: only ASCII letters, digits, '-', '_' and '.' are kept,
// everything else (path separators, control characters, spaces, bytes of UTF-8) becomes '_'; a
// leading '.' or '-' does too, so that the name is neither hidden, "." nor "..", nor taken for
// an option; at most kMaxSafeNameLength bytes; never empty.
std::string SafeFileName(const std::string& data);

constexpr size_t kMaxSafeNameLength = 100;

}  // namespace korvex::internal
