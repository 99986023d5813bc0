// Runs the whole request handler in-process on a CGI environment and body built from the input,
// with the response going to a memory stream, and checks that the outcome is one that a request
// may have: a well-formed PNG after its header, an SVG document after its own, the help page, the error page of the exit
// status, or nothing; and that the exit status fits the response. The FastCGI worker serves many
// requests with the one handler in one process, so each input is also served a second time, and
// a fixed probe request after it, and both must get the answers they got before: nothing of one
// request may reach the next.
//
// Input layout: byte 0 picks the method (bit 4 puts compact=1 before the request text), byte 1
// how CONTENT_LENGTH is given, byte 2 is a parameter of that choice; the rest is the request
// text (query string or body). A compact PNG must have the pixels of the request's 24-bit PNG.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "request/QueryString.h"
#include "cgi/CgiRequest.h"
#include "request/RequestSettings.h"
#include "result/ResultCode.h"
#include "support/HtmlPageTexts.h"
#include "support/PngReader.h"

using namespace korvex::internal;

namespace {

constexpr size_t kHeaderBytes = 3;
constexpr const char* kPngHeader = "Content-type: image/png\n\n";
constexpr const char* kSvgHeader = "Content-type: image/svg+xml\n\n";
constexpr uint64_t kMaxRasterBytes = 64ull * 1024 * 1024;

constexpr std::array<const char*, 12> kOddContentLengths = {
    "0", "-1", "3601", "2147483648", "4294967297", "18446744073709551616", "abc", " 12", "+7", "", "99999999999999999999999", "-0"};

struct Request {
  CgiEnvironment environment;
  std::string body;
};

[[noreturn]] void Fail(const char* what, const Request& request, int status, const std::string& output) {
  std::fprintf(stderr, "Request: %s (method %s, CONTENT_LENGTH %s, status %d, %zu bytes of output)\n", what,
               request.environment.requestMethod.value_or("<unset>").c_str(),
               request.environment.contentLength.value_or("<unset>").c_str(), status, output.size());
  std::abort();
}

std::optional<std::string> MethodFromByte(uint8_t selector) {
  switch (selector % 8) {
    case 0: return "GET";
    case 1: return "POST";
    case 2: return "get";
    case 3: return "PoSt";
    case 4: return "HEAD";
    case 5: return std::nullopt;
    case 6: return "";
    default: return "GET ";
  }
}

Request RequestFromInput(const uint8_t* bytes, size_t size) {
  std::array<uint8_t, kHeaderBytes> head{};
  for (size_t i = 0; i < head.size() && i < size; ++i) head[i] = bytes[i];
  std::string text;
  if (size > kHeaderBytes) text.assign(reinterpret_cast<const char*>(bytes) + kHeaderBytes, size - kHeaderBytes);
  if (head[0] & 0x10) text = "compact=1&" + text;

  Request request;
  request.environment.requestMethod = MethodFromByte(head[0]);
  // The environment cannot carry a NUL, a body can. A POST also has a query string, which it
  // must ignore; a GET with bit 3 set has none at all.
  request.environment.queryString = text.substr(0, text.find('\0'));
  if ((head[0] & 0x08) && (head[0] % 8 == 0 || head[0] % 8 == 2)) request.environment.queryString.reset();
  if (head[0] % 8 == 1 || head[0] % 8 == 3) request.environment.queryString = "help=1&debug=1";
  request.body = text;

  switch (head[1] % 8) {
    case 4:  // announces more than arrives
      request.environment.contentLength = std::to_string(text.size() + 1 + head[2]);
      break;
    case 5:  // announces less than arrives
      request.environment.contentLength = std::to_string(text.size() > head[2] ? text.size() - head[2] : 0);
      break;
    case 6:
      request.environment.contentLength.reset();
      break;
    case 7:
      request.environment.contentLength = kOddContentLengths[head[2] % kOddContentLengths.size()];
      break;
    default:
      request.environment.contentLength = std::to_string(text.size());
  }
  return request;
}

// What the environment alone decides before any parameter is read.
enum class Intake { Text, BadEnvironment, TooLong, Unpredictable };

// The request text that a request with these variables carries, or why there is none.
Intake ExpectedRequestText(const Request& request, std::string& text) {
  const auto& environment = request.environment;
  if (!environment.requestMethod) return Intake::BadEnvironment;
  std::string method = *environment.requestMethod;
  for (char& c : method) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (method == "get") {
    if (!environment.queryString) return Intake::BadEnvironment;
    text = *environment.queryString;
    return text.size() > 3600 ? Intake::TooLong : Intake::Text;
  }
  if (method != "post" || !environment.contentLength) return Intake::BadEnvironment;
  const std::string& announced = *environment.contentLength;
  // Signs, blanks and letters follow the number rule, which the unit tests pin down.
  if (announced.empty() || announced.find_first_not_of("0123456789") != std::string::npos) return Intake::Unpredictable;
  const size_t significant = announced.find_first_not_of('0');
  if (significant == std::string::npos) return Intake::BadEnvironment;
  if (announced.size() - significant > 6) return Intake::TooLong;
  const size_t length = std::stoul(announced);
  if (length > 3600) return Intake::TooLong;
  if (request.body.size() < length) return Intake::BadEnvironment;
  text = request.body.substr(0, length);
  text = text.substr(0, text.find('\0'));
  return Intake::Text;
}

std::string RunHandler(const Request& request, int& status) {
  static FILE* const emptyInput = std::fopen("/dev/null", "r");
  FILE* input = request.body.empty() ? nullptr
                                     : fmemopen(const_cast<char*>(request.body.data()), request.body.size(), "r");
  char* buffer = nullptr;
  size_t length = 0;
  FILE* output = open_memstream(&buffer, &length);
  if (output == nullptr || (input == nullptr && !request.body.empty())) std::abort();
  const CgiResponse answered =
      RespondToCgiRequest(request.environment, ReaderOf(input != nullptr ? input : emptyInput));
  WriteResponse(answered, output);
  status = answered.status;
  std::fclose(output);
  if (input != nullptr) std::fclose(input);
  std::string response(buffer, length);
  std::free(buffer);
  return response;
}

void CheckPng(const Request& request, int status, const std::string& output) {
  if (status != 0) Fail("PNG with a failure status", request, status, output);
  PngInfo png;
  std::string error;
  if (!ReadPng(output.substr(std::string(kPngHeader).size()), png, &error)) {
    std::fprintf(stderr, "PNG not well-formed: %s\n", error.c_str());
    Fail("malformed PNG", request, status, output);
  }
  if (png.width < 1 || png.height < 1 || uint64_t{png.width} * png.height * 3 > kMaxRasterBytes) {
    Fail("image size out of bounds", request, status, output);
  }
}

// A compact PNG, which the request text asked for: one bit per pixel, no clock, and the pixels
// of the 24-bit PNG that the same text with compact=0 in front gets.
void CheckCompactPng(const Request& request, const std::string& text, const std::string& output) {
  QueryString query(text.c_str());
  const char* compact = query.Lookup("compact");
  if (compact == nullptr || ReadNumber(compact) == 0) return;
  PngInfo png;
  if (!ReadPng(output.substr(std::string(kPngHeader).size()), png)) return;  // CheckPng reports it
  if (png.bitDepth != 1 || png.FindChunk("tIME") != nullptr || png.FindChunk("tEXt") != nullptr ||
      png.FindChunk("gAMA") != nullptr) {
    Fail("compact PNG with more than one bit per pixel or with the clock", request, 0, output);
  }
  const std::string plainText = "compact=0&" + text;
  if (plainText.size() > 3600) return;
  const Request plain = {{"GET", plainText, std::nullopt}, ""};
  int status = -1;
  const std::string plainOutput = RunHandler(plain, status);
  PngInfo expected;
  if (status != 0 || !ReadPng(plainOutput.substr(std::string(kPngHeader).size()), expected) ||
      expected.width != png.width || expected.height != png.height || expected.rgb != png.rgb) {
    Fail("compact PNG whose pixels differ from the 24-bit PNG", request, status, output);
  }
}

// An SVG answer is a whole document: its start, its end and nothing after it.
void CheckSvg(const Request& request, int status, const std::string& output) {
  if (status != 0) Fail("SVG with a failure status", request, status, output);
  const std::string start = std::string(kSvgHeader) + "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ";
  const std::string end = "</svg>\n";
  if (output.compare(0, start.size(), start) != 0 || output.size() < start.size() + end.size() ||
      output.compare(output.size() - end.size(), end.size(), end) != 0 || output.find(end) != output.size() - end.size()) {
    Fail("malformed SVG document", request, status, output);
  }
}

// The same request again, and then the probe, answer as they did before (the PNG's time
// fields aside, which change with the second).
void CheckNothingCarriedOver(const Request& request, int status, const std::string& output) {
  int againStatus = -1;
  if (WithoutPngTime(RunHandler(request, againStatus)) != WithoutPngTime(output) || againStatus != status) {
    Fail("the same request answered differently the second time", request, status, output);
  }
  static const Request probe = {{"GET", "data=Probe%20~1AB12ab%FE&angle=90&bcolor=ff8800&xdim=2", std::nullopt}, ""};
  static int probeStatus = -1;
  static const std::string probeAnswer = WithoutPngTime(RunHandler(probe, probeStatus));
  int status2 = -1;
  const std::string answer = RunHandler(probe, status2);
  if (WithoutPngTime(answer) != probeAnswer || status2 != probeStatus || probeStatus != 0) {
    Fail("a request changed the answer to the next one", probe, status2, answer);
  }
}

// Whether output is the error page of a gs1, gs1dl or utf8 request refused for its data: code 5
// with one detail line, on which markup is escaped.
bool IsDataFaultPage(QueryString& query, int status, const std::string& output) {
  const auto switchedOn = [&query](const char* name) {
    const char* value = query.Lookup(name);
    return value != nullptr && ReadNumber(value) != 0;
  };
  if (status != 5 || !(switchedOn("gs1") || switchedOn("utf8") || switchedOn("gs1dl"))) return false;
  const std::string marked = ExpectedErrorPage(ErrorMessage(status), "\x01");
  const std::string head = marked.substr(0, marked.find('\x01'));
  const std::string tail = marked.substr(head.size() + 1);
  if (output.size() <= head.size() + tail.size() || output.compare(0, head.size(), head) != 0 ||
      output.compare(output.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  const std::string detail = output.substr(head.size(), output.size() - head.size() - tail.size());
  return (detail.rfind("GS1: ", 0) == 0 || detail.rfind("UTF-8: ", 0) == 0 ||
          detail.rfind("GS1 Digital Link: ", 0) == 0) &&
         detail.find_first_of("<>\"'\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const Request request = RequestFromInput(bytes, size);
  int status = -1;
  const std::string output = RunHandler(request, status);
  CheckNothingCarriedOver(request, status, output);

  // Statuses a request can reach: mode and format are range-checked before the barcode sees
  // them, so 6 and 7 cannot occur, and the raster cap gives 3.
  switch (status) {
    case 0: case 1: case 3: case 4: case 5: case 8: case 10: break;
    default: Fail("unexpected exit status", request, status, output);
  }

  std::string text;
  const Intake intake = ExpectedRequestText(request, text);
  if (intake == Intake::BadEnvironment && (status != 1 || !output.empty())) {
    Fail("bad environment not refused with 1", request, status, output);
  }
  if (intake == Intake::TooLong && (status != 5 || !output.empty())) {
    Fail("over-long request not refused with 5", request, status, output);
  }
  if (intake == Intake::BadEnvironment || intake == Intake::TooLong) return 0;
  if (intake == Intake::Unpredictable && (status == 1 || status == 5) && output.empty()) return 0;

  if (output.rfind(kPngHeader, 0) == 0) {
    CheckPng(request, status, output);
    if (intake == Intake::Text) CheckCompactPng(request, text, output);
    return 0;
  }
  if (output.rfind(kSvgHeader, 0) == 0) {
    CheckSvg(request, status, output);
    return 0;
  }
  if (output == ExpectedHelpPage()) {
    if (status != 0) Fail("help page with a failure status", request, status, output);
    if (intake == Intake::Text && QueryString(text.c_str()).Lookup("help") == nullptr) {
      Fail("help page without help", request, status, output);
    }
    return 0;
  }
  // A caught exception (code 14) cannot happen here: nothing runs out of memory.
  if (status == 0) Fail("success without an image or the help page", request, status, output);
  if (intake == Intake::Text) {
    QueryString query(text.c_str());
    if (query.Lookup("help") != nullptr) Fail("help asked for, no help page", request, status, output);
    const bool debug = query.Lookup("debug") != nullptr;
    const std::string expected = debug ? ExpectedErrorPage(ErrorMessage(status)) : std::string();
    if (output != expected && !(debug && IsDataFaultPage(query, status, output))) {
      Fail("error response does not fit the status", request, status, output);
    }
  } else if (!output.empty() && output != ExpectedErrorPage(ErrorMessage(status))) {
    Fail("error response does not fit the status", request, status, output);
  }
  return 0;
}
