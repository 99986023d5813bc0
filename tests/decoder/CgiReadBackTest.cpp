// Symbols requested from the real CGI program, read from the PNG it wrote, and decoded by zxing-cpp
// and libdmtx. libdmtx misreads two valid shapes, where zxing alone is the judge: a C40, Text or
// X12 latch followed directly by the unlatch (C40 "A" gives 230 254 66), and the 144 x 144
// symbol's error-correction order (see EncoderReadBackTest).
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "request/QueryString.h"
#include "request/RequestSettings.h"
#include "request/DataMatrixBarcode.h"
#include "support/ReadBack.h"
#include "unit/gs1/Gs1ValidCases.h"

using namespace korvex::internal;

namespace {

struct Tally {
  int symbols = 0;
  int zxingOnly = 0;
};
Tally tally;

class TallyReport : public testing::Environment {
 public:
  void TearDown() override {
    std::cout << "[ read-back ] " << tally.symbols << " CGI symbols read back, " << tally.zxingOnly
              << " judged by zxing alone (libdmtx limitation)\n";
  }
};
const auto* const kTallyReport = testing::AddGlobalTestEnvironment(new TallyReport);

struct Request {
  std::string data;
  int mode = 0;
  int format = 0;
  int angle = 0;
  std::string extra;  // further parameters, "&name=value..."
};

std::string Query(const Request& r) {
  return "mode=" + std::to_string(r.mode) + "&fmt=" + std::to_string(r.format) + "&angle=" + std::to_string(r.angle) +
         "&xdim=3" + r.extra + "&data=" + UrlEncode(r.data);
}

// Whether libdmtx can judge the symbol the request produces; the same settings are encoded here
// to look at the codewords.
bool DmtxJudges(const Request& r) {
  const std::string query = Query(r);
  QueryString parameters(query.c_str());
  const RequestSettings settings = GatherRequestSettings(parameters);
  DataMatrixBarcode barcode;
  barcode.SetUpdateLock(true);
  barcode.SetEncodingMode(static_cast<int32_t>(settings.encoding.encodingMode));
  barcode.SetPreferredFormat(settings.encoding.preferredFormat);
  barcode.SetShape(static_cast<int32_t>(settings.encoding.shape));
  barcode.SetDmre(settings.encoding.dmre);
  barcode.SetDataToEncode(settings.encoding.data);
  if (barcode.SetUpdateLock(false) != Result::Ok) return false;
  const FormatInfo& format = barcode.CurrentFormat();
  // libdmtx reads none of the DMRE sizes.
  return format.id != 24 && format.id < kFirstDmreFormatId &&
         !HasLatchThenUnlatch(barcode.Codewords(), format.dataCodewords);
}

// How the test looks at the image: as written, or as it shows on a page (in a white margin,
// inverted when it is drawn light on dark).
enum class View { AsWritten, OnPage, OnPageInverted };

void ExpectCgiReads(const Request& request, const std::string& zxingExpected, const std::string& dmtxExpected,
                    View view = View::AsWritten) {
  std::string reason;
  auto raster = CgiImage(Query(request), &reason);
  ASSERT_TRUE(raster.has_value()) << reason << " for " << Query(request);
  if (view != View::AsWritten) raster = OnPage(*raster, 20);
  if (view == View::OnPageInverted) raster = Inverted(*raster);
  // libdmtx searches long before it gives up on a symbol it cannot read: ask it only where it judges.
  const bool dmtxJudges = DmtxJudges(request);
  const ReadOutcome read = dmtxJudges ? ReadBoth(*raster) : ReadOutcome{ReadWithZxing(*raster), std::nullopt};
  ++tally.symbols;
  ASSERT_TRUE(read.zxing.has_value()) << "zxing could not read " << Query(request);
  EXPECT_EQ(Printable(read.zxing->bytes), Printable(zxingExpected)) << Query(request);
  if (!dmtxJudges) {
    ++tally.zxingOnly;
    return;
  }
  ASSERT_TRUE(read.dmtx.has_value()) << "libdmtx could not read " << Query(request);
  EXPECT_EQ(Printable(read.dmtx->bytes), Printable(dmtxExpected)) << Query(request);
}

void ExpectCgiReads(const Request& request) { ExpectCgiReads(request, request.data, request.data); }

// The longest text from the mode's alphabet that the format holds and that a request can carry.
std::string FillingData(int mode, int formatId, std::mt19937& random) {
  const std::string alphabet = SchemeAlphabet(mode);
  const std::string text = RandomText(alphabet, 3400, random);
  const auto fits = [&](std::size_t length) {
    if (Query({text.substr(0, length), mode, formatId, 270, ""}).size() > 3600) return false;
    DataMatrixBarcode barcode;
    barcode.SetUpdateLock(true);
    barcode.SetEncodingMode(mode);
    barcode.SetPreferredFormat(formatId);
    barcode.SetDataToEncode(text.substr(0, length));
    return barcode.SetUpdateLock(false) == Result::Ok;
  };
  std::size_t low = 0;
  std::size_t high = text.size();
  while (low < high) {  // the largest length that fits; fitting is monotone but for the run ends
    const std::size_t mid = (low + high + 1) / 2;
    if (fits(mid)) low = mid; else high = mid - 1;
  }
  while (fits(low + 1)) ++low;
  return text.substr(0, low);
}

}  // namespace

class ModeFormatAngle : public testing::TestWithParam<int> {};

// Every mode in every format, as full as the format (or the request length) allows, at all angles.
TEST_P(ModeFormatAngle, FullSymbolsReadBack) {
  const int mode = GetParam();
  std::mt19937 random(4242u + static_cast<unsigned>(mode));
  for (int formatId = 1; formatId <= 30; ++formatId) {
    const std::string data = FillingData(mode, formatId, random);
    ASSERT_FALSE(data.empty()) << "format " << formatId;
    for (int angle : {0, 90, 180, 270}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " format " << formatId << " angle " << angle);
      ExpectCgiReads({data, mode, formatId, angle, ""});
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeFormatAngle, testing::Range(0, 7),
                         [](const testing::TestParamInfo<int>& info) { return "Mode" + std::to_string(info.param); });

struct EscapeCase {
  const char* name;
  std::string data;
  int mode;
  std::string zxing;  // what zxing returns as the data
  std::string dmtx;   // what libdmtx returns (FNC1 reported as 0x1D, ECI as the number's byte)
};

// Escapes through the whole request: percent-decoding, the tilde escapes, every mode.
TEST(CgiEscapes, ReadBackAsTheDecodersReportThem) {
  const std::string macro05 = "[)>\x1E" "05\x1D";
  const std::string macro06 = "[)>\x1E" "06\x1D";
  const std::string trailer = "\x1E\x04";
  const std::string nul(1, '\0');
  std::vector<EscapeCase> cases = {
      {"FNC1 first", "~10112345678901231", 0, "0112345678901231", "\x1D" "0112345678901231"},
      {"FNC1 mid-data", "ABC~1DEF123", 0, "ABC\x1D" "DEF123", "ABC\x1D" "DEF123"},
      {"ECI first", "~7000026Text", 0, "Text", "\x1A" "Text"},
      {"ECI mid-data", "AB~7000003CD", 0, "ABCD", "AB\x03" "CD"},
      {"reader programming", "~3PROGRAM", 0, "PROGRAM", "PROGRAM"},
      {"macro 05", "~5DATA", 0, macro05 + "DATA" + trailer, macro05 + "DATA" + trailer},
      {"macro 06", "~6DATA", 0, macro06 + "DATA" + trailer, macro06 + "DATA" + trailer},
      {"zero byte", "AB~X00CD", 0, "AB" + nul + "CD", "AB" + nul + "CD"},
      {"high bytes", "~X80~x9f~XFF", 0, "\x80\x9F\xFF", "\x80\x9F\xFF"},
      {"line feed and carriage return", "A~NB~RC", 0, "A\nB\rC", "A\nB\rC"},
      {"tilde", "~~1 and ~~", 0, "~1 and ~", "~1 and ~"},
      {"tilde before an unknown letter", "~Q", 0, "~Q", "~Q"},
      {"macro 05 with ECI", "~5~7000026AB", 0, macro05 + "AB" + trailer, macro05 + "\x1A" "AB" + trailer},
  };
  for (int mode = 1; mode <= 6; ++mode) {
    cases.push_back({"FNC1 mid-data in a fixed mode", "ABCDEF~1GHIJ", mode, "ABCDEF\x1DGHIJ", "ABCDEF\x1DGHIJ"});
    cases.push_back({"ECI mid-data in a fixed mode", "ABCDEF~7000026GHIJ", mode, "ABCDEFGHIJ", "ABCDEF\x1AGHIJ"});
    cases.push_back({"FNC1 first in a fixed mode", "~1ABCDEF", mode, "ABCDEF", "\x1D" "ABCDEF"});
  }
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " mode " << c.mode);
    ExpectCgiReads({c.data, c.mode, 0, 0, ""}, c.zxing, c.dmtx);
  }
}

// Colours, quiet zones, alignment and explicit sizes all leave a readable symbol. Images whose
// symbol touches or nearly touches their edge are read as they stand on a page.
TEST(CgiDrawing, ColoursQuietZonesAndSizes) {
  const std::string data = "Colours and quiet zones 0123456789";
  const struct {
    const char* extra;
    View view;
  } cases[] = {
      {"&fcolor=000080&bcolor=ffffe0", View::AsWritten},
      {"&fcolor=204020&bcolor=c0ffc0", View::AsWritten},
      {"&fcolor=ff0000&bcolor=ffffff", View::AsWritten},
      {"&fcolor=ffffff&bcolor=000000", View::OnPageInverted},
      {"&quiet=0&w=200&h=200", View::AsWritten},
      {"&qsize=4", View::AsWritten},
      {"&quiet=0&xdim=4", View::OnPage},
      {"&qsize=0&w=300&h=200&alignh=0&alignv=2", View::OnPage},
      {"&alignh=2&alignv=2&w=250&h=250", View::OnPage},
      {"&w=699&h=699", View::AsWritten},
      {"&w=150&h=220&alignv=0", View::OnPage},
      {"&w=220&h=150&alignh=2", View::OnPage},
  };
  for (const auto& c : cases) {
    for (int angle : {0, 90, 180, 270}) {
      SCOPED_TRACE(testing::Message() << c.extra << " angle " << angle);
      ExpectCgiReads({data, 0, 0, angle, c.extra}, data, data, c.view);
    }
  }
}

// Rectangles and DMRE sizes chosen by shape, at every angle, also at a print size.
TEST(CgiShapes, RectanglesAndDmreReadBack) {
  std::mt19937 random(1421u);
  const struct {
    const char* extra;
    std::vector<std::size_t> lengths;
  } cases[] = {
      {"&shape=1", {20}},
      {"&shape=1&dmre=1", {3, 40, 90}},
      {"&shape=2&dmre=1", {20, 200}},
      {"&shape=1&dmre=1&dpi=600&xmm=0.254", {60}},
  };
  for (const auto& c : cases) {
    for (std::size_t length : c.lengths) {
      const std::string data = RandomText(SchemeAlphabet(0), length, random);
      for (int angle : {0, 90, 180, 270}) {
        SCOPED_TRACE(testing::Message() << c.extra << " length " << length << " angle " << angle);
        ExpectCgiReads({data, 0, 0, angle, c.extra});
      }
    }
  }
}

// Random data of every kind with a fixed seed through the whole program.
TEST(CgiRandom, MixedDataReadsBack) {
  std::mt19937 random(20261208u);
  const std::string alphabets[] = {SchemeAlphabet(0), SchemeAlphabet(2), SchemeAlphabet(3), SchemeAlphabet(4),
                                   SchemeAlphabet(5), SchemeAlphabet(6), "0123456789", "aB1 ~~!\xE9\x80"};
  for (int i = 0; i < 1100; ++i) {
    std::string data;
    const int pieces = 1 + static_cast<int>(random() % 4);
    for (int p = 0; p < pieces; ++p) {
      const std::string& alphabet = alphabets[random() % std::size(alphabets)];
      data += RandomText(alphabet, 1 + random() % 60, random);
    }
    // A lone tilde would start an escape: keep the data literal by doubling every tilde.
    std::string literal;
    std::string expected;
    for (char c : data) {
      literal += c == '~' ? std::string("~~") : std::string(1, c);
    }
    for (std::size_t k = 0; k < literal.size(); ++k) {
      expected += literal[k];
      if (literal[k] == '~') ++k;
    }
    const int angle = 90 * static_cast<int>(random() % 4);
    SCOPED_TRACE(testing::Message() << "input " << i);
    ExpectCgiReads({literal, 0, 0, angle, ""}, expected, expected);
  }
}

// A GS1 request draws exactly the symbol of its tilde data, which zxing reads as GS1 (]d2) with
// GS between the element strings; utf8 draws the symbol of its data behind ECI 26.
TEST(CgiDataSwitches, SymbolsEqualTheirTildeDataAndReadBack) {
  const std::string medicine = "(01)09501101530003(17)270630(10)AB-123(21)XYZ987";
  const std::string medicineRead = "01095011015300031727063010AB-123\x1D" "21XYZ987";
  const std::string medicineLink = "https://id.gs1.org/01/09501101530003/10/AB-123/21/XYZ987?17=270630";
  const std::string digitalLink = "https://id.gs1.org/01/09506000134352/10/ABC123/21/XYZ?17=261231";
  const std::string tildes = "https://example.com/~shop/01/09506000134352?x=~1#~~7000026";
  const struct {
    std::string query;
    std::string tildeData;
    std::string symbologyId;
    std::string text;
    std::string extra = "";  // further parameters of both requests
  } cases[] = {
      {"gs1=1&data=" + UrlEncode(medicine), "~101095011015300031727063010AB-123~121XYZ987", "]d2", medicineRead},
      {"gs1=1&gssep=1&data=" + UrlEncode(medicine), "~101095011015300031727063010AB-123~X1D21XYZ987", "]d2",
       medicineRead},
      {"gs1=1&data=" + UrlEncode(medicine), "~101095011015300031727063010AB-123~121XYZ987", "]d2", medicineRead,
       "&mode=2&angle=90&fcolor=000080"},
      {"gs1=1&data=" + UrlEncode("(00)106141411234567897"), "~100106141411234567897", "]d2", "00106141411234567897"},
      {"gs1=1&data=" + UrlEncode("(01)09501101530003(11)250101(17)270630(10)L1(21)S1"),
       "~10109501101530003112501011727063010L1~121S1", "]d2", "0109501101530003112501011727063010L1\x1D" "21S1"},
      {"gs1=1&data=" + UrlEncode("(8003)09506000134352ABC123(400)B2"), "~1800309506000134352ABC123~1400B2", "]d2",
       "800309506000134352ABC123\x1D" "400B2"},
      {"gs1=1&data=" + UrlEncode("(8003)09506000134352(400)B2"), "~1800309506000134352~1400B2", "]d2",
       "800309506000134352\x1D" "400B2"},
      {"gs1=1&data=" + UrlEncode("(00)106141411234567897(4330)001234-"), "~1001061414112345678974330001234-", "]d2",
       "001061414112345678974330001234-"},
      {"gs1=1&data=" + UrlEncode("(00)106141411234567897(4330)001234(400)P1"),
       "~1001061414112345678974330001234~1400P1", "]d2", "001061414112345678974330001234\x1D" "400P1"},
      {"gs1=1&data=" + UrlEncode("(01)09501101530003(10)A~X28B~X29"), "~1010950110153000310A~X28B~X29", "]d2",
       "010950110153000310A(B)"},
      {"utf8=1&data=" + UrlEncode("Stra\xC3\x9F" "e"), "~7000026Stra\xC3\x9F" "e", "]d1", "Stra\xC3\x9F" "e"},
      {"utf8=1&data=" + UrlEncode("~1Stra~XC3~X9F" "e"), "~1~7000026Stra~XC3~X9F" "e", "]d2", "Stra\xC3\x9F" "e"},
      {"utf8=1&data=Strasse", "Strasse", "]d1", "Strasse"},
      // A GS1 Digital Link URI is plain data (]d1), its tildes literal: no escape, no FNC1.
      {"gs1dl=1&data=" + UrlEncode(digitalLink), digitalLink, "]d1", digitalLink},
      {"gs1dl=1&data=" + UrlEncode(tildes), "https://example.com/~~shop/01/09506000134352?x=~~1#~~~~7000026", "]d1",
       tildes},
      {"gs1dl=1&utf8=1&gs1=1&gssep=1&data=" + UrlEncode(digitalLink), digitalLink, "]d1", digitalLink, "&mode=4"},
      {"gs1dl=1&data=" + UrlEncode(digitalLink), digitalLink, "]d1", digitalLink, "&minimal=1&compact=1"},
      {"gs1=1&dl=1&minimal=1&data=" + UrlEncode(medicine), medicineLink, "]d1", medicineLink, "&minimal=1"},
      {"gs1=1&dl=1&data=" + UrlEncode(medicine), medicineLink, "]d1", medicineLink},
      {"gs1=1&dl=" + UrlEncode("http://example.com/~p/") + "&data=" + UrlEncode("(8003)09506000134352A~X28"),
       "http://example.com/~~p/8003/09506000134352A%28", "]d1", "http://example.com/~p/8003/09506000134352A%28"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    std::string reason;
    const auto raster = CgiImage(c.query + c.extra, &reason);
    ASSERT_TRUE(raster.has_value()) << reason;
    const auto tildeRaster = CgiImage("data=" + UrlEncode(c.tildeData) + c.extra, &reason);
    ASSERT_TRUE(tildeRaster.has_value()) << reason;
    EXPECT_EQ(raster->width, tildeRaster->width);
    EXPECT_TRUE(raster->pixels == tildeRaster->pixels) << "the symbol differs from that of " << c.tildeData;
    const auto read = ReadWithZxing(*raster);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->symbologyId, c.symbologyId);
    EXPECT_EQ(Printable(read->text), Printable(c.text));
    // The escape leads the data (after FNC1); a URI's literal "~~7000026" is no ECI.
    const bool utf8Eci = c.tildeData.rfind("~7000026", 0) == 0 || c.tildeData.rfind("~1~7000026", 0) == 0;
    EXPECT_EQ(read->bytesWithEci.find("\\000026") != std::string::npos, utf8Eci) << Printable(read->bytesWithEci);
  }
}

// Every valid element string set of the GS1 tables that forms a URI: the symbol of gs1 with dl
// is the symbol of that URI under gs1dl, and zxing reads exactly the URI back, as plain data.
TEST(CgiDataSwitches, DigitalLinksReadBackAsExactlyTheUri) {
  int symbols = 0;
  for (const ValidGs1Case& row : ValidGs1Cases()) {
    if (row.digitalLink.empty()) continue;
    SCOPED_TRACE(row.bracketData);
    std::string reason;
    const auto built = CgiImage("xdim=3&gs1=1&dl=1&data=" + UrlEncode(row.bracketData), &reason);
    ASSERT_TRUE(built.has_value()) << reason;
    const auto checked = CgiImage("xdim=3&gs1dl=1&data=" + UrlEncode(row.digitalLink), &reason);
    ASSERT_TRUE(checked.has_value()) << reason;
    EXPECT_TRUE(built->pixels == checked->pixels);
    const auto read = ReadWithZxing(*built);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->symbologyId, "]d1");
    EXPECT_EQ(read->bytes, row.digitalLink);
    ++symbols;
  }
  EXPECT_GE(symbols, 10);
}
