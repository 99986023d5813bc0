#pragma once

#include <string>

#include "request/HtmlPages.h"
#include "result/ResultCode.h"

namespace korvex::internal {

// What an answer holds, so that a front end tells an image from a page or from nothing without
// reading its content type.
enum class AnswerKind { Nothing, PngImage, SvgImage, HelpPage, ErrorPage };

// The complete answer to one request, built in memory before any of it is written, so that a
// failure part-way can never leave a truncated image behind a success header.
struct Answer {
  int status = 0;            // the CGI program's exit status
  AnswerKind kind = AnswerKind::Nothing;
  std::string body;
  ResultCode code = Result::Ok;  // the failing step's code, also when no page reports it
  std::string detail;            // what exactly failed, when the code alone does not say
  // Whether the body depends on the request alone, so that the same request always gets the
  // same bytes (what a cache may rely on, with an ETag). Only the 24-bit PNG does not: its tIME
  // chunk and "Creation Time" text carry the clock. Pages, the SVG and the compact PNG are.
  bool reproducible = true;
  // The failure lies with the service (memory, the output), not with what the request asked.
  bool serviceFault = false;

  // The content type the body goes out with, by its kind; empty for Nothing: nothing is written.
  const char* ContentType() const {
    switch (kind) {
      case AnswerKind::PngImage: return "image/png";
      case AnswerKind::SvgImage: return "image/svg+xml";
      case AnswerKind::HelpPage:
      case AnswerKind::ErrorPage: return kHtmlContentType;
      case AnswerKind::Nothing: break;
    }
    return "";
  }
};

}  // namespace korvex::internal
