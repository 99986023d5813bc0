#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "cgi/Answer.h"
#include "cgi/RequestSettings.h"
#include "cgi/ResultCode.h"
#include "render/RgbImage.h"

class DataMatrixBarcode;
class ParameterSource;

// The CGI variables the program reads; an unset variable is std::nullopt.
struct CgiEnvironment {
  std::optional<std::string> requestMethod;  // REQUEST_METHOD
  std::optional<std::string> queryString;    // QUERY_STRING (GET)
  std::optional<std::string> contentLength;  // CONTENT_LENGTH (POST)
};

// Longest request text that is processed.
constexpr int64_t kMaxRequestLength = 3600;

// What a server may bound beyond what the parameters themselves allow.
struct RequestLimits {
  // Largest image a request may ask for, refused with code 3 before anything is allocated. The
  // default is the raster cap itself.
  uint64_t maxPixels = RgbImage::kMaxRasterBytes / RgbImage::kBytesPerPixel;
};

// Serves one request: reads the request text (the query string, or the POST body from input),
// writes the response (PNG, help page, error page or nothing) to output, and returns the
// process exit status.
int HandleRequest(const CgiEnvironment& environment, FILE* input, FILE* output,
                  const RequestLimits& limits = RequestLimits());

// The answer to a CGI request, complete in memory; nothing is written.
Answer AnswerCgiRequest(const CgiEnvironment& environment, FILE* input, const RequestLimits& limits);

// The answer to the parameters of a request that passed the length check: the help page, the
// image, or the failure (its page only under debug).
Answer AnswerParameters(ParameterSource& parameters, const RequestLimits& limits);

// Writes the answer as a CGI response: the header and the body, or nothing when it has no
// content type.
void WriteAnswer(const Answer& answer, FILE* output);

// CONTENT_LENGTH read by the parameter number rule, but saturating instead of wrapping, so that
// a huge announced length can never pass for a small one.
int64_t ReadContentLength(const std::string& text);

// The barcode of the settings drawn into its image, which useImage gets while barcode and image
// exist. Returns the first failing code, or 0.
ResultCode DrawRequestedImage(const RequestSettings& settings, const RequestLimits& limits,
                              const std::function<void(RgbImage&)>& useImage);

// Hands the settings to the barcode and encodes the symbol, once, GS1 and UTF-8 data checked and
// rewritten first. Returns the first failing code, or 0, and in detail what exactly failed.
ResultCode EncodeRequestedSymbol(DataMatrixBarcode& barcode, const RequestSettings& settings, std::string& detail);

// The image of the settings as the body of answer, with its content type; on failure the code
// (and answer.detail where there is more to say), with answer left without a body.
ResultCode RenderImage(const RequestSettings& settings, const RequestLimits& limits, Answer& answer);
