#include "request/RequestHandler.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <functional>
#include <limits>

#include "request/EncoderData.h"
#include "request/HtmlPages.h"
#include "request/ParameterSource.h"
#include "request/QueryString.h"
#include "request/RequestSettings.h"
#include "result/ResultCode.h"
#include "request/DataMatrixBarcode.h"
#include "png/CompactPngWriter.h"
#include "render/DrawingGeometry.h"
#include "render/RgbImage.h"
#include "render/SymbolLayout.h"
#include "svg/SvgWriter.h"

namespace korvex::internal {

namespace {

constexpr int kStatusOk = 0;
constexpr int kStatusTooLong = 5;

constexpr uint32_t kImageInitialColor = 0xFFFFFF;
// The PNG writer reads -2 as zlib's default level.
constexpr int32_t kImageCompressionLevel = -2;

// Hands the request's settings to the barcode inside one update bracket, so the symbol is
// encoded once, when the bracket closes.
ResultCode ConfigureBarcode(DataMatrixBarcode& barcode, const RequestSettings& settings) {
  // A request can never switch structured append on: those four values are fixed.
  const std::function<ResultCode()> steps[] = {
      [&] { return barcode.SetUpdateLock(true); },
      [&] { return barcode.SetDataToEncode(settings.encoding.data); },
      [&] { return barcode.SetPreferredFormat(settings.encoding.preferredFormat); },
      [&] { return barcode.SetEncodingMode(static_cast<int32_t>(settings.encoding.encodingMode)); },
      [&] { return barcode.SetOrientation(settings.drawing.orientation); },
      [&] { return barcode.SetBackColor(settings.drawing.backColor); },
      [&] { return barcode.SetForeColor(settings.drawing.foreColor); },
      [&] { return barcode.SetQuietZone(settings.drawing.quietZone); },
      [&] { return barcode.SetAlignH(settings.drawing.alignH); },
      [&] { return barcode.SetAlignV(settings.drawing.alignV); },
      [&] { return barcode.SetStructuredAppend(false); },
      [&] { return barcode.SetStructuredAppendIndex(1); },
      [&] { return barcode.SetStructuredAppendTotal(2); },
      [&] { return barcode.SetStructuredAppendFileId(1); },
      [&] { return barcode.SetShape(static_cast<int32_t>(settings.encoding.shape)); },
      [&] { return barcode.SetDmre(settings.encoding.dmre); },
      [&] { return barcode.SetQuietZoneSize(settings.drawing.quietZoneSize); },
      [&] { return barcode.SetMinimal(settings.encoding.minimal); },
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

// Whether an image of that size may be drawn: within the server's limit and the raster cap,
// which the vector document keeps as well, so that both outputs accept the same requests.
bool WithinImageLimits(int32_t width, int32_t height, const RequestLimits& limits) {
  if (width < 1 || height < 1) return false;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  return pixels <= limits.maxPixels && pixels * RgbImage::kBytesPerPixel <= RgbImage::kMaxRasterBytes;
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

// The barcode of the settings, encoded, and the size of its image within the limits: the part
// of the road that comes before either writer.
ResultCode PrepareSymbol(const RequestSettings& settings, const RequestLimits& limits, DataMatrixBarcode& barcode,
                         int32_t& width, int32_t& height) {
  ResultCode code = ConfigureBarcode(barcode, settings);
  if (code != Result::Ok) return code;
  code = ComputeSize(barcode, settings, width, height);
  if (code != Result::Ok) return code;
  if (!WithinImageLimits(width, height, limits)) return Result::PngInitFailed;
  return Result::Ok;
}

// The symbol of the settings and where it lands in its image, for the writers that work from
// the layout rather than from the raster (SVG, compact PNG).
ResultCode LayOutSymbol(const RequestSettings& settings, const RequestLimits& limits, DataMatrixBarcode& barcode,
                        SymbolLayout& layout) {
  int32_t width = 0;
  int32_t height = 0;
  const ResultCode code = PrepareSymbol(settings, limits, barcode, width, height);
  if (code != Result::Ok) return code;
  return barcode.ComputeLayout(DrawRect(0, 0, width, height), layout);
}

// The symbol of the settings as an SVG document in answer, laid out exactly as the raster.
ResultCode RenderSvg(const RequestSettings& settings, const RequestLimits& limits, Answer& answer) {
  DataMatrixBarcode barcode;
  SymbolLayout layout;
  const ResultCode code = LayOutSymbol(settings, limits, barcode, layout);
  if (code != Result::Ok) return code;
  answer.body = WriteSvg(layout, barcode.Matrix(), settings.resolutionDpi);
  answer.contentType = "image/svg+xml";
  return Result::Ok;
}

struct FreeDeleter {
  void operator()(char* buffer) const { std::free(buffer); }
};

// A PNG written through a stream over memory, so that libpng's calls stay as they are and a
// failure part-way leaves nothing behind. False when any part of it could not be written.
bool WritePngToMemory(const std::function<bool(FILE*)>& writePng, std::string& bytes) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr) return false;
  const bool written = writePng(stream);
  const bool closed = std::fclose(stream) == 0;
  const std::unique_ptr<char, FreeDeleter> owned(buffer);
  // Closing shrinks the buffer to its size; when that fails, glibc reports success but leaves
  // no buffer.
  if (!written || !closed || owned == nullptr) return false;
  bytes.assign(owned.get(), size);
  return true;
}

// The symbol of the settings as a PNG of one bit per pixel in answer: the raster's pixels,
// packed from the same layout, and the same requests accepted and refused as for the raster.
ResultCode RenderCompactPng(const RequestSettings& settings, const RequestLimits& limits, Answer& answer) {
  DataMatrixBarcode barcode;
  SymbolLayout layout;
  const ResultCode code = LayOutSymbol(settings, limits, barcode, layout);
  if (code != Result::Ok) return code;
  const CompactPngWriter writer(layout, barcode.Matrix(), settings.resolutionDpi);
  if (!WritePngToMemory([&](FILE* stream) { return writer.Write(stream); }, answer.body)) {
    answer.body.clear();
    answer.serviceFault = true;  // memory or libpng, not the request
    return Result::PngInitFailed;
  }
  answer.contentType = "image/png";
  return Result::Ok;
}

Answer FailedAnswer(ResultCode code, std::string detail, bool debug) {
  Answer answer;
  answer.status = code;
  answer.code = code;
  answer.detail = std::move(detail);
  if (debug) {
    answer.contentType = kHtmlContentType;
    answer.body = ErrorPage(code, answer.detail);
  }
  return answer;
}

// The answer, with debug set as soon as the parameters ask for it, so that the caller's
// exception handler sees it.
Answer AnswerParametersOf(ParameterSource& parameters, const RequestLimits& limits, bool& debug) {
  if (parameters.Lookup("help") != nullptr) {
    Answer answer;
    answer.contentType = kHtmlContentType;
    answer.body = HelpPage();
    return answer;
  }
  debug = parameters.Lookup("debug") != nullptr;
  const RequestSettings settings = GatherRequestSettings(parameters);
  Answer answer;
  const ResultCode code = RenderImage(settings, limits, answer);
  if (code != Result::Ok) {
    Answer failed = FailedAnswer(code, std::move(answer.detail), debug);
    failed.serviceFault = answer.serviceFault;
    return failed;
  }
  return answer;
}

}  // namespace

ResultCode EncodeRequestedSymbol(DataMatrixBarcode& barcode, const RequestSettings& requested, std::string& detail) {
  RequestSettings settings = requested;
  StatusOr<std::string> data = ResolveEncoderData(requested);
  if (!data.Ok()) {
    detail = data.Detail();
    return data.Code();
  }
  settings.encoding.data = std::move(data).Value();
  return ConfigureBarcode(barcode, settings);
}

namespace {

// DrawRequestedImage, and in rowsMissing whether code 3 came from memory for the rows rather
// than from a size the request asked for.
ResultCode DrawImage(const RequestSettings& settings, const RequestLimits& limits,
                     const std::function<void(RgbImage&)>& useImage, bool& rowsMissing) {
  DataMatrixBarcode barcode;
  int32_t width = 0;
  int32_t height = 0;
  ResultCode code = PrepareSymbol(settings, limits, barcode, width, height);
  if (code != Result::Ok) {
    return code;
  }
  RgbImage image(width, height, kImageInitialColor, kImageCompressionLevel);
  image.SetResolutionDpi(settings.resolutionDpi);
  if (!image.AllocateRows()) {
    rowsMissing = true;
    return Result::PngInitFailed;
  }
  code = barcode.Draw(image, DrawRect(0, 0, width, height));
  if (code != Result::Ok) {
    return code;
  }
  useImage(image);
  return Result::Ok;
}

}  // namespace

ResultCode DrawRequestedImage(const RequestSettings& settings, const RequestLimits& limits,
                              const std::function<void(RgbImage&)>& useImage) {
  bool rowsMissing = false;
  return DrawImage(settings, limits, useImage, rowsMissing);
}

ResultCode RenderImage(const RequestSettings& requested, const RequestLimits& limits, Answer& answer) {
  // GS1, GS1 Digital Link and UTF-8 data is checked, and rewritten as the tilde data the encoder reads, before
  // anything is encoded.
  std::optional<RequestSettings> rewritten;
  if (requested.gs1 || requested.utf8 || requested.gs1DigitalLink) {
    rewritten = requested;
    StatusOr<std::string> data = ResolveEncoderData(requested);
    if (!data.Ok()) {
      answer.detail = data.Detail();
      return data.Code();
    }
    rewritten->encoding.data = std::move(data).Value();
  }
  const RequestSettings& settings = rewritten ? *rewritten : requested;
  if (settings.svg) return RenderSvg(settings, limits, answer);
  if (settings.compact) return RenderCompactPng(settings, limits, answer);
  bool written = false;
  bool rowsMissing = false;
  const ResultCode code = DrawImage(
      settings, limits,
      [&](RgbImage& image) {
        written = WritePngToMemory([&](FILE* stream) { return image.WritePng(stream); }, answer.body);
      },
      rowsMissing);
  answer.serviceFault = rowsMissing;
  if (code != Result::Ok) return code;
  if (!written) {
    answer.body.clear();
    answer.serviceFault = true;
    return Result::PngInitFailed;
  }
  answer.contentType = "image/png";
  // The tIME chunk and the "Creation Time" text: the one answer whose bytes follow the clock.
  answer.reproducible = false;
  return Result::Ok;
}

// In practice exhausted memory. The run counts as handled; only a request that already asked
// for debug output learns about it. Building that page needs memory too: without it the answer
// is nothing at all.
Answer CaughtExceptionAnswer(bool debug) noexcept {
  try {
    Answer answer = FailedAnswer(Result::UnknownException, "", debug);
    answer.status = kStatusOk;
    answer.serviceFault = true;
    return answer;
  } catch (...) {
    Answer nothing;
    nothing.serviceFault = true;
    return nothing;
  }
}

Answer AnswerRequestText(const std::string& requestText, const RequestLimits& limits) {
  bool debug = false;
  try {
    if (requestText.size() > static_cast<size_t>(kMaxRequestLength)) {
      Answer answer;
      answer.status = kStatusTooLong;
      return answer;
    }
    QueryString query(requestText.c_str());
    return AnswerParametersOf(query, limits, debug);
  } catch (...) {
    return CaughtExceptionAnswer(debug);
  }
}

Answer AnswerParameters(ParameterSource& parameters, const RequestLimits& limits) {
  bool debug = false;
  try {
    return AnswerParametersOf(parameters, limits, debug);
  } catch (...) {
    return CaughtExceptionAnswer(debug);
  }
}

}  // namespace korvex::internal
