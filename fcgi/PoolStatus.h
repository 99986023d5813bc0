#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvex::internal {

// What the pool and its processes know of each other, in memory that all of them share: the
// counters of the status page, and per process what it is doing now. A process that dies leaves
// its slot behind, so that the pool can name the request it was serving.
struct ProcessSlot {
  // kReading: a connection was ready, the request is being read (or was taken by another process).
  enum State : uint32_t { kFree, kIdle, kReading, kServing };
  static constexpr std::size_t kMethodShown = 15;
  static constexpr std::size_t kQueryShown = 200;
  static constexpr std::size_t kLengthShown = 20;

  std::atomic<uint32_t> state;
  // The request being served; written before the state says kServing, read by the pool only
  // once the process has ended.
  char method[kMethodShown + 1];
  char query[kQueryShown + 1];
  char contentLength[kLengthShown + 1];  // a POST's request text is its body, which only the handler reads

  void Record(std::string_view requestMethod, std::string_view queryString, std::string_view bodyLength);
};

struct PoolStatus {
  static constexpr std::size_t kSlots = 512;  // twice the most processes: a reload starts one early
  static constexpr std::size_t kExitStatuses = 256;

  int64_t startTime;  // seconds since the epoch
  std::atomic<uint64_t> accepted;
  std::atomic<uint64_t> byExitStatus[kExitStatuses];
  std::atomic<uint64_t> timeBoundEnds;
  std::atomic<uint64_t> replacements;
  ProcessSlot slots[kSlots];

  // The status page: php-fpm's style of "name: value" lines, or one JSON object.
  std::string Describe(bool json) const;
};

static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free,
              "the counters are shared between processes and must not hide a lock");

// The pool's status in memory that outlives exec: the pool creates it, and each process it
// starts maps it again from the file descriptor it inherits.
class SharedPoolStatus {
 public:
  // Created zeroed with the start time now; an invalid object when there is no memory.
  static SharedPoolStatus Create();
  // Maps what Create made, from its inherited descriptor.
  static SharedPoolStatus Attach(int fd);

  SharedPoolStatus(SharedPoolStatus&& other) noexcept;
  SharedPoolStatus& operator=(SharedPoolStatus&&) = delete;
  SharedPoolStatus(const SharedPoolStatus&) = delete;
  ~SharedPoolStatus();

  bool Valid() const { return status_ != nullptr; }
  int Fd() const { return fd_; }
  PoolStatus& Status() const { return *status_; }

 private:
  SharedPoolStatus(int fd, PoolStatus* status) : fd_(fd), status_(status) {}
  int fd_ = -1;
  PoolStatus* status_ = nullptr;
};

}  // namespace korvex::internal
