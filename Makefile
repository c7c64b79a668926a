# The two commands of the README: `make run` and `make test`.
.PHONY: run test build-release build-test tsan lint package bench fuzz format deps screenshots soak

JOBS ?= 2
# Paths relative to the checkout, so that ccache hits across clones (CI builds a fresh one); without NOHASHDIR
# the debug builds would hash the build folder's absolute path and never hit (only the debug information's
# compilation folder then names the clone that filled the cache).
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
CMAKE_FLAGS = -G Ninja -Wno-dev

deps:
	@scripts/install-deps

build-release: deps
	@cmake -S . -B build/release $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DTAPEVAULT_TESTS=OFF >/dev/null
	@cmake --build build/release --target tapevault -j $(JOBS)

run: build-release var/Tapevault.ini
	./build/release/src/ui/tapevault -headless -rootfolder ./var

# A first run serves the slots read-only on http://127.0.0.1:5252/ without credentials, the settings page to the
# administrator, and records the sound server's default input in slot 1 (scripts/seed-config).
var/Tapevault.ini:
	@mkdir -p var
	@scripts/seed-config $@

build-test: deps
	@cmake -S . -B build/test $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DTAPEVAULT_SANITIZE=ON -DTAPEVAULT_BENCH=OFF >/dev/null
	@cmake --build build/test -j $(JOBS)

test: build-test
	cd build/test && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

# ThreadSanitizer over the slot engine, the audio engine and the service tests (web server, the program run as a
# service): build/tsan, RelWithDebInfo so that real-time audio keeps up. Not part of `make test`, for CI's time.
TSAN_TARGETS = tapevault test_slots test_audio test_web test_integration
# Left out, and run by `make test` only: load tests that ThreadSanitizer slows beyond their limits (a thousand
# slots ending within the shutdown bound, downloads of half a gigabyte), and the desktop window, whose QtGui
# pooled threads hand work over in uninstrumented Qt code that ThreadSanitizer reports again and again.
TSAN_SKIP = ServiceFaults.AThousandSlotsEndInTime|GetFileTest.FileStillBeingWritten|DesktopWindow\.
# The bounded end leaves the threads of a slot whose worker is stuck (a locked database) running when the process
# exits, on purpose; ThreadSanitizer would report them as leaked. Races are still reported.
TSAN_OPTIONS_ALL = halt_on_error=1 second_deadlock_stack=1 report_thread_leaks=0 suppressions=$(CURDIR)/tests/tsan.supp
tsan: deps
	@cmake -S . -B build/tsan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPEVAULT_SANITIZE=thread -DTAPEVAULT_BENCH=OFF >/dev/null
	@cmake --build build/tsan -j $(JOBS) --target $(TSAN_TARGETS)
	cd build/tsan && TSAN_OPTIONS="$(TSAN_OPTIONS_ALL)" \
	  ctest --output-on-failure -j $(JOBS) --timeout 900 -L '^(slots|audio|web|integration)$$' -E '$(TSAN_SKIP)'

# clang-tidy's naming check (.clang-tidy) over src/ with the test build's compile commands; `make test`
# runs it as the test lint_naming.
lint: deps
	@cmake -S . -B build/test $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DTAPEVAULT_SANITIZE=ON -DTAPEVAULT_BENCH=OFF >/dev/null
	scripts/lint-naming build/test

# The Debian package build/package/tapevault_<version>_<arch>.deb: a Release build with Debian's hardening flags
# (without -g: the program is stripped), no tests or benchmarks, packed by CPack. scripts/check-package checks it.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
package: deps
	@cmake -S . -B build/package $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DTAPEVAULT_TESTS=OFF -DTAPEVAULT_BENCH=OFF \
	  -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) dpkg-buildflags --get CPPFLAGS) $$($(DEB_FLAGS) dpkg-buildflags --get CFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) dpkg-buildflags --get CPPFLAGS) $$($(DEB_FLAGS) dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) dpkg-buildflags --get LDFLAGS)" >/dev/null
	@rm -f build/package/tapevault_*.deb
	@cmake --build build/package --target package -j $(JOBS)

bench: deps
	@cmake -S . -B build/release $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DTAPEVAULT_TESTS=OFF >/dev/null
	@cmake --build build/release -j $(JOBS)
	@for b in json sql cleanup engine DevicesFanout; do echo "== $${b}_bench"; build/release/bench/$${b}_bench; done
	@echo "== slot_bench (one slot recording from PulseAudio, 60 s)"; bench/slot_bench.sh build/release 60
	@echo "== slots64_bench (64 slots in real time, 60 s)"; bench/slots64_bench.sh build/release/bench/slots64_bench 60
	@echo "== stream_server_bench (the built-in stream server with 100 listeners, 30 s)"; build/release/bench/stream_server_bench
	@echo "== streaming_bench (a slot recording and streaming MP3 to Icecast vs ffmpeg, 60 s)"; bench/streaming_bench.sh build/release 60
	@echo "== web_bench (wrk)"; bench/web_bench.sh 10
	@echo "== jack_bench (16 slots on 8 JACK bundles, MP3 128k, vs 16 rotter, 60 s each)"; bench/jack_bench.sh compare 60
	@echo "== ui_bench (window: 64 slots repainted, start with 16 slots)"; build/release/bench/ui_bench 10
	@echo "== rotation_bench (16 MP3 slots, two minute boundaries)"; bench/rotation_bench.sh build/release/src/ui/tapevault 16 2
	@echo "== encoder_load_bench (8 MP3 slots next to stress-ng, 10 min)"; bench/encoder_load_bench.sh build/release/src/ui/tapevault 600 8
	@echo "== stream_bench (a stream slot and ffmpeg recording a local Icecast stream, 60 s)"; bench/stream_bench.sh build/release 60
	@echo "== status_wait_bench (/ws/slots 200 times a second while 16 stream slots are stopped and started, 2 x 20 s)"; bench/status_wait_bench.sh build/release/src/ui/tapevault 20

# The fault campaign (bench/soak/soak.py) against the Release program for HOURS hours (fractions allowed); report and
# plots in build/soak/<timestamp>/ unless SOAK_ARGS says --out DIR (also --seed N to repeat a run's faults).
HOURS ?= 2
soak: build-release
	/usr/bin/python3 bench/soak/soak.py --program build/release/src/ui/tapevault --hours $(HOURS) $(SOAK_ARGS)

# The window rendered under Xvfb into build/screenshots/*.png (not part of `make test`).
screenshots: deps
	@cmake -S . -B build/release $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DTAPEVAULT_TESTS=OFF >/dev/null
	@cmake --build build/release --target ui_screenshots -j $(JOBS)
	bench/ui_screenshots.sh build/release/bench/ui_screenshots build/screenshots

# Every libFuzzer target of tests/fuzz for FUZZ_SECONDS each, on a copy of its seed corpus in build/fuzz/corpus
# (kept between runs, so that what one run found seeds the next); a failing input lands in build/fuzz/artifacts.
FUZZ_SECONDS ?= 60
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build/fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTAPEVAULT_FUZZ=ON -DTAPEVAULT_BENCH=OFF -DTAPEVAULT_SANITIZE=ON >/dev/null
	@cmake --build build/fuzz --target fuzz_targets -j $(JOBS)
	@mkdir -p build/fuzz/artifacts
	@for target in build/fuzz/tests/fuzz/*_fuzz; do \
	  name=$$(basename $$target); \
	  mkdir -p build/fuzz/corpus/$$name && cp -r tests/fuzz/corpus/$$name/. build/fuzz/corpus/$$name/; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    $$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/artifacts/$$name- build/fuzz/corpus/$$name \
	    >build/fuzz/$$name.log 2>&1 || { tail -n 60 build/fuzz/$$name.log; exit 1; }; \
	  grep -E "^stat::number_of_executed_units|^Done" build/fuzz/$$name.log | tr '\n' ' '; echo; \
	done

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
