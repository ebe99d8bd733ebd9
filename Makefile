# Quick start: `make run` and `make test` each install what is missing, configure and build.
BUILD_DIR := build
SANITIZE_DIR := build-sanitize
THREAD_DIR := build-thread
JOBS ?= $(shell nproc)
# The Python package and its tests run on Debian's Python, which has Debian's numpy, pandas,
# matplotlib and dask.distributed.
PYTHON := /usr/bin/python3
LIBRARY_ENV := TARN_LIBRARY=$(abspath $(BUILD_DIR))/libtarn.so TARN_SIM=$(abspath $(BUILD_DIR))/tarn-sim

.PHONY: all deps build run test test-python test-sanitize test-thread examples clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD_DIR) -j$(JOBS)

# The default simulation: builds the library and tarn-sim only, writes the whole table (every
# 0.05 h) to build/default_run.csv and shows every 2 h of the main outputs.
run: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@env -u MAKELEVEL -u MAKEFLAGS cmake --build $(BUILD_DIR) -j$(JOBS) --target tarn tarn-sim
	@./$(BUILD_DIR)/tarn-sim --progress never > $(BUILD_DIR)/default_run.csv
	@awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) printf "%-11s", $$i; print ""; next } \
	  (NR - 2) % 40 == 0 { for (i = 1; i <= NF; ++i) printf "%-11.4g", $$i; print "" }' \
	  $(BUILD_DIR)/default_run.csv
	@echo "The default run (24 h, plasma iodide ca_i/ca_ni and perchlorate ca_p/ca_np of mother and"
	@echo "infant, thyroid iodide athyt_i/atgi_n, T4 and T3), every 2 h; every 0.05 h in"
	@echo "$(BUILD_DIR)/default_run.csv. More: $(BUILD_DIR)/tarn-sim --help, $(BUILD_DIR)/tarn-sim info NAME."

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS)
	@$(MAKE) --no-print-directory test-python
	@$(MAKE) --no-print-directory test-sanitize

# The Python package's tests (python/tests), against this build's library and tarn-sim.
test-python: build
	cd python && $(LIBRARY_ENV) $(PYTHON) -m pytest

# The examples, writing their tables and figures to build/examples.
examples: build
	@for example in perchlorate_dosing sensitivity_sweep population_summary \
	  drinking_water_schedule infant_sensitivity fit_synthetic_data; do \
	  echo "== examples/$$example.py"; \
	  PYTHONPATH=$(CURDIR)/python $(LIBRARY_ENV) $(PYTHON) examples/$$example.py || exit 1; \
	done

# Every suite again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON > /dev/null
	@cmake --build $(SANITIZE_DIR) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j$(JOBS)

# The suites that drive runs from the host's thread while the worker integrates, with
# ThreadSanitizer. tests/thread_sanitizer.supp lists the one race the design intends.
THREAD_SUITES := threads runtime reliability
test-thread: deps
	@cmake -S . -B $(THREAD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE_THREAD=ON \
	  > /dev/null
	@cmake --build $(THREAD_DIR) -j$(JOBS) --target $(THREAD_SUITES:%=tarn_%_tests)
	@for suite in $(THREAD_SUITES); do \
	  echo "== tarn_$${suite}_tests with ThreadSanitizer"; \
	  TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/thread_sanitizer.supp" \
	    ./$(THREAD_DIR)/tarn_$${suite}_tests || exit 1; \
	done

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(THREAD_DIR) $(FUZZ_DIR)

# The fuzz targets of tests/fuzz, built with clang, libFuzzer, AddressSanitizer and UBSan, each run
# for FUZZ_SECONDS from the committed seed corpus. New inputs go to build-fuzz/corpus, findings to
# build-fuzz/ (crash-*, timeout-*), and the run fails on the first finding.
FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := symbol_access run_control
.PHONY: fuzz
fuzz:
	@bash scripts/install-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON \
	  -DTARN_FUZZ=ON -DCMAKE_C_FLAGS="-O1 -fsanitize=fuzzer-no-link" \
	  -DCMAKE_CXX_FLAGS="-O1 -fsanitize=fuzzer-no-link" > /dev/null
	@cmake --build $(FUZZ_DIR) -j$(JOBS) --target $(FUZZ_TARGETS:%=tarn_%_fuzzer)
	@for target in $(FUZZ_TARGETS); do \
	  echo "== fuzzing $$target for $(FUZZ_SECONDS) s"; \
	  mkdir -p $(FUZZ_DIR)/corpus/$$target; \
	  ./$(FUZZ_DIR)/tarn_$${target}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=30 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/ \
	    $(FUZZ_DIR)/corpus/$$target tests/fuzz/corpus/$$target || exit 1; \
	done

# Benchmarks of the runtime against the solver libraries called directly, the peak memory of a
# lactation run with each library, then the Python host's timings (bench/README.md). `make
# build`, and so `make test`, builds them too, so that they keep compiling.
.PHONY: bench
bench: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target tarn_bench tarn_peak_memory tarn-sim
	./$(BUILD_DIR)/tarn_bench
	./$(BUILD_DIR)/tarn_peak_memory 14
	./$(BUILD_DIR)/tarn_peak_memory 15
	PYTHONPATH=$(CURDIR)/python $(LIBRARY_ENV) $(PYTHON) bench/host_timings.py $(BUILD_DIR)
