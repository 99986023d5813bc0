#pragma once

#include <cstdint>
#include <vector>

#include "request/ParameterSource.h"

namespace korvex::internal {

// Named access to the parameters of a request text of the form name=value&name=value.
// The text is borrowed: the caller keeps it alive and unchanged while the QueryString lives.
// Names are matched byte for byte on the raw text; only the returned value is URL-decoded.
class QueryString : public ParameterSource {
 public:
  explicit QueryString(const char* text);

  // The decoded value of the first parameter called name, or nullptr when there is none.
  // The pointer stays valid only until the next Lookup: every hit overwrites the one buffer.
  const char* Lookup(const char* name) override;

  uint32_t Length() const { return length_; }

 private:
  // Position of the first byte of the value of name, or -1 when name does not occur.
  int64_t FindValueStart(const char* name, uint32_t nameLength) const;

  const char* text_;
  uint32_t length_;
  std::vector<char> value_;
};

// Decodes "+" and "%XY" escapes of a NUL-terminated buffer in place.
void UrlDecode(char* buffer);

// Value of one escape digit: 0-9, letters a-z in either case as 10-35, anything else 0.
uint8_t HexDigitValue(char digit);

}  // namespace korvex::internal
