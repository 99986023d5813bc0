#pragma once

namespace korvex::internal {

// Where a request's parameters come from: the query string of a web request, or the options of
// the command line. Settings are read from it in one place, whichever front end serves.
class ParameterSource {
 public:
  virtual ~ParameterSource() = default;

  // The value of the parameter called name, or nullptr when there is none. The pointer stays
  // valid only until the next Lookup.
  virtual const char* Lookup(const char* name) = 0;
};

}  // namespace korvex::internal
