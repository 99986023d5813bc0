#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex::internal {

struct RequestSettings;

// How the value of a parameter is read.
enum class ParameterKind {
  Text,    // as given
  Number,  // by the number rule, accepted in [low, high]
  Switch,  // by the number rule, any number; non-zero is on
  Flag,    // counts by its presence alone, whatever its value
};

// A parameter that a request may carry, written once: the settings reader, the command line's
// options and its help come from this, and a test holds the README and the man page to it.
struct RequestParameter {
  const char* name;
  ParameterKind kind;
  int32_t low;   // a Number's accepted range
  int32_t high;
  const char* defaultValue;  // as the documentation shows it; "none": not given
  const char* accepted;      // in words; nullptr: what the kind and range say
  const char* description;   // one line; `backticks` mark parameters and values
  // Stores an accepted value: the text as given and its number (Number and Switch). The reader
  // of the debug flag is the request road itself, not the settings.
  void (*store)(RequestSettings& settings, const char* text, int32_t number);
};

// Every request parameter but help (which asks for the web help page, not for an image), in
// the order the settings read them and the documentation lists them.
const std::vector<RequestParameter>& RequestParameters();

// The accepted values of a parameter in words, as the documentation gives them.
std::string AcceptedValues(const RequestParameter& parameter);

}  // namespace korvex::internal
