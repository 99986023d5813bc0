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

ResultCode DataMatrixBarcode::Changed(bool affectsSymbol) { return affectsSymbol ? Encode() : Result::Ok; }

ResultCode DataMatrixBarcode::SetDataToEncode(const std::string& data) {
  if (data == settings_.data) return Result::Ok;
  settings_.data = data;
  return Encode();
}

ResultCode DataMatrixBarcode::SetPreferredFormat(int32_t format) {
  if (format == settings_.preferredFormat) return Result::Ok;
  settings_.preferredFormat = format;
  return Encode();
}

ResultCode DataMatrixBarcode::SetShape(int32_t shape) {
  const auto kind = static_cast<SymbolShape>(shape);
  if (kind == settings_.shape) return Result::Ok;
  if (kind < SymbolShape::Square || kind > SymbolShape::Any) return Result::InvalidArgument;
  settings_.shape = kind;
  // A named format does not look at the shape.
  return Changed(settings_.preferredFormat == 0);
}

ResultCode DataMatrixBarcode::SetDmre(bool on) {
  if (on == settings_.dmre) return Result::Ok;
  settings_.dmre = on;
  return Encode();
}

ResultCode DataMatrixBarcode::SetEncodingMode(int32_t mode) {
  const auto kind = static_cast<korvex::internal::EncodingMode>(mode);  // the type, not the getter
  if (kind == settings_.encodingMode) return Result::Ok;
  settings_.encodingMode = kind;
  return Encode();
}

ResultCode DataMatrixBarcode::SetMinimal(bool on) {
  if (on == settings_.minimal) return Result::Ok;
  settings_.minimal = on;
  return Changed(settings_.encodingMode == EncodingMode::Auto);
}

ResultCode DataMatrixBarcode::SetStructuredAppend(bool on) {
  if (on == settings_.structuredAppend) return Result::Ok;
  settings_.structuredAppend = on;
  return Encode();
}

ResultCode DataMatrixBarcode::SetStructuredAppendIndex(int32_t index) {
  if (index == settings_.structuredAppendIndex) return Result::Ok;
  if (index < 1 || index > kMaxStructuredAppendCount) return Result::InvalidArgument;
  settings_.structuredAppendIndex = index;
  return Changed(settings_.structuredAppend);
}

ResultCode DataMatrixBarcode::SetStructuredAppendTotal(int32_t total) {
  if (total == settings_.structuredAppendTotal) return Result::Ok;
  if (total < 2 || total > kMaxStructuredAppendCount) return Result::InvalidArgument;
  settings_.structuredAppendTotal = total;
  return Changed(settings_.structuredAppend);
}

ResultCode DataMatrixBarcode::SetStructuredAppendFileId(int32_t fileId) {
  if (fileId == settings_.structuredAppendFileId) return Result::Ok;
  if (fileId < 1 || fileId > kMaxStructuredAppendFileId) return Result::InvalidArgument;
  settings_.structuredAppendFileId = fileId;
  return Changed(settings_.structuredAppend);
}

ResultCode DataMatrixBarcode::SetOrientation(int32_t degrees) {
  drawing_.orientation = degrees;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::SetBackColor(uint32_t color) {
  drawing_.backColor = color;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::SetForeColor(uint32_t color) {
  drawing_.foreColor = color;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::SetQuietZone(bool on) {
  drawing_.quietZone = on;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::SetAlignH(int32_t align) {
  drawing_.alignH = align;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::SetAlignV(int32_t align) {
  drawing_.alignV = align;
  return Result::Ok;
}

ResultCode DataMatrixBarcode::SetQuietZoneSize(int32_t modules) {
  if (modules < 0) return Result::InvalidArgument;
  drawing_.quietZoneSize = modules;
  return Result::Ok;
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
