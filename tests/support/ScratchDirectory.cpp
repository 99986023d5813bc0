#include "support/ScratchDirectory.h"

#include <stdlib.h>

#include <system_error>

ScratchDirectory::ScratchDirectory(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) {
    path_ = pattern;
  }
}

ScratchDirectory::~ScratchDirectory() {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}
