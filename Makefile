# Developer targets. On a machine without make, ./run and ./test install it with the rest.
# `make run` and `make test` install the Debian packages that are missing, configure, build, then run.

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench soak check-sanitize fuzz package check-package \
  windows check-windows clean

all: build

deps:
	packaging/install-build-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# A simulated device plays the port Tessaly.ini names, so newcomers can try everything;
# `make run RUN_FLAGS=` uses the real serial ports instead.
RUN_FLAGS ?= --simulate
run: build
	tools/run-with-sim $(RUN_FLAGS) $(BUILD)/bin

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bin/kestrel-bench-transfer
	$(BUILD)/bin/kestrel-bench-convert

# A thousand downloads in a row on one open port: each must land, memory must stay flat.
soak: build
	$(BUILD)/bin/kestrel-bench-transfer --soak 1000

# AddressSanitizer + UndefinedBehaviorSanitizer build running the whole suite.
SAN_BUILD ?= build-sanitize
check-sanitize: deps
	[ -f $(SAN_BUILD)/build.ninja ] || cmake -S . -B $(SAN_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (clang), each run for FUZZ_SECONDS. Findings land in $(FUZZ_BUILD)/findings;
# copy them to fuzz/regressions/<target>/ once fixed, where the test suite replays them.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := bitmap settings receive
fuzz: deps
	command -v clang++ >/dev/null || $(SUDO) apt-get install -y -qq clang libclang-rt-14-dev
	[ -f $(FUZZ_BUILD)/build.ninja ] || CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/findings/$$t; \
	  python3 fuzz/make_seeds.py $$t $(FUZZ_BUILD)/corpus/$$t; \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/bin/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$t/ $(FUZZ_BUILD)/corpus/$$t fuzz/regressions/$$t; \
	done

# The portable .tar.gz (one folder: programs, launcher, desktop entry, user's guide) and the
# Debian package, both from the same build.
package: build
	packaging/install-build-deps dpkg-dev
	cd $(BUILD) && cpack

# Installs the Debian package into a fresh Debian 12 root and runs it there, then runs ./test
# there from nothing. Needs root and the Debian archive; minutes, not part of `make test`.
check-package: package
	packaging/check-package $(BUILD)

# 64-bit Windows, cross-built with MinGW-w64 against a Qt built from ../shared/third_party/qt
# (packaging/windows/build-qt, cached in ~/.cache; the first time takes an hour or more):
# the portable zip and the installer in $(WIN_BUILD)/.
WIN_BUILD ?= build-windows
windows:
	packaging/windows/build-windows $(WIN_BUILD)

# The test programs under Wine, then downloads to the Linux simulator through Wine's COM1,
# from kestrel-load.exe and from the window. Not part of `make test`.
check-windows: build
	packaging/windows/build-windows $(WIN_BUILD) all
	packaging/windows/check-windows $(WIN_BUILD) $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD)
