#include "gs1/Gs1Element.h"

#include <algorithm>
#include <cstdio>

namespace korvex::internal {

namespace {

constexpr std::string_view kCset82Punctuation = "!\"%&'()*+,-./:;<=>?_";
constexpr std::string_view kDigitalSignature = "8030";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

std::string Quoted(char c) { return "'" + PrintableGs1Text(std::string_view(&c, 1)) + "'"; }

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

// Whether ai matches pattern, in which 'n' stands for any digit ("31nn").
bool MatchesGs1Pattern(std::string_view pattern, std::string_view ai) {
  return pattern.size() == ai.size() &&
         std::equal(pattern.begin(), pattern.end(), ai.begin(), [](char p, char a) { return p == 'n' || p == a; });
}

// Whether the value holds more than the AI's mandatory components: the serial part of a key
// such as (253), (255) or (8003). A key without optional parts counts as serialised.
bool HasSerialPart(const Gs1Element& element) {
  std::size_t mandatory = 0;
  bool anyOptional = false;
  for (const Gs1Component& component : element.definition->components) {
    if (component.type != '\0') {
      anyOptional = anyOptional || component.optional;
      mandatory += component.optional ? 0 : component.maxLength;
    }
  }
  return !anyOptional || element.value.size() > mandatory;
}

// Whether an element matching pattern is present; with serialisedOnly, only one that carries its
// serial part counts.
bool IsPresent(std::string_view pattern, const std::vector<Gs1Element>& elements, bool serialisedOnly) {
  return std::any_of(elements.begin(), elements.end(), [&](const Gs1Element& element) {
    return MatchesGs1Pattern(pattern, element.ai) && (!serialisedOnly || HasSerialPart(element));
  });
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

// Whether every req= list of the element has one alternative present; names the first list
// that has none in missing.
bool RequirementsMet(const Gs1Element& element, const std::vector<Gs1Element>& elements, bool serialisedOnly,
                     std::vector<std::string>* missing) {
  bool allMet = true;
  ForEachPart(element.definition->required, ' ', [&](std::string_view alternatives) {
    bool met = false;
    std::vector<std::string> named;
    ForEachPart(alternatives, ',', [&](std::string_view group) {
      bool complete = true;
      ForEachPart(group, '+', [&](std::string_view ai) {
        complete = complete && IsPresent(ai, elements, serialisedOnly);
      });
      met = met || complete;
      named.push_back(GroupInWords(group));
    });
    if (!met && allMet && missing != nullptr) {
      *missing = named;
    }
    allMet = allMet && met;
  });
  return allMet;
}

std::string RequirementFault(const Gs1Element& element, const std::vector<Gs1Element>& elements) {
  std::vector<std::string> named;
  if (RequirementsMet(element, elements, false, &named)) {
    return "";
  }
  std::string fault = "(" + std::string(element.ai) + ") needs " + (named.size() > 1 ? "one of " : "");
  for (std::size_t i = 0; i < named.size(); ++i) {
    fault += (i > 0 ? ", " : "") + named[i];
  }
  return fault;
}

// A digital signature signs one serialised item: the keys whose serial part is optional, (253),
// (255) and (8003), meet its req= list only with that part, whatever the dictionary lists.
std::string DigitalSignatureFault(const Gs1Element& element, const std::vector<Gs1Element>& elements) {
  if (element.ai != kDigitalSignature || RequirementsMet(element, elements, true, nullptr)) {
    return "";
  }
  const auto unserialised = std::find_if(elements.begin(), elements.end(), [](const Gs1Element& other) {
    return other.definition->primaryKey && !HasSerialPart(other);
  });
  const std::string key = unserialised == elements.end() ? "the key" : "(" + std::string(unserialised->ai) + ")";
  return "(8030) needs a serialised key, and " + key + " has no serial part";
}

std::string ExclusionFault(const Gs1Element& element, const std::vector<Gs1Element>& elements) {
  std::string fault;
  ForEachPart(element.definition->excluded, ',', [&](std::string_view pattern) {
    for (const Gs1Element& other : elements) {
      if (fault.empty() && other.ai != element.ai && MatchesGs1Pattern(pattern, other.ai)) {
        fault = "(" + std::string(element.ai) + ") cannot be used together with (" + std::string(other.ai) + ")";
      }
    }
  });
  return fault;
}

}  // namespace

std::string Gs1ValueFault(const Gs1AiDefinition& definition, std::string_view value) {
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
      return part.size() == value.size() ? fault : fault + " (in " + PrintableGs1Text(part) + ")";
    }
    position += part.size();
  }
  return position == value.size() ? "" : LengthFault(definition, value.size());
}

std::string Gs1AssociationFault(const std::vector<Gs1Element>& elements) {
  for (std::size_t i = 0; i < elements.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (elements[j].ai == elements[i].ai && elements[j].value != elements[i].value) {
        return "(" + std::string(elements[i].ai) + ") appears twice with different values";
      }
    }
  }
  for (const Gs1Element& element : elements) {
    std::string fault = RequirementFault(element, elements);
    if (fault.empty()) {
      fault = DigitalSignatureFault(element, elements);
    }
    if (fault.empty()) {
      fault = ExclusionFault(element, elements);
    }
    if (!fault.empty()) {
      return fault;
    }
  }
  return "";
}

std::string PrintableGs1Text(std::string_view text) {
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

}  // namespace korvex::internal
