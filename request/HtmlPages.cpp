#include "request/HtmlPages.h"

#include <array>
#include <string>

namespace korvex::internal {

namespace {

constexpr const char* kApplicationName = "Korvex";
constexpr const char* kVersion = "1.4";

struct HelpRow {
  const char* name;
  const char* description;
  const char* property;   // linked in the third cell; nullptr for parameters without one
  const char* plainCell;  // the third cell's text when there is no property
  const char* defaultValue;
};

constexpr std::array<HelpRow, 15> kHelpRows = {{
    {"w", "DataMatrix picture width.", nullptr, "", "100"},
    {"h", "DataMatrix picture height.", nullptr, "", "100"},
    {"xdim", "DataMatrix X-Dimension.", nullptr,
     "This parameter makes sense only if the <i>w</i> and <i>h</i> parameters are not used.", "5"},
    {"data", "Sets the data that is to be encoded in the DataMatrix.", "DataToEncode", "", "1234567"},
    {"fmt", "DataMatrix format.<br>Possible values: 0...30", "PreferredFormat", "", "0"},
    {"mode", "DataMatrix encoding mode.<br>Possible values: 0...6", "EncodingMode", "", "0"},
    {"angle", "Orientation of the DataMatrix bar code.<br>Possible values: 0, 90, 180, 270", "Orientation", "", "0"},
    {"quiet", "Show quiet zones.<br>Possible values: 0(hide) or 1(show)", "QuietZone", "", "1"},
    {"alignh", "Horizontal barcode alignment.<br>Possible values: 0...3", "AlignH", "", "1"},
    {"alignv", "Vertical barcode alignment.<br>Possible values: 0...3", "AlignV", "", "1"},
    {"bcolor",
     "Background color.<br>Possible values: 000000...ffffff<br>The color must be presented as RGB, i.e. you should "
     "specify the value ff0000 for the red color.",
     "BackColor", "", "ffffff (white)"},
    {"fcolor", "Foreground color.<br>Possible values: 000000...ffffff", "ForeColor", "", "000000 (black)"},
    {"qsize", "Quiet zone size.<br>Possible values: 0...", "QuietZoneSize", "", "1"},
    {"help", "Displays information about our Korvex generator.", nullptr, "", ""},
    {"debug", "Displays information about the error.", nullptr, "", ""},
}};

std::string Link(const std::string& address, const char* text) {
  return "<a href='" + address + "'>" + text + "</a>";
}

std::string Cell(const std::string& content) { return "<td>" + content + "</td>"; }

std::string HelpRowHtml(const HelpRow& row) {
  const std::string property = row.property != nullptr
                                   ? Link(std::string(HelpLinks::kPropertyEntryPrefix) + row.property, row.property)
                                   : std::string(row.plainCell);
  return "<tr bgcolor='#F3F3F5'>" + Cell(row.name) + Cell(row.description) + Cell(property) +
         Cell(row.defaultValue) + "</tr>";
}

// One block without line feeds.
std::string HelpBody() {
  std::string body = "For more information please click " + Link(HelpLinks::kProductPage, kApplicationName) +
                     ".<br><br>Our barcode CGI generators understand both GET and POST requests.<br><br>"
                     "<table width=640 cellSpacing=1 cellPadding=4 border=0>"
                     "<tr bgcolor='#DFDFE5'><td><b>Parameter Name</b></td><td><b>Description</b></td>"
                     "<td><b>Corresponding property of " +
                     Link(HelpLinks::kPropertyDocumentation, "Velloc") +
                     "</b></td><td><b>Default value</b></td></tr>";
  for (const HelpRow& row : kHelpRows) {
    body += HelpRowHtml(row);
  }
  body += "</table>";
  return body;
}

// Text with the characters that HTML reads as markup written as entities.
std::string EscapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::string ErrorPage(ResultCode code, const std::string& detail) {
  std::string page = "<html><head><title>Korvex</title></head><body>\n<b><font color='#ff0000'>";
  page += ErrorMessage(code);
  page += "</font></b>\n";
  if (!detail.empty()) {
    page += EscapeHtml(detail) + "<br>\n";
  }
  page += "</body></html>\n";
  return page;
}

std::string HelpPage() {
  return "<html><head><title>Korvex</title><STYLE type='text/css'>td {font-size:11px; font-family:Verdana,Arial; "
         "color:000000; font-weight:300; font-style:normal; text-decoration:none}</STYLE></head><body>\n<b>" +
         std::string(kApplicationName) + ". Version " + kVersion + "</b><br><br>\n" + HelpBody() + "</body></html>\n";
}

}  // namespace korvex::internal
