#include "gs1/Gs1Translation.h"

#include <algorithm>
#include <vector>

#include "gs1/Gs1AiTable.h"

namespace korvex::internal {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string ElementFault(const Gs1Element& element, const std::string& fault) {
  return "GS1: (" + std::string(element.ai) + ") " + PrintableGs1Text(element.value) + ": " + fault;
}

// The value from its start up to the next '(' with ~X28 and ~X29 resolved; end receives the
// position after it. Returns a fault in words, or an empty string.
std::string ReadValue(std::string_view text, std::size_t start, std::size_t& end, std::string& value) {
  end = std::min(text.find('(', start), text.size());
  for (std::size_t i = start; i < end; ++i) {
    if (text[i] == ')') {
      return "write a bracket inside a value as ~X28 for ( or ~X29 for )";
    }
    if (text[i] != '~') {
      value += text[i];
    } else if (text.substr(i, 4) == "~X28" || text.substr(i, 4) == "~X29") {
      value += text[i + 3] == '8' ? '(' : ')';
      i += 3;
    } else {
      return "a tilde may only start ~X28 or ~X29 (a bracket)";
    }
  }
  return value.empty() ? "has no value" : "";
}

// Splits the bracket form into element strings; returns the first syntax fault, or "".
std::string ParseElements(std::string_view text, std::vector<Gs1Element>& elements) {
  if (text.empty() || text[0] != '(') {
    return "GS1: the data must start with an AI in brackets, such as (01)";
  }
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t close = text.find(')', position);
    const std::string_view ai = text.substr(position + 1, close == std::string_view::npos ? 5 : close - position - 1);
    if (close == std::string_view::npos || ai.size() < 2 || ai.size() > 4 || !std::all_of(ai.begin(), ai.end(), IsDigit)) {
      const bool shortBracket = close != std::string_view::npos && close - position <= 6;
      const std::string shown = shortBracket ? PrintableGs1Text(text.substr(position, close - position + 1))
                                             : PrintableGs1Text(text.substr(position, 6)) + "...";
      return "GS1: " + shown + " is not an AI: an AI is 2 to 4 digits in brackets";
    }
    Gs1Element element{ai, "", nullptr};
    const std::string fault = ReadValue(text, close + 1, position, element.value);
    if (!fault.empty()) {
      const std::string raw = PrintableGs1Text(text.substr(close + 1, position - close - 1));
      return "GS1: (" + std::string(ai) + ") " + (raw.empty() ? "" : raw + ": ") + fault;
    }
    elements.push_back(std::move(element));
  }
  return "";
}

std::string TildeData(const std::vector<Gs1Element>& elements, bool gsSeparator) {
  std::string data = "~1";
  for (std::size_t i = 0; i < elements.size(); ++i) {
    data += elements[i].ai;
    for (char c : elements[i].value) {
      // The bracket bytes go through the encoder's byte escape, like the user wrote them.
      data += c == '(' ? "~X28" : c == ')' ? "~X29" : std::string(1, c);
    }
    if (i + 1 < elements.size() && !elements[i].definition->predefinedLength) {
      data += gsSeparator ? "~X1D" : "~1";
    }
  }
  return data;
}

}  // namespace

StatusOr<std::vector<Gs1Element>> ReadGs1Elements(std::string_view bracketData) {
  std::vector<Gs1Element> elements;
  std::string fault = ParseElements(bracketData, elements);
  for (std::size_t i = 0; fault.empty() && i < elements.size(); ++i) {
    Gs1Element& element = elements[i];
    element.definition = FindGs1Ai(element.ai);
    if (element.definition == nullptr) {
      fault = "GS1: (" + std::string(element.ai) + ") is not a known AI";
    } else if (std::string valueFault = Gs1ValueFault(*element.definition, element.value); !valueFault.empty()) {
      fault = ElementFault(element, valueFault);
    }
  }
  if (fault.empty()) {
    if (const std::string associationFault = Gs1AssociationFault(elements); !associationFault.empty()) {
      fault = "GS1: " + associationFault;
    }
  }
  if (!fault.empty()) return Status(Result::InvalidData, std::move(fault));
  return elements;
}

StatusOr<std::string> TranslateGs1(std::string_view bracketData, bool gsSeparator) {
  const StatusOr<std::vector<Gs1Element>> elements = ReadGs1Elements(bracketData);
  if (!elements.Ok()) return elements.GetStatus();
  return TildeData(*elements, gsSeparator);
}

}  // namespace korvex::internal
