#pragma once

#include <string>

#include "encoder/EncodingPipeline.h"
#include "request/RequestSettings.h"
#include "result/Status.h"

namespace korvex::internal {

// The encoder's settings of the request, holding the data the encoder reads: with gs1dl, the GS1 Digital Link URI checked, and
// with gs1 and dl the URI built from the element strings, either as literal tilde data; with
// gs1, the element strings checked and written as tilde data; with utf8, text whose bytes beyond
// ASCII must be UTF-8, marked with its ECI; otherwise the data as given. The switches may come
// together: gs1dl outranks gs1, and gs1 outranks utf8. A fault is InvalidData with its description.
StatusOr<EncodingSettings> ResolveEncoderData(const RequestSettings& settings);

}  // namespace korvex::internal
