#pragma once

#include <filesystem>
#include <string>

// A fresh directory /tmp/<prefix>-XXXXXX, removed with everything in it on destruction; the
// path is empty when it could not be made.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& prefix);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};
