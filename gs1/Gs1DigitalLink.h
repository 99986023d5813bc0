#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gs1/Gs1Element.h"

namespace korvex::internal {

// The canonical stem of a GS1 Digital Link URI, used where no other is given.
inline constexpr std::string_view kCanonicalGs1DigitalLinkStem = "https://id.gs1.org";

// Most AIs one URI may carry, path and query together.
inline constexpr std::size_t kMaxGs1DigitalLinkElements = 64;

// A GS1 Digital Link URI read into its element strings, or the first fault found in it.
struct Gs1DigitalLink {
  // The primary key, its qualifiers, then the query's data attributes, in the URI's order, values
  // percent-decoded. The AIs point into the URI that was read.
  std::vector<Gs1Element> elements;
  // Such as "GS1 Digital Link: /01/09506000134353: check digit should be 2", naming the part of
  // the URI at fault; empty when the URI is valid.
  std::string fault;
};

// Checks a URI, http(s)://host[/prefix]/KEY/value[/QUALIFIER/value...][?query][#fragment],
// against the GS1 Syntax Dictionary: the characters, scheme and host; exactly one primary key
// ending the path, with its qualifiers in an allowed order; each value as element strings are
// checked; query attributes the dictionary allows as such; no AI twice; the req= and ex= rules.
// Query parameters whose name is not all digits, and the fragment, are not GS1 data.
Gs1DigitalLink ReadGs1DigitalLink(std::string_view uri);

// The URI made from element strings, or the first reason they cannot form one.
struct Gs1DigitalLinkUri {
  std::string uri;
  std::string fault;  // "GS1 Digital Link: ..."; empty when uri holds the URI
};

// The canonical URI of checked element strings at the stem (http(s)://host[/prefix], one
// trailing '/' dropped): the first primary key and the longest sequence of its qualifiers
// present in the path, every other AI as a data attribute in the query (predefined-length AIs
// first, each group in input order), an AI given twice once, and every byte of a value other
// than letters, digits and -._~ percent-encoded.
Gs1DigitalLinkUri WriteGs1DigitalLink(const std::vector<Gs1Element>& elements, std::string_view stem);

}  // namespace korvex::internal
