#include "gs1/Gs1Translation.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "gs1/Gs1AiTable.h"

namespace {

using namespace std::string_literals;

struct Gs1Element {
  std::string_view ai;
  std::string value;  // brackets resolved
  const Gs1AiDefinition* definition = nullptr;
};

constexpr std::string_view kCset82Punctuation = "!\"%&'()*+,-./:;<=>?_";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

// The value as a message shows it: bytes outside printable ASCII as ~X escapes.
std::string Printable(std::string_view text) {
  std::string shown;
  for (char c : text) {
    if (c >= ' ' && c <= '~') {
      shown += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "~X%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
      shown += escape;
    }
  }
  return shown;
}

std::string ElementFault(const Gs1Element& element, const std::string& fault) {
  return "GS1: (" + std::string(element.ai) + ") " + Printable(element.value) + ": " + fault;
}

std::string Quoted(char c) { return "'" + Printable(std::string_view(&c, 1)) + "'"; }

std::string CharacterSetFault(char type, std::string_view part) {
  const auto allowed = [type](char c) {
    switch (type) {
      case 'N':
        return IsDigit(c);
      case 'X':
        return IsDigit(c) || IsUpper(c) || IsLower(c) || kCset82Punctuation.find(c) != std::string_view::npos;
      case 'Y':
        return IsDigit(c) || IsUpper(c) || c == '#' || c == '-' || c == '/';
      default:  // 'Z', base64url
        return IsDigit(c) || IsUpper(c) || IsLower(c) || c == '-' || c == '_';
    }
  };
  std::string_view checked = part;
  if (type == 'Z') {
    // Up to two '=' pad the value to a multiple of three characters.
    const std::size_t unpadded = part.find_last_not_of('=') + 1;
    const std::size_t padding = part.size() - unpadded;
    if (padding > 2 || (padding > 0 && part.size() % 3 != 0)) {
      return "the '=' padding at the end is not valid";
    }
    checked = part.substr(0, unpadded);
  }
  const auto bad = std::find_if_not(checked.begin(), checked.end(), allowed);
  if (bad == checked.end()) {
    return "";
  }
  switch (type) {
    case 'N':
      return Quoted(*bad) + " is not a digit";
    case 'X':
      return Quoted(*bad) + " is not allowed (letters, digits and !\"%&'()*+,-./:;<=>?_ only)";
    case 'Y':
      return Quoted(*bad) + " is not allowed (capital letters, digits and # - / only)";
    default:
      return Quoted(*bad) + " is not allowed (letters, digits, - and _ only)";
  }
}

std::string LengthFault(const Gs1AiDefinition& definition, std::size_t length) {
  std::size_t shortest = 0;
  std::size_t longest = 0;
  bool digitsOnly = true;
  for (const Gs1Component& component : definition.components) {
    if (component.type == '\0') {
      break;
    }
    shortest += component.optional ? 0 : component.minLength;
    longest += component.maxLength;
    digitsOnly = digitsOnly && component.type == 'N';
  }
  const std::string unit = digitsOnly ? " digits" : " characters";
  if (shortest == longest) {
    return "must be " + std::to_string(longest) + unit;
  }
  if (length > longest) {
    return "too long: at most " + std::to_string(longest) + unit;
  }
  if (length < shortest) {
    return "too short: at least " + std::to_string(shortest) + unit;
  }
  return "its last part is too short";
}

// The first fault of the value against the AI's components, or an empty string.
std::string ComponentFault(const Gs1AiDefinition& definition, std::string_view value) {
  std::size_t position = 0;
  for (const Gs1Component& component : definition.components) {
    if (component.type == '\0' || (component.optional && position == value.size())) {
      break;
    }
    const std::size_t remaining = value.size() - position;
    if (remaining < component.minLength) {
      return LengthFault(definition, value.size());
    }
    const std::string_view part = value.substr(position, std::min<std::size_t>(remaining, component.maxLength));
    std::string fault = CharacterSetFault(component.type, part);
    for (std::size_t i = 0; fault.empty() && i < component.linters.size(); ++i) {
      fault = RunGs1Linter(component.linters[i], part);
    }
    if (!fault.empty()) {
      // Names the part when the value has several.
      return part.size() == value.size() ? fault : fault + " (in " + Printable(part) + ")";
    }
    position += part.size();
  }
  return position == value.size() ? "" : LengthFault(definition, value.size());
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
      const std::string shown = shortBracket ? Printable(text.substr(position, close - position + 1))
                                             : Printable(text.substr(position, 6)) + "...";
      return "GS1: " + shown + " is not an AI: an AI is 2 to 4 digits in brackets";
    }
    Gs1Element element{ai, "", nullptr};
    const std::string fault = ReadValue(text, close + 1, position, element.value);
    if (!fault.empty()) {
      const std::string raw = Printable(text.substr(close + 1, position - close - 1));
      return "GS1: (" + std::string(ai) + ") " + (raw.empty() ? "" : raw + ": ") + fault;
    }
    elements.push_back(std::move(element));
  }
  return "";
}

// Whether ai matches pattern, in which 'n' stands for any digit ("31nn").
bool Matches(std::string_view pattern, std::string_view ai) {
  if (pattern.size() != ai.size()) {
    return false;
  }
  for (std::size_t i = 0; i < ai.size(); ++i) {
    if (pattern[i] != 'n' && pattern[i] != ai[i]) {
      return false;
    }
  }
  return true;
}

bool IsPresent(std::string_view pattern, const std::vector<Gs1Element>& elements) {
  return std::any_of(elements.begin(), elements.end(),
                     [pattern](const Gs1Element& element) { return Matches(pattern, element.ai); });
}

// Calls visit with each part of list between separators.
template <typename Visit>
void ForEachPart(std::string_view list, char separator, Visit visit) {
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(separator), list.size());
    visit(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
}

// "(01) with (21)" for the group 01+21.
std::string GroupInWords(std::string_view group) {
  std::string words;
  ForEachPart(group, '+', [&words](std::string_view ai) {
    words += (words.empty() ? "(" : " with (") + std::string(ai) + ")";
  });
  return words;
}

std::string RequirementFault(const Gs1Element& element, const std::vector<Gs1Element>& elements) {
  std::string fault;
  ForEachPart(element.definition->required, ' ', [&](std::string_view alternatives) {
    bool met = false;
    std::vector<std::string> named;
    ForEachPart(alternatives, ',', [&](std::string_view group) {
      bool complete = true;
      ForEachPart(group, '+', [&](std::string_view ai) { complete = complete && IsPresent(ai, elements); });
      met = met || complete;
      named.push_back(GroupInWords(group));
    });
    if (!met && fault.empty()) {
      fault = "GS1: (" + std::string(element.ai) + ") needs " + (named.size() > 1 ? "one of " : "");
      for (std::size_t i = 0; i < named.size(); ++i) {
        fault += (i > 0 ? ", " : "") + named[i];
      }
    }
  });
  return fault;
}

std::string ExclusionFault(const Gs1Element& element, const std::vector<Gs1Element>& elements) {
  std::string fault;
  ForEachPart(element.definition->excluded, ',', [&](std::string_view pattern) {
    for (const Gs1Element& other : elements) {
      if (fault.empty() && other.ai != element.ai && Matches(pattern, other.ai)) {
        fault = "GS1: (" + std::string(element.ai) + ") cannot be used together with (" + std::string(other.ai) + ")";
      }
    }
  });
  return fault;
}

std::string AssociationFault(const std::vector<Gs1Element>& elements) {
  for (std::size_t i = 0; i < elements.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (elements[j].ai == elements[i].ai && elements[j].value != elements[i].value) {
        return "GS1: (" + std::string(elements[i].ai) + ") appears twice with different values";
      }
    }
  }
  for (const Gs1Element& element : elements) {
    std::string fault = RequirementFault(element, elements);
    if (fault.empty()) {
      fault = ExclusionFault(element, elements);
    }
    if (!fault.empty()) {
      return fault;
    }
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

Gs1Translation TranslateGs1(std::string_view bracketData, bool gsSeparator) {
  std::vector<Gs1Element> elements;
  std::string fault = ParseElements(bracketData, elements);
  for (std::size_t i = 0; fault.empty() && i < elements.size(); ++i) {
    Gs1Element& element = elements[i];
    element.definition = FindGs1Ai(element.ai);
    if (element.definition == nullptr) {
      fault = "GS1: (" + std::string(element.ai) + ") is not a known AI";
    } else if (std::string componentFault = ComponentFault(*element.definition, element.value); !componentFault.empty()) {
      fault = ElementFault(element, componentFault);
    }
  }
  if (fault.empty()) {
    fault = AssociationFault(elements);
  }
  if (!fault.empty()) {
    return Gs1Translation{"", fault};
  }
  return Gs1Translation{TildeData(elements, gsSeparator), ""};
}
