#pragma once

#include <cstdint>
#include <string>

#include "encoder/EncodedSymbol.h"
#include "encoder/EncodingPipeline.h"
#include "render/DrawingGeometry.h"
#include "result/ResultCode.h"

namespace korvex::internal {

class RgbImage;

// One Data Matrix ECC200 symbol: the properties a caller sets, and the symbol they encode to
// (EncodeSymbol). Content setters re-encode at once unless the update bracket (SetUpdateLock)
// is open; drawing setters never encode. Drawing lays the symbol out (ComputeLayout) and
// paints it (PaintSymbol), changing nothing here.
class DataMatrixBarcode {
 public:
  DataMatrixBarcode();
  DataMatrixBarcode(const DataMatrixBarcode&) = delete;
  DataMatrixBarcode& operator=(const DataMatrixBarcode&) = delete;

  ResultCode SetDataToEncode(const std::string& data);
  ResultCode SetPreferredFormat(int32_t format);
  // Which formats the automatic choice tries (a SymbolShape value); 1 for any other value.
  ResultCode SetShape(int32_t shape);
  // Whether the DMRE formats join the automatic choice and may be named by PreferredFormat.
  ResultCode SetDmre(bool on);
  ResultCode SetEncodingMode(int32_t mode);
  // With EncodingMode 0, the shortest encodation instead of the look-ahead; no effect otherwise.
  ResultCode SetMinimal(bool on);
  ResultCode SetStructuredAppend(bool on);
  ResultCode SetStructuredAppendIndex(int32_t index);
  ResultCode SetStructuredAppendTotal(int32_t total);
  ResultCode SetStructuredAppendFileId(int32_t fileId);
  ResultCode SetOrientation(int32_t degrees);
  ResultCode SetBackColor(uint32_t color);
  ResultCode SetForeColor(uint32_t color);
  ResultCode SetQuietZone(bool on);
  ResultCode SetAlignH(int32_t align);
  ResultCode SetAlignV(int32_t align);
  ResultCode SetQuietZoneSize(int32_t modules);
  ResultCode SetUpdateLock(bool locked);

  // Image size (in unitOut) that shows the symbol and its quiet zones at the X-dimension.
  ResultCode ComputeImageSize(double xdim, int32_t hres, int32_t vres, Unit unitIn, Unit unitOut, double& width,
                              double& height) const;
  // Paints the symbol into the rectangle of the image: 0, 4 (does not fit, checked first) or 5
  // (not encoded); a failure leaves the image untouched.
  ResultCode Draw(RgbImage& image, const DrawRect& rect) const;

  const std::string& DataToEncode() const { return settings_.data; }
  int32_t PreferredFormat() const { return settings_.preferredFormat; }
  int32_t Shape() const { return static_cast<int32_t>(settings_.shape); }
  bool Dmre() const { return settings_.dmre; }
  int32_t EncodingMode() const { return static_cast<int32_t>(settings_.encodingMode); }
  bool Minimal() const { return settings_.minimal; }
  bool StructuredAppend() const { return settings_.structuredAppend; }
  int32_t StructuredAppendIndex() const { return settings_.structuredAppendIndex; }
  int32_t StructuredAppendTotal() const { return settings_.structuredAppendTotal; }
  int32_t StructuredAppendFileId() const { return settings_.structuredAppendFileId; }
  int32_t Orientation() const { return drawing_.orientation; }
  uint32_t BackColor() const { return drawing_.backColor; }
  uint32_t ForeColor() const { return drawing_.foreColor; }
  bool QuietZone() const { return drawing_.quietZone; }
  int32_t QuietZoneSize() const { return drawing_.quietZoneSize; }
  int32_t AlignH() const { return drawing_.alignH; }
  int32_t AlignV() const { return drawing_.alignV; }

  bool Encoded() const { return encoded_; }
  // The last successful encoding; a failed one clears Encoded and leaves only the format it had
  // chosen.
  const EncodedSymbol& Symbol() const { return symbol_; }
  const CodewordBuffer& Codewords() const { return symbol_.codewords; }
  const FormatInfo& CurrentFormat() const { return symbol_.format; }
  // Codewords the data took in the last successful encoding, before padding.
  std::size_t DataCodewordsUsed() const { return symbol_.dataCodewordsUsed; }
  const SymbolMatrix& Matrix() const { return symbol_.matrix; }

 private:
  ResultCode Encode();
  // Stores a property; a changed one re-encodes when it bears on the symbol (a shape only
  // without a named format, structured-append values only when it is on).
  template <typename Value>
  ResultCode Update(Value& property, Value value, bool affectsSymbol = true);

  EncodingSettings settings_;
  DrawingProperties drawing_;
  bool encoded_ = false;
  EncodedSymbol symbol_;
  bool updateLock_ = false;
};

}  // namespace korvex::internal
