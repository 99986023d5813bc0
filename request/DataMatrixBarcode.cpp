#include "request/DataMatrixBarcode.h"

#include <utility>

#include "render/SymbolLayout.h"

namespace korvex::internal {

namespace {
constexpr EncodingMode kDefaultEncodingMode = EncodingMode::Base256;
constexpr int32_t kMaxStructuredAppendCount = 16;
constexpr int32_t kMaxStructuredAppendFileId = 64516;
}  // namespace

DataMatrixBarcode::DataMatrixBarcode() {
  settings_.data = "1234567";
  settings_.preferredFormat = 0;
  settings_.encodingMode = kDefaultEncodingMode;
  Encode();
}

ResultCode DataMatrixBarcode::Encode() {
  if (updateLock_) return Result::Ok;
  // A failure keeps the last matrix, which the cleared flag keeps Draw from using, beside the
  // format the pipeline had chosen.
  StatusOr<EncodedSymbol> encoded = EncodeSymbol(settings_, &symbol_.format);
  encoded_ = encoded.Ok();
  if (!encoded_) return encoded.Code();
  symbol_ = std::move(encoded).Value();
  return Result::Ok;
}

template <typename Value>
ResultCode DataMatrixBarcode::Update(Value& property, Value value, bool affectsSymbol) {
  if (property == value) return Result::Ok;
  property = value;
  return affectsSymbol ? Encode() : Result::Ok;
}

ResultCode DataMatrixBarcode::SetDataToEncode(const std::string& data) { return Update(settings_.data, data); }

ResultCode DataMatrixBarcode::SetPreferredFormat(int32_t format) { return Update(settings_.preferredFormat, format); }

ResultCode DataMatrixBarcode::SetShape(int32_t shape) {
  const auto kind = static_cast<SymbolShape>(shape);
  if (kind < SymbolShape::Square || kind > SymbolShape::Any) return Result::InvalidArgument;
  return Update(settings_.shape, kind, settings_.preferredFormat == 0);  // a named format ignores the shape
}

ResultCode DataMatrixBarcode::SetDmre(bool on) { return Update(settings_.dmre, on); }

ResultCode DataMatrixBarcode::SetEncodingMode(int32_t mode) {
  return Update(settings_.encodingMode, static_cast<korvex::internal::EncodingMode>(mode));  // the type, not the getter
}

ResultCode DataMatrixBarcode::SetMinimal(bool on) {
  return Update(settings_.minimal, on, settings_.encodingMode == EncodingMode::Auto);
}

ResultCode DataMatrixBarcode::SetStructuredAppend(bool on) { return Update(settings_.structuredAppend, on); }

ResultCode DataMatrixBarcode::SetStructuredAppendIndex(int32_t index) {
  if (index < 1 || index > kMaxStructuredAppendCount) return Result::InvalidArgument;
  return Update(settings_.structuredAppendIndex, index, settings_.structuredAppend);
}

ResultCode DataMatrixBarcode::SetStructuredAppendTotal(int32_t total) {
  if (total < 2 || total > kMaxStructuredAppendCount) return Result::InvalidArgument;
  return Update(settings_.structuredAppendTotal, total, settings_.structuredAppend);
}

ResultCode DataMatrixBarcode::SetStructuredAppendFileId(int32_t fileId) {
  if (fileId < 1 || fileId > kMaxStructuredAppendFileId) return Result::InvalidArgument;
  return Update(settings_.structuredAppendFileId, fileId, settings_.structuredAppend);
}

// Drawing properties never bear on the symbol.
ResultCode DataMatrixBarcode::SetOrientation(int32_t degrees) { return Update(drawing_.orientation, degrees, false); }

ResultCode DataMatrixBarcode::SetBackColor(uint32_t color) { return Update(drawing_.backColor, color, false); }

ResultCode DataMatrixBarcode::SetForeColor(uint32_t color) { return Update(drawing_.foreColor, color, false); }

ResultCode DataMatrixBarcode::SetQuietZone(bool on) { return Update(drawing_.quietZone, on, false); }

ResultCode DataMatrixBarcode::SetAlignH(int32_t align) { return Update(drawing_.alignH, align, false); }

ResultCode DataMatrixBarcode::SetAlignV(int32_t align) { return Update(drawing_.alignV, align, false); }

ResultCode DataMatrixBarcode::SetQuietZoneSize(int32_t modules) {
  if (modules < 0) return Result::InvalidArgument;
  return Update(drawing_.quietZoneSize, modules, false);
}

ResultCode DataMatrixBarcode::SetUpdateLock(bool locked) {
  updateLock_ = locked;
  return locked ? Result::Ok : Encode();
}

ResultCode DataMatrixBarcode::ComputeImageSize(double xdim, int32_t hres, int32_t vres, Unit unitIn, Unit unitOut,
                                               double& width, double& height) const {
  const StatusOr<ImageSize> size =
      internal::ComputeImageSize(symbol_.format, drawing_, xdim, hres, vres, unitIn, unitOut);
  if (!size.Ok()) return size.Code();
  width = size->width;
  height = size->height;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::Draw(RgbImage& image, const DrawRect& rect) const {
  const StatusOr<SymbolLayout> layout = ComputeLayout(symbol_.format, drawing_, rect);
  if (!layout.Ok()) return layout.Code();
  if (!encoded_) return Result::InvalidData;
  PaintSymbol(image, symbol_.matrix, *layout);
  return Result::Ok;
}

}  // namespace korvex::internal
