#include "gs1/Gs1DigitalLink.h"

#include <algorithm>

#include "gs1/Gs1AiTable.h"

namespace korvex::internal {

namespace {

constexpr std::string_view kFaultPrefix = "GS1 Digital Link: ";
constexpr std::string_view kUriPunctuation = "-._~:/?#[]@!$&'()*+,;=%";
constexpr std::string_view kGtin = "01";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsUnreserved(char c) { return IsLetter(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool IsUriCharacter(char c) { return IsLetter(c) || IsDigit(c) || kUriPunctuation.find(c) != std::string_view::npos; }
bool AllDigits(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit); }

int HexValue(char c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

std::string Fault(std::string_view part, const std::string& words) {
  return std::string(kFaultPrefix) + PrintableGs1Text(part) + ": " + words;
}

// A URI that cannot be read or made: InvalidData, with the fault.
Status Refused(std::string fault) { return Status(Result::InvalidData, std::move(fault)); }

std::string InParentheses(std::string_view ai) { return "(" + std::string(ai) + ")"; }

// Calls visit with each part of list between separators and the part's offset in list.
template <typename Visit>
void ForEachPart(std::string_view list, char separator, Visit visit) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(separator, start), list.size());
    visit(list.substr(start, end - start), start);
    start = end + 1;
  }
}

// The first byte that RFC 3986 does not allow, or a '%' that starts no %HH escape.
std::string CharacterFault(std::string_view uri) {
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (!IsUriCharacter(uri[i])) {
      const char c = uri[i];
      return std::string(kFaultPrefix) + "'" + PrintableGs1Text(std::string_view(&c, 1)) +
             "' may not appear in a URI: percent-encode it";
    }
    if (uri[i] == '%' && (i + 2 >= uri.size() || !IsHexDigit(uri[i + 1]) || !IsHexDigit(uri[i + 2]))) {
      return Fault(uri.substr(i, 3), "a '%' must start an escape of two hexadecimal digits");
    }
  }
  return "";
}

// The length of "https://" or "http://" at the start, in lower or upper case; 0 without one.
std::size_t SchemeLength(std::string_view uri) {
  for (std::string_view scheme : {"https://", "HTTPS://", "http://", "HTTP://"}) {
    if (uri.substr(0, scheme.size()) == scheme) {
      return scheme.size();
    }
  }
  return 0;
}

// A domain name or IPv4 address, or an IPv6 address in brackets, then an optional :port. Only
// the characters are checked, not the form.
bool IsHost(std::string_view host) {
  std::size_t i = 0;
  if (!host.empty() && host[0] == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos || close == 1) {
      return false;
    }
    const std::string_view address = host.substr(1, close - 1);
    if (!std::all_of(address.begin(), address.end(), [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; })) {
      return false;
    }
    i = close + 1;
  } else {
    while (i < host.size() && (IsLetter(host[i]) || IsDigit(host[i]) || host[i] == '-' || host[i] == '.')) {
      ++i;
    }
    if (i == 0) {
      return false;
    }
  }
  return i == host.size() || (host[i] == ':' && AllDigits(host.substr(i + 1)));
}

// Where the scheme and host at the start of the text end.
std::size_t HostEnd(std::string_view text) {
  return std::min(text.find_first_of("/?#", SchemeLength(text)), text.size());
}

// The first fault of the scheme and host at the start of the text, or "".
std::string SchemeAndHostFault(std::string_view text) {
  const std::size_t schemeLength = SchemeLength(text);
  if (schemeLength == 0) return std::string(kFaultPrefix) + "a URI must start with https:// or http://";
  const std::string_view host = text.substr(schemeLength, HostEnd(text) - schemeLength);
  if (host.empty()) {
    return std::string(kFaultPrefix) + "the URI has no host after " + std::string(text.substr(0, schemeLength));
  }
  if (!IsHost(host)) {
    return Fault(host, "a host has only letters, digits, '-' and '.', or an IPv6 address in [ ], and a :port");
  }
  return "";
}

// The qualifier sequences of a key, "22,10,21|235", one by one.
std::vector<std::string_view> Alternatives(const Gs1AiDefinition& key) {
  std::vector<std::string_view> alternatives;
  if (!key.qualifiers.empty()) {
    ForEachPart(key.qualifiers, '|', [&](std::string_view part, std::size_t) { alternatives.push_back(part); });
  }
  return alternatives;
}

// Whether the qualifiers are some of the sequence's AIs, in its order.
bool FitsSequence(std::string_view sequence, const std::vector<std::string_view>& qualifiers) {
  std::size_t next = 0;
  ForEachPart(sequence, ',', [&](std::string_view ai, std::size_t) {
    if (next < qualifiers.size() && qualifiers[next] == ai) {
      ++next;
    }
  });
  return next == qualifiers.size();
}

bool InSequence(std::string_view sequence, std::string_view ai) {
  bool found = false;
  ForEachPart(sequence, ',', [&](std::string_view member, std::size_t) { found = found || member == ai; });
  return found;
}

// The key's sequences that the qualifiers fit (every one when there are none).
std::vector<std::string_view> FittingSequences(const Gs1AiDefinition& key,
                                               const std::vector<std::string_view>& qualifiers) {
  std::vector<std::string_view> fitting;
  for (std::string_view sequence : Alternatives(key)) {
    if (FitsSequence(sequence, qualifiers)) {
      fitting.push_back(sequence);
    }
  }
  return fitting;
}

bool QualifiersFit(const Gs1AiDefinition& key, const std::vector<std::string_view>& qualifiers) {
  return qualifiers.empty() || !FittingSequences(key, qualifiers).empty();
}

// "(01) takes only the qualifiers (22), (10), (21) in this order, or (235)".
std::string QualifierRule(std::string_view keyAi, const Gs1AiDefinition& key) {
  const std::vector<std::string_view> alternatives = Alternatives(key);
  if (alternatives.empty()) {
    return InParentheses(keyAi) + " takes no qualifiers";
  }
  std::string words;
  bool several = alternatives.size() > 1;
  for (std::size_t i = 0; i < alternatives.size(); ++i) {
    std::string sequence;
    std::size_t count = 0;
    ForEachPart(alternatives[i], ',', [&](std::string_view ai, std::size_t) {
      sequence += (count++ > 0 ? ", " : "") + InParentheses(ai);
    });
    several = several || count > 1;
    words += (i > 0 ? ", or " : "") + sequence + (count > 1 ? " in this order" : "");
  }
  return InParentheses(keyAi) + " takes only the qualifier" + (several ? "s " : " ") + words;
}

// The value with its %HH escapes resolved; in a query '+' stands for a space.
std::string Decoded(std::string_view raw, bool plusIsSpace) {
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '%' && i + 2 < raw.size() && IsHexDigit(raw[i + 1]) && IsHexDigit(raw[i + 2])) {
      value += static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2]));
      i += 2;
    } else {
      value += plusIsSpace && raw[i] == '+' ? ' ' : raw[i];
    }
  }
  return value;
}

// Reads a URI part by part; each step leaves the first fault in fault_.
class DigitalLinkReader {
 public:
  explicit DigitalLinkReader(std::string_view uri) : uri_(uri) {}

  StatusOr<std::vector<Gs1Element>> Read() {
    fault_ = CharacterFault(uri_);
    if (fault_.empty()) fault_ = SchemeAndHostFault(uri_);
    if (!fault_.empty()) return Finished();
    const std::size_t pathStart = HostEnd(uri_);
    const std::size_t pathEnd = std::min(uri_.find_first_of("?#", pathStart), uri_.size());
    if (!ReadPath(uri_.substr(pathStart, pathEnd - pathStart))) return Finished();
    if (pathEnd < uri_.size() && uri_[pathEnd] == '?') {
      const std::size_t queryEnd = std::min(uri_.find('#', pathEnd), uri_.size());
      if (!ReadQuery(uri_.substr(pathEnd + 1, queryEnd - pathEnd - 1))) return Finished();
    }
    if (const std::string fault = Gs1AssociationFault(elements_); !fault.empty()) {
      fault_ = std::string(kFaultPrefix) + fault;
    }
    return Finished();
  }

 private:
  StatusOr<std::vector<Gs1Element>> Finished() {
    if (!fault_.empty()) return Refused(std::move(fault_));
    return std::move(elements_);
  }

  bool Failed(std::string fault) {
    fault_ = std::move(fault);
    return false;
  }

  // Adds the element of the AI and its raw value; part names it in a fault.
  bool AddElement(std::string_view ai, std::string_view raw, bool inQuery, std::string_view part) {
    if (elements_.size() == kMaxGs1DigitalLinkElements) {
      return Failed(std::string(kFaultPrefix) + "more than " + std::to_string(kMaxGs1DigitalLinkElements) + " AIs");
    }
    for (const Gs1Element& element : elements_) {
      if (element.ai == ai) return Failed(Fault(part, InParentheses(ai) + " appears twice"));
    }
    Gs1Element element{ai, Decoded(raw, inQuery), FindGs1Ai(ai)};
    if (const std::string fault = Gs1ValueFault(*element.definition, element.value); !fault.empty()) {
      return Failed(Fault(part, fault + GtinHint(element)));
    }
    elements_.push_back(std::move(element));
    return true;
  }

  static std::string GtinHint(const Gs1Element& element) {
    const std::size_t length = element.value.size();
    const bool shortGtin = length == 8 || length == 12 || length == 13;
    return element.ai == kGtin && shortGtin && AllDigits(element.value)
               ? " (write a GTIN-" + std::to_string(length) + " with leading zeros)"
               : "";
  }

  // The path: any prefix, then the primary key and its qualifiers as /AI/value pairs.
  bool ReadPath(std::string_view path) {
    const std::string noKey = "no primary key, such as /01/ and a GTIN, ends the path";
    if (path.size() <= 1) return Failed(std::string(kFaultPrefix) + noKey);
    if (path.back() == '/') return Failed(Fault(path, "the path ends with '/'"));
    std::vector<std::string_view> segments;
    ForEachPart(path.substr(1), '/', [&](std::string_view segment, std::size_t) { segments.push_back(segment); });
    if (std::any_of(segments.begin(), segments.end(), [](std::string_view s) { return s.empty(); })) {
      return Failed(Fault(path, "the path has an empty segment"));
    }
    // The GS1 part is the longest run of pairs at the end that is a key and its qualifiers;
    // the nearest key to the end names a fault when there is none.
    const std::size_t none = segments.size();
    std::size_t keyIndex = none;
    std::size_t nearestKey = none;
    for (std::size_t end = segments.size(); end >= 2 && AllDigits(segments[end - 2]); end -= 2) {
      const std::size_t k = end - 2;
      const Gs1AiDefinition* key = FindGs1Ai(segments[k]);
      if (key == nullptr || !key->primaryKey) continue;
      nearestKey = nearestKey == none ? k : nearestKey;
      if (QualifiersFit(*key, QualifierAis(segments, k))) keyIndex = k;
    }
    // From the slash before segments[first] to the end of segments[last].
    const auto span = [&](std::size_t first, std::size_t last) {
      const char* start = segments[first].data() - 1;
      return std::string_view(start, static_cast<std::size_t>(segments[last].data() + segments[last].size() - start));
    };
    if (keyIndex == none && nearestKey == none) return Failed(Fault(path, noKey));
    if (keyIndex == none) {
      const std::string rule = QualifierRule(segments[nearestKey], *FindGs1Ai(segments[nearestKey]));
      return Failed(Fault(span(nearestKey, none - 1), rule));
    }
    key_ = FindGs1Ai(segments[keyIndex]);
    keyAi_ = segments[keyIndex];
    qualifiers_ = QualifierAis(segments, keyIndex);
    for (std::size_t k = keyIndex; k + 1 < segments.size(); k += 2) {
      if (!AddElement(segments[k], segments[k + 1], false, span(k, k + 1))) return false;
    }
    return true;
  }

  static std::vector<std::string_view> QualifierAis(const std::vector<std::string_view>& segments, std::size_t key) {
    std::vector<std::string_view> qualifiers;
    for (std::size_t k = key + 2; k + 1 < segments.size(); k += 2) qualifiers.push_back(segments[k]);
    return qualifiers;
  }

  // The query: data attributes AI=value; parameters whose name has a non-digit are not GS1's.
  bool ReadQuery(std::string_view query) {
    bool ok = true;
    ForEachPart(query, '&', [&](std::string_view parameter, std::size_t) {
      // Shown with the '?' or '&' before it, which the query always has.
      if (ok && !parameter.empty()) {
        ok = ReadParameter(parameter, std::string_view(parameter.data() - 1, parameter.size() + 1));
      }
    });
    return ok;
  }

  bool ReadParameter(std::string_view parameter, std::string_view shown) {
    const std::size_t equals = std::min(parameter.find('='), parameter.size());
    const std::string_view name = parameter.substr(0, equals);
    if (name.empty()) return Failed(Fault(shown, "a query parameter needs a name"));
    if (!std::all_of(name.begin(), name.end(), IsDigit)) return true;  // not GS1 data: kept as it is
    const Gs1AiDefinition* definition = FindGs1Ai(name);
    if (definition == nullptr) return Failed(Fault(shown, InParentheses(name) + " is not a known AI"));
    if (equals + 1 >= parameter.size()) return Failed(Fault(shown, InParentheses(name) + " has no value"));
    if (!definition->dataAttribute) {
      return Failed(Fault(shown, InParentheses(name) + " cannot be a data attribute"));
    }
    for (std::string_view sequence : FittingSequences(*key_, qualifiers_)) {
      if (InSequence(sequence, name)) {
        return Failed(Fault(shown, InParentheses(name) + " belongs in the path, as a qualifier of " +
                                       InParentheses(keyAi_)));
      }
    }
    return AddElement(name, parameter.substr(equals + 1), true, shown);
  }

  std::string_view uri_;
  std::vector<Gs1Element> elements_;
  std::string fault_;
  const Gs1AiDefinition* key_ = nullptr;
  std::string_view keyAi_;
  std::vector<std::string_view> qualifiers_;
};

// Every byte but letters, digits and -._~ as %HH with capital hexadecimal digits.
void AppendEncoded(std::string_view value, std::string& out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : value) {
    if (IsUnreserved(c)) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
}

std::string StemFault(std::string_view stem) {
  std::string fault = CharacterFault(stem);
  if (fault.empty()) fault = SchemeAndHostFault(stem);
  if (!fault.empty()) return fault;
  const std::size_t hostEnd = HostEnd(stem);
  constexpr auto npos = std::string_view::npos;
  if (stem.find_first_of("?#", hostEnd) != npos) return Fault(stem, "a stem has no query or fragment");
  // One trailing '/' is dropped; any other empty segment would stay in the URI's path.
  if (stem.substr(hostEnd).find("//") != npos) return Fault(stem, "a stem has no empty path segment");
  return "";
}

const Gs1Element* FindElement(const std::vector<const Gs1Element*>& elements, std::string_view ai) {
  const auto found = std::find_if(elements.begin(), elements.end(), [ai](const Gs1Element* e) { return e->ai == ai; });
  return found == elements.end() ? nullptr : *found;
}

// The longest sequence of the key's qualifiers present (the first on a tie), in sequence order.
std::vector<const Gs1Element*> PathQualifiers(const Gs1AiDefinition& key,
                                              const std::vector<const Gs1Element*>& elements) {
  std::vector<const Gs1Element*> best;
  for (std::string_view sequence : Alternatives(key)) {
    std::vector<const Gs1Element*> present;
    ForEachPart(sequence, ',', [&](std::string_view ai, std::size_t) {
      if (const Gs1Element* element = FindElement(elements, ai)) present.push_back(element);
    });
    if (present.size() > best.size()) best = present;
  }
  return best;
}

}  // namespace

StatusOr<std::vector<Gs1Element>> ReadGs1DigitalLink(std::string_view uri) { return DigitalLinkReader(uri).Read(); }

StatusOr<std::string> WriteGs1DigitalLink(const std::vector<Gs1Element>& elements, std::string_view stem) {
  if (std::string fault = StemFault(stem); !fault.empty()) return Refused(std::move(fault));
  std::vector<const Gs1Element*> unique;
  for (const Gs1Element& element : elements) {
    if (FindElement(unique, element.ai) == nullptr) unique.push_back(&element);
  }
  const auto key =
      std::find_if(unique.begin(), unique.end(), [](const Gs1Element* e) { return e->definition->primaryKey; });
  if (key == unique.end()) {
    return Refused(std::string(kFaultPrefix) + "no primary key, such as (01) or (00), among the AIs: they form no URI");
  }
  const std::vector<const Gs1Element*> qualifiers = PathQualifiers(*(*key)->definition, unique);
  std::vector<const Gs1Element*> attributes;
  for (const bool predefined : {true, false}) {
    for (const Gs1Element* element : unique) {
      const bool inPath =
          element == *key || std::find(qualifiers.begin(), qualifiers.end(), element) != qualifiers.end();
      if (!inPath && element->definition->predefinedLength == predefined) attributes.push_back(element);
    }
  }
  for (const Gs1Element* element : attributes) {
    if (!element->definition->dataAttribute) {
      return Refused(std::string(kFaultPrefix) + InParentheses(element->ai) + " is no qualifier of " +
                     InParentheses((*key)->ai) + " beside the others and cannot be a data attribute");
    }
  }
  std::string uri(stem.substr(0, stem.size() - (stem.back() == '/' ? 1 : 0)));
  std::vector<const Gs1Element*> path = {*key};
  path.insert(path.end(), qualifiers.begin(), qualifiers.end());
  for (const Gs1Element* element : path) {
    uri += "/" + std::string(element->ai) + "/";
    AppendEncoded(element->value, uri);
  }
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    uri += (i == 0 ? "?" : "&") + std::string(attributes[i]->ai) + "=";
    AppendEncoded(attributes[i]->value, uri);
  }
  return uri;
}

}  // namespace korvex::internal
