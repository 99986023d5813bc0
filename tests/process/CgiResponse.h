#pragma once

#include <string>
#include <vector>

#include "support/CgiProcess.h"
#include "support/PngReader.h"

// Helpers for the tests that run the built CGI program.

inline std::vector<EnvironmentVariable> GetRequest(const std::string& query, const std::string& method = "GET") {
  return {{"REQUEST_METHOD", method}, {"QUERY_STRING", query}};
}

inline std::vector<EnvironmentVariable> PostRequest(const std::string& contentLength, const std::string& method = "POST") {
  return {{"REQUEST_METHOD", method}, {"CONTENT_LENGTH", contentLength}};
}

inline const std::string kPngHeader = "Content-type: image/png\n\n";

// The PNG after its CGI header, decoded; false with a reason when the response is anything else.
inline bool ReadPngResponse(const std::string& response, PngInfo& png, std::string& error) {
  if (response.compare(0, kPngHeader.size(), kPngHeader) != 0) {
    error = "response does not start with the PNG header: '" + response.substr(0, 60) + "'";
    return false;
  }
  return ReadPng(response.substr(kPngHeader.size()), png, &error);
}
