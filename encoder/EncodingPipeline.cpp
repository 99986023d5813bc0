#include "encoder/EncodingPipeline.h"

#include <optional>
#include <vector>

#include "encoder/AutoEncoder.h"
#include "encoder/CodewordWriter.h"
#include "encoder/MinimalEncoder.h"
#include "encoder/Preprocessor.h"
#include "encoder/ReedSolomonCoder.h"

namespace korvex::internal {

namespace {

constexpr std::size_t kReservedCodewords = 1000;
constexpr uint8_t kFirstPad = 129;
// The short X12 and EDIFACT run ends (no unlatch, leftovers in ASCII) save at most two
// codewords against the ends written while the format is still unknown. C40 and Text ends save
// nothing, where they leave out the unlatch the pad takes its codeword, except the full-symbol
// ends of the shortest encodation, which save one. A shortest plan for a format is among the
// plans the measuring pass weighed, so the bound holds for it too.
constexpr std::size_t kMaxShortEndSaving = 2;

bool EncodeWithMode(EncodingMode mode, DataRange items, const std::vector<Segment>& plan, CodewordWriter& out) {
  if (mode == EncodingMode::Auto) return EncodeAuto(items, plan, out);
  // A fixed mode is one run of the scheme of the same number over all the data.
  return EncodeSegment(static_cast<Scheme>(mode), items, true, out);
}

// Runs the scheme over the items behind the codewords already in the buffer (header and leading
// codewords), for a format of the given capacity. Automatic encodation plans its runs by the
// look-ahead once, or, with minimal, by the shortest encodation for each capacity.
class SchemePass {
 public:
  SchemePass(const EncodingSettings& settings, const DataItemList& items, CodewordBuffer& codewords)
      : mode_(settings.encodingMode), items_(items), codewords_(codewords), prefix_(codewords.size()) {
    if (mode_ != EncodingMode::Auto) return;
    if (settings.minimal) {
      minimal_.emplace(items_, prefix_);
    } else {
      plan_ = PlanSegments(items_);
    }
  }

  // False when the scheme refuses the data.
  bool Run(std::size_t capacity) {
    if (minimal_) plan_ = minimal_->Plan(capacity);
    codewords_.resize(prefix_);
    CodewordWriter writer(codewords_, capacity);
    const bool accepted = EncodeWithMode(mode_, items_, plan_, writer);
    misread_ = writer.Misread();
    return accepted;
  }

  // Whether the last run's codewords are readable in a format of the given capacity.
  bool FitsIn(std::size_t capacity) const { return !misread_ && codewords_.size() <= capacity; }
  std::size_t Prefix() const { return prefix_; }

 private:
  EncodingMode mode_;
  DataRange items_;
  CodewordBuffer& codewords_;
  std::size_t prefix_;
  std::vector<Segment> plan_;
  std::optional<MinimalEncoder> minimal_;
  bool misread_ = false;
};

// The run ends depend on the format and the format on the codeword count, so the candidates are
// tried in their order, each with its own capacity, until one holds the data.
ResultCode SettleFormat(const FormatChoice& choice, SchemePass& pass, std::size_t measured, FormatInfo& format) {
  const std::size_t minimum =
      measured >= pass.Prefix() + kMaxShortEndSaving ? measured - kMaxShortEndSaving : pass.Prefix();
  if (choice.preferredFormat != 0) {
    const ResultCode selected = SelectFormat(choice, minimum, format);
    if (selected != Result::Ok) return selected;
    pass.Run(format.dataCodewords);
    return pass.FitsIn(format.dataCodewords) ? Result::Ok : Result::DataDoesNotFit;
  }
  for (const FormatInfo* row : FormatCandidates(choice.shape, choice.dmre)) {
    if (row->dataCodewords < minimum) continue;
    pass.Run(row->dataCodewords);
    if (pass.FitsIn(row->dataCodewords)) {
      format = *row;
      return Result::Ok;
    }
  }
  return Result::NoFittingFormat;
}

void AppendStructuredAppendHeader(const EncodingSettings& settings, CodewordBuffer& codewords) {
  if (!settings.structuredAppend) return;
  codewords.push_back(233);
  codewords.push_back(static_cast<uint8_t>((settings.structuredAppendIndex - 1) * 16 +
                                           (17 - settings.structuredAppendTotal)));
  codewords.push_back(static_cast<uint8_t>(settings.structuredAppendFileId / 255));
  codewords.push_back(static_cast<uint8_t>(settings.structuredAppendFileId % 255));
}

}  // namespace

uint8_t Randomize253(uint8_t pad, std::size_t position) {
  const uint32_t pseudoRandom = ((position % 65536) * 149) % 253 + 1;
  uint32_t value = pad + pseudoRandom;
  if (value > 254) value -= 254;
  return static_cast<uint8_t>(value);
}

void AppendPadding(uint16_t count, CodewordBuffer& codewords) {
  if (count == 0) return;
  codewords.push_back(kFirstPad);
  for (uint16_t i = 1; i < count; ++i) {
    codewords.push_back(Randomize253(kFirstPad, codewords.size() + 1));
  }
}

ResultCode EncodeCodewords(const EncodingSettings& settings, CodewordBuffer& codewords, FormatInfo& format,
                           std::size_t* dataCodewords) {
  CodewordBuffer().swap(codewords);
  codewords.reserve(kReservedCodewords);

  DataItemList items;
  PreprocessData(settings.data, items);
  AppendStructuredAppendHeader(settings, codewords);
  const std::size_t leading = CopyLeadingCodewords(items, codewords);
  items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(leading));

  if (settings.encodingMode < EncodingMode::Auto || settings.encodingMode > EncodingMode::X12) {
    return Result::InvalidEncodingMode;
  }

  const FormatChoice choice{settings.preferredFormat, settings.shape, settings.dmre};
  SchemePass pass(settings, items, codewords);
  if (!pass.Run(CodewordWriter::kUnknownCapacity)) {
    // Automatic encodation refuses only a Base256 run too long for any format.
    if (settings.encodingMode != EncodingMode::Auto) return Result::InvalidData;
    return SelectFormat(choice, CodewordWriter::kUnknownCapacity, format);
  }

  const ResultCode settled = SettleFormat(choice, pass, codewords.size(), format);
  if (settled != Result::Ok) return settled;

  if (dataCodewords != nullptr) *dataCodewords = codewords.size();
  AppendPadding(static_cast<uint16_t>(format.dataCodewords - codewords.size()), codewords);
  if (!AppendErrorCorrection(format, codewords)) return Result::ReedSolomonFailed;
  return Result::Ok;
}

StatusOr<EncodedSymbol> EncodeSymbol(const EncodingSettings& settings, FormatInfo* attempted) {
  EncodedSymbol symbol;
  // The pipeline writes the format as it chooses it: a failure before that leaves it as given.
  if (attempted != nullptr) symbol.format = *attempted;
  const ResultCode code = EncodeCodewords(settings, symbol.codewords, symbol.format, &symbol.dataCodewordsUsed);
  if (code != Result::Ok) {
    if (attempted != nullptr) *attempted = symbol.format;
    return code;
  }
  symbol.matrix.Build(symbol.format, symbol.codewords);
  return symbol;
}

}  // namespace korvex::internal
