# Thin wrapper around CMake. `make test` and `make run` install what is missing first.
JOBS ?= $(shell nproc)
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
PORT ?= 8080
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
CGIBINDIR ?= $(PREFIX)/lib/cgi-bin

.PHONY: all deps build build-asan test test-release test-asan fuzz fuzz-smoke run bench install clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DKORVEX_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)

test-release: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The sanitizer build runs everything but the long decoder matrix, which the release build covers.
test-asan: build-asan
	@cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -LE decoder

# Each libFuzzer target for FUZZ_SECONDS; findings land in fuzz/findings/.
fuzz: deps
	@FUZZ_BUILD_DIR=$(FUZZ_DIR) JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_SECONDS)

# A short run of each target, so that regressions the fuzzers know about are caught by `make test`.
fuzz-smoke: deps
	@FUZZ_BUILD_DIR=$(FUZZ_DIR) JOBS=$(JOBS) bash scripts/fuzz.sh 20

test: test-release test-asan fuzz-smoke

run: build
	@bash scripts/run-server.sh $(PORT)

# Benchmarks against the no-op and libpng-only floors, and the CGI program against the FastCGI
# worker through nginx and lighttpd; the tables also go to $(BUILD_DIR)/bench/results.md.
bench: build
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target korvex_bench
	@bash bench/run-bench.sh $(BUILD_DIR)

# korvex.cgi into $(CGIBINDIR); the demo page, documentation and server examples into
# $(PREFIX)/share/korvex.
# DESTDIR is honoured for staged installs. The build directory keeps its default CGI directory
# afterwards, so that later installs (and the install test) go under their own prefix.
install: build
	@cmake -S . -B $(BUILD_DIR) -DKORVEX_CGIBINDIR=$(CGIBINDIR) >/dev/null
	@status=0; cmake --install $(BUILD_DIR) --prefix $(PREFIX) --strip || status=$$?; \
	  cmake -S . -B $(BUILD_DIR) -DKORVEX_CGIBINDIR=lib/cgi-bin >/dev/null; exit $$status

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
