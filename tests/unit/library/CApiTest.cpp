// The C interface against the web road it stands on: typed options give the symbol and the
// image of the web parameters they stand for, plain bytes reach the encoder unaltered, and a
// typed value that the web would silently replace is refused with the option's name.
#include <gtest/gtest.h>

#include <korvex/korvex.h>

#include <memory>
#include <string>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestHandler.h"
#include "support/Decoders.h"
#include "support/PngReader.h"
#include "support/ReadBack.h"

using namespace korvex::internal;

namespace {

using SymbolPtr = std::unique_ptr<korvex_symbol, decltype(&korvex_symbol_free)>;

SymbolPtr Encoded(const std::string& data, const korvex_encode_options& options) {
  korvex_symbol* symbol = nullptr;
  korvex_encode(data.data(), data.size(), &options, &symbol);
  return SymbolPtr(symbol, korvex_symbol_free);
}

SymbolPtr FromParameters(const korvex::Request& request) {
  std::vector<korvex_parameter> parameters;
  for (const auto& [name, value] : request) parameters.push_back({name.c_str(), value.c_str()});
  korvex_symbol* symbol = nullptr;
  korvex_encode_parameters(parameters.data(), parameters.size(), &symbol);
  return SymbolPtr(symbol, korvex_symbol_free);
}

std::vector<uint8_t> Modules(const korvex_symbol* symbol) {
  const uint8_t* modules = korvex_symbol_modules(symbol);
  return {modules, modules + static_cast<std::size_t>(korvex_symbol_rows(symbol)) * korvex_symbol_cols(symbol)};
}

// The modules drawn four pixels each with two light modules around, as zxing reads them.
std::optional<Decoded> ReadModules(const korvex_symbol* symbol) {
  constexpr int kModule = 4;
  constexpr int kQuiet = 2;
  Raster raster;
  raster.width = (korvex_symbol_cols(symbol) + 2 * kQuiet) * kModule;
  raster.height = (korvex_symbol_rows(symbol) + 2 * kQuiet) * kModule;
  raster.pixels.assign(static_cast<std::size_t>(raster.width) * raster.height, 255);
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      if (korvex_symbol_module(symbol, y / kModule - kQuiet, x / kModule - kQuiet) == 1) {
        raster.pixels[static_cast<std::size_t>(y) * raster.width + x] = 0;
      }
    }
  }
  return ReadWithZxing(raster);
}

korvex_encode_options EncodeDefaults() {
  korvex_encode_options options;
  korvex_encode_options_init(&options);
  return options;
}

korvex_drawing_options DrawingDefaults() {
  korvex_drawing_options options;
  korvex_drawing_options_init(&options);
  return options;
}

struct EncodeCase {
  const char* name;
  std::string data;
  int32_t input;
  void (*adjust)(korvex_encode_options&);
  korvex::Request web;  // the same symbol asked of the web
  std::string decoded;  // what zxing reads
};

void Keep(korvex_encode_options&) {}

TEST(CApiEncodeTest, TypedOptionsGiveTheSymbolOfTheirWebParameters) {
  const std::string bytes("a\0b~1c~X41~", 11);
  const EncodeCase cases[] = {
      {"plain bytes keep NUL and tilde", bytes, KORVEX_INPUT_BYTES, Keep,
       {{"data", "a~X00b~~1c~~X41~~"}}, bytes},
      {"all 256 byte values", [] { std::string all; for (int b = 0; b < 256; ++b) all += static_cast<char>(b); return all; }(),
       KORVEX_INPUT_BYTES, Keep, {}, ""},
      {"tilde escapes", "~1AB~X41", KORVEX_INPUT_TILDE, Keep, {{"data", "~1AB~X41"}}, "AB" "A"},
      {"GS1", "(01)09501101530003(10)AB-123", KORVEX_INPUT_GS1, Keep,
       {{"data", "(01)09501101530003(10)AB-123"}, {"gs1", "1"}}, "010950110153000310AB-123"},
      {"GS1 with GS", "(01)09501101530003(10)AB(21)12", KORVEX_INPUT_GS1, [](korvex_encode_options& o) { o.gs1_separator = 1; },
       {{"data", "(01)09501101530003(10)AB(21)12"}, {"gs1", "1"}, {"gssep", "1"}}, "010950110153000310AB\x1d" "2112"},
      {"UTF-8", "Straße ~1", KORVEX_INPUT_UTF8, Keep, {{"data", "Straße ~~1"}, {"utf8", "1"}}, "Straße ~1"},
      {"Digital Link URI", "https://example.com/~1/01/09506000134352/10/A1", KORVEX_INPUT_GS1_DIGITAL_LINK, Keep,
       {{"data", "https://example.com/~1/01/09506000134352/10/A1"}, {"gs1dl", "1"}}, ""},
      {"Digital Link built", "(01)09506000134352(17)261231", KORVEX_INPUT_GS1,
       [](korvex_encode_options& o) { o.digital_link_stem = "1"; },
       {{"data", "https://id.gs1.org/01/09506000134352?17=261231"}, {"gs1dl", "1"}},
       "https://id.gs1.org/01/09506000134352?17=261231"},
      {"format", "0123456789", KORVEX_INPUT_BYTES, [](korvex_encode_options& o) { o.format = 25; },
       {{"data", "0123456789"}, {"fmt", "25"}}, "0123456789"},
      {"shape", "Rectangle", KORVEX_INPUT_BYTES, [](korvex_encode_options& o) { o.shape = KORVEX_SHAPE_RECTANGLE; },
       {{"data", "Rectangle"}, {"shape", "1"}}, "Rectangle"},
      {"DMRE format", "DMRE", KORVEX_INPUT_BYTES,
       [](korvex_encode_options& o) { o.dmre = 1; o.format = 35; },
       {{"data", "DMRE"}, {"dmre", "1"}, {"fmt", "35"}}, "DMRE"},
      {"mode", "ABCDEF123", KORVEX_INPUT_BYTES, [](korvex_encode_options& o) { o.mode = KORVEX_MODE_C40; },
       {{"data", "ABCDEF123"}, {"mode", "2"}}, "ABCDEF123"},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    korvex_encode_options options = EncodeDefaults();
    options.input = c.input;
    c.adjust(options);
    const SymbolPtr symbol = Encoded(c.data, options);
    ASSERT_NE(symbol, nullptr);
    ASSERT_EQ(korvex_symbol_code(symbol.get()), 0) << korvex_symbol_detail(symbol.get());
    const std::optional<Decoded> read = ReadModules(symbol.get());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->bytes, c.decoded.empty() ? c.data : c.decoded);
    if (c.web.empty()) continue;
    const SymbolPtr web = FromParameters(c.web);
    ASSERT_EQ(korvex_symbol_code(web.get()), 0);
    EXPECT_EQ(Modules(symbol.get()), Modules(web.get()));
    EXPECT_EQ(korvex_symbol_format(symbol.get()), korvex_symbol_format(web.get()));
  }
}

TEST(CApiEncodeTest, GivesFormatDataCodewordsAndCapacity) {
  const struct {
    std::string data;
    int32_t mode;
    int32_t rows, cols, format, used, capacity;
  } cases[] = {
      // ASCII: one codeword per letter, one per digit pair; 12x12 holds 5, 14x14 8, 10x10 3.
      {"Hello", KORVEX_MODE_ASCII, 12, 12, 2, 5, 5},
      {"ABCDEF", KORVEX_MODE_ASCII, 14, 14, 3, 6, 8},
      {"123456", KORVEX_MODE_ASCII, 10, 10, 1, 3, 3},
      {"1234567", KORVEX_MODE_ASCII, 12, 12, 2, 4, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    korvex_encode_options options = EncodeDefaults();
    options.mode = c.mode;
    const SymbolPtr symbol = Encoded(c.data, options);
    ASSERT_EQ(korvex_symbol_code(symbol.get()), 0);
    EXPECT_EQ(korvex_symbol_rows(symbol.get()), c.rows);
    EXPECT_EQ(korvex_symbol_cols(symbol.get()), c.cols);
    EXPECT_EQ(korvex_symbol_format(symbol.get()), c.format);
    EXPECT_EQ(korvex_symbol_data_codewords(symbol.get()), c.used);
    EXPECT_EQ(korvex_symbol_capacity(symbol.get()), c.capacity);
    EXPECT_EQ(korvex_symbol_module(symbol.get(), c.rows, 0), -1);
    EXPECT_EQ(korvex_symbol_module(symbol.get(), 0, -1), -1);
    // The finder pattern: the left column is dark all the way.
    EXPECT_EQ(korvex_symbol_module(symbol.get(), c.rows - 1, 0), 1);
  }
}

TEST(CApiEncodeTest, RefusesWhatTheWebWouldReplaceAndReportsTheRoadsFailures) {
  const struct {
    const char* name;
    std::string data;
    void (*adjust)(korvex_encode_options&);
    int32_t code;
    std::string detail;
  } cases[] = {
      {"format beyond the table", "x", [](korvex_encode_options& o) { o.format = 49; }, 1, "format: 49 is out of range"},
      {"DMRE format without dmre", "x", [](korvex_encode_options& o) { o.format = 35; }, 1, "format: 35 is out of range"},
      {"shape", "x", [](korvex_encode_options& o) { o.shape = 3; }, 1, "shape: 3 is out of range"},
      {"mode", "x", [](korvex_encode_options& o) { o.mode = 7; }, 1, "mode: 7 is out of range"},
      {"input", "x", [](korvex_encode_options& o) { o.input = 5; }, 1, "input: 5 is out of range"},
      {"NUL in tilde data", std::string("a\0b", 3), [](korvex_encode_options& o) { o.input = KORVEX_INPUT_TILDE; }, 1,
       "data: a NUL byte cannot be part of tilde, GS1 or Digital Link text (~X00 writes one in tilde data)"},
      {"Digital Link check digit", "https://id.gs1.org/01/09506000134353",
       [](korvex_encode_options& o) { o.input = KORVEX_INPUT_GS1_DIGITAL_LINK; }, 5,
       "GS1 Digital Link: /01/09506000134353: check digit should be 2"},
      {"too long for format 1", std::string(40, 'A'), [](korvex_encode_options& o) { o.format = 1; }, 10, ""},
      {"GS1 check digit", "(01)09501101530004", [](korvex_encode_options& o) { o.input = KORVEX_INPUT_GS1; }, 5,
       "GS1: (01) 09501101530004: check digit should be 3"},
      {"not UTF-8", "\xff", [](korvex_encode_options& o) { o.input = KORVEX_INPUT_UTF8; }, 5,
       "UTF-8: the data is not valid UTF-8 text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    korvex_encode_options options = EncodeDefaults();
    c.adjust(options);
    const SymbolPtr symbol = Encoded(c.data, options);
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(korvex_symbol_code(symbol.get()), c.code);
    EXPECT_STREQ(korvex_symbol_message(symbol.get()), korvex_message(c.code));
    EXPECT_EQ(korvex_symbol_detail(symbol.get()), c.detail);
    EXPECT_EQ(korvex_symbol_rows(symbol.get()), 0);
    // A writer given the failed symbol reports its failure.
    unsigned char* bytes = nullptr;
    std::size_t size = 0;
    korvex_error* error = nullptr;
    EXPECT_EQ(korvex_write_png(symbol.get(), nullptr, &bytes, &size, &error), c.code);
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(korvex_error_detail(error), c.detail);
    korvex_error_free(error);
  }
}

using Writer = int32_t (*)(const korvex_symbol*, const korvex_drawing_options*, unsigned char**, size_t*,
                           korvex_error**);

// The writer's bytes, or its code and detail as text.
std::string Written(Writer write, const korvex_symbol* symbol, const korvex_drawing_options& options) {
  unsigned char* bytes = nullptr;
  std::size_t size = 0;
  korvex_error* error = nullptr;
  const int32_t code = write(symbol, &options, &bytes, &size, &error);
  std::string result = code == 0 ? std::string(reinterpret_cast<char*>(bytes), size)
                                 : "code " + std::to_string(code) + ": " + korvex_error_detail(error);
  korvex_free(bytes);
  korvex_error_free(error);
  return result;
}

std::string WebBody(korvex::Request request) {
  const korvex::Answer answer = korvex::Render(request);
  return answer.code == 0 ? answer.body : "code " + std::to_string(answer.code) + ": " + answer.detail;
}

TEST(CApiWriterTest, DrawsAsTheWebAnswersTheSameParameters) {
  const struct {
    const char* name;
    void (*adjust)(korvex_drawing_options&);
    korvex::Request web;  // beside data=Label
  } cases[] = {
      {"defaults", [](korvex_drawing_options&) {}, {}},
      {"module size", [](korvex_drawing_options& o) { o.module_size = 3; }, {{"xdim", "3"}}},
      {"fitted with alignment", [](korvex_drawing_options& o) { o.width = 200; o.height = 120; o.align_h = 0; o.align_v = 2; },
       {{"w", "200"}, {"h", "120"}, {"alignh", "0"}, {"alignv", "2"}}},
      {"width alone", [](korvex_drawing_options& o) { o.width = 150; }, {{"w", "150"}}},
      {"quiet zone and colours", [](korvex_drawing_options& o) { o.quiet_zone = 4; o.foreground = 0x000080; o.background = 0xffff00; },
       {{"qsize", "4"}, {"fcolor", "000080"}, {"bcolor", "ffff00"}}},
      {"no quiet zone", [](korvex_drawing_options& o) { o.quiet_zone = 0; }, {{"quiet", "0"}}},
      {"rotation and dpi", [](korvex_drawing_options& o) { o.angle = 270; o.dpi = 300; }, {{"angle", "270"}, {"dpi", "300"}}},
      {"too large an image", [](korvex_drawing_options& o) { o.module_size = 5000; }, {{"xdim", "5000"}}},
  };
  korvex_encode_options encode = EncodeDefaults();
  encode.input = KORVEX_INPUT_TILDE;
  const SymbolPtr symbol = Encoded("Label~1", encode);
  ASSERT_EQ(korvex_symbol_code(symbol.get()), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    korvex_drawing_options options = DrawingDefaults();
    c.adjust(options);
    korvex::Request web = c.web;
    web.emplace_back("data", "Label~1");
    EXPECT_EQ(WithoutPngTime(Written(korvex_write_png, symbol.get(), options)), WithoutPngTime(WebBody(web)));
    web.emplace_back("compact", "1");
    EXPECT_EQ(WithoutPngTime(Written(korvex_write_compact_png, symbol.get(), options)), WithoutPngTime(WebBody(web)));
    web.back() = {"out", "svg"};
    EXPECT_EQ(Written(korvex_write_svg, symbol.get(), options), WebBody(web));
  }
  // The writer's own image reads back.
  PngInfo png;
  ASSERT_TRUE(ReadPng(Written(korvex_write_png, symbol.get(), DrawingDefaults()), png));
  const std::optional<Decoded> read = ReadWithZxing(ToRaster(png));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->bytes, "Label\x1d");
}

TEST(CApiWriterTest, RefusesDrawingOptionsTheWebWouldReplace) {
  const struct {
    void (*adjust)(korvex_drawing_options&);
    std::string answer;
  } cases[] = {
      {[](korvex_drawing_options& o) { o.angle = 45; }, "code 1: angle: 45 is out of range"},
      {[](korvex_drawing_options& o) { o.width = 700; }, "code 1: width: 700 is out of range"},
      {[](korvex_drawing_options& o) { o.height = -1; }, "code 1: height: -1 is out of range"},
      {[](korvex_drawing_options& o) { o.module_size = 0; }, "code 1: module_size: 0 is out of range"},
      {[](korvex_drawing_options& o) { o.dpi = 4801; }, "code 1: dpi: 4801 is out of range"},
      {[](korvex_drawing_options& o) { o.align_h = 3; }, "code 1: align_h: 3 is out of range"},
      {[](korvex_drawing_options& o) { o.align_v = -1; }, "code 1: align_v: -1 is out of range"},
      {[](korvex_drawing_options& o) { o.foreground = 0x1000000; }, "code 1: colour: not an RGB value 0xRRGGBB"},
      // The barcode's own rule: no negative quiet zone.
      {[](korvex_drawing_options& o) { o.quiet_zone = -1; }, "code 1: "},
      // Fitted into too small an image.
      {[](korvex_drawing_options& o) { o.width = 5; o.height = 5; }, "code 4: "},
  };
  const SymbolPtr symbol = Encoded("Refused", EncodeDefaults());
  for (const auto& c : cases) {
    korvex_drawing_options options = DrawingDefaults();
    c.adjust(options);
    for (Writer write : {korvex_write_png, korvex_write_compact_png, korvex_write_svg}) {
      EXPECT_EQ(Written(write, symbol.get(), options), c.answer);
    }
  }
  unsigned char* bytes = nullptr;
  std::size_t size = 0;
  EXPECT_EQ(korvex_write_svg(nullptr, nullptr, &bytes, &size, nullptr), KORVEX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(korvex_write_svg(symbol.get(), nullptr, nullptr, &size, nullptr), KORVEX_ERROR_INVALID_ARGUMENT);
}

TEST(CApiVersionTest, MacrosAndFunctionGiveTheProjectVersion) {
  const std::string fromMacros = std::to_string(KORVEX_VERSION_MAJOR) + "." + std::to_string(KORVEX_VERSION_MINOR) +
                                 "." + std::to_string(KORVEX_VERSION_PATCH);
  EXPECT_EQ(fromMacros, KORVEX_VERSION_STRING);
  EXPECT_STREQ(korvex_version(), KORVEX_VERSION_STRING);
  EXPECT_EQ(KORVEX_VERSION_MAJOR, 2);
}

TEST(CApiCxxTest, TypedClassesThrowTheFailureAndDrawAsTheCCalls) {
  korvex::EncodeOptions options;
  options.input = korvex::Input::Gs1;
  const korvex::Symbol symbol = korvex::Encode("(01)09501101530003", options);
  EXPECT_EQ(symbol.Rows(), 16);
  EXPECT_EQ(symbol.Format(), 4);
  korvex::DrawingOptions drawing;
  drawing.angle = 90;
  korvex_drawing_options c = DrawingDefaults();
  c.angle = 90;
  EXPECT_EQ(symbol.Svg(drawing), Written(korvex_write_svg, symbol.Handle(), c));
  options.input = korvex::Input::Bytes;
  options.format = 1;
  try {
    korvex::Encode(std::string(40, 'A'), options);
    ADD_FAILURE() << "no exception";
  } catch (const korvex::Error& error) {
    EXPECT_EQ(error.Code(), 10);
    EXPECT_STREQ(error.Message(), korvex_message(10));
  }
  drawing.angle = 45;
  EXPECT_THROW(symbol.Png(drawing), korvex::Error);
}

}  // namespace
