#pragma once

#include <string>

// The HTML pages as they must stand, written out in full so the writers can be compared byte
// for byte. The link addresses are the project's own documentation.

// detailHtml is the line after the message, as the page writes it (escaped), or empty for none.
inline std::string ExpectedErrorPage(const std::string& message, const std::string& detailHtml = "") {
  return "Content-type: text/html\n\n"
         "<html><head><title>Korvex</title></head><body>\n"
         "<b><font color='#ff0000'>" +
         message + "</font></b>\n" + (detailHtml.empty() ? "" : detailHtml + "<br>\n") + "</body></html>\n";
}

inline std::string ExpectedHelpPage() {
  return "Content-type: text/html\n\n"
         "<html><head><title>Korvex</title><STYLE type='text/css'>td {font-size:11px; font-family:Verdana,Arial; "
         "color:000000; font-weight:300; font-style:normal; text-decoration:none}</STYLE></head><body>\n"
         "<b>Korvex. Version 1.4</b><br><br>\n"
         "For more information please click <a href='/docs/index.html'>Korvex</a>.<br><br>"
         "Our barcode CGI generators understand both GET and POST requests.<br><br>"
         "<table width=640 cellSpacing=1 cellPadding=4 border=0>"
         "<tr bgcolor='#DFDFE5'><td><b>Parameter Name</b></td><td><b>Description</b></td><td><b>Corresponding "
         "property of <a href='/docs/index.html#properties'>Velloc</a></b></td><td><b>Default value</b></td></tr>"
         "<tr bgcolor='#F3F3F5'><td>w</td><td>DataMatrix picture width.</td><td></td><td>100</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>h</td><td>DataMatrix picture height.</td><td></td><td>100</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>xdim</td><td>DataMatrix X-Dimension.</td><td>This parameter makes sense only if "
         "the <i>w</i> and <i>h</i> parameters are not used.</td><td>5</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>data</td><td>Sets the data that is to be encoded in the DataMatrix.</td>"
         "<td><a href='/docs/index.html#DataToEncode'>DataToEncode</a></td><td>1234567</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>fmt</td><td>DataMatrix format.<br>Possible values: 0...30</td>"
         "<td><a href='/docs/index.html#PreferredFormat'>PreferredFormat</a></td><td>0</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>mode</td><td>DataMatrix encoding mode.<br>Possible values: 0...6</td>"
         "<td><a href='/docs/index.html#EncodingMode'>EncodingMode</a></td><td>0</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>angle</td><td>Orientation of the DataMatrix bar code.<br>Possible values: 0, 90, "
         "180, 270</td><td><a href='/docs/index.html#Orientation'>Orientation</a></td><td>0</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>quiet</td><td>Show quiet zones.<br>Possible values: 0(hide) or 1(show)</td>"
         "<td><a href='/docs/index.html#QuietZone'>QuietZone</a></td><td>1</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>alignh</td><td>Horizontal barcode alignment.<br>Possible values: 0...3</td>"
         "<td><a href='/docs/index.html#AlignH'>AlignH</a></td><td>1</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>alignv</td><td>Vertical barcode alignment.<br>Possible values: 0...3</td>"
         "<td><a href='/docs/index.html#AlignV'>AlignV</a></td><td>1</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>bcolor</td><td>Background color.<br>Possible values: 000000...ffffff<br>The "
         "color must be presented as RGB, i.e. you should specify the value ff0000 for the red color.</td>"
         "<td><a href='/docs/index.html#BackColor'>BackColor</a></td><td>ffffff (white)</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>fcolor</td><td>Foreground color.<br>Possible values: 000000...ffffff</td>"
         "<td><a href='/docs/index.html#ForeColor'>ForeColor</a></td><td>000000 (black)</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>qsize</td><td>Quiet zone size.<br>Possible values: 0...</td>"
         "<td><a href='/docs/index.html#QuietZoneSize'>QuietZoneSize</a></td><td>1</td></tr>"
         "<tr bgcolor='#F3F3F5'><td>help</td><td>Displays information about our Korvex generator.</td><td></td>"
         "<td></td></tr>"
         "<tr bgcolor='#F3F3F5'><td>debug</td><td>Displays information about the error.</td><td></td><td></td></tr>"
         "</table>"
         "</body></html>\n";
}
