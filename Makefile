# Thin wrapper around CMake. `make run`, `make test`, `make bench` and `make deb` install what is
# missing of their package set first (scripts/install-deps.sh run, test, bench, deb); `make install`
# installs no packages.
JOBS ?= $(shell nproc)
# The full build with the test suite; `make test` runs it.
BUILD_DIR ?= build
# korvex.cgi alone, configured without the tests, so that `make run`, `make bench` and
# `make install` need neither the test libraries nor the time to build the tests; `make test`
# in the same tree keeps its own build directory.
PROGRAM_DIR ?= build-program
ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
PORT ?= 8080
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
DEB_DIR ?= build-deb
PREFIX ?= /usr/local
CGIBINDIR ?= $(PREFIX)/lib/cgi-bin

.PHONY: all deps deps-run deps-test deps-bench deps-deb build build-program build-asan build-tsan test test-release test-asan test-tsan \
  fuzz fuzz-smoke run bench install deb clean

all: build

deps: deps-test

deps-run deps-test deps-bench deps-deb:
	@bash scripts/install-deps.sh $(@:deps-%=%)

# The project's own builds treat warnings as errors; a release build (build-program, the package)
# does not, so that a newer compiler's new warnings do not stop it.
build: deps-test
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEX_WERROR=ON >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target korvex_bench  # built, not run, so that it keeps compiling

define build_program
	@cmake -S . -B $(PROGRAM_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEX_TESTS=OFF >/dev/null
	@cmake --build $(PROGRAM_DIR) -j $(JOBS)
endef

build-program: deps-run
	$(build_program)

build-asan: deps-test
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DKORVEX_SANITIZE=ON -DKORVEX_WERROR=ON >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)

# The library and its tests alone, under ThreadSanitizer.
build-tsan: deps-test
	@cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEX_SANITIZE_THREAD=ON -DKORVEX_WERROR=ON >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS) --target test_unit_library

# The package is built first, so that the install test can unpack and run it.
test-release: build deb
	@cd $(BUILD_DIR) && KORVEX_DEB_DIR=$(abspath $(DEB_DIR)) ctest --output-on-failure -j $(JOBS)

# The sanitizer build runs everything but the long decoder matrix, which the release build covers.
test-asan: build-asan
	@cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -LE decoder

# The library's tests, threads calling it at once among them, under ThreadSanitizer; any report
# fails the run. setarch -R: this ThreadSanitizer cannot map its shadow memory beside the
# address randomisation of newer kernels.
test-tsan: build-tsan
	@cd $(TSAN_DIR) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  setarch -R ctest --output-on-failure -j $(JOBS) -L unit_library

# Exploration: each libFuzzer target for FUZZ_SECONDS from a random seed (the log names it);
# findings land in fuzz/findings/, to be committed once fixed, so that `make test` replays them.
fuzz: deps-test
	@FUZZ_BUILD_DIR=$(FUZZ_DIR) JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_SECONDS)

# What `make test` runs: every committed input replayed, then a short run of each target from a
# fixed seed and for a fixed number of inputs, so that every clean clone gets the same verdict.
fuzz-smoke: deps-test
	@FUZZ_BUILD_DIR=$(FUZZ_DIR) JOBS=$(JOBS) bash scripts/fuzz.sh --smoke

test: test-release test-asan test-tsan fuzz-smoke

run: build-program
	@KORVEX_CGI=$(PROGRAM_DIR)/korvex.cgi KORVEX_SERVER_DIR=$(PROGRAM_DIR)/lighttpd bash scripts/run-server.sh $(PORT)

# Benchmarks against the no-op and libpng-only floors, and the CGI program against the FastCGI
# worker through nginx and lighttpd; the tables also go to $(PROGRAM_DIR)/bench/results.md.
# BASELINE=DIR adds the request handler's cost in process beside that of another build (for
# example one of an earlier commit), measured side by side in the same run.
# The bench set holds the run set, so one install step suffices (two would contend for dpkg under -j).
bench: deps-bench
	$(build_program)
	@cmake --build $(PROGRAM_DIR) -j $(JOBS) --target korvex_bench
	@bash bench/run-bench.sh $(PROGRAM_DIR)
	@if [ -n "$(BASELINE)" ]; then bash bench/compare-builds.sh $(BASELINE) $(PROGRAM_DIR); fi

# korvex.cgi into $(CGIBINDIR); the worker and the command-line program into $(PREFIX)/bin; the
# library, its header, CMake package and pkg-config file under $(PREFIX)/lib and include; the man
# pages; the demo page, documentation and server examples into $(PREFIX)/share/korvex.
# It installs no packages: what building needs must be there (scripts/install-deps.sh run).
# DESTDIR is honoured for staged installs. The build directory keeps its default CGI directory
# afterwards, so that later installs go under their own prefix.
install:
	$(build_program)
	@cmake -S . -B $(PROGRAM_DIR) -DKORVEX_CGIBINDIR=$(CGIBINDIR) >/dev/null
	@status=0; cmake --install $(PROGRAM_DIR) --prefix $(PREFIX) --strip || status=$$?; \
	  cmake -S . -B $(PROGRAM_DIR) -DKORVEX_CGIBINDIR=lib/cgi-bin >/dev/null; exit $$status

# The Debian packages korvex, libkorvex2, libkorvex-dev and python3-korvex into $(DEB_DIR), linked against the
# shared libpng, zlib and libfcgi, and lintian's report on them ($(DEB_DIR)/lintian.txt).
deb: deps-deb
	@DEB_BUILD_DIR=$(DEB_DIR) JOBS=$(JOBS) bash scripts/build-deb.sh

clean:
	rm -rf $(BUILD_DIR) $(PROGRAM_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(DEB_DIR)
