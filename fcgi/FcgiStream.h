#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include <fcgiapp.h>

namespace korvex::internal {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<FILE, FileCloser>;

// The request handler reads and writes stdio streams; these adapt a FastCGI request's streams
// to them, so that the handler serves a FastCGI request exactly as it serves a CGI process.

// Reads the request body. Unbuffered, so nothing is read from the connection beyond what the
// handler asks for, and the handler reads no body over its length limit.
FilePointer OpenFcgiInput(FCGX_Stream* in);

// Writes through to the response; closing the file flushes it.
FilePointer OpenFcgiOutput(FCGX_Stream* out);

}  // namespace korvex::internal
