#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gs1/Gs1Element.h"
#include "result/Status.h"

namespace korvex::internal {

// The canonical stem of a GS1 Digital Link URI, used where no other is given.
inline constexpr std::string_view kCanonicalGs1DigitalLinkStem = "https://id.gs1.org";

// Most AIs one URI may carry, path and query together.
inline constexpr std::size_t kMaxGs1DigitalLinkElements = 64;

// Checks a URI, http(s)://host[/prefix]/KEY/value[/QUALIFIER/value...][?query][#fragment],
// against the GS1 Syntax Dictionary: the characters, scheme and host; exactly one primary key
// ending the path, with its qualifiers in an allowed order; each value as element strings are
// checked; query attributes the dictionary allows as such; no AI twice; the req= and ex= rules.
// Query parameters whose name is not all digits, and the fragment, are not GS1 data. Gives the
// primary key, its qualifiers, then the query's data attributes, in the URI's order, values
// percent-decoded and AIs pointing into the URI; or InvalidData with the first fault, naming the
// part of the URI at fault: "GS1 Digital Link: /01/09506000134353: check digit should be 2".
StatusOr<std::vector<Gs1Element>> ReadGs1DigitalLink(std::string_view uri);

// The canonical URI of checked element strings at the stem (http(s)://host[/prefix], one
// trailing '/' dropped): the first primary key and the longest sequence of its qualifiers
// present in the path, every other AI as a data attribute in the query (predefined-length AIs
// first, each group in input order), an AI given twice once, and every byte of a value other
// than letters, digits and -._~ percent-encoded. Or InvalidData with the first reason they form
// no URI ("GS1 Digital Link: ...").
StatusOr<std::string> WriteGs1DigitalLink(const std::vector<Gs1Element>& elements, std::string_view stem);

}  // namespace korvex::internal
