#pragma once

#include <string>
#include <utility>
#include <vector>

#include "request/ParameterSource.h"

namespace korvex::internal {

// The request parameters given as command-line options, values exactly as typed (nothing is
// URL-decoded). As usual on a command line, a later option overrides an earlier one.
class OptionParameters : public ParameterSource {
 public:
  // The value of name, or nullptr; the pointer stays valid until name is set again.
  const char* Lookup(const char* name) override;

  void Set(const std::string& name, std::string value);
  bool Has(const std::string& name) const;

 private:
  std::vector<std::pair<std::string, std::string>> values_;
};

}  // namespace korvex::internal
