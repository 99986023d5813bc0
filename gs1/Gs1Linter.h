#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex::internal {

// The content checks the GS1 Syntax Dictionary names after a component's type. The enumerator
// names are the dictionary's linter names with a capital first letter, so the generated AI table
// can spell them directly.
enum class Gs1Linter : uint8_t {
  None,
  Csum,
  Csumalpha,
  Gcppos1,
  Gcppos2,
  Yymmd0,
  Yymmdd,
  Yyyymmd0,
  Yyyymmdd,
  Hhmi,
  Hh,
  Mi,
  Ss,
  Iso3166,
  Iso3166999,
  Iso3166alpha2,
  Iso4217,
  Iso5218,
  Pcenc,
  Hyphen,
  Yesno,
  Zero,
  Nonzero,
  Nozeroprefix,
  Winding,
  Pieceoftotal,
  Posinseqslash,
  Packagetype,
  Mediatype,
  Latitude,
  Longitude,
  Iban,
  Importeridx,
  Hasnondigit,
  Couponcode,
  Couponposoffer,
};

// Runs one check on the text of one component; returns the fault in words, or an empty string.
std::string RunGs1Linter(Gs1Linter linter, std::string_view component);

}  // namespace korvex::internal
