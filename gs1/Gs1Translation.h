#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gs1/Gs1Element.h"

namespace korvex::internal {

// A GS1 request's data as tilde data for the encoder, or the first fault found in it.
struct Gs1Translation {
  std::string tildeData;
  std::string fault;  // such as "GS1: (17) 270631: not a valid date"; empty when the data is valid
};

// Checks element strings in bracket form, "(01)09501101530003(17)270630", against the GS1
// Syntax Dictionary and writes them as tilde data: FNC1 first, then each AI with its value, and
// after every element string of variable length but the last a separator, FNC1 or (with
// gsSeparator) the byte GS. Inside a value a bracket is written ~X28 or ~X29.
Gs1Translation TranslateGs1(std::string_view bracketData, bool gsSeparator);

// The element strings of the bracket form, checked as TranslateGs1 checks them, in their order;
// returns the first fault (as in Gs1Translation) or an empty string. The elements' AIs point
// into bracketData.
std::string ReadGs1Elements(std::string_view bracketData, std::vector<Gs1Element>& elements);

}  // namespace korvex::internal
