#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gs1/Gs1AiTable.h"

namespace korvex::internal {

// One GS1 element string: an AI and its value, from bracket data or a GS1 Digital Link URI.
struct Gs1Element {
  std::string_view ai;  // into the text it was read from, which must outlive the element
  std::string value;    // as the AI holds it: bracket escapes and percent-encoding resolved
  const Gs1AiDefinition* definition = nullptr;  // set once the AI is known
};

// The first fault of the value against the AI's components (length, character set, linters) in
// words, such as "check digit should be 3"; empty when the value is valid.
std::string Gs1ValueFault(const Gs1AiDefinition& definition, std::string_view value);

// The first fault of the element strings together, such as "(21) needs one of (01), (03),
// (8006)": an AI repeated with another value, a req= or ex= rule of the dictionary, or a digital
// signature (8030) without a serialised key. Empty when they go together.
std::string Gs1AssociationFault(const std::vector<Gs1Element>& elements);

// The text as a message shows it: bytes outside printable ASCII as ~X escapes.
std::string PrintableGs1Text(std::string_view text);

}  // namespace korvex::internal
