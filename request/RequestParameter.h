#pragma once

namespace korvex::internal {

// A parameter that a request may carry to shape its image. Front ends that do not read a query
// string (the command line) offer exactly these, each under its own name; a parameter added to
// the request settings is added here too, and every such front end knows it.
struct RequestParameter {
  const char* name;
  // Counts by its presence alone, whatever its value (debug).
  bool isSwitch;
};

// help is left out: it asks for the web help page, not for an image.
constexpr RequestParameter kRequestParameters[] = {
    {"data", false},   {"w", false},      {"h", false},      {"fmt", false},   {"mode", false},
    {"angle", false},  {"quiet", false},  {"alignh", false}, {"alignv", false}, {"bcolor", false},
    {"fcolor", false}, {"qsize", false},  {"xdim", false},   {"out", false},   {"debug", true},
    {"gs1", false},    {"gssep", false},  {"utf8", false},   {"shape", false}, {"dmre", false},
    {"dpi", false},    {"xmm", false},
    {"gs1dl", false},  {"dl", false},
    {"compact", false},
    {"minimal", false},
};

}  // namespace korvex::internal
