#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "encoder/DataItem.h"
#include "support/Decoders.h"

struct PngInfo;

// Bytes each encodation mode carries one for one, for building test data.
std::string SchemeAlphabet(int mode);

// length characters drawn from the alphabet.
std::string RandomText(const std::string& alphabet, std::size_t length, std::mt19937& random);

// Percent-encodes every byte that is not a letter or digit.
std::string UrlEncode(const std::string& bytes);

// The decoded pixels of a PNG as an RGB raster for the decoders.
Raster ToRaster(const PngInfo& png);

// The PNG that the real CGI program writes for a GET query, decoded to RGB; nullopt (with a
// reason) when the run fails or its output is not a PNG response.
std::optional<Raster> CgiImage(const std::string& query, std::string* reason = nullptr);

// True when the data codewords hold a C40, Text or X12 latch directly followed by the unlatch,
// a shape that libdmtx misreads although it is valid (zxing reads it).
bool HasLatchThenUnlatch(const korvex::internal::CodewordBuffer& codewords, std::size_t dataCodewords);

// The raster inside a white margin, as an image stands on a page.
Raster OnPage(const Raster& raster, int margin);
// Dark for light and light for dark.
Raster Inverted(Raster raster);

// What the two readers made of one raster.
struct ReadOutcome {
  std::optional<Decoded> zxing;
  std::optional<Decoded> dmtx;
};
ReadOutcome ReadBoth(const Raster& raster);
