#include "request/RequestHandler.h"

#include <functional>
#include <utility>

#include "encoder/EncodingPipeline.h"
#include "png/CompactPngWriter.h"
#include "png/PngWriter.h"
#include "render/DrawingGeometry.h"
#include "render/RgbImage.h"
#include "render/SymbolLayout.h"
#include "request/EncoderData.h"
#include "request/HtmlPages.h"
#include "request/ParameterSource.h"
#include "request/QueryString.h"
#include "request/RequestSettings.h"
#include "result/ResultCode.h"
#include "svg/SvgWriter.h"

namespace korvex::internal {

namespace {

constexpr int kStatusOk = 0;
constexpr int kStatusTooLong = 5;

// Whether an image of that size may be drawn: within the server's limit and the raster cap,
// which the vector document keeps as well, so that both outputs accept the same requests.
bool WithinImageLimits(int32_t width, int32_t height, const RequestLimits& limits) {
  if (width < 1 || height < 1) return false;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  return pixels <= limits.maxPixels && pixels * RgbImage::kBytesPerPixel <= RgbImage::kMaxRasterBytes;
}

// The image size the settings ask for, or the one that shows the symbol at the X-dimension.
StatusOr<ImageSize> RequestedSize(const RequestSettings& settings, const EncodedSymbol& symbol) {
  if (settings.sizeGiven) return ImageSize{static_cast<double>(settings.width), static_cast<double>(settings.height)};
  return ComputeImageSize(symbol.format, settings.drawing, settings.xDimension, 1, 1, Unit::Pixels, Unit::Pixels);
}

// Where the symbol lands in the image of the settings, within the limits.
StatusOr<SymbolLayout> LayOutSymbol(const RequestSettings& settings, const RequestLimits& limits,
                                    const EncodedSymbol& symbol) {
  const StatusOr<ImageSize> size = RequestedSize(settings, symbol);
  if (!size.Ok()) return size.GetStatus();
  // Whole pixels, below 65536 in each direction.
  const auto width = static_cast<int32_t>(size->width);
  const auto height = static_cast<int32_t>(size->height);
  if (!WithinImageLimits(width, height, limits)) return Result::PngInitFailed;
  return ComputeLayout(symbol.format, settings.drawing, DrawRect(0, 0, width, height));
}

// The writers, each from the matrix and the layout to its bytes.
struct ImageWriter {
  StatusOr<std::string> (*write)(const SymbolMatrix&, const SymbolLayout&, int32_t);
  AnswerKind kind;
  // Only the 24-bit PNG's bytes follow the clock: its tIME chunk and "Creation Time" text.
  bool reproducible;
};

const ImageWriter& WriterFor(OutputKind output) {
  static const ImageWriter kWriters[] = {  // in the order of OutputKind
      {WritePng, AnswerKind::PngImage, false},
      {WriteCompactPng, AnswerKind::PngImage, true},
      {WriteSvg, AnswerKind::SvgImage, true}};
  return kWriters[static_cast<int>(output)];
}

Answer FailedAnswer(ResultCode code, std::string detail, bool debug) {
  Answer answer;
  answer.status = code;
  answer.code = code;
  answer.detail = std::move(detail);
  if (debug) {
    answer.kind = AnswerKind::ErrorPage;
    answer.body = ErrorPage(code, answer.detail);
  }
  return answer;
}

// The answer, with debug set as soon as the parameters ask for it, so that the caller's
// exception handler sees it.
Answer AnswerParametersOf(ParameterSource& parameters, const RequestLimits& limits, bool& debug) {
  if (parameters.Lookup("help") != nullptr) {
    Answer answer;
    answer.kind = AnswerKind::HelpPage;
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

StatusOr<EncodedSymbol> EncodeRequestedSymbol(const RequestSettings& settings) {
  StatusOr<EncodingSettings> encoding = ResolveEncoderData(settings);
  if (!encoding.Ok()) return encoding.GetStatus();
  // A negative quiet zone is refused before anything is encoded.
  if (settings.drawing.quietZoneSize < 0) return Result::InvalidArgument;
  return EncodeSymbol(*encoding);
}

ResultCode DrawRequestedImage(const RequestSettings& settings, const RequestLimits& limits,
                              const std::function<void(RgbImage&)>& useImage) {
  const StatusOr<EncodedSymbol> symbol = EncodeRequestedSymbol(settings);
  if (!symbol.Ok()) return symbol.Code();
  const StatusOr<SymbolLayout> layout = LayOutSymbol(settings, limits, *symbol);
  if (!layout.Ok()) return layout.Code();
  return PaintRaster(symbol->matrix, *layout, settings.resolutionDpi, useImage).Code();
}

ResultCode RenderImage(const RequestSettings& settings, const RequestLimits& limits, Answer& answer) {
  const StatusOr<EncodedSymbol> symbol = EncodeRequestedSymbol(settings);
  if (!symbol.Ok()) {
    answer.detail = symbol.GetStatus().Detail();
    return symbol.Code();
  }
  const StatusOr<SymbolLayout> layout = LayOutSymbol(settings, limits, *symbol);
  if (!layout.Ok()) return layout.Code();
  const ImageWriter& writer = WriterFor(settings.output);
  StatusOr<std::string> bytes = writer.write(symbol->matrix, *layout, settings.resolutionDpi);
  if (!bytes.Ok()) {
    answer.serviceFault = true;  // memory or libpng, not the request
    return bytes.Code();
  }
  answer.body = std::move(bytes).Value();
  answer.kind = writer.kind;
  answer.reproducible = writer.reproducible;
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
