#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gs1/Gs1Element.h"
#include "result/Status.h"

namespace korvex::internal {

// Checks element strings in bracket form, "(01)09501101530003(17)270630", against the GS1
// Syntax Dictionary and writes them as tilde data: FNC1 first, then each AI with its value, and
// after every element string of variable length but the last a separator, FNC1 or (with
// gsSeparator) the byte GS. Inside a value a bracket is written ~X28 or ~X29. Data that is not
// valid gives InvalidData with the first fault, such as "GS1: (17) 270631: not a valid date".
StatusOr<std::string> TranslateGs1(std::string_view bracketData, bool gsSeparator);

// The element strings of the bracket form, checked as TranslateGs1 checks them, in their order,
// or its failure. The elements' AIs point into bracketData.
StatusOr<std::vector<Gs1Element>> ReadGs1Elements(std::string_view bracketData);

}  // namespace korvex::internal
