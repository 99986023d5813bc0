#pragma once

#include <string>

#include "result/Status.h"

namespace korvex::internal {

// Writes bytes as the whole content of the file at path. A regular file (or a new one) is
// written under a temporary name beside it and renamed over it once complete, so that a reader
// never sees half an image and a failed write leaves the old file as it was; anything else
// (a device, a pipe, a symbolic link) is written in place. Returns FileOpenFailed when the file
// cannot be created, FileCloseFailed when writing, closing or renaming fails, each with the
// system's reason as detail; Ok otherwise.
Status WriteOutputFile(const std::string& path, const std::string& bytes);

// Writes bytes to standard output and flushes it; FileCloseFailed with detail when that fails.
Status WriteStandardOutput(const std::string& bytes);

}  // namespace korvex::internal
