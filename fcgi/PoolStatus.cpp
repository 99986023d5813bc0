#include "fcgi/PoolStatus.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <new>
#include <utility>
#include <vector>

namespace korvex::internal {

namespace {

void CopyTruncated(std::string_view text, char* field, std::size_t shown) {
  const std::size_t length = std::min(text.size(), shown);
  std::copy_n(text.data(), length, field);
  field[length] = '\0';
}

std::string StartTimeText(int64_t startTime) {
  const time_t when = static_cast<time_t>(startTime);
  tm local{};
  localtime_r(&when, &local);
  char text[40];
  std::strftime(text, sizeof text, "%d/%b/%Y:%H:%M:%S %z", &local);
  return text;
}

}  // namespace

void ProcessSlot::Record(std::string_view requestMethod, std::string_view queryString, std::string_view bodyLength) {
  CopyTruncated(requestMethod, method, kMethodShown);
  CopyTruncated(queryString, query, kQueryShown);
  CopyTruncated(bodyLength, contentLength, kLengthShown);
}

std::string PoolStatus::Describe(bool json) const {
  uint64_t active = 0;
  uint64_t idle = 0;
  // Every idle process wakes for a new connection and reads, and all but one find it taken:
  // only a process serving a request counts as active.
  for (const ProcessSlot& slot : slots) {
    const uint32_t state = slot.state.load();
    active += state == ProcessSlot::kServing ? 1 : 0;
    idle += state == ProcessSlot::kIdle || state == ProcessSlot::kReading ? 1 : 0;
  }
  std::vector<std::pair<std::string, uint64_t>> statuses;
  for (std::size_t status = 0; status < kExitStatuses; ++status) {
    if (const uint64_t count = byExitStatus[status].load()) statuses.emplace_back(std::to_string(status), count);
  }
  const int64_t since = static_cast<int64_t>(time(nullptr)) - startTime;
  const std::pair<const char*, uint64_t> counters[] = {
      {"accepted requests", accepted.load()}, {"active processes", active},
      {"idle processes", idle},              {"total processes", active + idle},
      {"time-bound ends", timeBoundEnds.load()}, {"replacements", replacements.load()},
  };

  std::string text;
  char line[96];
  if (json) {
    text = "{\"start time\":" + std::to_string(startTime) + ",\"start since\":" + std::to_string(since);
    for (const auto& [name, value] : counters) text += ",\"" + std::string(name) + "\":" + std::to_string(value);
    text += ",\"requests by exit status\":{";
    for (const auto& [status, count] : statuses) {
      text += (text.back() == '{' ? "\"" : ",\"") + status + "\":" + std::to_string(count);
    }
    return text + "}}\n";
  }
  std::snprintf(line, sizeof line, "%-22s%s\n", "start time:", StartTimeText(startTime).c_str());
  text += line;
  std::snprintf(line, sizeof line, "%-22s%lld\n", "start since:", static_cast<long long>(since));
  text += line;
  for (const auto& [name, value] : counters) {
    std::snprintf(line, sizeof line, "%-22s%llu\n", (std::string(name) + ":").c_str(),
                  static_cast<unsigned long long>(value));
    text += line;
  }
  for (const auto& [status, count] : statuses) {
    std::snprintf(line, sizeof line, "%-22s%llu\n", ("exit status " + status + ":").c_str(),
                  static_cast<unsigned long long>(count));
    text += line;
  }
  return text;
}

SharedPoolStatus SharedPoolStatus::Create() {
  const int fd = memfd_create("korvex-fcgi-status", MFD_CLOEXEC);
  if (fd < 0) return SharedPoolStatus(-1, nullptr);
  if (ftruncate(fd, sizeof(PoolStatus)) != 0) {
    close(fd);
    return SharedPoolStatus(-1, nullptr);
  }
  SharedPoolStatus shared = Attach(fd);
  if (shared.Valid()) {
    PoolStatus* status = new (&shared.Status()) PoolStatus{};
    status->startTime = static_cast<int64_t>(time(nullptr));
  }
  return shared;
}

SharedPoolStatus SharedPoolStatus::Attach(int fd) {
  void* memory = mmap(nullptr, sizeof(PoolStatus), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    close(fd);
    return SharedPoolStatus(-1, nullptr);
  }
  return SharedPoolStatus(fd, static_cast<PoolStatus*>(memory));
}

SharedPoolStatus::SharedPoolStatus(SharedPoolStatus&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), status_(std::exchange(other.status_, nullptr)) {}

SharedPoolStatus::~SharedPoolStatus() {
  if (status_ != nullptr) munmap(status_, sizeof(PoolStatus));
  if (fd_ >= 0) close(fd_);
}

}  // namespace korvex::internal
