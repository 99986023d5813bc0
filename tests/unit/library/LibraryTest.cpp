// libkorvex's public API against the request handler it wraps: the same answers for the same
// parameters, and a module matrix that a reader decodes; and the same answers again when eight
// threads ask at once (run under ThreadSanitizer too, by `make test`).
#include <gtest/gtest.h>

#include <korvex/korvex.h>

#include <string>
#include <thread>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestHandler.h"
#include "support/Decoders.h"
#include "support/PngReader.h"

using namespace korvex::internal;

namespace {

// A query without escapes as the library's name and value pairs.
korvex::Request AsRequest(const std::string& query) {
  korvex::Request request;
  std::size_t start = 0;
  while (start < query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    request.emplace_back(pair.substr(0, equals), equals == std::string::npos ? "" : pair.substr(equals + 1));
    start = end + 1;
  }
  return request;
}

struct RenderCase {
  std::string query;
  int32_t code;
  std::string contentType;
};

class LibraryRenderTest : public ::testing::TestWithParam<RenderCase> {};

TEST_P(LibraryRenderTest, AnswersAsTheRequestHandler) {
  const RenderCase& c = GetParam();
  QueryString query(c.query.c_str());
  const Answer expected = AnswerParameters(query, RequestLimits());
  const korvex::Answer answer = korvex::Render(AsRequest(c.query));
  EXPECT_EQ(answer.code, c.code);
  EXPECT_EQ(answer.message, ErrorMessage(c.code));
  EXPECT_EQ(answer.contentType, c.contentType);
  EXPECT_EQ(answer.detail, expected.detail);
  EXPECT_EQ(answer.status, expected.status);
  EXPECT_EQ(WithoutPngTime(answer.body), WithoutPngTime(expected.body));
}

const std::string kTooLongForTenByTen(40, 'A');

const RenderCase kRenderCases[] = {
    {"", 0, "image/png"},
    {"data=Label&w=200&h=120&fmt=27&angle=90&bcolor=ffff00&fcolor=000080&alignh=0", 0, "image/png"},
    {"data=~1010123456789012&xdim=3&qsize=4&mode=2", 0, "image/png"},
    {"gs1=1&data=(01)09501101530003(17)270630(10)AB-123", 0, "image/png"},
    {"gs1=1&data=(01)09501101530004&debug=1", 5, "text/html"},
    {"help=1", 0, "text/html"},
    {"data=" + kTooLongForTenByTen + "&fmt=1", 10, ""},
    {"data=" + kTooLongForTenByTen + "&fmt=1&debug=1", 10, "text/html"},
    {"xdim=500", 3, ""},
    {"data=Label&out=svg&w=200&h=200&dpi=300&angle=270", 0, "image/svg+xml"},
    {"data=Straße&utf8=1&dmre=1&shape=1&dpi=600&xmm=0.25", 0, "image/png"},
    {"compact=1&data=Label&w=200&h=120&angle=90&bcolor=ffff00&dpi=300", 0, "image/png"},
    {"compact=1&xdim=500", 3, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, LibraryRenderTest, ::testing::ValuesIn(kRenderCases));

// Eight threads render every case and encode its matrix, each starting at another case, and
// every answer must be the one the same request got alone (the PNG's time chunks aside).
TEST(LibraryThreadTest, ThreadsGetTheAnswersOfRequestsMadeAlone) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 3;
  struct Expected {
    korvex::Request request;
    std::string body;
    std::vector<uint8_t> modules;
  };
  std::vector<Expected> expected;
  for (const RenderCase& c : kRenderCases) {
    const korvex::Request request = AsRequest(c.query);
    expected.push_back({request, WithoutPngTime(korvex::Render(request).body), korvex::EncodeMatrix(request).modules});
  }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i = 0; i < kRounds * expected.size(); ++i) {
        const Expected& e = expected[(i + static_cast<std::size_t>(t)) % expected.size()];
        if (WithoutPngTime(korvex::Render(e.request).body) != e.body) ++mismatches[t];
        if (korvex::EncodeMatrix(e.request).modules != e.modules) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

// The matrix drawn black on white with a quiet zone, four pixels per module.
Raster MatrixRaster(const korvex::ModuleMatrix& matrix) {
  constexpr int kModule = 4;
  constexpr int kQuiet = 2;
  Raster raster;
  raster.width = (matrix.cols + 2 * kQuiet) * kModule;
  raster.height = (matrix.rows + 2 * kQuiet) * kModule;
  raster.pixels.assign(static_cast<std::size_t>(raster.width) * raster.height, 255);
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      const int row = y / kModule - kQuiet;
      const int col = x / kModule - kQuiet;
      if (row >= 0 && row < matrix.rows && col >= 0 && col < matrix.cols && matrix.Dark(row, col)) {
        raster.pixels[static_cast<std::size_t>(y) * raster.width + x] = 0;
      }
    }
  }
  return raster;
}

TEST(LibraryMatrixTest, GivesTheEncodedSymbolOfDataAndFormat) {
  struct Case {
    std::string query;
    int rows;
    int cols;
    std::string decoded;
  };
  const Case cases[] = {
      {"data=Hello", 12, 12, "Hello"},
      {"data=0123456789&fmt=25", 8, 18, "0123456789"},
      {"data=ABC&fmt=5&angle=90&w=300&quiet=0", 18, 18, "ABC"},
      {"data=line~Nbreak&mode=1", 16, 16, "line\nbreak"},
      {"data=(01)09501101530003(10)AB-123&gs1=1", 18, 18, "010950110153000310AB-123"},
      {"data=Straße&utf8=1&fmt=31&dmre=1", 8, 48, "Straße"},
      {"data=https://example.com/~x/01/09506000134352?17=261231&gs1dl=1", 26, 26,
       "https://example.com/~x/01/09506000134352?17=261231"},
      {"data=(01)09506000134352&gs1=1&dl=1", 22, 22, "https://id.gs1.org/01/09506000134352"},
      // 16 x 16 without minimal.
      {"data=ABCDEFGHIJ&minimal=1", 14, 14, "ABCDEFGHIJ"},
      {"data=ABCDEFGHIJ&minimal=1&mode=2", 16, 16, "ABCDEFGHIJ"},
  };
  for (const Case& c : cases) {
    const korvex::ModuleMatrix matrix = korvex::EncodeMatrix(AsRequest(c.query));
    ASSERT_EQ(matrix.code, 0) << c.query << ": " << matrix.message;
    EXPECT_EQ(matrix.rows, c.rows) << c.query;
    EXPECT_EQ(matrix.cols, c.cols) << c.query;
    ASSERT_EQ(matrix.modules.size(), static_cast<std::size_t>(c.rows) * c.cols) << c.query;
    const std::optional<Decoded> read = ReadWithZxing(MatrixRaster(matrix));
    ASSERT_TRUE(read.has_value()) << c.query;
    EXPECT_EQ(read->bytes, c.decoded) << c.query;
  }
  const korvex::ModuleMatrix refused = korvex::EncodeMatrix({{"data", kTooLongForTenByTen}, {"fmt", "1"}});
  EXPECT_EQ(refused.code, 10);
  EXPECT_EQ(refused.message, korvex::Message(10));
  EXPECT_TRUE(refused.modules.empty());
  const korvex::ModuleMatrix faulty = korvex::EncodeMatrix({{"data", "(01)09501101530004"}, {"gs1", "1"}});
  EXPECT_EQ(faulty.code, 5);
  EXPECT_EQ(faulty.detail, "GS1: (01) 09501101530004: check digit should be 3");
  const korvex::ModuleMatrix faultyLink =
      korvex::EncodeMatrix({{"data", "https://id.gs1.org/01/09506000134353"}, {"gs1dl", "1"}});
  EXPECT_EQ(faultyLink.code, 5);
  EXPECT_EQ(faultyLink.detail, "GS1 Digital Link: /01/09506000134353: check digit should be 2");
}

}  // namespace
