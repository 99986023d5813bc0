// The C interface of libkorvex over the request road: typed options become the web parameters
// they stand for (library/TypedParameters.h), which the one parameter table reads.
#include "korvex/korvex.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "request/Answer.h"
#include "request/RequestHandler.h"
#include "request/RequestSettings.h"
#include "result/ResultCode.h"
#include "library/ParameterList.h"
#include "library/TypedParameters.h"

using namespace korvex::internal;

struct korvex_symbol {
  ResultCode code = Result::Ok;
  std::string detail;
  int32_t rows = 0;
  int32_t cols = 0;
  int32_t format = 0;
  int32_t dataCodewords = 0;
  int32_t capacity = 0;
  std::vector<uint8_t> modules;  // row after row
  // What the symbol was encoded from, which every writer reads again behind its drawing ones.
  ParameterList::Pairs parameters;
};

struct korvex_error {
  ResultCode code = Result::Ok;
  std::string detail;
};

struct korvex_answer {
  Answer answer;
};

namespace korvex::internal {
namespace {

ParameterList::Pairs AsPairs(const korvex_parameter* parameters, std::size_t count) {
  ParameterList::Pairs pairs;
  pairs.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (parameters[i].name == nullptr) continue;
    pairs.emplace_back(parameters[i].name, parameters[i].value != nullptr ? parameters[i].value : "");
  }
  return pairs;
}

// The symbol of the parameters, or its failure.
void EncodeInto(korvex_symbol& symbol) {
  ParameterList list(symbol.parameters);
  const RequestSettings settings = GatherRequestSettings(list);
  const StatusOr<EncodedSymbol> encoded = EncodeRequestedSymbol(settings);
  symbol.code = encoded.Code();
  if (!encoded.Ok()) {
    symbol.detail = encoded.GetStatus().Detail();
    return;
  }
  const SymbolMatrix& matrix = encoded->matrix;
  symbol.rows = matrix.Rows();
  symbol.cols = matrix.Cols();
  symbol.modules.reserve(static_cast<std::size_t>(symbol.rows) * symbol.cols);
  for (int row = 0; row < symbol.rows; ++row) {
    for (int col = 0; col < symbol.cols; ++col) symbol.modules.push_back(matrix.Module(row, col) ? 1 : 0);
  }
  symbol.format = encoded->format.id;
  symbol.dataCodewords = static_cast<int32_t>(encoded->dataCodewordsUsed);
  symbol.capacity = encoded->format.dataCodewords;
}

// A symbol that holds only an unknown failure; nullptr when even that finds no memory.
korvex_symbol* UnknownFailure() noexcept {
  auto* symbol = new (std::nothrow) korvex_symbol;
  if (symbol != nullptr) symbol->code = Result::UnknownException;
  return symbol;
}

ResultCode CodeOf(const korvex_symbol& symbol) { return symbol.code; }
ResultCode CodeOf(const korvex_answer& answer) { return answer.answer.code; }

// A new handle filled by fill, handed to the caller (or freed where the caller keeps none);
// returns its code. When filling throws, the caller gets what failed() makes instead: a handle
// that holds only the failure, or nullptr, which stands for UnknownException.
template <typename Handle, typename Failed, typename Fill>
int32_t Deliver(Handle** handle, Failed failed, Fill fill) noexcept {
  Handle* made = nullptr;
  try {
    made = new Handle;
    fill(*made);
  } catch (...) {
    delete made;
    made = failed();
  }
  const int32_t code = made != nullptr ? CodeOf(*made) : Result::UnknownException;
  if (handle != nullptr) {
    *handle = made;
  } else {
    delete made;
  }
  return code;
}

int32_t Fail(ResultCode code, std::string detail, korvex_error** error) noexcept {
  if (error != nullptr) {
    try {
      *error = new korvex_error{code, std::move(detail)};
    } catch (...) {
      *error = nullptr;
    }
  }
  return code;
}

korvex_drawing_options DefaultDrawing() {
  korvex_drawing_options options;
  korvex_drawing_options_init(&options);
  return options;
}

// The symbol drawn by the options through the web road, its bytes copied into a buffer that
// the caller frees with korvex_free.
int32_t Write(const korvex_symbol* symbol, const korvex_drawing_options* given, OutputKind output,
              unsigned char** bytes, std::size_t* size, korvex_error** error) noexcept {
  if (bytes != nullptr) *bytes = nullptr;
  if (size != nullptr) *size = 0;
  if (error != nullptr) *error = nullptr;
  if (symbol == nullptr || bytes == nullptr || size == nullptr) {
    return Fail(Result::InvalidArgument, "symbol, bytes and size must not be NULL", error);
  }
  if (symbol->code != Result::Ok) return Fail(symbol->code, symbol->detail, error);
  try {
    const korvex_drawing_options options = given != nullptr ? *given : DefaultDrawing();
    ParameterList::Pairs parameters = DrawingParameters(options, output);
    parameters.insert(parameters.end(), symbol->parameters.begin(), symbol->parameters.end());
    ParameterList list(parameters);
    const RequestSettings settings = GatherRequestSettings(list);
    const Status checked = CheckDrawingSettings(options, settings);
    if (!checked.Ok()) return Fail(checked.Code(), checked.Detail(), error);
    Answer answer;
    const ResultCode code = RenderImage(settings, RequestLimits(), answer);
    if (code != Result::Ok) return Fail(code, std::move(answer.detail), error);
    // One byte more, so that an empty body still has a buffer of its own.
    auto* buffer = static_cast<unsigned char*>(std::malloc(answer.body.size() + 1));
    if (buffer == nullptr) return Fail(Result::UnknownException, "", error);
    std::memcpy(buffer, answer.body.data(), answer.body.size());
    *bytes = buffer;
    *size = answer.body.size();
    return Result::Ok;
  } catch (...) {
    return Fail(Result::UnknownException, "", error);
  }
}

}  // namespace
}  // namespace korvex::internal

extern "C" {

const char* korvex_version(void) { return KORVEX_VERSION_STRING; }

const char* korvex_message(int32_t code) { return ErrorMessage(code); }

void korvex_free(void* buffer) { std::free(buffer); }

void korvex_encode_options_init(korvex_encode_options* options) {
  if (options == nullptr) return;
  *options = korvex_encode_options{};
  options->input = KORVEX_INPUT_BYTES;
  options->shape = KORVEX_SHAPE_SQUARE;
  options->mode = KORVEX_MODE_AUTO;
}

void korvex_drawing_options_init(korvex_drawing_options* options) {
  if (options == nullptr) return;
  *options = korvex_drawing_options{};
  options->module_size = 5;
  options->quiet_zone = 1;
  options->foreground = 0x000000;
  options->background = 0xFFFFFF;
  options->align_h = KORVEX_ALIGN_CENTER;
  options->align_v = KORVEX_ALIGN_CENTER;
}

int32_t korvex_encode(const void* data, size_t size, const korvex_encode_options* given, korvex_symbol** symbol) {
  return Deliver(symbol, UnknownFailure, [&](korvex_symbol& made) {
    korvex_encode_options options;
    korvex_encode_options_init(&options);
    if (given != nullptr) options = *given;
    StatusOr<ParameterList::Pairs> parameters = EncodeParameters(data, size, options);
    made.code = parameters.Code();
    made.detail = parameters.Detail();
    if (parameters.Ok()) {
      made.parameters = std::move(parameters).Value();
      EncodeInto(made);
    }
  });
}

int32_t korvex_encode_parameters(const korvex_parameter* parameters, size_t count, korvex_symbol** symbol) {
  if (parameters == nullptr && count > 0) {
    // Without memory even for this failure the caller gets no symbol, and UnknownException.
    return Deliver(symbol, [] { return nullptr; }, [](korvex_symbol& made) {
      made.code = Result::InvalidArgument;
      made.detail = "parameters: NULL";
    });
  }
  return Deliver(symbol, UnknownFailure, [&](korvex_symbol& made) {
    made.parameters = AsPairs(parameters, count);
    EncodeInto(made);
  });
}

void korvex_symbol_free(korvex_symbol* symbol) { delete symbol; }

int32_t korvex_symbol_code(const korvex_symbol* symbol) {
  return symbol != nullptr ? symbol->code : Result::InvalidArgument;
}

const char* korvex_symbol_message(const korvex_symbol* symbol) { return ErrorMessage(korvex_symbol_code(symbol)); }

const char* korvex_symbol_detail(const korvex_symbol* symbol) {
  return symbol != nullptr ? symbol->detail.c_str() : "";
}

int32_t korvex_symbol_rows(const korvex_symbol* symbol) { return symbol != nullptr ? symbol->rows : 0; }

int32_t korvex_symbol_cols(const korvex_symbol* symbol) { return symbol != nullptr ? symbol->cols : 0; }

int32_t korvex_symbol_module(const korvex_symbol* symbol, int32_t row, int32_t col) {
  if (symbol == nullptr || row < 0 || col < 0 || row >= symbol->rows || col >= symbol->cols) return -1;
  return symbol->modules[static_cast<std::size_t>(row) * symbol->cols + col];
}

const uint8_t* korvex_symbol_modules(const korvex_symbol* symbol) {
  return symbol != nullptr ? symbol->modules.data() : nullptr;
}

int32_t korvex_symbol_format(const korvex_symbol* symbol) { return symbol != nullptr ? symbol->format : 0; }

int32_t korvex_symbol_data_codewords(const korvex_symbol* symbol) {
  return symbol != nullptr ? symbol->dataCodewords : 0;
}

int32_t korvex_symbol_capacity(const korvex_symbol* symbol) { return symbol != nullptr ? symbol->capacity : 0; }

int32_t korvex_write_png(const korvex_symbol* symbol, const korvex_drawing_options* options, unsigned char** bytes,
                         size_t* size, korvex_error** error) {
  return Write(symbol, options, OutputKind::Png, bytes, size, error);
}

int32_t korvex_write_compact_png(const korvex_symbol* symbol, const korvex_drawing_options* options,
                                 unsigned char** bytes, size_t* size, korvex_error** error) {
  return Write(symbol, options, OutputKind::CompactPng, bytes, size, error);
}

int32_t korvex_write_svg(const korvex_symbol* symbol, const korvex_drawing_options* options, unsigned char** bytes,
                         size_t* size, korvex_error** error) {
  return Write(symbol, options, OutputKind::Svg, bytes, size, error);
}

void korvex_error_free(korvex_error* error) { delete error; }

int32_t korvex_error_code(const korvex_error* error) { return error != nullptr ? error->code : Result::Ok; }

const char* korvex_error_message(const korvex_error* error) { return ErrorMessage(korvex_error_code(error)); }

const char* korvex_error_detail(const korvex_error* error) { return error != nullptr ? error->detail.c_str() : ""; }

int32_t korvex_render(const korvex_parameter* parameters, size_t count, korvex_answer** answer) {
  return Deliver(answer, [] { return nullptr; }, [&](korvex_answer& made) {
    if (parameters == nullptr && count > 0) {
      made.answer.code = Result::InvalidArgument;
      made.answer.status = Result::InvalidArgument;
      made.answer.detail = "parameters: NULL";
    } else {
      const ParameterList::Pairs pairs = AsPairs(parameters, count);
      ParameterList list(pairs);
      // Catches everything itself, as for a web request.
      made.answer = AnswerParameters(list, RequestLimits());
    }
  });
}

void korvex_answer_free(korvex_answer* answer) { delete answer; }

int32_t korvex_answer_code(const korvex_answer* answer) {
  return answer != nullptr ? answer->answer.code : Result::InvalidArgument;
}

const char* korvex_answer_message(const korvex_answer* answer) { return ErrorMessage(korvex_answer_code(answer)); }

const char* korvex_answer_detail(const korvex_answer* answer) {
  return answer != nullptr ? answer->answer.detail.c_str() : "";
}

int32_t korvex_answer_status(const korvex_answer* answer) { return answer != nullptr ? answer->answer.status : 0; }

const char* korvex_answer_content_type(const korvex_answer* answer) {
  return answer != nullptr ? answer->answer.ContentType() : "";
}

const unsigned char* korvex_answer_body(const korvex_answer* answer, size_t* size) {
  if (size != nullptr) *size = answer != nullptr ? answer->answer.body.size() : 0;
  if (answer == nullptr) return nullptr;
  return reinterpret_cast<const unsigned char*>(answer->answer.body.data());
}

}  // extern "C"
