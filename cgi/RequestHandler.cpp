#include "cgi/RequestHandler.h"

#include <cstring>
#include <functional>
#include <limits>

#include "cgi/HtmlPages.h"
#include "cgi/QueryString.h"
#include "cgi/RequestSettings.h"
#include "cgi/ResultCode.h"
#include "encoder/DataMatrixBarcode.h"
#include "render/DrawingGeometry.h"
#include "render/RgbImage.h"

namespace {

constexpr int kStatusOk = 0;
constexpr int kStatusBadEnvironment = 1;
constexpr int kStatusTooLong = 5;

constexpr uint32_t kImageInitialColor = 0xFFFFFF;
// The PNG writer reads -2 as zlib's default level.
constexpr int32_t kImageCompressionLevel = -2;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(const std::string& text, const char* lowerCaseWord) {
  const size_t length = std::strlen(lowerCaseWord);
  if (text.size() != length) {
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    if (AsciiLower(text[i]) != lowerCaseWord[i]) {
      return false;
    }
  }
  return true;
}

// The body up to its first NUL, or nothing when the environment or the body is unusable
// (status is then the exit status).
std::optional<std::string> ReadPostBody(const CgiEnvironment& environment, FILE* input, int& status) {
  if (!environment.contentLength) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  const int64_t announced = ReadContentLength(*environment.contentLength);
  if (announced < 1) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  // Refused before reading, so no buffer ever exceeds what an acceptable request needs.
  if (announced > kMaxRequestLength) {
    status = kStatusTooLong;
    return std::nullopt;
  }
  const auto length = static_cast<size_t>(announced);
  std::string body(length, '\0');
  if (std::fread(body.data(), 1, length, input) != length) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  body.resize(std::strlen(body.c_str()));
  return body;
}

// The request text by method, or nothing with status set.
std::optional<std::string> ReadRequestText(const CgiEnvironment& environment, FILE* input, int& status) {
  if (!environment.requestMethod) {
    status = kStatusBadEnvironment;
    return std::nullopt;
  }
  if (EqualsIgnoringAsciiCase(*environment.requestMethod, "post")) {
    return ReadPostBody(environment, input, status);
  }
  if (EqualsIgnoringAsciiCase(*environment.requestMethod, "get")) {
    if (!environment.queryString) {
      status = kStatusBadEnvironment;
      return std::nullopt;
    }
    return *environment.queryString;
  }
  status = kStatusBadEnvironment;
  return std::nullopt;
}

// Hands the request's settings to the barcode inside one update bracket, so the symbol is
// encoded once, when the bracket closes.
ResultCode ConfigureBarcode(DataMatrixBarcode& barcode, const RequestSettings& settings) {
  // A request can never switch structured append on: those four values are fixed.
  const std::function<ResultCode()> steps[] = {
      [&] { return barcode.SetUpdateLock(true); },
      [&] { return barcode.SetDataToEncode(settings.data); },
      [&] { return barcode.SetPreferredFormat(settings.preferredFormat); },
      [&] { return barcode.SetEncodingMode(settings.encodingMode); },
      [&] { return barcode.SetOrientation(settings.orientation); },
      [&] { return barcode.SetBackColor(settings.backColor); },
      [&] { return barcode.SetForeColor(settings.foreColor); },
      [&] { return barcode.SetQuietZone(settings.quietZone); },
      [&] { return barcode.SetAlignH(settings.alignH); },
      [&] { return barcode.SetAlignV(settings.alignV); },
      [&] { return barcode.SetStructuredAppend(false); },
      [&] { return barcode.SetStructuredAppendIndex(1); },
      [&] { return barcode.SetStructuredAppendTotal(2); },
      [&] { return barcode.SetStructuredAppendFileId(1); },
      [&] { return barcode.SetShape(settings.shape); },
      [&] { return barcode.SetDmre(settings.dmre); },
      [&] { return barcode.SetQuietZoneSize(settings.quietZoneSize); },
      [&] { return barcode.SetUpdateLock(false); },  // encodes, once
  };
  for (const auto& step : steps) {
    const ResultCode code = step();
    if (code != Result::Ok) {
      return code;
    }
  }
  return Result::Ok;
}

ResultCode ComputeSize(const DataMatrixBarcode& barcode, const RequestSettings& settings, int32_t& width,
                       int32_t& height) {
  if (settings.sizeGiven) {
    width = settings.width;
    height = settings.height;
    return Result::Ok;
  }
  double exactWidth = 0;
  double exactHeight = 0;
  const ResultCode code =
      barcode.ComputeImageSize(settings.xDimension, 1, 1, Unit::Pixels, Unit::Pixels, exactWidth, exactHeight);
  if (code != Result::Ok) {
    return code;
  }
  // Whole pixels, below 65536 in each direction.
  width = static_cast<int32_t>(exactWidth);
  height = static_cast<int32_t>(exactHeight);
  return Result::Ok;
}

void WritePngResponse(RgbImage& image, FILE* output) {
  // Standard output would be switched to binary mode here; Linux makes no text/binary
  // distinction, so there is nothing to switch.
  std::fputs("Content-type: image/png\n\n", output);
  image.WritePng(output);
}

// Everything after the help check: the PNG of the drawn image, or the failing code.
ResultCode RenderBarcode(const RequestSettings& settings, FILE* output) {
  return DrawRequestedImage(settings, [output](RgbImage& image) { WritePngResponse(image, output); });
}

// The run proper; debug is set as soon as the request asks for it, so that the caller's
// exception handler sees it.
int ServeRequest(const CgiEnvironment& environment, FILE* input, FILE* output, bool& debug) {
  int status = kStatusOk;
  const std::optional<std::string> requestText = ReadRequestText(environment, input, status);
  if (!requestText) {
    return status;
  }
  if (requestText->size() > static_cast<size_t>(kMaxRequestLength)) {
    return kStatusTooLong;
  }
  QueryString query(requestText->c_str());
  if (query.Lookup("help") != nullptr) {
    WriteHelpPage(output);
    return kStatusOk;
  }
  debug = query.Lookup("debug") != nullptr;
  const RequestSettings settings = GatherRequestSettings(query);
  const ResultCode code = RenderBarcode(settings, output);
  if (code != Result::Ok && debug) {
    WriteErrorPage(output, code);
  }
  return code;
}

}  // namespace

ResultCode DrawRequestedImage(const RequestSettings& settings, const std::function<void(RgbImage&)>& useImage) {
  DataMatrixBarcode barcode;
  ResultCode code = ConfigureBarcode(barcode, settings);
  if (code != Result::Ok) {
    return code;
  }
  int32_t width = 0;
  int32_t height = 0;
  code = ComputeSize(barcode, settings, width, height);
  if (code != Result::Ok) {
    return code;
  }
  RgbImage image(width, height, kImageInitialColor, kImageCompressionLevel);
  image.SetResolutionDpi(settings.resolutionDpi);
  if (!image.AllocateRows()) {
    return Result::PngInitFailed;
  }
  code = barcode.Draw(image, DrawRect(0, 0, width, height));
  if (code != Result::Ok) {
    return code;
  }
  useImage(image);
  return Result::Ok;
}

int64_t ReadContentLength(const std::string& text) {
  constexpr int64_t kSaturated = std::numeric_limits<int64_t>::max() / 10 - 10;
  size_t position = 0;
  while (position < text.size() && IsSpace(text[position])) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  int64_t magnitude = 0;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
    magnitude = magnitude >= kSaturated ? kSaturated : magnitude * 10 + (text[position] - '0');
  }
  return negative ? -magnitude : magnitude;
}

int HandleRequest(const CgiEnvironment& environment, FILE* input, FILE* output) {
  bool debug = false;
  try {
    return ServeRequest(environment, input, output, debug);
  } catch (...) {
    // In practice exhausted memory. The run counts as handled; only a request that already
    // asked for debug output learns about it.
    if (debug) {
      WriteErrorPage(output, Result::UnknownException);
    }
    return kStatusOk;
  }
}
