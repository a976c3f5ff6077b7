# The two commands a new user needs: `make run` and `make test`.
# Each installs the missing Debian packages, configures and builds into build/.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs under `make fuzz`; ctest runs each for a few on every build.
FUZZ_SECONDS ?= 60
# Kills of the factory line under `make crash-test`; ctest runs a few on every build.
CRASH_KILLS ?= 1000
JOBS       ?= $(shell nproc)
RUN_ARGS   ?=
# ccache, when this machine has it, makes rebuilds and further checkouts cheap.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

PACKAGES := build-essential cmake ninja-build pkg-config qtbase5-dev libqt5dbus5 libqt5network5 \
            libquazip1-qt5-dev libcpp-httplib-dev libxrl-dev libbenchmark-dev dbus-daemon curl \
            clang-format libqt5sql5-sqlite unzip lld chromium
# libFuzzer comes with clang's runtime libraries.
FUZZ_PACKAGES := clang libclang-rt-14-dev

.PHONY: all deps configure build run test test-asan test-tsan fuzz crash-test bench format clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing missing packages:" $$missing; \
	    SUDO=$$( [ "$$(id -u)" -eq 0 ] || echo sudo ); \
	    $$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	    $$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja $(LAUNCHER)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/xrf-factory run $(RUN_ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DXRF_SANITIZE=ON -DXRF_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DXRF_TSAN=ON -DXRF_BUILD_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target threaded_tests
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L threaded

# The libFuzzer targets, built with clang into $(FUZZ_BUILD); each runs FUZZ_SECONDS on a working
# copy of its corpus (new inputs land in $(FUZZ_BUILD)/corpus, fuzz/corpus stays as committed).
fuzz: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(FUZZ_PACKAGES)"
	cmake -S . -B $(FUZZ_BUILD) -G Ninja $(LAUNCHER) -DCMAKE_CXX_COMPILER=clang++ -DXRF_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	@for t in $(FUZZ_BUILD)/bin/fuzz_*; do \
	    name=$${t##*/fuzz_}; mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
	    echo "== fuzz_$$name ($(FUZZ_SECONDS) s)"; \
	    log=$(FUZZ_BUILD)/fuzz_$$name.log; \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp ASAN_OPTIONS=fast_unwind_on_malloc=0 \
	    $$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        $(FUZZ_BUILD)/corpus/$$name fuzz/corpus/$$name > $$log 2>&1; status=$$?; \
	    grep -E '^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ +DONE)' $$log; \
	    [ $$status -eq 0 ] || { tail -40 $$log; exit 1; }; \
	done

# The factory line killed CRASH_KILLS times, each time run again on the same root.
crash-test: build
	XRF_CRASH_KILLS=$(CRASH_KILLS) $(BUILD)/bin/tst_crashresume

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
