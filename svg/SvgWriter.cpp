#include "svg/SvgWriter.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "render/SymbolLayout.h"

namespace korvex::internal {

namespace {

// Dark modules from column start up to end (exclusive) of one module row of the turned symbol.
struct Run {
  uint16_t start = 0;
  uint16_t end = 0;
  bool taken = false;  // already part of a rectangle that started in a row above
};

std::vector<std::vector<Run>> DarkRuns(const SymbolMatrix& matrix, const SymbolLayout& layout) {
  std::vector<std::vector<Run>> rows(layout.rows);
  for (uint16_t i = 0; i < layout.rows; ++i) {
    for (uint16_t j = 0; j < layout.columns;) {
      if (layout.Module(matrix, i, j) == 0) {
        ++j;
        continue;
      }
      Run run;
      run.start = j;
      while (j < layout.columns && layout.Module(matrix, i, j) != 0) ++j;
      run.end = j;
      rows[i].push_back(run);
    }
  }
  return rows;
}

// The untaken run of the row that covers exactly start..end, or nullptr.
Run* SameRun(std::vector<Run>& row, uint16_t start, uint16_t end) {
  const auto found = std::lower_bound(row.begin(), row.end(), start,
                                      [](const Run& run, uint16_t column) { return run.start < column; });
  if (found == row.end() || found->start != start || found->end != end || found->taken) return nullptr;
  return &*found;
}

void AppendNumber(std::string& text, int64_t value) {
  char digits[24];
  const int length = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
  text.append(digits, static_cast<std::size_t>(length));
}

// A coordinate pair as path data: a minus sign separates the numbers by itself.
void AppendPair(std::string& text, int64_t first, int64_t second) {
  AppendNumber(text, first);
  if (second >= 0) text += ' ';
  AppendNumber(text, second);
}

// Internal form 0x00BBGGRR as #rrggbb.
std::string HexColor(uint32_t color) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", color & 0xFFu, (color >> 8) & 0xFFu, (color >> 16) & 0xFFu);
  return text;
}

// The document's width or height attribute. A physical size (millimetres at a given resolution,
// pixels x 25.4 / dpi) belongs here and only here; the viewBox stays in pixels either way.
constexpr double kMillimetresPerInch = 25.4;

// Pixels, or millimetres at a resolution, with at most four decimals and no trailing zeros.
std::string SizeAttribute(int32_t pixels, int32_t resolutionDpi) {
  if (resolutionDpi <= 0) return std::to_string(pixels);
  // to_chars, unlike printf, writes a point whatever locale a program using the library has set.
  char text[32];
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, pixels * kMillimetresPerInch / resolutionDpi, std::chars_format::fixed, 4);
  std::string millimetres(text, written.ptr);
  millimetres.erase(millimetres.find_last_not_of('0') + 1);
  if (millimetres.back() == '.') millimetres.pop_back();
  return millimetres + "mm";
}

}  // namespace

std::string ModulePathData(const SymbolMatrix& matrix, const SymbolLayout& layout) {
  std::vector<std::vector<Run>> rows = DarkRuns(matrix, layout);
  const int64_t size = layout.moduleSize;
  std::string path;
  int64_t penX = 0;  // where a closed subpath leaves the pen: at its own start
  int64_t penY = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (Run& run : rows[i]) {
      if (run.taken) continue;
      std::size_t below = i + 1;
      for (; below < rows.size(); ++below) {
        Run* same = SameRun(rows[below], run.start, run.end);
        if (same == nullptr) break;
        same->taken = true;
      }
      const int64_t left = layout.x + run.start * size;
      const int64_t top = layout.y + static_cast<int64_t>(i) * size;
      const int64_t width = (run.end - run.start) * size;
      const int64_t height = static_cast<int64_t>(below - i) * size;
      path += path.empty() ? 'M' : 'm';
      AppendPair(path, left - penX, top - penY);
      path += 'h';
      AppendNumber(path, width);
      path += 'v';
      AppendNumber(path, height);
      path += 'h';
      AppendNumber(path, -width);
      path += 'z';
      penX = left;
      penY = top;
    }
  }
  return path;
}

StatusOr<std::string> WriteSvg(const SymbolMatrix& matrix, const SymbolLayout& layout, int32_t resolutionDpi) {
  const DrawRect& area = layout.area;
  const std::string width = std::to_string(area.Width());
  const std::string height = std::to_string(area.Height());
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + SizeAttribute(area.Width(), resolutionDpi) +
      "\" height=\"" + SizeAttribute(area.Height(), resolutionDpi) + "\" viewBox=\"0 0 " + width + " " + height +
      "\" shape-rendering=\"crispEdges\">\n"
      "<rect x=\"" + std::to_string(area.left) + "\" y=\"" + std::to_string(area.top) + "\" width=\"" + width +
      "\" height=\"" + height + "\" fill=\"" + HexColor(layout.backColor) + "\"/>\n";
  const std::string path = ModulePathData(matrix, layout);
  if (!path.empty()) {
    svg += "<path fill=\"" + HexColor(layout.foreColor) + "\" d=\"" + path + "\"/>\n";
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace korvex::internal
