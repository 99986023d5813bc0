#pragma once

// Locations fixed at configure time.
namespace TestPaths {
constexpr const char* kCgi = KORVEX_CGI_PATH;
constexpr const char* kFcgi = KORVEX_FCGI_PATH;
constexpr const char* kCli = KORVEX_CLI_PATH;
constexpr const char* kSourceDir = KORVEX_SOURCE_DIR;
constexpr const char* kBinaryDir = KORVEX_BINARY_DIR;
// Compiler flags for programs built against this build's library (its sanitizers, if any).
constexpr const char* kConsumerCxxFlags = KORVEX_CONSUMER_CXX_FLAGS;
}  // namespace TestPaths
