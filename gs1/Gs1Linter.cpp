#include "gs1/Gs1Linter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

#include "gs1/IsoCodeData.h"

namespace korvex::internal {

namespace {

using namespace std::string_literals;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) { return std::all_of(text.begin(), text.end(), IsDigit); }

// Decimal value of a digit string short enough for 64 bits.
uint64_t NumberOf(std::string_view digits) {
  uint64_t value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

template <typename Table, typename Value>
bool Contains(const Table& sortedTable, const Value& value) {
  return std::binary_search(sortedTable.begin(), sortedTable.end(), value);
}

// PackageTypeCodes (UN/ECE Recommendation 21 and GS1 additions), sorted.
constexpr std::array<std::string_view, 431> kPackageTypes{
    "1A",  "1B",  "1D",  "1F",  "1G",  "1W",  "200", "201", "202", "203", "204", "205", "206", "210", "211",
    "212", "2C",  "3A",  "3H",  "43",  "44",  "4A",  "4B",  "4C",  "4D",  "4F",  "4G",  "4H",  "5H",  "5L",
    "5M",  "6H",  "6P",  "7A",  "7B",  "8",   "8A",  "8B",  "8C",  "9",   "AA",  "AB",  "AC",  "AD",  "AF",
    "AG",  "AH",  "AI",  "AJ",  "AL",  "AM",  "AP",  "APE", "AT",  "AV",  "B4",  "BB",  "BC",  "BD",  "BE",
    "BF",  "BG",  "BGE", "BH",  "BI",  "BJ",  "BK",  "BL",  "BM",  "BME", "BN",  "BO",  "BP",  "BQ",  "BR",
    "BRI", "BS",  "BT",  "BU",  "BV",  "BW",  "BX",  "BY",  "BZ",  "CA",  "CB",  "CBL", "CC",  "CCE", "CD",
    "CE",  "CF",  "CG",  "CH",  "CI",  "CJ",  "CK",  "CL",  "CM",  "CN",  "CO",  "CP",  "CQ",  "CR",  "CS",
    "CT",  "CU",  "CV",  "CW",  "CX",  "CY",  "CZ",  "DA",  "DB",  "DC",  "DG",  "DH",  "DI",  "DJ",  "DK",
    "DL",  "DM",  "DN",  "DP",  "DPE", "DR",  "DS",  "DT",  "DU",  "DV",  "DW",  "DX",  "DY",  "E1",  "E2",
    "E3",  "EC",  "ED",  "EE",  "EF",  "EG",  "EH",  "EI",  "EN",  "FB",  "FC",  "FD",  "FE",  "FI",  "FL",
    "FO",  "FOB", "FP",  "FPE", "FR",  "FT",  "FW",  "FX",  "GB",  "GI",  "GL",  "GR",  "GU",  "GY",  "GZ",
    "HA",  "HB",  "HC",  "HG",  "HN",  "HR",  "IA",  "IB",  "IC",  "ID",  "IE",  "IF",  "IG",  "IH",  "IK",
    "IL",  "IN",  "IZ",  "JB",  "JC",  "JG",  "JR",  "JT",  "JY",  "KG",  "KI",  "LAB", "LE",  "LG",  "LT",
    "LU",  "LV",  "LZ",  "MA",  "MB",  "MC",  "ME",  "MPE", "MR",  "MS",  "MT",  "MW",  "MX",  "NA",  "NE",
    "NF",  "NG",  "NS",  "NT",  "NU",  "NV",  "OA",  "OB",  "OC",  "OD",  "OE",  "OF",  "OK",  "OPE", "OT",
    "OU",  "P2",  "PA",  "PAE", "PB",  "PC",  "PD",  "PE",  "PF",  "PG",  "PH",  "PI",  "PJ",  "PK",  "PL",
    "PLP", "PN",  "PO",  "POP", "PP",  "PPE", "PR",  "PT",  "PU",  "PUE", "PV",  "PX",  "PY",  "PZ",  "QA",
    "QB",  "QC",  "QD",  "QF",  "QG",  "QH",  "QJ",  "QK",  "QL",  "QM",  "QN",  "QP",  "QQ",  "QR",  "QS",
    "RB1", "RB2", "RB3", "RCB", "RD",  "RG",  "RJ",  "RK",  "RL",  "RO",  "RT",  "RZ",  "S1",  "SA",  "SB",
    "SC",  "SD",  "SE",  "SEC", "SH",  "SI",  "SK",  "SL",  "SM",  "SO",  "SP",  "SS",  "ST",  "STL", "SU",
    "SV",  "SW",  "SX",  "SY",  "SZ",  "T1",  "TB",  "TC",  "TD",  "TE",  "TEV", "TG",  "THE", "TI",  "TK",
    "TL",  "TN",  "TO",  "TR",  "TRE", "TS",  "TT",  "TTE", "TU",  "TV",  "TW",  "TWE", "TY",  "TZ",  "UC",
    "UN",  "UUE", "VA",  "VG",  "VI",  "VK",  "VL",  "VN",  "VO",  "VP",  "VQ",  "VR",  "VS",  "VY",  "WA",
    "WB",  "WC",  "WD",  "WF",  "WG",  "WH",  "WJ",  "WK",  "WL",  "WM",  "WN",  "WP",  "WQ",  "WR",  "WRP",
    "WS",  "WT",  "WU",  "WV",  "WW",  "WX",  "WY",  "WZ",  "X11", "X12", "X15", "X16", "X17", "X18", "X19",
    "X20", "X3",  "XA",  "XB",  "XC",  "XD",  "XF",  "XG",  "XH",  "XJ",  "XK",  "YA",  "YB",  "YC",  "YD",
    "YF",  "YG",  "YH",  "YJ",  "YK",  "YL",  "YM",  "YN",  "YP",  "YQ",  "YR",  "YS",  "YT",  "YV",  "YW",
    "YX",  "YY",  "YZ",  "ZA",  "ZB",  "ZC",  "ZD",  "ZF",  "ZG",  "ZH",  "ZJ",  "ZK",  "ZL",  "ZM",  "ZN",
    "ZP",  "ZQ",  "ZR",  "ZS",  "ZT",  "ZU",  "ZV",  "ZW",  "ZX",  "ZY",  "ZZ"};

// The 82 characters of GS1's CSET 82 in the order that gives their check-pair values.
constexpr std::string_view kCset82 =
    "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kCset32 = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ";

std::string CheckDigit(std::string_view digits) {
  if (digits.empty() || !AllDigits(digits)) {
    return "a check digit needs digits";
  }
  uint32_t sum = 0;
  uint32_t weight = 3;
  for (std::size_t i = digits.size() - 1; i-- > 0;) {
    sum += weight * static_cast<uint32_t>(digits[i] - '0');
    weight = 4 - weight;
  }
  const char expected = static_cast<char>('0' + (10 - sum % 10) % 10);
  return digits.back() == expected ? ""s : "check digit should be "s + expected;
}

uint32_t NextPrime(uint32_t after) {
  for (uint32_t candidate = after + 1;; ++candidate) {
    bool prime = true;
    for (uint32_t divisor = 2; divisor * divisor <= candidate && prime; ++divisor) {
      prime = candidate % divisor != 0;
    }
    if (prime) {
      return candidate;
    }
  }
}

std::string CheckPair(std::string_view text) {
  if (text.size() > 99) {
    return "too long for check characters";
  }
  if (text.size() < 2) {
    return "too short for check characters";
  }
  const std::string_view data = text.substr(0, text.size() - 2);
  uint32_t sum = 0;
  uint32_t weight = 1;  // the primes 2, 3, 5, ... for the characters from the right
  for (std::size_t i = data.size(); i-- > 0;) {
    const std::size_t value = kCset82.find(data[i]);
    if (value == std::string_view::npos) {
      return "only GS1 characters may carry check characters";
    }
    weight = NextPrime(weight);
    sum += static_cast<uint32_t>(value) * weight;
  }
  sum %= 1021;
  const std::string expected{kCset32[sum / 32], kCset32[sum % 32]};
  return text.substr(text.size() - 2) == expected ? ""s : "check characters should be " + expected;
}

std::string CompanyPrefix(std::string_view text) {
  // Without GS1's register of company prefixes, the digits that start one are all we can check.
  if (text.size() < 4) {
    return "too short for a GS1 company prefix";
  }
  return AllDigits(text.substr(0, 4)) ? ""s : "a GS1 company prefix starts with 4 digits";
}

bool IsLeapYear(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool IsDate(uint32_t year, std::string_view monthDay, bool dayZeroAllowed) {
  const uint64_t month = NumberOf(monthDay.substr(0, 2));
  const uint64_t day = NumberOf(monthDay.substr(2, 2));
  constexpr std::array<uint8_t, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) {
    return false;
  }
  const uint64_t days = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  return day <= days && (dayZeroAllowed || day > 0);
}

std::string ShortDate(std::string_view text, bool dayZeroAllowed) {
  if (text.size() != 6 || !AllDigits(text)) {
    return "not a valid date";
  }
  // Two-digit years from 72 belong to the 1900s; only February 29 depends on the century.
  const uint64_t yy = NumberOf(text.substr(0, 2));
  const auto year = static_cast<uint32_t>(yy >= 72 ? 1900 + yy : 2000 + yy);
  return IsDate(year, text.substr(2), dayZeroAllowed) ? "" : "not a valid date";
}

std::string LongDate(std::string_view text, bool dayZeroAllowed) {
  if (text.size() != 8 || !AllDigits(text)) {
    return "not a valid date";
  }
  const auto year = static_cast<uint32_t>(NumberOf(text.substr(0, 4)));
  return IsDate(year, text.substr(4), dayZeroAllowed) ? "" : "not a valid date";
}

std::string TimePart(std::string_view text, uint64_t limit) {
  return text.size() == 2 && AllDigits(text) && NumberOf(text) < limit ? "" : "not a valid time";
}

std::string HoursMinutes(std::string_view text) {
  if (text.size() != 4) {
    return "not a valid time";
  }
  const std::string hours = TimePart(text.substr(0, 2), 24);
  return hours.empty() ? TimePart(text.substr(2), 60) : hours;
}

std::string CountryCode(std::string_view text, bool allow999) {
  const bool known = text.size() == 3 && AllDigits(text) &&
                     (Contains(kIso3166Numeric, NumberOf(text)) || (allow999 && text == "999"));
  if (known) {
    return "";
  }
  return allow999 ? "not an ISO 3166 country code or 999" : "not an ISO 3166 country code";
}

bool IsAlpha2Country(std::string_view text) { return text.size() == 2 && Contains(kIso3166Alpha2, text); }

std::string PercentEncoding(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      continue;
    }
    if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      return "a % must be followed by two hexadecimal digits";
    }
    i += 2;
  }
  return "";
}

std::string OneOf(std::string_view text, std::initializer_list<std::string_view> allowed, const char* fault) {
  return std::find(allowed.begin(), allowed.end(), text) != allowed.end() ? "" : fault;
}

std::string NonZero(std::string_view text) {
  if (!AllDigits(text)) {
    return "only digits are allowed";
  }
  return std::any_of(text.begin(), text.end(), [](char c) { return c != '0'; }) ? "" : "must not be zero";
}

std::string AllOf(std::string_view text, char c, const char* fault) {
  return !text.empty() && text.find_first_not_of(c) == std::string_view::npos ? "" : fault;
}

std::string PieceOfTotal(std::string_view text) {
  if (!AllDigits(text) || text.empty() || text.size() % 2 != 0) {
    return "not a valid piece number and total";
  }
  const uint64_t piece = NumberOf(text.substr(0, text.size() / 2));
  const uint64_t total = NumberOf(text.substr(text.size() / 2));
  if (piece == 0) {
    return "piece number must not be zero";
  }
  if (total == 0) {
    return "total number of pieces must not be zero";
  }
  return piece <= total ? "" : "piece number is greater than the total";
}

std::string PositionInSequence(std::string_view text) {
  const std::size_t slash = text.find('/');
  const std::string_view position = text.substr(0, slash);
  const std::string_view end = slash == std::string_view::npos ? "" : text.substr(slash + 1);
  if (position.empty() || end.empty() || !AllDigits(position) || !AllDigits(end)) {
    return "must be position/total, such as 1/2";
  }
  if (position[0] == '0' || end[0] == '0') {
    return "position and total must not start with 0";
  }
  return NumberOf(position) <= NumberOf(end) ? "" : "position is greater than the total";
}

std::string Coordinate(std::string_view text, uint64_t limit, const char* fault) {
  return text.size() == 10 && AllDigits(text) && NumberOf(text) <= limit ? "" : fault;
}

std::string MediaType(std::string_view text) {
  const bool valid = text.size() == 2 && AllDigits(text) &&
                     ((text >= "01" && text <= "10") || (text >= "80" && text <= "99"));
  return valid ? "" : "media type must be 01 to 10 or 80 to 99";
}

std::string Iban(std::string_view text) {
  if (text.size() < 4) {
    return "IBAN is too short";
  }
  if (!IsAlpha2Country(text.substr(0, 2))) {
    return "IBAN does not start with an ISO 3166 country code";
  }
  if (text.size() > 34) {
    return "IBAN is too long";
  }
  if (text.size() <= 10) {
    return "IBAN is too short";
  }
  const auto isIbanChar = [](char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z'); };
  if (!std::all_of(text.begin(), text.end(), isIbanChar)) {
    return "IBAN allows only digits and capital letters";
  }
  uint32_t remainder = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[(i + 4) % text.size()];
    remainder = IsDigit(c) ? (remainder * 10 + static_cast<uint32_t>(c - '0')) % 97
                           : (remainder * 100 + static_cast<uint32_t>(c - 'A' + 10)) % 97;
  }
  return remainder == 1 ? "" : "IBAN check digits are wrong";
}

std::string ImporterIndex(std::string_view text) {
  const auto allowed = [](char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
  };
  return text.size() == 1 && allowed(text[0]) ? "" : "importer index must be one letter, digit, - or _";
}

// Reads the digit fields of a coupon from left to right; the first fault stays in fault.
class CouponReader {
 public:
  explicit CouponReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return position_ == text_.size(); }
  char Peek() const { return text_[position_]; }

  // One digit that must be among allowed.
  bool Digit(const std::string& field, std::string_view allowed, int& value) {
    if (AtEnd()) {
      return Fail(field, "is missing");
    }
    if (allowed.find(Peek()) == std::string_view::npos) {
      return Fail(field, "is not valid");
    }
    value = text_[position_++] - '0';
    return true;
  }

  bool Digits(const std::string& field, std::size_t count, std::string_view& digits) {
    if (AtEnd()) {
      return Fail(field, "is missing");
    }
    if (text_.size() - position_ < count) {
      return Fail(field, "is too short");
    }
    digits = text_.substr(position_, count);
    position_ += count;
    return true;
  }

  // A length digit in allowed followed by that many digits plus offset.
  bool Counted(const std::string& field, std::string_view allowed, std::size_t offset, std::string_view& digits) {
    int length = 0;
    return Digit(field, allowed, length) && Digits(field, static_cast<std::size_t>(length) + offset, digits);
  }

  bool Check(const std::string& field, const std::string& fault) { return fault.empty() || Fail(field, "is not valid"); }

  bool Fail(const std::string& field, const char* what) {
    fault = "coupon " + field + " " + what;
    return false;
  }

  std::string fault;

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

constexpr std::string_view kAnyDigit = "0123456789";

// A purchase requirement: its length digit and value, code and family, and for the 2nd and
// 3rd requirement a company prefix (length digit 9: none).
bool PurchaseRequirement(CouponReader& reader, const std::string& which, bool withCompanyPrefix) {
  std::string_view digits;
  int value = 0;
  if (!reader.Counted(which + " purchase requirement", "12345", 0, digits) ||
      !reader.Digit(which + " purchase requirement code", "012349", value) ||
      !reader.Digits(which + " purchase family code", 3, digits)) {
    return false;
  }
  if (!withCompanyPrefix) {
    return true;
  }
  const std::string prefix = which + " purchase company prefix";
  if (!reader.Digit(prefix + " length", "01234569", value)) {
    return false;
  }
  return value == 9 || (reader.Digits(prefix, static_cast<std::size_t>(value) + 6, digits) &&
                        reader.Check(prefix, CompanyPrefix(digits)));
}

std::string CouponCode(std::string_view text) {
  if (!AllDigits(text)) {
    return "a coupon code has only digits";
  }
  CouponReader reader(text);
  std::string_view digits;
  int value = 0;
  const bool core = reader.Counted("company prefix", "0123456", 6, digits) &&
                    reader.Check("company prefix", CompanyPrefix(digits)) &&
                    reader.Digits("offer code", 6, digits) && reader.Counted("save value", "12345", 0, digits) &&
                    PurchaseRequirement(reader, "1st", false);
  if (!core) {
    return reader.fault;
  }
  std::string_view expiry;
  for (char last = '0'; !reader.AtEnd();) {
    const char field = reader.Peek();
    if (field <= last || std::string_view("1234569").find(field) == std::string_view::npos) {
      return "coupon has unexpected data after its last field";
    }
    last = field;
    reader.Digit("field", kAnyDigit, value);
    bool ok = true;
    switch (field) {
      case '1':
        ok = reader.Digit("additional purchase rules code", "0123", value) &&
             PurchaseRequirement(reader, "2nd", true);
        break;
      case '2':
        ok = PurchaseRequirement(reader, "3rd", true);
        break;
      case '3':
        ok = reader.Digits("expiry date", 6, expiry) && reader.Check("expiry date", ShortDate(expiry, false));
        break;
      case '4':
        ok = reader.Digits("start date", 6, digits) && reader.Check("start date", ShortDate(digits, false));
        if (ok && !expiry.empty() && digits > expiry) {
          return "coupon expiry date is before its start date";
        }
        break;
      case '5':
        ok = reader.Counted("serial number", kAnyDigit, 6, digits);
        break;
      case '6':
        ok = reader.Counted("retailer company prefix", "1234567", 6, digits) &&
             reader.Check("retailer company prefix", CompanyPrefix(digits));
        break;
      default:  // '9'
        ok = reader.Digit("save value code", "01256", value) && reader.Digit("applies to item", "012", value) &&
             reader.Digit("store coupon flag", kAnyDigit, value) && reader.Digit("don't multiply flag", "01", value);
        break;
    }
    if (!ok) {
      return reader.fault;
    }
  }
  return "";
}

std::string CouponPositiveOffer(std::string_view text) {
  if (!AllDigits(text)) {
    return "a coupon code has only digits";
  }
  CouponReader reader(text);
  std::string_view digits;
  int value = 0;
  const bool ok = reader.Digit("format code", "01", value) && reader.Counted("funder ID", "0123456", 6, digits) &&
                  reader.Digits("offer code", 6, digits) && reader.Counted("serial number", kAnyDigit, 6, digits);
  if (!ok) {
    return reader.fault;
  }
  return reader.AtEnd() ? "" : "coupon has unexpected data after its last field";
}

}  // namespace

std::string RunGs1Linter(Gs1Linter linter, std::string_view component) {
  switch (linter) {
    case Gs1Linter::None:
      return "";
    case Gs1Linter::Csum:
      return CheckDigit(component);
    case Gs1Linter::Csumalpha:
      return CheckPair(component);
    case Gs1Linter::Gcppos1:
      return CompanyPrefix(component);
    case Gs1Linter::Gcppos2:
      return component.size() < 2 ? "too short for a GS1 company prefix" : CompanyPrefix(component.substr(1));
    case Gs1Linter::Yymmd0:
      return ShortDate(component, true);
    case Gs1Linter::Yymmdd:
      return ShortDate(component, false);
    case Gs1Linter::Yyyymmd0:
      return LongDate(component, true);
    case Gs1Linter::Yyyymmdd:
      return LongDate(component, false);
    case Gs1Linter::Hhmi:
      return HoursMinutes(component);
    case Gs1Linter::Hh:
      return TimePart(component, 24);
    case Gs1Linter::Mi:
    case Gs1Linter::Ss:
      return TimePart(component, 60);
    case Gs1Linter::Iso3166:
      return CountryCode(component, false);
    case Gs1Linter::Iso3166999:
      return CountryCode(component, true);
    case Gs1Linter::Iso3166alpha2:
      return IsAlpha2Country(component) ? "" : "not an ISO 3166 two-letter country code";
    case Gs1Linter::Iso4217:
      return component.size() == 3 && AllDigits(component) && Contains(kIso4217Numeric, NumberOf(component))
                 ? ""
                 : "not an ISO 4217 currency code";
    case Gs1Linter::Iso5218:
      return OneOf(component, {"0", "1", "2", "9"}, "sex code must be 0, 1, 2 or 9");
    case Gs1Linter::Pcenc:
      return PercentEncoding(component);
    case Gs1Linter::Hyphen:
      return AllOf(component, '-', "must be a hyphen (-)");
    case Gs1Linter::Yesno:
      return OneOf(component, {"0", "1"}, "must be 0 (no) or 1 (yes)");
    case Gs1Linter::Zero:
      return AllOf(component, '0', "must be 0");
    case Gs1Linter::Nonzero:
      return NonZero(component);
    case Gs1Linter::Nozeroprefix:
      if (!component.empty() && component[0] == '0') return "must not start with 0";
      return AllDigits(component) ? "" : "only digits are allowed";
    case Gs1Linter::Winding:
      return OneOf(component, {"0", "1", "9"}, "winding direction must be 0, 1 or 9");
    case Gs1Linter::Pieceoftotal:
      return PieceOfTotal(component);
    case Gs1Linter::Posinseqslash:
      return PositionInSequence(component);
    case Gs1Linter::Packagetype:
      return Contains(kPackageTypes, component) ? "" : "not a known package type code";
    case Gs1Linter::Mediatype:
      return MediaType(component);
    case Gs1Linter::Latitude:
      return Coordinate(component, 1800000000, "not a valid latitude");
    case Gs1Linter::Longitude:
      return Coordinate(component, 3600000000, "not a valid longitude");
    case Gs1Linter::Iban:
      return Iban(component);
    case Gs1Linter::Importeridx:
      return ImporterIndex(component);
    case Gs1Linter::Hasnondigit:
      return AllDigits(component) ? "must hold at least one character that is not a digit" : "";
    case Gs1Linter::Couponcode:
      return CouponCode(component);
    case Gs1Linter::Couponposoffer:
      return CouponPositiveOffer(component);
  }
  return "";
}

}  // namespace korvex::internal
