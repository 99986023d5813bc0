#pragma once

#include <cstddef>
#include <string>

#include "request/RequestSettings.h"
#include "result/Status.h"
#include "korvex/korvex.h"
#include "library/ParameterList.h"

namespace korvex::internal {

// The typed options of the C API as the web parameters they stand for, so that they are read
// by the one parameter table and its ranges. A typed value that the parameter rules would not
// take (and so would silently replace by its default) is refused instead.

// The parameters that encode size bytes of data by the options: plain bytes and UTF-8 text
// escaped into tilde data, so that NUL and '~' reach the encoder as data. InvalidArgument with
// detail for an option (or a NUL in text-only input) that cannot be honoured.
StatusOr<ParameterList::Pairs> EncodeParameters(const void* data, std::size_t size,
                                                const korvex_encode_options& options);

// The parameters of the drawing options and the writer's output (out, compact), in front of
// the symbol's own parameters, which they therefore override.
ParameterList::Pairs DrawingParameters(const korvex_drawing_options& options, OutputKind output);

// InvalidArgument with detail when the settings read from DrawingParameters do not hold the
// drawing options as given.
Status CheckDrawingSettings(const korvex_drawing_options& options, const RequestSettings& settings);

}  // namespace korvex::internal
