#include "request/EncoderData.h"

#include "encoder/Utf8Text.h"
#include "gs1/Gs1DigitalLink.h"
#include "gs1/Gs1Translation.h"

namespace korvex::internal {

namespace {

// Plain data as tilde data that the encoder reads back byte for byte: every tilde doubled, so
// that no escape (FNC1 above all) can arise.
std::string LiteralTildeData(const std::string& text) {
  std::string data;
  data.reserve(text.size() + 8);
  for (char c : text) {
    data += c;
    if (c == '~') data += '~';
  }
  return data;
}

// A GS1 Digital Link URI, given or built from element strings: checked, then encoded as plain
// data (no FNC1, so readers report ]d1).
ResultCode ResolveDigitalLink(const RequestSettings& settings, std::string& data, std::string& detail) {
  std::string uri;
  if (settings.gs1DigitalLink) {
    uri = settings.encoding.data;
    Gs1DigitalLink link = ReadGs1DigitalLink(uri);
    if (!link.fault.empty()) {
      detail = std::move(link.fault);
      return Result::InvalidData;
    }
  } else {
    std::vector<Gs1Element> elements;
    std::string fault = ReadGs1Elements(settings.encoding.data, elements);
    Gs1DigitalLinkUri built;
    if (fault.empty()) {
      built = WriteGs1DigitalLink(elements, settings.digitalLinkStem);
      fault = std::move(built.fault);
    }
    if (!fault.empty()) {
      detail = std::move(fault);
      return Result::InvalidData;
    }
    uri = std::move(built.uri);
  }
  data = LiteralTildeData(uri);
  return Result::Ok;
}

}  // namespace

ResultCode ResolveEncoderData(const RequestSettings& settings, std::string& data, std::string& detail) {
  if (settings.gs1DigitalLink || (settings.gs1 && !settings.digitalLinkStem.empty())) {
    return ResolveDigitalLink(settings, data, detail);
  }
  if (settings.gs1) {
    // Element strings hold only ASCII, so utf8 has nothing to add.
    Gs1Translation translation = TranslateGs1(settings.encoding.data, settings.gs1GroupSeparator);
    if (!translation.fault.empty()) {
      detail = std::move(translation.fault);
      return Result::InvalidData;
    }
    data = std::move(translation.tildeData);
    return Result::Ok;
  }
  data = settings.encoding.data;
  if (!settings.utf8) {
    return Result::Ok;
  }
  switch (ClassifyText(data)) {
    case TextEncoding::NotUtf8:
      detail = "UTF-8: the data is not valid UTF-8 text";
      return Result::InvalidData;
    case TextEncoding::Utf8:
      data = WithUtf8Eci(data);
      return Result::Ok;
    case TextEncoding::Ascii:
      return Result::Ok;
  }
  return Result::Ok;
}

}  // namespace korvex::internal
