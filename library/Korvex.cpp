#include "korvex/korvex.h"

#include "cgi/RequestHandler.h"
#include "cgi/RequestSettings.h"
#include "cgi/ResultCode.h"
#include "encoder/DataMatrixBarcode.h"
#include "library/ParameterList.h"

namespace korvex {

namespace {

ModuleMatrix FailedMatrix(ResultCode code, std::string detail = "") {
  ModuleMatrix matrix;
  matrix.code = code;
  matrix.message = ErrorMessage(code);
  matrix.detail = std::move(detail);
  return matrix;
}

ModuleMatrix EncodeMatrixOf(const Request& request) {
  ParameterList parameters(request);
  const RequestSettings settings = GatherRequestSettings(parameters);
  DataMatrixBarcode barcode;
  std::string detail;
  const ResultCode code = EncodeRequestedSymbol(barcode, settings, detail);
  if (code != Result::Ok) return FailedMatrix(code, std::move(detail));
  const SymbolMatrix& symbol = barcode.Matrix();
  ModuleMatrix matrix = FailedMatrix(Result::Ok);
  matrix.rows = symbol.Rows();
  matrix.cols = symbol.Cols();
  matrix.modules.reserve(static_cast<std::size_t>(matrix.rows) * matrix.cols);
  for (int row = 0; row < matrix.rows; ++row) {
    for (int col = 0; col < matrix.cols; ++col) matrix.modules.push_back(symbol.Module(row, col));
  }
  return matrix;
}

}  // namespace

Answer Render(const Request& request) {
  ParameterList parameters(request);
  ::Answer answer = AnswerParameters(parameters, RequestLimits());
  Answer result;
  result.code = answer.code;
  result.message = ErrorMessage(answer.code);
  result.detail = std::move(answer.detail);
  result.contentType = std::move(answer.contentType);
  result.body = std::move(answer.body);
  return result;
}

ModuleMatrix EncodeMatrix(const Request& request) {
  // As for a request, exhausted memory is the only exception, reported by its code.
  try {
    return EncodeMatrixOf(request);
  } catch (...) {
    return FailedMatrix(Result::UnknownException);
  }
}

const char* Message(int32_t code) { return ErrorMessage(code); }

const char* Version() { return KORVEX_VERSION; }

}  // namespace korvex
