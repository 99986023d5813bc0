#pragma once

#include <cstdint>

namespace korvex::internal {

// Outcome of every operation of the generator; 0 is success. The process exit status of a
// failed request is the code of the step that failed.
using ResultCode = int32_t;

namespace Result {
constexpr ResultCode Ok = 0;
constexpr ResultCode InvalidArgument = 1;
constexpr ResultCode Fail = 2;
constexpr ResultCode PngInitFailed = 3;
constexpr ResultCode InvalidBarcodeSize = 4;
constexpr ResultCode InvalidData = 5;
constexpr ResultCode InvalidEncodingMode = 6;
constexpr ResultCode InvalidPreferredFormat = 7;
constexpr ResultCode NoFittingFormat = 8;
constexpr ResultCode ReedSolomonFailed = 9;
constexpr ResultCode DataDoesNotFit = 10;
constexpr ResultCode EmptyFileName = 11;
constexpr ResultCode FileOpenFailed = 12;
constexpr ResultCode FileCloseFailed = 13;
constexpr ResultCode UnknownException = 14;
}  // namespace Result

// The fixed message text of a code; any code outside 0..14 (negative ones too) is unknown.
const char* ErrorMessage(ResultCode code);

}  // namespace korvex::internal
