// Names for the cases of parameterised tests, made from what a case feeds in.
//
// gtest takes only letters, digits and '_' in a case name and refuses a suite whose names repeat;
// ctest lists the tests under these names. Letters and digits stay as they are and every other
// byte becomes a word, so that "w=-5" reads w_eq_minus_5 and texts that differ keep names that
// differ.
#pragma once

#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

inline std::string CaseName(std::string_view text) {
  if (text.empty()) {
    return "empty";
  }
  std::string name;
  bool inWord = false;  // the last piece was a run of letters and digits
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '_') {
      if (!inWord && !name.empty()) {
        name += '_';
      }
      name += c;
      inWord = true;
      continue;
    }
    const char* word = nullptr;
    switch (c) {
      case ' ': word = "sp"; break;
      case '=': word = "eq"; break;
      case '&': word = "and"; break;
      case '+': word = "plus"; break;
      case '-': word = "minus"; break;
      case '%': word = "pct"; break;
      case '.': word = "dot"; break;
      case ',': word = "comma"; break;
      case '#': word = "hash"; break;
      case '~': word = "tilde"; break;
      case '\t': word = "tab"; break;
      case '\n': word = "lf"; break;
      case '\v': word = "vt"; break;
      case '\f': word = "ff"; break;
      case '\r': word = "cr"; break;
      default: break;
    }
    char hex[4];
    if (word == nullptr) {
      std::snprintf(hex, sizeof hex, "x%02X", byte);
      word = hex;
    }
    if (!name.empty()) {
      name += '_';
    }
    name += word;
    inWord = false;
  }
  return name;
}

// A number as it would be written, then named like a text: -1 is minus_1, 0.5 is 0_dot_5.
template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
std::string CaseName(Number number) {
  std::ostringstream text;
  text << +number;
  return CaseName(text.str());
}
