/* The C side of bench/binding-cost.py: calls times one encode and compact-PNG call through the
   C interface of libkorvex (data "Hello", default options) and gives the microseconds per call.
   Loaded into the same Python process that measures the binding, so that both sides run
   interleaved on the same machine state. */
#include <korvex/korvex.h>

#include <time.h>

static double Now(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

__attribute__((visibility("default"))) double korvex_bench_c_calls(int times) {
  const double start = Now();
  int i;
  for (i = 0; i < times; ++i) {
    korvex_symbol* symbol = NULL;
    unsigned char* png = NULL;
    size_t size = 0;
    const int ok = korvex_encode("Hello", 5, NULL, &symbol) == KORVEX_OK &&
                   korvex_write_compact_png(symbol, NULL, &png, &size, NULL) == KORVEX_OK && size > 0;
    korvex_free(png);
    korvex_symbol_free(symbol);
    if (!ok) return -1;
  }
  return (Now() - start) * 1e6 / times;
}
