// Feeds arbitrary request texts to QueryString: every parameter name of the program and names
// taken from the input itself are looked up, and each result is compared with a plain
// re-statement of the lookup and decoding rules. UrlDecode also runs on the raw input, and the
// request settings are gathered from the text, which must leave every setting in its range.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestParameter.h"
#include "request/RequestSettings.h"
#include "encoder/FormatTable.h"

using namespace korvex::internal;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text, const std::string& name) {
  std::fprintf(stderr, "QueryString: %s (name \"%s\", text of %zu bytes)\n", what, name.c_str(), text.size());
  std::abort();
}

int ReferenceDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 0;
}

// The raw value of the first parameter called name, or nothing.
std::optional<std::string> ReferenceRawValue(const std::string& text, const std::string& name) {
  const size_t length = text.size();
  const size_t n = name.size();
  size_t start = std::string::npos;
  if (length >= n + 2 && text.compare(0, n, name) == 0 && text[n] == '=') {
    start = n + 1;
  } else {
    for (size_t p = 1; p < length; ++p) {
      if (text[p] == '&' && length - p >= n + 3 && text.compare(p + 1, n, name) == 0 && text[p + n + 1] == '=') {
        start = p + n + 2;
        break;
      }
    }
  }
  if (start == std::string::npos) return std::nullopt;
  const size_t end = text.find('&', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The decoded value up to its first NUL, or nothing when the value holds an escape whose byte
// is open to choice: a "%" with fewer than two bytes after it, or a second digit beyond "f",
// whose value (16 to 35) overlaps the first digit's bits, so that adding and OR-ing the two
// digits differ.
std::optional<std::string> ReferenceDecode(const std::string& raw) {
  std::string decoded;
  for (size_t i = 0; i < raw.size(); ++i) {
    const auto c = static_cast<unsigned char>(raw[i]);
    if (c == '+') {
      decoded += ' ';
    } else if (c == '%') {
      if (i + 2 >= raw.size() || ReferenceDigit(static_cast<unsigned char>(raw[i + 2])) > 15) return std::nullopt;
      const int value = (ReferenceDigit(static_cast<unsigned char>(raw[i + 1])) * 16 +
                         ReferenceDigit(static_cast<unsigned char>(raw[i + 2]))) % 256;
      decoded += static_cast<char>(value);
      i += 2;
    } else {
      decoded += static_cast<char>(c);
    }
  }
  return decoded.substr(0, decoded.find('\0'));
}

void CheckLookup(QueryString& query, const std::string& text, const std::string& name) {
  const char* value = query.Lookup(name.c_str());
  const std::optional<std::string> raw = ReferenceRawValue(text, name);
  if ((value != nullptr) != raw.has_value()) Fail("found where it should not be, or missed", text, name);
  if (value == nullptr) return;
  const size_t valueLength = std::strlen(value);
  if (valueLength > raw->size()) Fail("decoded value longer than its raw value", text, name);
  const std::optional<std::string> expected = ReferenceDecode(*raw);
  if (expected && *expected != std::string(value, valueLength)) Fail("decoded value differs", text, name);
}

// Names that the text itself offers: everything between a start or "&" and the next "=", and
// a few cut short or run on, so that near misses are tried as well.
std::vector<std::string> NamesFromText(const std::string& text) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= text.size() && names.size() < 24) {
    const size_t equals = text.find('=', start);
    if (equals == std::string::npos) break;
    const std::string name = text.substr(start, equals - start);
    names.push_back(name.substr(0, name.find('\0')));
    if (!name.empty()) names.push_back(name.substr(0, name.size() - 1));
    names.push_back(name + "x");
    const size_t ampersand = text.find('&', equals);
    if (ampersand == std::string::npos) break;
    start = ampersand + 1;
  }
  return names;
}

// The decoded value of a parameter as the reference rules read it, or nothing when it is
// missing or its decoding is open to choice.
std::optional<std::string> ReferenceValue(const std::string& text, const std::string& name) {
  const std::optional<std::string> raw = ReferenceRawValue(text, name);
  return raw ? ReferenceDecode(*raw) : std::nullopt;
}

// Whatever the text, each setting holds its default or a value of its accepted range, and the
// switches and choices that depend on one parameter alone hold what that parameter says.
void CheckSettings(const std::string& text) {
  QueryString query(text.c_str());
  const RequestSettings settings = GatherRequestSettings(query);
  const auto within = [](int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; };
  const bool dmreFormat = settings.encoding.dmre && within(settings.encoding.preferredFormat, kFirstDmreFormatId, kLastDmreFormatId);
  const bool wholePixels = settings.xDimension >= 1 && std::floor(settings.xDimension) == settings.xDimension;
  const bool inRange =
      within(settings.width, 1, 699) && within(settings.height, 1, 699) &&
      (within(settings.encoding.preferredFormat, 0, 30) || dmreFormat) && within(static_cast<int32_t>(settings.encoding.encodingMode), 0, 6) &&
      (settings.drawing.orientation == 0 || settings.drawing.orientation == 90 || settings.drawing.orientation == 180 ||
       settings.drawing.orientation == 270) &&
      within(settings.drawing.alignH, 0, 2) && within(settings.drawing.alignV, 0, 2) && settings.drawing.backColor <= 0xFFFFFF &&
      settings.drawing.foreColor <= 0xFFFFFF && wholePixels && within(static_cast<int32_t>(settings.encoding.shape), 0, 2) &&
      within(settings.resolutionDpi, 0, 4800) && std::isfinite(settings.moduleMillimetres) &&
      settings.moduleMillimetres >= 0;
  if (!inRange) Fail("a setting outside its range", text, "");
  if (settings.encoding.data.find('\0') != std::string::npos) Fail("data holds a NUL", text, "data");

  // A switch is on for a number other than zero.
  struct Switch {
    const char* name;
    bool value;
  };
  const Switch switches[] = {{"quiet", settings.drawing.quietZone}, {"gs1", settings.gs1},
                             {"gssep", settings.gs1GroupSeparator}, {"utf8", settings.utf8},
                             {"dmre", settings.encoding.dmre}, {"gs1dl", settings.gs1DigitalLink},
                             {"minimal", settings.encoding.minimal}};
  for (const Switch& item : switches) {
    const std::optional<std::string> value = ReferenceValue(text, item.name);
    if (value && (ReadNumber(value->c_str()) != 0) != item.value) Fail("switch read wrongly", text, item.name);
  }
  // out=svg asks for the SVG whatever compact says; a compact switched on for the PNG.
  const std::optional<std::string> out = ReferenceValue(text, "out");
  const std::optional<std::string> compact = ReferenceValue(text, "compact");
  const OutputKind output = out && *out == "svg"                                  ? OutputKind::Svg
                            : compact && ReadNumber(compact->c_str()) != 0 ? OutputKind::CompactPng
                                                                              : OutputKind::Png;
  if (settings.output != output) Fail("output kind read wrongly", text, "out");
  // dl is a stem as given, 1 for GS1's own and 0 for none.
  if (const std::optional<std::string> stem = ReferenceValue(text, "dl")) {
    const std::string expected = *stem == "1" ? "https://id.gs1.org" : *stem == "0" ? "" : *stem;
    if (settings.digitalLinkStem != expected) Fail("Digital Link stem read wrongly", text, "dl");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  // The request text ends at its first NUL, as the handler hands it over.
  const std::string input(reinterpret_cast<const char*>(bytes), size);
  const std::string text = input.substr(0, input.find('\0'));

  {
    QueryString query(text.c_str());
    if (query.Length() != text.size()) Fail("length differs from the text", text, "");
    for (const RequestParameter& parameter : RequestParameters()) CheckLookup(query, text, parameter.name);
    CheckLookup(query, text, "help");
    for (const std::string& name : NamesFromText(text)) CheckLookup(query, text, name);
    CheckLookup(query, text, "");
  }

  CheckSettings(text);

  // The decoder alone, over a buffer exactly as long as the input, so that a read past the
  // terminating NUL is an overflow.
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  UrlDecode(buffer.data());
  if (std::strlen(buffer.data()) > text.size()) Fail("UrlDecode made the text longer", text, "");
  const std::optional<std::string> expected = ReferenceDecode(text);
  if (expected && *expected != std::string(buffer.data())) Fail("UrlDecode differs", text, "");
  return 0;
}
