#pragma once

#include <string>
#include <vector>

// Valid element strings in bracket form, the tilde data they become, and the canonical GS1
// Digital Link URI they form at https://id.gs1.org (empty: they form none).
struct ValidGs1Case {
  std::string bracketData;
  bool gsSeparator;
  std::string tildeData;
  std::string digitalLink;
};

inline std::vector<ValidGs1Case> ValidGs1Cases() {
  const std::string stem = "https://id.gs1.org";
  return {
      // Medicine pack: FNC1 only after the variable-length (10), not after the last element.
      {"(01)09501101530003(17)270630(10)AB-123(21)XYZ987", false, "~101095011015300031727063010AB-123~121XYZ987",
       stem + "/01/09501101530003/10/AB-123/21/XYZ987?17=270630"},
      {"(01)09501101530003(17)270630(10)AB-123(21)XYZ987", true, "~101095011015300031727063010AB-123~X1D21XYZ987",
       stem + "/01/09501101530003/10/AB-123/21/XYZ987?17=270630"},
      {"(00)106141411234567897", false, "~100106141411234567897", stem + "/00/106141411234567897"},
      {"(01)09501101530003(11)250101(17)270630(10)L1(21)S1", false, "~10109501101530003112501011727063010L1~121S1",
       stem + "/01/09501101530003/10/L1/21/S1?11=250101&17=270630"},
      {"(8003)09506000134352", false, "~1800309506000134352", stem + "/8003/09506000134352"},
      {"(8003)09506000134352ABC123", false, "~1800309506000134352ABC123", stem + "/8003/09506000134352ABC123"},
      {"(00)106141411234567897(4330)001234-", false, "~1001061414112345678974330001234-",
       stem + "/00/106141411234567897?4330=001234-"},
      {"(00)106141411234567897(4330)001234(400)P1", false, "~1001061414112345678974330001234~1400P1",
       stem + "/00/106141411234567897?4330=001234&400=P1"},
      // Brackets inside a value stay bytes of the value.
      {"(01)09501101530003(10)A~X28B~X29", false, "~10109501101530003" "10A~X28B~X29",
       stem + "/01/09501101530003/10/A%28B%29"},
      // A repeated AI with the same value is no conflict; 3100 does not exclude itself.
      {"(01)09501101530003(3100)000100(3100)000100", false, "~101095011015300033100000100" "3100000100",
       stem + "/01/09501101530003?3100=000100"},
      {"(415)9501101530003(8020)ABC123(3912)978100", false, "~14159501101530003" "8020ABC123~13912978100",
       stem + "/415/9501101530003/8020/ABC123?3912=978100"},
      {"(91)x(92)y", false, "~191x~192y", ""},
      // A digital signature beside a serialised key; an unserialised (253) may stand beside it.
      {"(253)1234567890128X(8030)ABC123", false, "~12531234567890128X~18030ABC123",
       stem + "/253/1234567890128X?8030=ABC123"},
      {"(00)106141411234567897(253)1234567890128(8030)ABC123", false,
       "~1001061414112345678972531234567890128~18030ABC123",
       stem + "/00/106141411234567897?253=1234567890128&8030=ABC123"},
      {"(8003)09506000134352ABC123(8030)A-_", false, "~1800309506000134352ABC123~18030A-_",
       stem + "/8003/09506000134352ABC123?8030=A-_"},
  };
}
