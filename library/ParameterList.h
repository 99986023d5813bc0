#pragma once

#include <string>
#include <utility>
#include <vector>

#include "request/ParameterSource.h"

namespace korvex::internal {

// The parameters of a library request, looked up by name as a query string would be (the
// first of a name counts), but without any decoding. The list is borrowed.
class ParameterList : public ParameterSource {
 public:
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  explicit ParameterList(const Pairs& parameters) : parameters_(parameters) {}

  const char* Lookup(const char* name) override;

 private:
  const Pairs& parameters_;
};

}  // namespace korvex::internal
