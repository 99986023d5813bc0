#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "cgi/RequestSettings.h"
#include "cgi/ResultCode.h"

class RgbImage;

// The CGI variables the program reads; an unset variable is std::nullopt.
struct CgiEnvironment {
  std::optional<std::string> requestMethod;  // REQUEST_METHOD
  std::optional<std::string> queryString;    // QUERY_STRING (GET)
  std::optional<std::string> contentLength;  // CONTENT_LENGTH (POST)
};

// Longest request text that is processed.
constexpr int64_t kMaxRequestLength = 3600;

// Serves one request: reads the request text (the query string, or the POST body from input),
// writes the response (PNG, help page, error page or nothing) to output, and returns the
// process exit status.
int HandleRequest(const CgiEnvironment& environment, FILE* input, FILE* output);

// CONTENT_LENGTH read by the parameter number rule, but saturating instead of wrapping, so that
// a huge announced length can never pass for a small one.
int64_t ReadContentLength(const std::string& text);

// The barcode of the settings drawn into its image, which useImage gets while barcode and image
// exist (the handler writes it as the PNG response). Returns the first failing code, or 0.
ResultCode DrawRequestedImage(const RequestSettings& settings, const std::function<void(RgbImage&)>& useImage);
