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

// A GS1 Digital Link URI, given or built from element strings, checked.
StatusOr<std::string> DigitalLinkUri(const RequestSettings& settings) {
  if (settings.gs1DigitalLink) {
    const StatusOr<std::vector<Gs1Element>> link = ReadGs1DigitalLink(settings.encoding.data);
    if (!link.Ok()) return link.GetStatus();
    return settings.encoding.data;
  }
  const StatusOr<std::vector<Gs1Element>> elements = ReadGs1Elements(settings.encoding.data);
  if (!elements.Ok()) return elements.GetStatus();
  return WriteGs1DigitalLink(*elements, settings.digitalLinkStem);
}

// The data the encoder reads for the settings.
StatusOr<std::string> EncoderData(const RequestSettings& settings) {
  if (settings.gs1DigitalLink || (settings.gs1 && !settings.digitalLinkStem.empty())) {
    // Encoded as plain data (no FNC1, so readers report ]d1).
    const StatusOr<std::string> uri = DigitalLinkUri(settings);
    if (!uri.Ok()) return uri.GetStatus();
    return LiteralTildeData(*uri);
  }
  if (settings.gs1) {
    // Element strings hold only ASCII, so utf8 has nothing to add.
    return TranslateGs1(settings.encoding.data, settings.gs1GroupSeparator);
  }
  const std::string& data = settings.encoding.data;
  if (!settings.utf8) return data;
  switch (ClassifyText(data)) {
    case TextEncoding::NotUtf8: return Status(Result::InvalidData, "UTF-8: the data is not valid UTF-8 text");
    case TextEncoding::Utf8: return WithUtf8Eci(data);
    case TextEncoding::Ascii: break;
  }
  return data;
}

}  // namespace

StatusOr<EncodingSettings> ResolveEncoderData(const RequestSettings& settings) {
  StatusOr<std::string> data = EncoderData(settings);
  if (!data.Ok()) return data.GetStatus();
  EncodingSettings encoding = settings.encoding;
  encoding.data = std::move(data).Value();
  return encoding;
}

}  // namespace korvex::internal
