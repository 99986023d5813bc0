#include "fcgi/FcgiStream.h"

#include <climits>

namespace korvex::internal {

namespace {

ssize_t ReadInput(void* cookie, char* buffer, std::size_t size) {
  const int wanted = size < INT_MAX ? static_cast<int>(size) : INT_MAX;
  const int got = FCGX_GetStr(buffer, wanted, static_cast<FCGX_Stream*>(cookie));
  return got < 0 ? -1 : got;
}

ssize_t WriteOutput(void* cookie, const char* buffer, std::size_t size) {
  auto* stream = static_cast<FCGX_Stream*>(cookie);
  std::size_t written = 0;
  while (written < size) {
    const std::size_t chunk = size - written < INT_MAX ? size - written : INT_MAX;
    const int put = FCGX_PutStr(buffer + written, static_cast<int>(chunk), stream);
    // A client that went away: the handler's writes fail and the request ends.
    if (put < 0) return written > 0 ? static_cast<ssize_t>(written) : -1;
    written += static_cast<std::size_t>(put);
  }
  return static_cast<ssize_t>(written);
}

}  // namespace

FilePointer OpenFcgiInput(FCGX_Stream* in) {
  FILE* file = fopencookie(in, "r", cookie_io_functions_t{ReadInput, nullptr, nullptr, nullptr});
  if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
  return FilePointer(file);
}

FilePointer OpenFcgiOutput(FCGX_Stream* out) {
  return FilePointer(fopencookie(out, "w", cookie_io_functions_t{nullptr, WriteOutput, nullptr, nullptr}));
}

}  // namespace korvex::internal
