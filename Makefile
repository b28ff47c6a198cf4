# Salvex: set up, build, run and test on a Debian machine (root or sudo).
#   make run    installs what is missing, builds, and starts the wizard on the demo disk image
#               (without a display: lists the demo disk's partitions with the command line)
#   make test   installs what is missing, builds, and runs every test
#   make bench  builds and runs the benchmarks
#   make test-sanitize  the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer
#   make fuzz   runs each fuzz target for FUZZ_SECONDS (needs clang)
#   make format-check  fails when a C++ file is not formatted as .clang-format says

BUILD ?= build
JOBS ?= 2
PACKAGES := build-essential cmake ninja-build libgtest-dev gzip qt6-base-dev python3 \
	libewf-dev libvhdi-dev libvmdk-dev libqcow-dev ewf-tools qemu-utils libssl-dev libcli11-dev \
	clang clang-format e2fsprogs testdisk libjpeg62-turbo-dev zlib1g-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
CLI := $(BUILD)/cli/salvex-cli
DEMO := $(BUILD)/data/demo.img

.PHONY: all deps configure build run test test-sanitize bench fuzz format-check clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing: $$missing"; \
		$(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

GUI := $(BUILD)/app/salvex

run: build
	@if [ -x $(GUI) ] && [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		echo "$(GUI) $(DEMO)"; $(GUI) $(DEMO); \
	else \
		echo "No display here: the command line lists the demo disk's partitions instead."; \
		$(CLI) partitions $(DEMO); \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again, every library and test built with the sanitizers: a read past a buffer
# or an undefined shift fails the test that causes it.
SANITIZE_BUILD ?= build-sanitize
test-sanitize: deps
	@[ -f $(SANITIZE_BUILD)/build.ninja ] || cmake -S . -B $(SANITIZE_BUILD) -G Ninja \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSALVEX_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	$(BUILD)/bench/read_bench $(DEMO)
	$(BUILD)/bench/scan_bench $(DEMO) 1
	$(BUILD)/bench/sweep_bench $(DEMO)
	bench/scan_vs_fls.sh $(BUILD)
	bench/recover_vs_icat.sh $(BUILD)
	bench/recover_vs_tsk_recover.sh $(BUILD)
	bench/format_bench.sh $(BUILD)
	bench/wizard_vs_cli.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# Fuzz the decoders for FUZZ_SECONDS each under AddressSanitizer and UndefinedBehaviorSanitizer.
FUZZ_SECONDS ?= 60
fuzz: deps
	@[ -f build-fuzz/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja \
		-DSALVEX_BUILD_FUZZERS=ON -DSALVEX_SANITIZE=ON -DSALVEX_BUILD_TESTS=OFF \
		-DSALVEX_BUILD_GUI=OFF
	cmake --build build-fuzz -j $(JOBS)
	for f in build-fuzz/fuzz/*_fuzz; do d=fuzz/$$(basename $$f _fuzz).dict; \
		$$f -max_total_time=$(FUZZ_SECONDS) $$( [ -f $$d ] && echo -dict=$$d ) || exit 1; done
