#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "gs1/Gs1Linter.h"

namespace korvex::internal {

inline constexpr std::size_t kMaxGs1Components = 5;
inline constexpr std::size_t kMaxGs1Linters = 3;

// One part of an AI's value, as the dictionary writes it: "N6,yymmd0", "[X..16]".
struct Gs1Component {
  char type = '\0';  // 'N', 'X', 'Y' or 'Z'; '\0' marks an unused slot
  uint8_t minLength = 0;
  uint8_t maxLength = 0;
  bool optional = false;  // may be left out once the value is used up
  std::array<Gs1Linter, kMaxGs1Linters> linters{};  // applied in order after the character set
};

// One dictionary entry: an AI or a range of AIs of the same length that share a format.
struct Gs1AiDefinition {
  std::string_view first;
  std::string_view last;
  bool predefinedLength = false;  // flag '*': no FNC1 needed after the element string
  std::array<Gs1Component, kMaxGs1Components> components{};
  std::string_view required;  // req= lists (one per key, separated by spaces)
  std::string_view excluded;  // ex= lists joined by commas
  bool dataAttribute = false;  // flag '?': may be a data attribute in a GS1 Digital Link query
  bool primaryKey = false;     // dlpkey: may be the primary key of a GS1 Digital Link path
  // The key's qualifier sequences, "22,10,21|235": each qualifier optional, those present in
  // that order, and alternatives separated by '|' never mixed. Empty: no qualifiers.
  std::string_view qualifiers;
};

// The entry that holds ai (2 to 4 digits), or nullptr when the dictionary does not know it.
const Gs1AiDefinition* FindGs1Ai(std::string_view ai);

}  // namespace korvex::internal
