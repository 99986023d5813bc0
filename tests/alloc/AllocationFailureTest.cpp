// Runs whole requests in-process while the Nth allocation through operator new fails, for every
// N until a request gets through untouched. Each run must end as a caught exception ends a
// request (nothing, or the page for code 14 under debug, with status 0) or as a raster that
// cannot be allocated ends it (code 3), and give back every allocation it made.
//
// Outside the sanitizer build it also replaces malloc, calloc and realloc, so that the
// allocations of libpng, zlib and the memory stream under the PNG writer fail one by one too:
// such a run must end with code 3 and never hand out a partial PNG.
//
// This binary replaces the global operator new and delete, so it holds nothing but tests that
// expect that.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "cgi/CgiRequest.h"
#include "result/ResultCode.h"
#include "support/HandleRequest.h"
#include "support/HtmlPageTexts.h"
#include "support/PngReader.h"

using namespace korvex::internal;

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define KORVEX_HAS_LEAK_CHECK 1
#endif

namespace {

// Plain data, constant-initialised, so that it is ready before any allocation of the process.
struct AllocationInjector {
  bool armed;
  uint64_t count;       // allocations since arming
  uint64_t failAt;      // the allocation that fails (1-based)
  bool failed;          // whether it was reached
  int64_t live;         // allocations not yet released, over the whole process
};
AllocationInjector injector{false, 0, 0, false, 0};
// The same for the C allocator, counted apart; its live count is not kept, as memory that
// stdio allocated before arming may be released while armed.
AllocationInjector cInjector{false, 0, 0, false, 0};

#if !defined(__SANITIZE_ADDRESS__)
#define KORVEX_REPLACES_MALLOC 1
}  // namespace
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* memory, std::size_t size);
extern "C" void __libc_free(void* memory);
namespace {
bool CAllocationFails() { return cInjector.armed && ++cInjector.count == cInjector.failAt && (cInjector.failed = true); }
}  // namespace
extern "C" void* malloc(std::size_t size) { return CAllocationFails() ? nullptr : __libc_malloc(size); }
extern "C" void* calloc(std::size_t count, std::size_t size) {
  return CAllocationFails() ? nullptr : __libc_calloc(count, size);
}
extern "C" void* realloc(void* memory, std::size_t size) {
  return CAllocationFails() ? nullptr : __libc_realloc(memory, size);
}
extern "C" void free(void* memory) { __libc_free(memory); }
namespace {
#endif

void* Allocate(std::size_t size, std::size_t alignment, bool nothrow) {
  if (injector.armed && ++injector.count == injector.failAt) {
    injector.failed = true;
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  if (size == 0) size = 1;
  void* memory = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    memory = std::malloc(size);
  } else if (posix_memalign(&memory, alignment, size) != 0) {
    memory = nullptr;
  }
  if (memory == nullptr) {
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  ++injector.live;
  return memory;
}

void Release(void* memory) noexcept {
  if (memory == nullptr) return;
  --injector.live;
  std::free(memory);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size, 0, false); }
void* operator new[](std::size_t size) { return Allocate(size, 0, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0, true); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return Allocate(size, static_cast<std::size_t>(alignment), false);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return Allocate(size, static_cast<std::size_t>(alignment), false);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(alignment), true);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(alignment), true);
}
void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { Release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { Release(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { Release(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { Release(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { Release(memory); }

namespace {

// A request with its body (POST) and whether it asks for the error page.
struct RequestCase {
  const char* name;
  CgiEnvironment environment;
  std::string body;
  bool debug;
};

// Names the request in failure messages instead of dumping its bytes.
void PrintTo(const RequestCase& request, std::ostream* out) { *out << request.name; }

struct Outcome {
  int status = -1;
  std::string output;
  int64_t allocationsKept = 0;  // made by the handler and not given back
};

// Runs the handler with its output in memory. The streams are opened before arming, so only
// the handler's own allocations are counted.
Outcome RunRequest(const RequestCase& request, uint64_t failAt, AllocationInjector& failing = injector) {
  static FILE* const emptyInput = std::fopen("/dev/null", "r");
  FILE* input = request.body.empty()
                    ? emptyInput
                    : fmemopen(const_cast<char*>(request.body.data()), request.body.size(), "r");
  char* buffer = nullptr;
  size_t length = 0;
  FILE* output = open_memstream(&buffer, &length);
  Outcome outcome;
  if (input == nullptr || output == nullptr) return outcome;

  failing.count = 0;
  failing.failAt = failAt;
  failing.failed = false;
  const int64_t liveBefore = injector.live;
  injector.armed = true;
  cInjector.armed = &failing == &cInjector;
  outcome.status = HandleRequest(request.environment, input, output);
  cInjector.armed = false;
  injector.armed = false;
  outcome.allocationsKept = injector.live - liveBefore;

  std::fclose(output);
  if (input != emptyInput) std::fclose(input);
  outcome.output.assign(buffer, length);
  std::free(buffer);
  return outcome;
}

std::string MixedData(size_t length) {
  // Digits, upper and lower case, punctuation and bytes above 127 in runs that keep the
  // automatic encodation switching between its schemes.
  const std::string pattern = "1234567890ABCDEFGHIJabcdefghij*>: \r!#%26%2B%C3%A9ABC-DEF/123.45~1";
  std::string data;
  while (data.size() < length) data += pattern;
  return data.substr(0, length);
}

CgiEnvironment Get(const std::string& query) { return {std::string("GET"), query, std::nullopt}; }

std::vector<RequestCase> RepresentativeRequests() {
  const std::string postBody = "data=" + MixedData(300) + "&mode=0&w=250&h=180&debug=1";
  return {
      {"DefaultRequest", Get(""), "", false},
      {"DebugLongDataMode0", Get("debug=1&mode=0&data=" + MixedData(900)), "", true},
      {"LargestImage", Get("w=699&h=699&debug=1&data=" + MixedData(120) + "&bcolor=ffee00&fcolor=102030"), "", true},
      {"HelpRequest", Get("help=1&debug=1"), "", true},
      {"SvgRequest", Get("out=svg&debug=1&w=300&h=200&angle=90&data=" + MixedData(120)), "", true},
      {"PostRequest", {std::string("POST"), std::nullopt, std::to_string(postBody.size())}, postBody, true},
      {"FailingRequestWithDebug", Get("debug=1&fmt=1&data=" + MixedData(200)), "", true},
      {"Gs1Request", Get("debug=1&gs1=1&data=(01)09501101530003(17)270630(10)AB-123(21)XYZ987"), "", true},
      {"Gs1FaultWithDebug", Get("debug=1&gs1=1&data=(01)09501101530003(21)A(21)B"), "", true},
      {"Utf8Request", Get("debug=1&utf8=1&data=Stra%C3%9Fe"), "", true},
      {"CompactRequest", Get("compact=1&debug=1&w=300&h=200&angle=90&bcolor=ffee00&data=" + MixedData(120)), "", true},
  };
}

class AllocationFailureTest : public ::testing::TestWithParam<RequestCase> {};

// An injected failure must end the request as an exception or an unallocatable raster ends it.
void ExpectFailureOutcome(const RequestCase& request, const Outcome& outcome, uint64_t failAt) {
  SCOPED_TRACE("allocation " + std::to_string(failAt) + " failed");
  const std::string unknownException = ExpectedErrorPage(ErrorMessage(Result::UnknownException));
  if (outcome.status == Result::PngInitFailed) {
    EXPECT_EQ(outcome.output, request.debug ? ExpectedErrorPage(ErrorMessage(Result::PngInitFailed)) : "");
    return;
  }
  EXPECT_EQ(outcome.status, 0);
  if (!outcome.output.empty()) {
    EXPECT_TRUE(request.debug) << "the page for code 14 without debug";
    EXPECT_EQ(outcome.output, unknownException);
  }
}

// The untouched run must give what the request gives without any injection; a PNG differs
// only in its time stamp, so it is compared by its pixels.
void ExpectSameResponse(const Outcome& expected, const Outcome& actual) {
  EXPECT_EQ(actual.status, expected.status);
  const std::string pngHeader = "Content-type: image/png\n\n";
  if (expected.output.rfind(pngHeader, 0) != 0) {
    EXPECT_EQ(actual.output, expected.output);
    return;
  }
  ASSERT_EQ(actual.output.rfind(pngHeader, 0), 0u);
  PngInfo expectedPng;
  PngInfo actualPng;
  ASSERT_TRUE(ReadPng(expected.output.substr(pngHeader.size()), expectedPng));
  ASSERT_TRUE(ReadPng(actual.output.substr(pngHeader.size()), actualPng));
  EXPECT_EQ(actualPng.width, expectedPng.width);
  EXPECT_EQ(actualPng.height, expectedPng.height);
  EXPECT_TRUE(actualPng.rgb == expectedPng.rgb);
}

TEST_P(AllocationFailureTest, EveryFailingAllocationEndsTheRequestCleanly) {
  const RequestCase& request = GetParam();
  // The first run may leave caches behind that later runs reuse; it is the reference.
  const Outcome reference = RunRequest(request, 0);
  ASSERT_GE(reference.status, 0);
  constexpr uint64_t kMaxAllocations = 200000;
  uint64_t failAt = 1;
  uint64_t injected = 0;
  for (; failAt <= kMaxAllocations; ++failAt) {
    const Outcome outcome = RunRequest(request, failAt);
    EXPECT_EQ(outcome.allocationsKept, 0) << "allocations kept after a request, allocation " << failAt << " failing";
    if (!injector.failed) {
      ExpectSameResponse(reference, outcome);
      break;
    }
    ++injected;
    ExpectFailureOutcome(request, outcome, failAt);
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_LE(failAt, kMaxAllocations) << "the request never got through";
  EXPECT_GT(injected, 0u) << "the request allocated nothing through operator new";
  std::printf("[ %s ] %llu allocations, each made to fail once\n", request.name,
              static_cast<unsigned long long>(injected));
#ifdef KORVEX_HAS_LEAK_CHECK
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "leaks after the failing runs";
#endif
}

// libpng, zlib and the memory stream allocate with malloc: each of their allocations fails once
// in turn, and no run may hand out a PNG that is not the whole image.
TEST(CAllocationFailureTest, FailureInsideThePngWriteNeverGivesAPartialImage) {
#ifndef KORVEX_REPLACES_MALLOC
  GTEST_SKIP() << "the sanitizer runtime owns malloc";
#else
  const RequestCase requests[] = {{"Label", Get("w=300&h=200&data=Inside+libpng&bcolor=204080"), "", false},
                                  {"LabelWithDebug", Get("debug=1&w=300&h=200&data=Inside+libpng"), "", true},
                                  {"CompactLabel", Get("compact=1&w=300&h=200&data=Inside+libpng&bcolor=204080"), "", false},
                                  {"CompactLabelWithDebug", Get("compact=1&debug=1&w=300&h=200&data=Inside+libpng"), "",
                                   true}};
  for (const RequestCase& request : requests) {
    SCOPED_TRACE(request.name);
    const Outcome reference = RunRequest(request, 0, cInjector);
    ASSERT_EQ(reference.status, 0);
    uint64_t failAt = 1;
    uint64_t imageFailures = 0;
    for (; failAt <= 100000; ++failAt) {
      const Outcome outcome = RunRequest(request, failAt, cInjector);
      if (!cInjector.failed) {
        ExpectSameResponse(reference, outcome);
        break;
      }
      imageFailures += outcome.status == Result::PngInitFailed ? 1 : 0;
      ExpectFailureOutcome(request, outcome, failAt);
      EXPECT_EQ(outcome.output.find("image/png"), std::string::npos) << "allocation " << failAt;
      if (::testing::Test::HasFailure()) break;
    }
    EXPECT_LE(failAt, 100000u) << "the request never got through";
    EXPECT_GT(imageFailures, 0u) << "no failure reached the PNG writer";
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(Requests, AllocationFailureTest, ::testing::ValuesIn(RepresentativeRequests()),
                         [](const ::testing::TestParamInfo<RequestCase>& info) { return std::string(info.param.name); });

}  // namespace
