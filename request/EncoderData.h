#pragma once

#include <string>

#include "request/RequestSettings.h"
#include "result/ResultCode.h"

namespace korvex::internal {

// The data the encoder reads for the settings: with gs1dl, the GS1 Digital Link URI checked, and
// with gs1 and dl the URI built from the element strings, either as literal tilde data; with
// gs1, the element strings checked and written as tilde data; with utf8, text whose bytes beyond ASCII must be UTF-8, marked with its ECI;
// otherwise the data as given. A fault ends with InvalidData and its description in detail.
ResultCode ResolveEncoderData(const RequestSettings& settings, std::string& data, std::string& detail);

}  // namespace korvex::internal
