#include "cli/OptionParameters.h"

#include <algorithm>

namespace korvex::internal {

const char* OptionParameters::Lookup(const char* name) {
  for (const auto& [known, value] : values_) {
    if (known == name) return value.c_str();
  }
  return nullptr;
}

void OptionParameters::Set(const std::string& name, std::string value) {
  for (auto& [known, old] : values_) {
    if (known == name) {
      old = std::move(value);
      return;
    }
  }
  values_.emplace_back(name, std::move(value));
}

bool OptionParameters::Has(const std::string& name) const {
  return std::any_of(values_.begin(), values_.end(), [&](const auto& entry) { return entry.first == name; });
}

}  // namespace korvex::internal
