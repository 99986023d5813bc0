#include "cgi/EncoderData.h"

#include "encoder/Utf8Text.h"
#include "gs1/Gs1Translation.h"

ResultCode ResolveEncoderData(const RequestSettings& settings, std::string& data, std::string& detail) {
  if (settings.gs1) {
    // Element strings hold only ASCII, so utf8 has nothing to add.
    Gs1Translation translation = TranslateGs1(settings.data, settings.gs1GroupSeparator);
    if (!translation.fault.empty()) {
      detail = std::move(translation.fault);
      return Result::InvalidData;
    }
    data = std::move(translation.tildeData);
    return Result::Ok;
  }
  data = settings.data;
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
