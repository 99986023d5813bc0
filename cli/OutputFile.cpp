#include "cli/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvex::internal {

namespace {

// The failure with the system's reason for it.
Status Failure(ResultCode code, const std::string& name, int error) {
  return Status(code, name + ": " + std::strerror(error));
}

// Every byte, across short writes and interruptions; false with errno set otherwise.
bool WriteAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// Writes and closes fd, which is closed whatever happens.
Status WriteAndClose(int fd, const std::string& bytes, const std::string& name) {
  const bool written = WriteAll(fd, bytes);
  const int writeError = errno;
  const bool closed = close(fd) == 0;
  if (written && closed) return Status();
  return Failure(Result::FileCloseFailed, name, written ? errno : writeError);
}

bool IsReplaceable(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) != 0 ? errno == ENOENT : S_ISREG(status.st_mode);
}

}  // namespace

Status WriteOutputFile(const std::string& path, const std::string& bytes) {
  constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as for any new file
  if (!IsReplaceable(path)) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return Failure(Result::FileOpenFailed, path, errno);
    return WriteAndClose(fd, bytes, path);
  }
  const std::string temporary = path + ".korvex-" + std::to_string(getpid()) + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
  if (fd < 0) return Failure(Result::FileOpenFailed, path, errno);
  Status status = WriteAndClose(fd, bytes, path);
  if (status.Ok() && std::rename(temporary.c_str(), path.c_str()) != 0) {
    status = Failure(Result::FileCloseFailed, path, errno);
  }
  if (!status.Ok()) unlink(temporary.c_str());
  return status;
}

Status WriteStandardOutput(const std::string& bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  if (std::fflush(stdout) == 0 && written) return Status();
  return Failure(Result::FileCloseFailed, "standard output", errno);
}

}  // namespace korvex::internal
