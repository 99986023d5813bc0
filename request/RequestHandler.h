#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "encoder/EncodedSymbol.h"
#include "request/Answer.h"
#include "request/RequestSettings.h"
#include "result/ResultCode.h"
#include "result/Status.h"
#include "render/RgbImage.h"

namespace korvex::internal {

class ParameterSource;

// Longest request text that is processed.
constexpr int64_t kMaxRequestLength = 3600;

// What a server may bound beyond what the parameters themselves allow.
struct RequestLimits {
  // Largest image a request may ask for, refused with code 3 before anything is allocated. The
  // default is the raster cap itself.
  uint64_t maxPixels = RgbImage::kMaxRasterBytes / RgbImage::kBytesPerPixel;
};

// The answer to a request text: nothing with exit status 5 when it is over kMaxRequestLength,
// otherwise the answer to its parameters.
Answer AnswerRequestText(const std::string& requestText, const RequestLimits& limits);

// The answer to a request whose text could not even be read for want of memory (debug unknown).
Answer CaughtExceptionAnswer(bool debug) noexcept;

// The answer to the parameters of a request that passed the length check: the help page, the
// image, or the failure (its page only under debug).
Answer AnswerParameters(ParameterSource& parameters, const RequestLimits& limits);

// The symbol of the settings drawn into its 24-bit raster, which useImage gets while it exists.
// Returns the first failing code, or 0.
ResultCode DrawRequestedImage(const RequestSettings& settings, const RequestLimits& limits,
                              const std::function<void(RgbImage&)>& useImage);

// The symbol of the settings, GS1, GS1 Digital Link and UTF-8 data checked and rewritten first,
// or the first failure, with what exactly failed.
StatusOr<EncodedSymbol> EncodeRequestedSymbol(const RequestSettings& settings);

// The image of the settings as the body of answer, with its content type; on failure the code
// (and answer.detail where there is more to say), with answer left without a body.
ResultCode RenderImage(const RequestSettings& settings, const RequestLimits& limits, Answer& answer);

}  // namespace korvex::internal
