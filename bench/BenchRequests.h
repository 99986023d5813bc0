#pragma once

#include <optional>
#include <string>

// The requests that every benchmark of the program uses, as query strings of a GET request.
namespace BenchRequests {

// No parameters: data 1234567, smallest square, 5 pixels per module.
inline std::string DefaultQuery() { return ""; }

// A short label at a size a web page typically shows.
inline std::string TypicalQuery() { return "data=Korvex+label+0001234567&w=200&h=200"; }

// One line of the command-line batch that `make bench` times (seq -f 'KVX-%06g').
inline std::string BatchLineQuery() { return "data=KVX-005000"; }

// 100 characters of mixed text.
inline std::string Text100Data() {
  return "Korvex ships lot 2024-117 to Rotterdam: 48 cartons, 1.2 t, handle with care. Ref KVX/77-A1, ok 2026!";
}

// Upper-case text and digits that fill most of the largest square, drawn at the largest
// accepted size; fmt=24 fixes the 144 x 144 format.
inline std::string LargeSymbolData() {
  const std::string line = "KORVEX LOT 2024 117 CARTON 0048 ";
  std::string data;
  while (data.size() + line.size() <= 2000) {
    data += line;
  }
  return data;
}
inline std::string LargeQuery() {
  std::string data = LargeSymbolData();
  for (char& c : data) {
    if (c == ' ') {
      c = '+';
    }
  }
  return "data=" + data + "&w=699&h=699&fmt=24";
}

// Automatic encodation looks ahead from every character to the end of the data unless its
// counts decide earlier. Ten capitals put C40 in force; after them, alternating case keeps
// every count within one codeword of the others, so each look-ahead counts to the very end:
// about n * n / 2 steps for n characters, here at the request limit (3600 characters with
// "data=").
inline std::string WorstAutoData() {
  std::string data = "ABCDEFGHIJ";
  while (data.size() < 3595) {
    data += data.size() % 2 == 0 ? 'A' : 'a';
  }
  return data;
}
inline std::string WorstAutoQuery() {
  std::string data = WorstAutoData();
  for (char& c : data) {
    if (c == ' ') {
      c = '+';
    }
  }
  return "data=" + data;
}

// The largest image that the X-dimension alone can ask for: the default data takes the 12 x 12
// symbol, 14 modules wide with its quiet zones, so 337 pixels per module give 4718 x 4718
// pixels, just under the raster limit of the image.
inline std::string HugeXdimQuery() { return "xdim=337"; }

// The same request answered as an SVG document instead of the PNG.
inline std::string AsSvg(const std::string& query) { return query.empty() ? "out=svg" : query + "&out=svg"; }

// The same request answered as the compact PNG (one bit per pixel).
inline std::string AsCompact(const std::string& query) { return query.empty() ? "compact=1" : query + "&compact=1"; }

// The 699 x 699 image of the default data in the largest square.
inline std::string LargeDefaultQuery() { return "fmt=24&w=699&h=699"; }

// The requests by the names the benchmark script uses for them; NAME-svg is NAME as SVG and
// NAME-compact NAME as the compact PNG.
inline std::optional<std::string> NamedQuery(const std::string& name) {
  const std::string svgSuffix = "-svg";
  if (name.size() > svgSuffix.size() && name.compare(name.size() - svgSuffix.size(), svgSuffix.size(), svgSuffix) == 0) {
    const std::optional<std::string> query = NamedQuery(name.substr(0, name.size() - svgSuffix.size()));
    return query ? std::optional<std::string>(AsSvg(*query)) : std::nullopt;
  }
  const std::string compactSuffix = "-compact";
  if (name.size() > compactSuffix.size() &&
      name.compare(name.size() - compactSuffix.size(), compactSuffix.size(), compactSuffix) == 0) {
    const std::optional<std::string> query = NamedQuery(name.substr(0, name.size() - compactSuffix.size()));
    return query ? std::optional<std::string>(AsCompact(*query)) : std::nullopt;
  }
  if (name == "large-default") {
    return LargeDefaultQuery();
  }
  if (name == "default") {
    return DefaultQuery();
  }
  if (name == "typical") {
    return TypicalQuery();
  }
  if (name == "batch-line") {
    return BatchLineQuery();
  }
  if (name == "large") {
    return LargeQuery();
  }
  if (name == "worst") {
    return WorstAutoQuery();
  }
  return std::nullopt;
}

}  // namespace BenchRequests
