#include "svg/SvgWriter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder/FormatTable.h"
#include "render/SymbolLayout.h"
#include "encoder/SymbolMatrix.h"
#include "support/VariedMatrix.h"

using namespace korvex::internal;

namespace {

struct PathRect {
  int64_t left, top, width, height;
};

// Reads a signed integer at text[at], moving at past it; false when there is none.
bool ReadInteger(const std::string& text, std::size_t& at, int64_t& value) {
  const std::size_t start = at;
  if (at < text.size() && text[at] == '-') ++at;
  const std::size_t digits = at;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  if (at == digits) return false;
  value = std::strtoll(text.c_str() + start, nullptr, 10);
  return true;
}

bool Expect(const std::string& text, std::size_t& at, char c) { return at < text.size() && text[at++] == c; }

// The rectangles of path data made only of "Mx y" or "mdx dy" (a space only before a
// non-negative second number), then "hW vH h-W z", in absolute pixels; false on anything else.
bool ParseRectangles(const std::string& path, std::vector<PathRect>& rects, std::string& error) {
  std::size_t at = 0;
  int64_t startX = 0;
  int64_t startY = 0;
  while (at < path.size()) {
    const char command = path[at++];
    if (command != (rects.empty() ? 'M' : 'm')) {
      error = "subpath " + std::to_string(rects.size()) + " starts with '" + std::string(1, command) + "'";
      return false;
    }
    int64_t dx = 0, dy = 0, width = 0, height = 0, back = 0;
    const bool read = ReadInteger(path, at, dx) && (path[at] == '-' || Expect(path, at, ' ')) &&
                      ReadInteger(path, at, dy) && Expect(path, at, 'h') && ReadInteger(path, at, width) &&
                      Expect(path, at, 'v') && ReadInteger(path, at, height) && Expect(path, at, 'h') &&
                      ReadInteger(path, at, back) && Expect(path, at, 'z');
    if (!read || width <= 0 || height <= 0 || back != -width) {
      error = "subpath " + std::to_string(rects.size()) + " is no closed rectangle near offset " + std::to_string(at);
      return false;
    }
    startX += dx;
    startY += dy;
    rects.push_back({startX, startY, width, height});
  }
  return true;
}

SymbolLayout LayoutOf(const SymbolMatrix& matrix, int32_t orientation, int32_t moduleSize, int32_t x, int32_t y) {
  const bool upright = orientation == 0 || orientation == 180;
  SymbolLayout layout;
  layout.moduleSize = moduleSize;
  layout.x = x;
  layout.y = y;
  layout.orientation = orientation;
  layout.columns = upright ? matrix.Cols() : matrix.Rows();
  layout.rows = upright ? matrix.Rows() : matrix.Cols();
  layout.area = DrawRect(0, 0, x + layout.columns * moduleSize + 3, y + layout.rows * moduleSize + 3);
  return layout;
}

// Every format at every angle: the rectangles cover each dark module once and nothing else, on
// the module grid, and each is a maximal run in every row it spans (a light module or the
// symbol's edge on both sides).
TEST(ModulePathData, RectanglesAreExactlyTheDarkModulesInMaximalRuns) {
  for (const FormatInfo& format : FormatTable) {
    if (format.id < 0) continue;  // the terminator
    for (const int32_t angle : {0, 90, 180, 270}) {
      SCOPED_TRACE(std::to_string(format.symbolRows) + "x" + std::to_string(format.symbolCols) + " at " +
                   std::to_string(angle));
      const SymbolMatrix matrix = VariedMatrix(format);
      const int32_t size = 3;
      const SymbolLayout layout = LayoutOf(matrix, angle, size, 7, 2);
      std::vector<PathRect> rects;
      std::string error;
      ASSERT_TRUE(ParseRectangles(ModulePathData(matrix, layout), rects, error)) << error;

      std::vector<int> covered(static_cast<std::size_t>(layout.rows) * layout.columns, 0);
      const auto dark = [&](int64_t row, int64_t col) {
        return row >= 0 && col >= 0 && row < layout.rows && col < layout.columns &&
               layout.Module(matrix, static_cast<uint16_t>(row), static_cast<uint16_t>(col)) != 0;
      };
      for (const PathRect& r : rects) {
        ASSERT_EQ((r.left - layout.x) % size, 0);
        ASSERT_EQ((r.top - layout.y) % size, 0);
        ASSERT_EQ(r.width % size, 0);
        ASSERT_EQ(r.height % size, 0);
        const int64_t col = (r.left - layout.x) / size;
        const int64_t row = (r.top - layout.y) / size;
        const int64_t cols = r.width / size;
        const int64_t rows = r.height / size;
        ASSERT_TRUE(col >= 0 && row >= 0 && col + cols <= layout.columns && row + rows <= layout.rows);
        for (int64_t i = row; i < row + rows; ++i) {
          EXPECT_FALSE(dark(i, col - 1)) << "run in row " << i << " does not start at its first dark module";
          EXPECT_FALSE(dark(i, col + cols)) << "run in row " << i << " does not end at its last dark module";
          for (int64_t j = col; j < col + cols; ++j) ++covered[static_cast<std::size_t>(i * layout.columns + j)];
        }
      }
      for (int64_t i = 0; i < layout.rows; ++i) {
        for (int64_t j = 0; j < layout.columns; ++j) {
          ASSERT_EQ(covered[static_cast<std::size_t>(i * layout.columns + j)], dark(i, j) ? 1 : 0)
              << "module row " << i << ", column " << j;
        }
      }
    }
  }
}

TEST(WriteSvg, ColoursAndSizeOfTheDocument) {
  const SymbolMatrix matrix = VariedMatrix(FormatTable.front());
  SymbolLayout layout = LayoutOf(matrix, 0, 2, 4, 5);
  layout.backColor = 0x0000FF;  // internal form: red
  layout.foreColor = 0x123456;
  const StatusOr<std::string> written = WriteSvg(matrix, layout);
  ASSERT_TRUE(written.Ok());
  const std::string& svg = *written;
  EXPECT_NE(svg.find("width=\"27\" height=\"28\" viewBox=\"0 0 27 28\""), std::string::npos) << svg;
  EXPECT_NE(svg.find("<rect x=\"0\" y=\"0\" width=\"27\" height=\"28\" fill=\"#ff0000\"/>"), std::string::npos) << svg;
  EXPECT_NE(svg.find("<path fill=\"#563412\" d=\"M"), std::string::npos) << svg;
  // At a resolution the document states its printed size; the view box stays in pixels.
  const struct {
    int32_t dpi;
    const char* size;
  } printed[] = {{300, "width=\"2.286mm\" height=\"2.3707mm\" viewBox=\"0 0 27 28\""},
                 {254, "width=\"2.7mm\" height=\"2.8mm\""},
                 {1, "width=\"685.8mm\" height=\"711.2mm\""}};
  for (const auto& c : printed) {
    EXPECT_NE(WriteSvg(matrix, layout, c.dpi)->find(c.size), std::string::npos) << c.dpi << " dpi";
  }
}

}  // namespace
