"""binding-cost.py C_MODULE [PAIRS]: what the Python package adds to a call.

korvex.encode("Hello").png() against the same two calls in C (korvex_encode and
korvex_write_compact_png, run by C_MODULE, bench/BindingCost.c), in alternating batches of 50
calls in one process. Prints the median microseconds per call of C, of Python, and the median
of the differences of each pair of batches."""

import ctypes
import statistics
import sys
import time

import korvex

BATCH = 50


def python_calls(times: int) -> float:
    start = time.perf_counter()
    for _ in range(times):
        assert korvex.encode("Hello").png()
    return (time.perf_counter() - start) * 1e6 / times


def main() -> None:
    module = ctypes.CDLL(sys.argv[1])
    module.korvex_bench_c_calls.restype = ctypes.c_double
    module.korvex_bench_c_calls.argtypes = [ctypes.c_int]
    pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    python_calls(BATCH)
    module.korvex_bench_c_calls(BATCH)
    c_times, python_times = [], []
    for _ in range(pairs):
        c = module.korvex_bench_c_calls(BATCH)
        if c < 0:
            sys.exit("binding-cost: the C call failed")
        c_times.append(c)
        python_times.append(python_calls(BATCH))
    differences = [p - c for p, c in zip(python_times, c_times)]
    print(f"{statistics.median(c_times):.2f} {statistics.median(python_times):.2f} {statistics.median(differences):.2f}")


main()
