#include "gs1/Gs1Translation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gs1/Gs1AiTable.h"
#include "gs1/Gs1Linter.h"
#include "unit/gs1/Gs1ValidCases.h"

using namespace korvex::internal;

namespace {

TEST(Gs1TranslationTest, ValidElementStringsBecomeTildeData) {
  for (const ValidGs1Case& row : ValidGs1Cases()) {
    SCOPED_TRACE(row.bracketData);
    const StatusOr<std::string> translation = TranslateGs1(row.bracketData, row.gsSeparator);
    ASSERT_TRUE(translation.Ok()) << translation.Detail();
    EXPECT_EQ(*translation, row.tildeData);
  }
}

struct FaultCase {
  std::string bracketData;
  std::string fault;
};

// One case per rule, in the order the rules are checked.
TEST(Gs1TranslationTest, FirstFaultInWords) {
  const std::string gtin = "(01)09501101530003";
  const std::vector<FaultCase> cases = {
      {"01)09501101530003", "GS1: the data must start with an AI in brackets, such as (01)"},
      {"", "GS1: the data must start with an AI in brackets, such as (01)"},
      {"(1)23", "GS1: (1) is not an AI: an AI is 2 to 4 digits in brackets"},
      {"(01A)23", "GS1: (01A) is not an AI: an AI is 2 to 4 digits in brackets"},
      {"(01234567", "GS1: (01234... is not an AI: an AI is 2 to 4 digits in brackets"},
      {gtin + "(10)", "GS1: (10) has no value"},
      {gtin + "(10)A~1B", "GS1: (10) A~1B: a tilde may only start ~X28 or ~X29 (a bracket)"},
      {gtin + "(10)A)B", "GS1: (10) A)B: write a bracket inside a value as ~X28 for ( or ~X29 for )"},
      {"(3106)123456", "GS1: (3106) is not a known AI"},
      {"(0101)1", "GS1: (0101) is not a known AI"},
      {"(01)0950110153000A", "GS1: (01) 0950110153000A: 'A' is not a digit"},
      {gtin + "(10)AB#1", "GS1: (10) AB#1: '#' is not allowed (letters, digits and !\"%&'()*+,-./:;<=>?_ only)"},
      {gtin + "(10)A~X28\x01", "GS1: (10) A(~X01: '~X01' is not allowed (letters, digits and !\"%&'()*+,-./:;<=>?_ only)"},
      {"(8010)0950a(8011)1", "GS1: (8010) 0950a: 'a' is not allowed (capital letters, digits and # - / only)"},
      {gtin + "(21)1(8030)AB!C", "GS1: (8030) AB!C: '!' is not allowed (letters, digits, - and _ only)"},
      {gtin + "(21)1(8030)AB==", "GS1: (8030) AB==: the '=' padding at the end is not valid"},
      {"(01)0950110153000", "GS1: (01) 0950110153000: must be 14 digits"},
      {gtin + "(10)ABCDEFGHIJKLMNOPQRSTU", "GS1: (10) ABCDEFGHIJKLMNOPQRSTU: too long: at most 20 characters"},
      {gtin + "(7007)2001012001", "GS1: (7007) 2001012001: its last part is too short"},
      {"(8003)0950600013435", "GS1: (8003) 0950600013435: too short: at least 14 characters"},
      {"(01)09501101530004", "GS1: (01) 09501101530004: check digit should be 3"},
      {gtin + "(17)270631", "GS1: (17) 270631: not a valid date"},
      {gtin + "(7003)2701011260", "GS1: (7003) 2701011260: not a valid time (in 1260)"},
      {gtin + "(422)999", "GS1: (422) 999: not an ISO 3166 country code"},
      {"(8003)19506000134352", "GS1: (8003) 19506000134352: must be 0 (in 1)"},
      {"(8004)12A4567", "GS1: (8004) 12A4567: a GS1 company prefix starts with 4 digits"},
      {"(01)09501101530003(10)A(10)B", "GS1: (10) appears twice with different values"},
      {"(21)ABC", "GS1: (21) needs one of (01), (03), (8006)"},
      {"(254)1", "GS1: (254) needs (414)"},
      {gtin + "(250)X", "GS1: (250) needs one of (01) with (21), (03) with (21), (8006) with (21)"},
      {gtin + "(3920)100", "GS1: (3920) needs one of (01) with (30), (01) with (31nn), (01) with (32nn), "
                           "(01) with (35nn), (01) with (36nn)"},
      {gtin + "(3100)000100(3102)000200", "GS1: (3100) cannot be used together with (3102)"},
      {gtin + "(255)9501101530003", "GS1: (01) cannot be used together with (255)"},
      // A digital signature needs a serialised key: (253), (255) and (8003) with their serial part.
      {"(253)1234567890128(8030)ABC123", "GS1: (8030) needs a serialised key, and (253) has no serial part"},
      {"(255)9501101530003(8030)ABC123", "GS1: (8030) needs a serialised key, and (255) has no serial part"},
      {"(8003)09506000134352(8030)ABC123", "GS1: (8030) needs a serialised key, and (8003) has no serial part"},
      {"(8030)ABC123", "GS1: (8030) needs one of (00), (01) with (21), (03) with (21), (253), (255), (8003), (8004), "
                       "(8006) with (21), (8010) with (8011), (8017), (8018)"},
  };
  for (const FaultCase& row : cases) {
    SCOPED_TRACE(row.bracketData);
    const StatusOr<std::string> translation = TranslateGs1(row.bracketData, false);
    ASSERT_FALSE(translation.Ok());
    EXPECT_EQ(translation.Code(), Result::InvalidData);
    EXPECT_EQ(translation.Detail(), row.fault);
  }
}

struct LinterCase {
  Gs1Linter linter;
  std::vector<std::string> passes;
  std::vector<std::string> fails;
};

// The reference examples of every linter the dictionary names.
TEST(Gs1TranslationTest, LintersPassAndFailTheReferenceExamples) {
  using L = Gs1Linter;
  const std::vector<LinterCase> cases = {
      {L::Csum, {"02345673", "416000336108", "123456789012345675", "0"}, {"12345673", "", "12345678 012345675"}},
      {L::Csumalpha, {"22", "!22", "1987654Ad4X4bL5ttr2310c2K", "00000!HV", "12345678901234567890123NT"},
       {"33", "2", "1987654Ad4X4bL5ttr2310cXK", "123456789 1234567890123NT", std::string(100, '2')}},
      {L::Gcppos1, {"0123", "0123A"}, {"012", "012A"}},
      {L::Gcppos2, {"I0123", "I0123A"}, {"I012", "I", "I012A"}},
      {L::Yymmd0, {"200229", "000229", "720229", "200600"}, {"210229", "710229", "201310", "11111", "2x0131"}},
      {L::Yymmdd, {"200131", "240229"}, {"200600", "220229"}},
      {L::Yyyymmd0, {"24000229", "20200600"}, {"21000229", "20201131", "111111111"}},
      {L::Yyyymmdd, {"20240229"}, {"20200600", "20200230"}},
      {L::Hh, {"23", "00"}, {"24", "x0", "1", "111"}},
      {L::Mi, {"59"}, {"60"}},
      {L::Ss, {"59"}, {"60"}},
      {L::Hhmi, {"0000", "2359"}, {"2400", "0060", "00x0", "11111"}},
      {L::Hyphen, {"-", "--"}, {"", "X"}},
      {L::Yesno, {"0", "1"}, {"", "2", "01"}},
      {L::Winding, {"0", "1", "9"}, {"2", "8", "01"}},
      {L::Iso5218, {"0", "1", "2", "9"}, {"3", "", "01"}},
      {L::Nonzero, {"1", "0009"}, {"0", "0000", "9A99", ""}},
      {L::Zero, {"0", "000"}, {"", "01", "X0"}},
      {L::Nozeroprefix, {"10", "321", ""}, {"0", "0123", "9A99"}},
      {L::Hasnondigit, {"A1", "012345678:"}, {"", "11"}},
      {L::Pieceoftotal, {"11", "0102", "9999"}, {"0000", "0100", "0908", "111"}},
      {L::Posinseqslash, {"1/1", "2/3", "9/10"}, {"1/", "1//2", "0/1", "1/02", "2/1"}},
      {L::Importeridx, {"A", "_", "-"}, {"", "AA", "!", "."}},
      {L::Latitude, {"0279085848", "1800000000"}, {"1800000001", "180000000", "123456789x"}},
      {L::Longitude, {"3600000000"}, {"3600000001"}},
      {L::Mediatype, {"01", "10", "80", "99"}, {"00", "11", "79", "AA", "000"}},
      {L::Pcenc, {"%ff", "ABC%20XYZ", "%00"}, {"%g", "ABC%gXYZ", "%%41", "%4"}},
      {L::Packagetype, {"1A", "8", "200", "APE", "ZZ"}, {"", "00", "1A_", "aa"}},
      {L::Iso3166, {"004", "894", "276"}, {"000", "999", "AAA", "0000"}},
      {L::Iso3166999, {"999", "276"}, {"998"}},
      {L::Iso3166alpha2, {"AD", "GB", "ZW"}, {"AA", "UK", "XK", "de", "AD_"}},
      {L::Iso4217, {"008", "978", "999", "396", "924"}, {"000", "191", "694", "931", "932", "AAA"}},
      {L::Iban, {"GB98MIDL07009312345678", "BE71096123456769", "MT90MALT011000012345MTLCAST001SABC"},
       {"BE71096123456760", "BE71", std::string("GB98MIDL07009312345678") + std::string(13, '0'), "XX361234567890",
        "GB98midl07009312345678"}},
      {L::Couponcode,
       {"012345612345611110123", "10614141011111275110111", "106141416543213500110000310123196000",
        "01234561234561111012390001"},
       {"", "71234567890123", "0123456", "012345612345611115", "0123456123456111101230",
        "0123456123456111101233250100", "01234561234561111012332501014250102", "01234561234561111012393"}},
      {L::Couponposoffer, {"001234561234560123456", "101234561234560123456"},
       {"201234561234560123456", "07", "00123456", "001234561234561123456", "0012345612345601234567"}},
  };
  for (const LinterCase& row : cases) {
    for (const std::string& text : row.passes) {
      SCOPED_TRACE("linter " + std::to_string(static_cast<int>(row.linter)) + " passes " + text);
      EXPECT_EQ(RunGs1Linter(row.linter, text), "");
    }
    for (const std::string& text : row.fails) {
      SCOPED_TRACE("linter " + std::to_string(static_cast<int>(row.linter)) + " fails " + text);
      EXPECT_NE(RunGs1Linter(row.linter, text), "");
    }
  }
}

// The generated table keeps the dictionary's ranges, flags and optional parts.
TEST(Gs1TranslationTest, GeneratedTableHoldsTheDictionary) {
  ASSERT_NE(FindGs1Ai("3105"), nullptr);
  EXPECT_EQ(FindGs1Ai("3105")->first, "3100");
  EXPECT_TRUE(FindGs1Ai("3105")->predefinedLength);
  EXPECT_EQ(FindGs1Ai("3106"), nullptr);
  EXPECT_EQ(FindGs1Ai("95")->last, "99");
  EXPECT_FALSE(FindGs1Ai("10")->predefinedLength);
  const Gs1AiDefinition* grai = FindGs1Ai("8003");
  ASSERT_NE(grai, nullptr);
  EXPECT_EQ(grai->components[2].type, 'X');
  EXPECT_TRUE(grai->components[2].optional);
  EXPECT_EQ(grai->components[2].maxLength, 16);
  EXPECT_EQ(grai->components[1].linters[0], Gs1Linter::Csum);
  EXPECT_EQ(FindGs1Ai("250")->required, "01+21,03+21,8006+21");
  // Digital Link: primary keys with their qualifier sequences, and data attributes ('?').
  EXPECT_TRUE(FindGs1Ai("01")->primaryKey);
  EXPECT_EQ(FindGs1Ai("01")->qualifiers, "22,10,21|235");
  EXPECT_TRUE(FindGs1Ai("00")->primaryKey);
  EXPECT_EQ(FindGs1Ai("00")->qualifiers, "");
  EXPECT_FALSE(FindGs1Ai("10")->primaryKey);
  EXPECT_TRUE(FindGs1Ai("10")->dataAttribute);
  EXPECT_FALSE(FindGs1Ai("21")->dataAttribute);
  EXPECT_FALSE(FindGs1Ai("8200")->dataAttribute);
  EXPECT_TRUE(FindGs1Ai("99")->dataAttribute);
}

}  // namespace
