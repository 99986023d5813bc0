#include "library/ParameterList.h"

namespace korvex::internal {

const char* ParameterList::Lookup(const char* name) {
  for (const auto& [parameterName, value] : parameters_) {
    if (parameterName == name) return value.c_str();
  }
  return nullptr;
}

}  // namespace korvex::internal
