#include "fcgi/FcgiStream.h"

#include <climits>

namespace {

struct InputCookie {
  FCGX_Stream* stream;
  std::size_t left;
};

ssize_t ReadInput(void* cookie, char* buffer, std::size_t size) {
  auto* input = static_cast<InputCookie*>(cookie);
  std::size_t wanted = size < input->left ? size : input->left;
  if (wanted > INT_MAX) wanted = INT_MAX;
  if (wanted == 0) return 0;
  const int got = FCGX_GetStr(buffer, static_cast<int>(wanted), input->stream);
  if (got < 0) return -1;
  input->left -= static_cast<std::size_t>(got);
  return got;
}

int CloseInput(void* cookie) {
  delete static_cast<InputCookie*>(cookie);
  return 0;
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

FilePointer OpenFcgiInput(FCGX_Stream* in, std::size_t limit) {
  auto cookie = std::make_unique<InputCookie>(InputCookie{in, limit});
  FILE* file = fopencookie(cookie.get(), "r", cookie_io_functions_t{ReadInput, nullptr, nullptr, CloseInput});
  if (file == nullptr) return nullptr;
  cookie.release();  // owned by the file now
  std::setvbuf(file, nullptr, _IONBF, 0);
  return FilePointer(file);
}

FilePointer OpenFcgiOutput(FCGX_Stream* out) {
  return FilePointer(fopencookie(out, "w", cookie_io_functions_t{nullptr, WriteOutput, nullptr, nullptr}));
}
