# Thin wrapper over the CMake presets. `make run` and `make test` work on a fresh Debian 12
# machine: as root they first install whatever build or test tools are missing.

# libdeflate (found through pkg-config) gives the library its Flate compression.
BUILD_TOOLS := cmake ninja-build g++ make pkg-config libdeflate-dev
# Node and npm run the @signpdf signer of the fixtures test (the pinned npm project in
# SIGNPDF_DIR). Debian's are installed only where no node or npm is on PATH: one installed some
# other way is used as it is, and Debian's npm would not go beside it.
NODE_TOOLS  := $(if $(shell command -v node 2>/dev/null),,nodejs) \
               $(if $(shell command -v npm 2>/dev/null),,npm)
SIGNPDF_DIR := tests/tools/signpdf
# Independent readers, libqpdf for the round trips, valgrind for the memory checks; pkg-config
# also for the install test; the German locale for the test that numbers ignore the locale;
# libcrypto (libssl-dev) for the signing example, openssl and the NSS tools for the test signer
# pdfsig signs with; Ghostscript's pdfwrite for files of another writer that the reader reads.
TEST_TOOLS  := $(BUILD_TOOLS) libgtest-dev qpdf libqpdf-dev pkg-config poppler-utils mupdf-tools \
               python3-pikepdf python3-pypdf valgrind locales-all libssl-dev openssl libnss3-tools \
               ghostscript $(NODE_TOOLS)
LINT_TOOLS  := $(TEST_TOOLS) clang-format clang-tidy-14
FUZZ_TOOLS  := $(BUILD_TOOLS) clang libclang-rt-14-dev libqpdf-dev pkg-config
FUZZ_SECONDS ?= 300
BENCH_TOOLS := $(BUILD_TOOLS) gcc pkg-config python3 libqpdf-dev libpodofo-dev qpdf python3-pikepdf hyperfine \
               libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev
ENSURE      := tools/ensure-packages
PREFIX      ?= /usr/local

.PHONY: all build run test-tools test test-release test-asan test-windows fuzz bench install docs \
        lint clean

all: build

build:
	@$(ENSURE) $(BUILD_TOOLS)
	cmake --preset default -DVANTRIL_BUILD_TESTS=OFF
	cmake --build --preset default --target vantril

run: build
	./build/default/vantril

# The test tools, then the npm project's packages as its lock file pins them: installed anew
# when node_modules is missing or older than the lock file (npm ci writes
# node_modules/.package-lock.json last). Without npm the suite still builds, and the fixtures
# test fails saying what is missing.
test-tools:
	@$(ENSURE) $(TEST_TOOLS)
	@if [ ! -e $(SIGNPDF_DIR)/node_modules/.package-lock.json ] || \
	    [ $(SIGNPDF_DIR)/package-lock.json -nt $(SIGNPDF_DIR)/node_modules/.package-lock.json ]; \
	then \
	  if command -v npm >/dev/null 2>&1; then \
	    echo "npm ci in $(SIGNPDF_DIR)" >&2; \
	    cd $(SIGNPDF_DIR) && npm ci --no-audit --no-fund --loglevel=error; \
	  else \
	    echo "make: no npm to install $(SIGNPDF_DIR) (run as root to install it)" >&2; \
	  fi; \
	fi

test: test-tools
	cmake --preset default -DVANTRIL_BUILD_TESTS=ON
	cmake --build --preset default
	ctest --preset default

# Optimised (-O3) and shared: the optimiser's own warnings, and the shared library's exports and
# soname through the install test.
test-release: test-tools
	cmake --preset release
	cmake --build --preset release
	ctest --preset release

test-asan: test-tools
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# Cross-builds the Windows executables and runs the suite under Wine (tools/test-windows).
test-windows:
	tools/test-windows

# The headers, the library, the command, the CMake package and vantril.pc under $(PREFIX).
install: build
	cmake --build --preset default
	cmake --install build/default --prefix $(PREFIX)

# Renders the pictures of the README: the page of clean.pdf (docs/clean-page.png) and the first
# page of the example report (docs/report-page.png).
docs: build
	@$(ENSURE) poppler-utils
	cmake --build --preset default --target report
	rm -rf build/docs && mkdir -p build/docs docs
	cd build/docs && ../default/vantril
	pdftoppm -r 60 -png -singlefile build/docs/clean.pdf docs/clean-page
	build/default/examples/report build/docs
	pdftoppm -r 60 -png -singlefile -f 1 -l 1 build/docs/report.pdf docs/report-page

# Formatting and static analysis over the sources (tools/lint).
lint:
	@$(ENSURE) $(LINT_TOOLS)
	cmake --preset default -DVANTRIL_BUILD_TESTS=ON
	tools/lint

# The libFuzzer targets under ASan and UBSan, FUZZ_SECONDS each, one after the other: the
# writer's round trip through libqpdf (corpus kept in build/fuzz-corpus), then the reader on any
# bytes and read, save, read (corpora kept in build/fuzz-corpus-reader and -reread, seeded from
# the committed fuzz/corpus and fuzz/regressions). A finding stops the run; libFuzzer leaves the
# input in the working directory as crash-*, leak-*, timeout-* or oom-*.
FUZZ_FLAGS ?= -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
fuzz:
	@$(ENSURE) $(FUZZ_TOOLS)
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build/fuzz-corpus build/fuzz-corpus-reader build/fuzz-corpus-reread \
	  build/fuzz-corpus-update
	./build/fuzz/fuzz/vantril_round_trip_fuzz -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) \
	  build/fuzz-corpus
	./build/fuzz/fuzz/vantril_reader_fuzz -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) \
	  -dict=fuzz/pdf.dict build/fuzz-corpus-reader fuzz/corpus fuzz/regressions
	./build/fuzz/fuzz/vantril_reread_fuzz -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) \
	  -dict=fuzz/pdf.dict build/fuzz-corpus-reread fuzz/corpus fuzz/regressions
	./build/fuzz/fuzz/vantril_update_fuzz -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) \
	  -dict=fuzz/pdf.dict build/fuzz-corpus-update fuzz/corpus fuzz/regressions

# Not part of `test`: the write benchmark against the peers (the comparison script in
# PEER_BENCH, beside the project's folder by default), uncompressed and then compact (Flate and
# object streams), the streaming writer (objects built whole, and described token by token) beside
# the document path and the 8 KiB copy floor, then the command's whole-process time against the
# floor program, then the content builder against hand formatting; last reading files qpdf wrote,
# into a Document against qpdf, PoDoFo and MuPDF (its objects dropped, and kept), then lazily
# (each object loaded once and dropped) against MuPDF dropping its objects too.
PEER_BENCH ?= ../shared/bench
bench:
	@test -x $(PEER_BENCH)/compare.sh || { echo "make bench: $(PEER_BENCH)/compare.sh not found;" \
	  "set PEER_BENCH to the folder of the peer benchmarks" >&2; exit 2; }
	@$(ENSURE) $(BENCH_TOOLS)
	cmake --preset bench
	cmake --build --preset bench
	$(PEER_BENCH)/compare.sh build/bench/bench/vantril_write_bench --runs 3
	$(PEER_BENCH)/compare.sh build/bench/bench/vantril_write_bench --compact --runs 3
	bench/streaming-compare.sh build/bench/bench/vantril_write_bench build/bench/bench/vantril_floor_copy 3 \
	  /dev/shm "W3 W2 W1" "1000000 10000000" $(PEER_BENCH)/validate_compact.py
	bench/floor-compare.sh build/bench/vantril build/bench/bench/vantril_floor
	build/bench/bench/vantril_content_bench build/bench --runs 15
	$(PEER_BENCH)/compare.sh build/bench/bench/vantril_write_bench --read --runs 3 \
	  --peers "qpdf podofo mupdf mupdf-cached"
	VANTRIL_WRITE_BENCH=$(CURDIR)/build/bench/bench/vantril_write_bench \
	  $(PEER_BENCH)/compare.sh bench/lazy-read.sh --read --runs 3 --peers mupdf

clean:
	rm -rf build
