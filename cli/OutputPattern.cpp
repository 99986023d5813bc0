#include "cli/OutputPattern.h"

namespace korvex::internal {

namespace {

bool IsKept(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.';
}

}  // namespace

StatusOr<OutputPattern> OutputPattern::Parse(const std::string& text) {
  OutputPattern pattern;
  bool namesEachLine = false;
  std::string literal;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      literal += text[i];
      continue;
    }
    const char what = i + 1 < text.size() ? text[++i] : '\0';
    if (what == '%') {
      literal += '%';
      continue;
    }
    if (what != 'n' && what != 's') {
      return Status(Result::InvalidArgument,
                    what == '\0' ? "the pattern ends in a lone '%'" : std::string("'%") + what + "' is not %n, %s or %%");
    }
    pattern.pieces_.push_back({Kind::Text, literal});
    literal.clear();
    pattern.pieces_.push_back({what == 'n' ? Kind::LineNumber : Kind::SafeData, ""});
    namesEachLine = true;
  }
  if (!namesEachLine) {
    return Status(Result::InvalidArgument, "needs %n or %s, or every line would overwrite the same file");
  }
  pattern.pieces_.push_back({Kind::Text, literal});
  return pattern;
}

std::string OutputPattern::FileName(uint64_t lineNumber, const std::string& data) const {
  std::string name;
  for (const Piece& piece : pieces_) {
    switch (piece.kind) {
      case Kind::Text:
        name += piece.text;
        break;
      case Kind::LineNumber:
        name += std::to_string(lineNumber);
        break;
      case Kind::SafeData:
        name += SafeFileName(data);
        break;
    }
  }
  return name;
}

std::string SafeFileName(const std::string& data) {
  std::string name = data.substr(0, kMaxSafeNameLength);
  for (char& c : name) {
    if (!IsKept(c)) c = '_';
  }
  if (name.empty()) return "_";
  if (name[0] == '.' || name[0] == '-') name[0] = '_';
  return name;
}

}  // namespace korvex::internal
