#include "support/Decoders.h"

#include <dmtx.h>

// zxing's text() as UTF-8 rather than a wide string.
#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

#include <cstdio>
#include <memory>

#include "encoder/SymbolMatrix.h"
#include "render/SymbolLayout.h"

using namespace korvex::internal;

Raster RenderMatrix(const SymbolMatrix& matrix, int moduleSize, int quietModules, int32_t orientation) {
  const bool turned = orientation != 0 && orientation != 180;
  const int outRows = turned ? matrix.Cols() : matrix.Rows();
  const int outCols = turned ? matrix.Rows() : matrix.Cols();
  Raster raster;
  raster.width = (outCols + 2 * quietModules) * moduleSize;
  raster.height = (outRows + 2 * quietModules) * moduleSize;
  raster.pixels.assign(static_cast<std::size_t>(raster.width) * raster.height, 0xFF);
  for (int i = 0; i < outRows; ++i) {
    for (int j = 0; j < outCols; ++j) {
      if (!TurnedModule(matrix, orientation, static_cast<uint16_t>(i), static_cast<uint16_t>(j))) continue;
      for (int dy = 0; dy < moduleSize; ++dy) {
        const int y = (i + quietModules) * moduleSize + dy;
        const int x = (j + quietModules) * moduleSize;
        std::fill_n(raster.pixels.begin() + static_cast<std::ptrdiff_t>(y) * raster.width + x, moduleSize, 0);
      }
    }
  }
  return raster;
}

std::optional<Decoded> ReadWithZxing(const Raster& raster) {
  const auto format = raster.channels == 3 ? ZXing::ImageFormat::RGB : ZXing::ImageFormat::Lum;
  const ZXing::ImageView view(raster.pixels.data(), raster.width, raster.height, format);
  ZXing::DecodeHints hints;
  hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
  hints.setTryHarder(true);
  hints.setTryRotate(true);
  const ZXing::Result result = ZXing::ReadBarcode(view, hints);
  if (!result.isValid()) return std::nullopt;
  Decoded decoded;
  const auto& bytes = result.bytes();
  decoded.bytes.assign(bytes.begin(), bytes.end());
  const auto withEci = result.bytesECI();
  decoded.bytesWithEci.assign(withEci.begin(), withEci.end());
  decoded.symbologyId = result.symbologyIdentifier();
  decoded.text = result.text();
  return decoded;
}

namespace {
struct DmtxImageDeleter {
  void operator()(DmtxImage* image) const { dmtxImageDestroy(&image); }
};
struct DmtxDecodeDeleter {
  void operator()(DmtxDecode* decode) const { dmtxDecodeDestroy(&decode); }
};
struct DmtxRegionDeleter {
  void operator()(DmtxRegion* region) const { dmtxRegionDestroy(&region); }
};
struct DmtxMessageDeleter {
  void operator()(DmtxMessage* message) const { dmtxMessageDestroy(&message); }
};
}  // namespace

std::optional<Decoded> ReadWithDmtx(const Raster& raster) {
  // libdmtx reads the pixels in place and wants a mutable buffer.
  std::vector<unsigned char> pixels(raster.pixels.begin(), raster.pixels.end());
  const int pack = raster.channels == 3 ? DmtxPack24bppRGB : DmtxPack8bppK;
  std::unique_ptr<DmtxImage, DmtxImageDeleter> image(dmtxImageCreate(pixels.data(), raster.width, raster.height, pack));
  if (!image) return std::nullopt;
  dmtxImageSetProp(image.get(), DmtxPropImageFlip, DmtxFlipNone);
  std::unique_ptr<DmtxDecode, DmtxDecodeDeleter> decode(dmtxDecodeCreate(image.get(), 1));
  if (!decode) return std::nullopt;
  // Report FNC1 as the group separator, as zxing does, instead of dropping it.
  dmtxDecodeSetProp(decode.get(), DmtxPropFnc1, 0x1D);
  DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), 5000);
  std::unique_ptr<DmtxRegion, DmtxRegionDeleter> region(dmtxRegionFindNext(decode.get(), &timeout));
  if (!region) return std::nullopt;
  std::unique_ptr<DmtxMessage, DmtxMessageDeleter> message(
      dmtxDecodeMatrixRegion(decode.get(), region.get(), DmtxUndefined));
  if (!message) return std::nullopt;
  Decoded decoded;
  decoded.bytes.assign(reinterpret_cast<const char*>(message->output), message->outputIdx);
  return decoded;
}

std::string Printable(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      text += escaped;
    }
  }
  return text;
}
