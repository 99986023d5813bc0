#include "support/ReadBack.h"

#include <algorithm>
#include <cstdio>

#include "support/CgiProcess.h"
#include "support/PngReader.h"

using namespace korvex::internal;

std::string SchemeAlphabet(int mode) {
  const std::string digits = "0123456789";
  const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const std::string lower = "abcdefghijklmnopqrstuvwxyz";
  switch (mode) {
    case 2: return digits + upper + " ";
    case 3: return digits + lower + " ";
    case 5: {
      std::string edifact;
      for (int c = 32; c <= 94; ++c) {
        if (c != '~') edifact += static_cast<char>(c);
      }
      return edifact;
    }
    case 6: return digits + upper + " *>\r";
    case 4: {
      std::string bytes;
      for (int c = 1; c <= 255; ++c) {
        if (c != '~') bytes += static_cast<char>(c);
      }
      return bytes;
    }
    default: return digits + upper + lower + " .,-/:";
  }
}

std::string RandomText(const std::string& alphabet, std::size_t length, std::mt19937& random) {
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += alphabet[pick(random)];
  return text;
}

std::string UrlEncode(const std::string& bytes) {
  std::string encoded;
  for (unsigned char c : bytes) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      encoded += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      encoded += escape;
    }
  }
  return encoded;
}

Raster ToRaster(const PngInfo& png) {
  Raster raster;
  raster.width = static_cast<int>(png.width);
  raster.height = static_cast<int>(png.height);
  raster.channels = 3;
  raster.pixels = png.rgb;
  return raster;
}

std::optional<Raster> CgiImage(const std::string& query, std::string* reason) {
  const ProcessResult run = RunCgi({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}});
  const std::string header = "Content-type: image/png\n\n";
  if (!run.exited || run.exitStatus != 0 || run.output.compare(0, header.size(), header) != 0) {
    if (reason) *reason = "status " + std::to_string(run.exitStatus) + ", output " + run.output.substr(0, 200);
    return std::nullopt;
  }
  PngInfo png;
  if (!ReadPng(run.output.substr(header.size()), png, reason)) return std::nullopt;
  return ToRaster(png);
}

bool HasLatchThenUnlatch(const CodewordBuffer& codewords, std::size_t dataCodewords) {
  for (std::size_t i = 0; i + 1 < dataCodewords && i + 1 < codewords.size(); ++i) {
    const uint8_t latch = codewords[i];
    if ((latch == 230 || latch == 239 || latch == 238) && codewords[i + 1] == 254) return true;
  }
  return false;
}

ReadOutcome ReadBoth(const Raster& raster) { return {ReadWithZxing(raster), ReadWithDmtx(raster)}; }

Raster OnPage(const Raster& raster, int margin) {
  Raster page;
  page.width = raster.width + 2 * margin;
  page.height = raster.height + 2 * margin;
  page.channels = raster.channels;
  const std::size_t rowBytes = static_cast<std::size_t>(raster.width) * raster.channels;
  const std::size_t pageRowBytes = static_cast<std::size_t>(page.width) * page.channels;
  page.pixels.assign(pageRowBytes * page.height, 0xFF);
  for (int y = 0; y < raster.height; ++y) {
    std::copy_n(raster.pixels.begin() + static_cast<std::ptrdiff_t>(y * rowBytes), rowBytes,
                page.pixels.begin() + static_cast<std::ptrdiff_t>((y + margin) * pageRowBytes + margin * page.channels));
  }
  return page;
}

Raster Inverted(Raster raster) {
  for (uint8_t& sample : raster.pixels) sample = static_cast<uint8_t>(255 - sample);
  return raster;
}
