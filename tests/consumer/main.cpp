// consumer FILE DATA: writes DATA as a 200 x 200 PNG to FILE and prints the symbol's size.
#include <korvex/korvex.h>

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const korvex::Answer answer = korvex::Render({{"data", argv[2]}, {"w", "200"}, {"h", "200"}});
  if (answer.code != 0) {
    std::fprintf(stderr, "%s\n", answer.message.c_str());
    return answer.code;
  }
  std::ofstream(argv[1], std::ios::binary) << answer.body;
  const korvex::ModuleMatrix matrix = korvex::EncodeMatrix({{"data", argv[2]}});
  std::printf("korvex %s: %d x %d modules\n", korvex::Version(), matrix.rows, matrix.cols);
  return 0;
}
