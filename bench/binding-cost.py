"""binding-cost.py C_MODULE [PAIRS]: what the Python package adds to a call.

korvex.encode("Hello").png() against the same two calls in C (korvex_encode and
korvex_write_compact_png, run by C_MODULE, bench/BindingCost.c), one call of each in turn (the
order swapped from pair to pair) in one process, so that a busy machine slows both alike.
Prints the median microseconds per call of C, of Python, and the median of the differences of
each pair."""

import ctypes
import statistics
import sys
import time

import korvex

BATCH = 1


def python_calls(times: int) -> float:
    start = time.perf_counter()
    for _ in range(times):
        assert korvex.encode("Hello").png()
    return (time.perf_counter() - start) * 1e6 / times


def main() -> None:
    module = ctypes.CDLL(sys.argv[1])
    module.korvex_bench_c_calls.restype = ctypes.c_double
    module.korvex_bench_c_calls.argtypes = [ctypes.c_int]
    pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    python_calls(50)
    module.korvex_bench_c_calls(50)
    c_times, python_times = [], []
    for pair in range(pairs):
        if pair % 2:
            python_times.append(python_calls(BATCH))
        c = module.korvex_bench_c_calls(BATCH)
        if c < 0:
            sys.exit("binding-cost: the C call failed")
        c_times.append(c)
        if not pair % 2:
            python_times.append(python_calls(BATCH))
    differences = [p - c for p, c in zip(python_times, c_times)]
    print(f"{statistics.median(c_times):.2f} {statistics.median(python_times):.2f} {statistics.median(differences):.2f}")


main()
