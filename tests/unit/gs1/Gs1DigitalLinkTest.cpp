#include "gs1/Gs1DigitalLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "gs1/Gs1Translation.h"
#include "unit/gs1/Gs1ValidCases.h"

using namespace korvex::internal;

namespace {

const std::string kStem = "https://id.gs1.org";
const std::string kGtin = kStem + "/01/09506000134352";
const std::string kSscc = kStem + "/00/095060000123456782";

// The elements in bracket form, "(01)09506000134352(10)ABC", as the URI gave them.
std::string BracketForm(const std::vector<Gs1Element>& elements) {
  std::string text;
  for (const Gs1Element& element : elements) text += "(" + std::string(element.ai) + ")" + element.value;
  return text;
}

struct UriCase {
  std::string uri;
  std::string expected;  // the elements in bracket form, or the fault
};

// One row or more per rule that makes a URI invalid, in the order of the rules, and the URIs
// that the rules must let through.
TEST(Gs1DigitalLinkTest, UrisAreCheckedRuleByRule) {
  const std::string prefix = "GS1 Digital Link: ";
  const std::string gtin = "(01)09506000134352";
  std::string tooMany = kSscc + "?";
  for (int group : {320, 321, 322, 323, 324, 325, 326, 327, 328, 329, 340, 341}) {
    for (int decimals = 0; decimals <= 5; ++decimals) tooMany += std::to_string(group * 10 + decimals) + "=000100&";
  }
  const std::vector<UriCase> cases = {
      // Valid: the example, case of scheme and host, port, prefix, fragment, IPv4 and IPv6
      // hosts, non-GS1 parameters, empty parameters, percent escapes of either case.
      {kGtin + "/10/ABC123/21/XYZ?17=261231", gtin + "(10)ABC123(21)XYZ(17)261231"},
      {"HTTPS://ID.GS1.ORG/01/09506000134352", gtin},
      {"http://example.com:8443/products/a/b/01/09506000134352/235/TP77#top", gtin + "(235)TP77"},
      {"https://[2001:db8::1]/00/095060000123456782?02=09506000134352&37=12&10=L-7",
       "(00)095060000123456782(02)09506000134352(37)12(10)L-7"},
      {"https://192.0.2.1/8004/9506000XYZ?01=09506000134352", "(8004)9506000XYZ(01)09506000134352"},
      {"https://a./00/x/00/095060000123456782", "(00)095060000123456782"},
      {kGtin + "/22/ABC%2d123?&&99=A%26B&linkType=gs1:pip&foo&&", gtin + "(22)ABC-123(99)A&B"},
      {kGtin + "/22/A+1", gtin + "(22)A+1"},
      {"https://example.com/~shop/01/09506000134352?x=~y#~z", gtin},
      {kGtin + "/235/TP?10=L1", gtin + "(235)TP(10)L1"},
      {kGtin + "?", gtin},
      // 1. Scheme.
      {"ftp://id.gs1.org/01/09506000134352", prefix + "a URI must start with https:// or http://"},
      {"HtTps://id.gs1.org/01/09506000134352", prefix + "a URI must start with https:// or http://"},
      {"id.gs1.org/01/09506000134352", prefix + "a URI must start with https:// or http://"},
      {"https://", prefix + "the URI has no host after https://"},
      // 2. Host.
      {"https://exa_mple.com/01/09506000134352",
       prefix + "exa_mple.com: a host has only letters, digits, '-' and '.', or an IPv6 address in [ ], and a :port"},
      {"https://[fe80::1%25lo]/01/09506000134352",
       prefix + "[fe80::1%25lo]: a host has only letters, digits, '-' and '.', or an IPv6 address in [ ], and a :port"},
      {"https://user@example.com/01/09506000134352",
       prefix + "user@example.com: a host has only letters, digits, '-' and '.', or an IPv6 address in [ ], and a :port"},
      {"https://example.com:80a/01/09506000134352",
       prefix + "example.com:80a: a host has only letters, digits, '-' and '.', or an IPv6 address in [ ], and a :port"},
      // 3. Characters outside RFC 3986, and a '%' that starts no escape.
      {kGtin + "?99=A B", prefix + "' ' may not appear in a URI: percent-encode it"},
      {kGtin + "/10/A\"B", prefix + "'\"' may not appear in a URI: percent-encode it"},
      {kGtin + "/10/\xC3\xA9", prefix + "'~XC3' may not appear in a URI: percent-encode it"},
      {kGtin + "?99=AB%4g", prefix + "%4g: a '%' must start an escape of two hexadecimal digits"},
      {kGtin + "?99=AB%", prefix + "%: a '%' must start an escape of two hexadecimal digits"},
      // 4. No primary key at the end of the path.
      {"https://example.com/", prefix + "no primary key, such as /01/ and a GTIN, ends the path"},
      {"https://example.com", prefix + "no primary key, such as /01/ and a GTIN, ends the path"},
      {"https://example.com/abc", prefix + "/abc: no primary key, such as /01/ and a GTIN, ends the path"},
      {"https://example.com/gtin/09506000134352",
       prefix + "/gtin/09506000134352: no primary key, such as /01/ and a GTIN, ends the path"},
      {"https://example.com/01/09506000134352/ser",
       prefix + "/01/09506000134352/ser: no primary key, such as /01/ and a GTIN, ends the path"},
      // 5. A trailing '/' or an empty value.
      {kGtin + "/", prefix + "/01/09506000134352/: the path ends with '/'"},
      {kStem + "/01//09506000134352", prefix + "/01//09506000134352: the path has an empty segment"},
      // 6. Qualifiers: not the key's, out of order, mixed alternatives.
      {kGtin + "/10/b/22/v",
       prefix + "/01/09506000134352/10/b/22/v: (01) takes only the qualifiers (22), (10), (21) in this order, or (235)"},
      {kGtin + "/10/b/235/t",
       prefix + "/01/09506000134352/10/b/235/t: (01) takes only the qualifiers (22), (10), (21) in this order, or (235)"},
      {kGtin + "/99/x",
       prefix + "/01/09506000134352/99/x: (01) takes only the qualifiers (22), (10), (21) in this order, or (235)"},
      {kSscc + "/10/b", prefix + "/00/095060000123456782/10/b: (00) takes no qualifiers"},
      {kStem + "/415/9501101530003/254/x", prefix + "/415/9501101530003/254/x: (415) takes only the qualifier (8020)"},
      // 7. A GTIN of fewer than 14 digits, in the path or the query.
      {kStem + "/01/614141000036",
       prefix + "/01/614141000036: must be 14 digits (write a GTIN-12 with leading zeros)"},
      {kStem + "/01/9506000134352", prefix + "/01/9506000134352: must be 14 digits (write a GTIN-13 with leading zeros)"},
      {kStem + "/8004/9506000XYZ?01=95060001", prefix + "?01=95060001: must be 14 digits (write a GTIN-8 with leading zeros)"},
      // 8. Values checked as element strings are: check digit, date, length, set, linters.
      {kStem + "/01/09506000134353", prefix + "/01/09506000134353: check digit should be 2"},
      {kGtin + "?17=261331", prefix + "?17=261331: not a valid date"},
      {kStem + "/253/9506000000015ABCDEFGHIJKLMNOPQR", prefix + "/253/9506000000015ABCDEFGHIJKLMNOPQR: too long: at most 30 characters"},
      {kGtin + "?99=" + std::string(91, 'A'), prefix + "?99=" + std::string(91, 'A') + ": too long: at most 90 characters"},
      {kGtin + "/10/A%7E", prefix + "/10/A%7E: '~' is not allowed (letters, digits and !\"%&'()*+,-./:;<=>?_ only)"},
      {kGtin + "?422=999", prefix + "?422=999: not an ISO 3166 country code"},
      // 9. Query: unknown AI, AI without '?', qualifier of the key, no value, space, NUL.
      {kGtin + "?999=x", prefix + "?999=x: (999) is not a known AI"},
      {kGtin + "?17=261231&89=x", prefix + "&89=x: (89) is not a known AI"},
      {kGtin + "?21=S1", prefix + "?21=S1: (21) cannot be a data attribute"},
      {kGtin + "?10=b", prefix + "?10=b: (10) belongs in the path, as a qualifier of (01)"},
      {kGtin + "?99=", prefix + "?99=: (99) has no value"},
      {kGtin + "?99", prefix + "?99: (99) has no value"},
      {kGtin + "?=x", prefix + "?=x: a query parameter needs a name"},
      {kGtin + "?99=A+B", prefix + "?99=A+B: ' ' is not allowed (letters, digits and !\"%&'()*+,-./:;<=>?_ only)"},
      {kGtin + "?99=A%20B", prefix + "?99=A%20B: ' ' is not allowed (letters, digits and !\"%&'()*+,-./:;<=>?_ only)"},
      {kGtin + "?99=A%00", prefix + "?99=A%00: '~X00' is not allowed (letters, digits and !\"%&'()*+,-./:;<=>?_ only)"},
      // The separator is '&' only: a ';' is part of the value.
      {kGtin + "?17=261231;99=x", prefix + "?17=261231;99=x: must be 6 digits"},
      // 10. The same AI twice, even with the same value.
      {kGtin + "?99=A&99=A", prefix + "&99=A: (99) appears twice"},
      {kSscc + "?10=b&10=c", prefix + "&10=c: (10) appears twice"},
      // 11. req= and ex= over the whole set, and a digital signature without a serialised key.
      {kGtin + "?37=12", prefix + "(01) cannot be used together with (37)"},
      {kSscc + "?37=12", prefix + "(37) needs one of (00) with (02), (00) with (8026)"},
      {kStem + "/253/1234567890128?8030=ABC123", prefix + "(8030) needs a serialised key, and (253) has no serial part"},
      // 12. More AIs than one URI may carry.
      {tooMany, prefix + "more than 64 AIs"},
  };
  for (const UriCase& row : cases) {
    SCOPED_TRACE(row.uri);
    const StatusOr<std::vector<Gs1Element>> link = ReadGs1DigitalLink(row.uri);
    if (row.expected.rfind(prefix, 0) == 0) {
      ASSERT_FALSE(link.Ok());
      EXPECT_EQ(link.Code(), Result::InvalidData);
      EXPECT_EQ(link.Detail(), row.expected);
    } else {
      ASSERT_TRUE(link.Ok()) << link.Detail();
      EXPECT_EQ(BracketForm(*link), row.expected);
    }
  }
}

struct WriteCase {
  std::string bracketData;
  std::string stem;
  std::string expected;  // the URI, or the fault
};

// Element strings into the canonical URI: key and qualifiers in the path in sequence order,
// predefined-length attributes first, every value percent-encoded; and what forms no URI.
TEST(Gs1DigitalLinkTest, ElementStringsBecomeTheCanonicalUri) {
  const std::string prefix = "GS1 Digital Link: ";
  const std::vector<WriteCase> cases = {
      {"(21)XYZ(01)09506000134352(10)ABC123", kStem, kGtin + "/10/ABC123/21/XYZ"},
      {"(253)9506000000015ABC(99)X(01)09506000134352", kStem, kStem + "/253/9506000000015ABC?01=09506000134352&99=X"},
      {"(00)095060000123456782(02)09506000134352(37)12(10)L-7", kStem,
       kSscc + "?02=09506000134352&37=12&10=L-7"},
      {"(01)09506000134352(22)V+1(99)A&B%C", kStem, kGtin + "/22/V%2B1?99=A%26B%25C"},
      {"(414)9501101530003(254)A/1", kStem, kStem + "/414/9501101530003/254/A%2F1"},
      {"(8010)9506000#A-1/B(8011)1", kStem, kStem + "/8010/9506000%23A-1%2FB/8011/1"},
      {"(01)09506000134352(235)TP77", kStem, kGtin + "/235/TP77"},
      {"(01)09506000134352", "https://example.com/", "https://example.com/01/09506000134352"},
      {"(01)09506000134352", "HTTP://EXAMPLE.COM:8080/a/b", "HTTP://EXAMPLE.COM:8080/a/b/01/09506000134352"},
      {"(99)X", kStem, prefix + "no primary key, such as (01) or (00), among the AIs: they form no URI"},
      {"(01)09506000134352(8200)https://example.com", kStem,
       prefix + "(8200) is no qualifier of (01) beside the others and cannot be a data attribute"},
      {"(01)09506000134352(235)TP77(10)L1", kStem,
       prefix + "(235) is no qualifier of (01) beside the others and cannot be a data attribute"},
      {"(01)09506000134352", "ftp://example.com", prefix + "a URI must start with https:// or http://"},
      {"(01)09506000134352", "https://example.com/p?x=1", prefix + "https://example.com/p?x=1: a stem has no query or fragment"},
      {"(01)09506000134352", "https://example.com/#x", prefix + "https://example.com/#x: a stem has no query or fragment"},
      {"(01)09506000134352", "https://exa mple.com", prefix + "' ' may not appear in a URI: percent-encode it"},
      {"(01)09506000134352", "", prefix + "a URI must start with https:// or http://"},
      {"(01)09506000134352", "https://example.com//", prefix + "https://example.com//: a stem has no empty path segment"},
      {"(01)09506000134352", "https://example.com/a//b", prefix + "https://example.com/a//b: a stem has no empty path segment"},
  };
  for (const WriteCase& row : cases) {
    SCOPED_TRACE(row.bracketData + " at " + row.stem);
    const StatusOr<std::vector<Gs1Element>> elements = ReadGs1Elements(row.bracketData);
    ASSERT_TRUE(elements.Ok()) << elements.Detail();
    const StatusOr<std::string> written = WriteGs1DigitalLink(*elements, row.stem);
    if (row.expected.rfind(prefix, 0) == 0) {
      ASSERT_FALSE(written.Ok());
      EXPECT_EQ(written.Code(), Result::InvalidData);
      EXPECT_EQ(written.Detail(), row.expected);
    } else {
      ASSERT_TRUE(written.Ok()) << written.Detail();
      EXPECT_EQ(*written, row.expected);
    }
  }
}

std::vector<std::pair<std::string, std::string>> Sorted(const std::vector<Gs1Element>& elements) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const Gs1Element& element : elements) pairs.emplace_back(element.ai, element.value);
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  return pairs;
}

// Every valid element string set becomes its URI, which the check passes and reads back as the
// same AIs with the same values (an AI given twice once).
TEST(Gs1DigitalLinkTest, ValidElementStringsRoundTripThroughTheUri) {
  for (const ValidGs1Case& row : ValidGs1Cases()) {
    SCOPED_TRACE(row.bracketData);
    const StatusOr<std::vector<Gs1Element>> elements = ReadGs1Elements(row.bracketData);
    ASSERT_TRUE(elements.Ok()) << elements.Detail();
    const StatusOr<std::string> written = WriteGs1DigitalLink(*elements, kCanonicalGs1DigitalLinkStem);
    if (row.digitalLink.empty()) {
      EXPECT_FALSE(written.Ok());
      EXPECT_NE(written.Detail(), "");
      continue;
    }
    ASSERT_TRUE(written.Ok()) << written.Detail();
    EXPECT_EQ(*written, row.digitalLink);
    const StatusOr<std::vector<Gs1Element>> read = ReadGs1DigitalLink(*written);
    ASSERT_TRUE(read.Ok()) << read.Detail();
    EXPECT_EQ(Sorted(*read), Sorted(*elements));
  }
}

}  // namespace
