# The README's commands. Builds live in build/ (tests), build-asan/, build-tsan/, build-release/ (benchmarks),
# build-fuzz/, build-coverage/ and build-install/ (the README's Install). Each folder is configured
# with what it is for, whatever its cache holds from an earlier configure.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
# cmake --build runs make below this one: no "Entering/Leaving directory" lines from it.
MAKEFLAGS += --no-print-directory

.PHONY: all deps build suite test test-user demo asan tsan bench fuzz coverage clean

all: build

# What the build and the tests need; bench, fuzz and coverage add their own.
deps:
	@./scripts/install-deps.sh

# build/, the tests' folder: everything in it (make build), what the suite runs (make suite), or
# what the demo runs (make demo).
CONFIGURE_BUILD = cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVP_TESTS=ON $(CMAKE_FLAGS)

build: deps
	$(CONFIGURE_BUILD)
	cmake --build build -j $(JOBS)

# The benchmarks are make bench's, in their own folder.
suite: deps
	$(CONFIGURE_BUILD)
	cmake --build build -j $(JOBS) --target qvp_suite

# ctest names the tests it skipped; skipped-tests.sh adds why.
# The tests' settings name folders below TMPDIR, and a settings value is shorter than 128 bytes:
# a longer TMPDIR would leave them unread and the tests on the default root.
TMPDIR_FITS = @t=$${TMPDIR:-/tmp}; n=$$(printf %s "$$t" | wc -c); [ $$n -le 84 ] || { echo "TMPDIR $$t is $$n characters long; the suite needs one of at most 84" >&2; exit 2; }

test: suite
	$(TMPDIR_FITS)
	ctest --test-dir build --output-on-failure -j $(JOBS) || { ./scripts/skipped-tests.sh build; exit 1; }
	@./scripts/skipped-tests.sh build

# The suite again as an ordinary user (TEST_USER, made when missing, when run as root).
test-user: suite
	./scripts/test-user.sh build $(JOBS) || { ./scripts/skipped-tests.sh build; exit 1; }
	@./scripts/skipped-tests.sh build

# Only what the demo runs: the library, the simulator and the example.
demo: deps
	$(CONFIGURE_BUILD)
	cmake --build build -j $(JOBS) --target qvpapi qvp-manager-sim demo
	./scripts/demo.sh build

asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQVP_SANITIZE=ON -DQVP_TESTS=ON -DQVP_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	$(TMPDIR_FITS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS) || { ./scripts/skipped-tests.sh build-asan; exit 1; }
	@./scripts/skipped-tests.sh build-asan

# The suite under ThreadSanitizer. Any report fails its test, and every report, also one from a
# child whose output a test keeps to itself, lands in build-tsan/tsan-reports: one there fails the run.
TSAN_REPORTS = $(CURDIR)/build-tsan/tsan-reports
TSAN_SAY = n=$$(ls -A $(TSAN_REPORTS) | wc -l); [ $$n -eq 0 ] || { cat $(TSAN_REPORTS)/*; echo "ThreadSanitizer reports above: $$n" >&2; }
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVP_TSAN=ON -DQVP_TESTS=ON -DQVP_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	$(TMPDIR_FITS)
	rm -rf $(TSAN_REPORTS) && mkdir -m 1777 $(TSAN_REPORTS)
	TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1:log_path=$(TSAN_REPORTS)/report \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS) || { $(TSAN_SAY); ./scripts/skipped-tests.sh build-tsan; exit 1; }
	@./scripts/skipped-tests.sh build-tsan
	@$(TSAN_SAY); [ -z "$$(ls -A $(TSAN_REPORTS))" ]

bench:
	@./scripts/install-deps.sh bench
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQVP_TESTS=ON $(CMAKE_FLAGS)
	cmake --build build-release -j $(JOBS)
	./scripts/bench.sh build-release

fuzz:
	@./scripts/install-deps.sh fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVP_FUZZ=ON -DQVP_TESTS=OFF -DQVP_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	./scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# Line coverage of src/ over the whole suite (lcov); the report goes to build-coverage/html.
coverage:
	@./scripts/install-deps.sh coverage
	cmake -S . -B build-coverage -DCMAKE_BUILD_TYPE=Debug -DQVP_COVERAGE=ON -DQVP_TESTS=ON -DQVP_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-coverage -j $(JOBS)
	lcov --quiet --zerocounters --directory build-coverage
	ctest --test-dir build-coverage -j $(JOBS)
	lcov --quiet --capture --directory build-coverage --include '$(CURDIR)/src/*' \
	  --output-file build-coverage/coverage.info
	genhtml --quiet build-coverage/coverage.info --output-directory build-coverage/html
	lcov --summary build-coverage/coverage.info

clean:
	rm -rf build build-asan build-tsan build-release build-fuzz build-coverage build-install
