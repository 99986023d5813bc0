#include "result/ResultCode.h"

#include <array>

namespace korvex::internal {

namespace {
constexpr std::array<const char*, 15> kMessages = {
    "Ok.",
    "Error: Invalid argument.",
    "Error: Fail.",
    "Error: Cant initialize PNG creator.",
    "Error: Invalid barcode size.",
    "Error: Invalid data to encode.",
    "Error: Invalid encoding mode.",
    "Error: Invalid PreferredFormat property.",
    "Error: Cant find the needed matrix format.",
    "Error: Cant append the Reed-Solomon codes.",
    "Error: The data to encode cant be placed in the current matrix format.",
    "Error: Output file name cant be empty.",
    "Error: Cant open output file.",
    "Error: Cant close output file.",
    "Error: Unknown exception.",
};
}  // namespace

const char* ErrorMessage(ResultCode code) {
  // Read as unsigned so that negative codes fall outside the table.
  const auto index = static_cast<uint32_t>(code);
  return index < kMessages.size() ? kMessages[index] : "Error: Unknown error.";
}

}  // namespace korvex::internal
