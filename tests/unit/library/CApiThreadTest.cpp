// The C interface on several threads at once: each thread encodes, draws and renders, some of
// them from one shared symbol, and gets exactly what the same calls give on one thread. Uses the
// public header alone, so that a ThreadSanitizer build of the library can run it as it is.
#include <gtest/gtest.h>

#include <korvex/korvex.h>

#include <string>
#include <thread>
#include <vector>

namespace {

uint32_t BigEndian(const std::string& bytes, std::size_t at) {
  uint32_t value = 0;
  for (std::size_t i = at; i < at + 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[i]);
  return value;
}

// A PNG without the chunks that tell the time (tIME, "Creation Time"), which may differ from
// one second to the next; other bytes pass unchanged.
std::string Timeless(const std::string& bytes) {
  if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return bytes;
  std::string kept = bytes.substr(0, 8);
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const std::size_t length = 12 + BigEndian(bytes, at);
    const std::string chunk = bytes.substr(at, length);
    if (chunk.compare(4, 4, "tIME") != 0 && chunk.compare(4, 18, std::string("tEXtCreation Time\0", 18)) != 0) {
      kept += chunk;
    }
    at += length;
  }
  return kept;
}

// Everything one round of calls gives, as text, failures included.
std::string Round(const korvex_symbol* shared, int index) {
  const std::string data = "Thread " + std::to_string(index) + " ~1 " + std::string(static_cast<std::size_t>(index), 'x');
  korvex_encode_options encode;
  korvex_encode_options_init(&encode);
  encode.mode = index % 7;
  korvex_symbol* symbol = nullptr;
  std::string result = std::to_string(korvex_encode(data.data(), data.size(), &encode, &symbol));
  korvex_drawing_options drawing;
  korvex_drawing_options_init(&drawing);
  drawing.angle = 90 * (index % 4);
  drawing.module_size = 2 + index % 3;
  using Writer = int32_t (*)(const korvex_symbol*, const korvex_drawing_options*, unsigned char**, size_t*,
                             korvex_error**);
  for (const korvex_symbol* source : {static_cast<const korvex_symbol*>(symbol), shared}) {
    for (Writer write : {korvex_write_png, korvex_write_compact_png, korvex_write_svg}) {
      unsigned char* bytes = nullptr;
      std::size_t size = 0;
      korvex_error* error = nullptr;
      const int32_t code = write(source, &drawing, &bytes, &size, &error);
      result += "|" + std::to_string(code) + ":" + korvex_error_detail(error);
      result += Timeless(std::string(reinterpret_cast<char*>(bytes), size));
      korvex_free(bytes);
      korvex_error_free(error);
    }
  }
  korvex_symbol_free(symbol);
  const std::string size = std::to_string(100 + index);
  const korvex_parameter parameters[] = {{"data", data.c_str()}, {"w", size.c_str()}, {"out", "svg"}};
  korvex_answer* answer = nullptr;
  result += "|" + std::to_string(korvex_render(parameters, 3, &answer));
  std::size_t length = 0;
  const unsigned char* body = korvex_answer_body(answer, &length);
  result += korvex_answer_content_type(answer) + std::string(reinterpret_cast<const char*>(body), length);
  korvex_answer_free(answer);
  return result;
}

TEST(CApiThreadTest, CallsOnSeveralThreadsGiveWhatTheyGiveOnOne) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 6;
  korvex_symbol* shared = nullptr;
  ASSERT_EQ(korvex_encode("Shared", 6, nullptr, &shared), KORVEX_OK);
  std::vector<std::string> expected;
  for (int i = 0; i < kThreads * kRounds; ++i) expected.push_back(Round(shared, i));

  std::vector<std::vector<std::string>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) results[t].push_back(Round(shared, t * kRounds + r));
    });
  }
  for (std::thread& thread : threads) thread.join();
  korvex_symbol_free(shared);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(results[t].size(), static_cast<std::size_t>(kRounds));
    for (int r = 0; r < kRounds; ++r) EXPECT_EQ(results[t][r], expected[t * kRounds + r]) << "thread " << t << " round " << r;
  }
}

}  // namespace
