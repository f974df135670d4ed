# Two entry points that do all set-up on a fresh machine:
#   make demo   builds the release library, its stand-ins and the demo (nothing else) and runs
#               the main job on the simulated cameras
#   make test   builds the sanitizer build and the Windows cross build and runs every test
# Everything else here serves those two.

JOBS ?= 2
APT_PACKAGES = cmake ninja-build g++ clang clang-format libgtest-dev libgmock-dev googletest \
	libbenchmark-dev libstb-dev g++-mingw-w64-x86-64-posix wine64 wine python3 \
	python3-numpy python3-tifffile python3-matplotlib libtiff-tools python3-zarr python3-tqdm \
	python3-pytest python3-hypothesis python3-setuptools python3-wheel python3-pip python3-venv \
	pkg-config python3-aiohttp python3-pytest-aiohttp chromium chromium-driver python3-selenium
export WINEDEBUG ?= -all
# No dialogs offering add-ons when Wine makes its prefix on a fresh machine.
export WINEDLLOVERRIDES ?= mscoree=d;mshtml=d

# Debian's interpreter, so that Debian's numpy and pytest are the ones used (another python3
# may come first on PATH).
PYTHON ?= /usr/bin/python3

# A compiler cache where the machine has one: several work trees and presets compile the same
# sources, and a rebuild after a small change should not cost a full one.
LAUNCHER := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: demo test deps build-asan build-windows build-release build-release-lib build-demo \
	test-python test-view-browser test-python-asan \
	build-tsan test-tsan fuzz format format-check bench clean

deps:
	@missing=""; for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

build-release: deps
	cmake --preset release $(LAUNCHER) >/dev/null
	cmake --build build/release -j $(JOBS)

# The release library, its stand-ins and qxcm-seq: what the Python package's tests load and run.
build-release-lib: deps
	cmake --preset release $(LAUNCHER) >/dev/null
	cmake --build build/release -j $(JOBS) --target qxcm velaapi vlseqapi qxcm-seq

# The demo and what it loads: no test or benchmark, so a fresh clone's first demo is quick.
build-demo: deps
	cmake --preset release $(LAUNCHER) >/dev/null
	cmake --build build/release -j $(JOBS) --target qxcm-demo qxcm velaapi vlseqapi

build-asan: deps
	cmake --preset asan $(LAUNCHER) >/dev/null
	cmake --build build/asan -j $(JOBS)

build-tsan: deps
	cmake --preset tsan $(LAUNCHER) >/dev/null
	cmake --build build/tsan -j $(JOBS)

# The thread sanitizer over the tests where the simulated device's producer and writer threads
# run against the calling thread: captures, frame copies, recordings, teardown.
TSAN_RUN = TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tools/tsan.supp"
test-tsan: build-tsan
	cd build/tsan/bin && $(TSAN_RUN) ./sim_smoke_tests && \
	  $(TSAN_RUN) ./behaviour_tests --gtest_filter='Capture.*:Frames.*:Recording.*:Threads.*' && \
	  $(TSAN_RUN) ./core_tests --gtest_filter='Initialize.Deinitialise*:Initialize.AtProcessExit*'

build-windows: deps
	cmake --preset mingw-x64 $(LAUNCHER) >/dev/null
	cmake --build build/mingw-x64 -j $(JOBS)

# The demo writes its preview and recording into build/release/bin and prints their full paths.
demo: build-demo
	cd build/release/bin && ./qxcm-demo
	@log=/tmp/qxlog.txt; echo "--- call log $$log: first and last lines of $$(wc -l <$$log)"; \
	  head -n 12 $$log; echo "..."; tail -n 8 $$log

test: build-windows build-asan build-release-lib
	@# One Wine server for the whole run, kept for a minute after its last program: a program
	@# that starts while a server is on its way out fails to start. The prefix is made once,
	@# before tests run side by side.
	wineserver -p60 2>/dev/null || true
	wineboot --init >/dev/null 2>&1 || true
	cd build/mingw-x64 && ctest --output-on-failure -j $(JOBS)
	cd build/asan && QXCM_WINDOWS_BIN=$(CURDIR)/build/mingw-x64/bin ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-python
	$(MAKE) --no-print-directory test-python-asan
	$(MAKE) --no-print-directory test-view-browser
	$(MAKE) --no-print-directory test-tsan

# pytest exits 5 when no test ran; like every nonzero status that fails the target.
test-python: build-release-lib
	QXCM_LIBRARY=$(CURDIR)/build/release/bin $(PYTHON) -m pytest -q -p no:cacheprovider python/tests

# The package's thread and frame tests over the sanitizer build: the interpreter is not built
# with the sanitizer, so its runtime is preloaded, and the interpreter's own allocations are
# not reported as leaks.
ASAN_PYTHON = LD_PRELOAD=$$($(CXX) -print-file-name=libasan.so) ASAN_OPTIONS=detect_leaks=0
test-python-asan: build-asan
	$(ASAN_PYTHON) QXCM_LIBRARY=$(CURDIR)/build/asan/bin $(PYTHON) -m pytest -q -p no:cacheprovider \
	  python/tests/test_threads.py python/tests/test_frames.py

# The live view in headless Chromium on 127.0.0.1, bounded in time; its screenshot is kept as
# build/view-page.png.
test-view-browser: build-release-lib
	QXCM_LIBRARY=$(CURDIR)/build/release/bin QXCM_ARTEFACTS=$(CURDIR)/build timeout 300 \
	  $(PYTHON) -m pytest -q -p no:cacheprovider python/browser_tests

# The call-sequence fuzzer over many more seeds than CTest runs, under the sanitizers.
FUZZ_SEEDS ?= 2000
fuzz: build-asan
	cd build/asan/bin && ./qxcm_call_fuzz --first 1000 --seeds $(FUZZ_SEEDS) --steps 300

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

bench: build-release
	cd build/release/bin && for b in bench_*; do ./$$b; done
	$(PYTHON) bench/bench_python.py
	$(PYTHON) bench/bench_view.py
	$(PYTHON) bench/bench_replay_export.py

clean:
	rm -rf build
