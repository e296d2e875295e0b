# Vantoria: `make run` to start it, `make test` to run every test.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps deps-desktops configure build run test test-desktops test-asan bench install fuzz clean

all: build

deps:
	@./scripts/install-deps

deps-desktops:
	@./scripts/install-deps --desktops

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the program and what it links are built, not the tests.
run:
	@echo "make run: installs the Debian packages the program needs (only missing ones),"
	@echo "builds the program (not the tests) into $(BUILD)/ and starts it. The first build"
	@echo "compiles all of it and takes several minutes (about ten on two cores); later runs"
	@echo "rebuild only what changed."
	@./scripts/install-deps --run
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS) --target vantoria
	@./scripts/run-vantoria $(BUILD)/vantoria

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE desktop
	$(MAKE) test-asan
	$(MAKE) fuzz FUZZ_SECONDS=5

# Real desktops (GNOME Shell, XFCE, MATE, Cinnamon) drawing on
# private displays, judged by their pixels; one at a time, each names its
# version and the pixels it checked. Each runs once: a failure is a failure.
test-desktops: deps-desktops build
	cd $(BUILD) && ctest --output-on-failure -V -L desktop

# The unit tests once more, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan:
	cmake -S . -B $(ASAN_BUILD) -DVANTORIA_SANITIZE=ON -DVANTORIA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target unit_tests
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) -L unit

bench: deps build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	./bench/run-benchmarks $(BUILD)

# The prefix is set when configuring: the program reads machine.reg from the
# configuration folder of the prefix it was built for. Only what the program
# needs is installed and only the program is built (what gets installed besides
# it are plain files), not the tests and benchmarks.
install:
	@./scripts/install-deps --run
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(if $(PREFIX),-DCMAKE_INSTALL_PREFIX=$(PREFIX),)
	cmake --build $(BUILD) -j $(JOBS) --target vantoria
	cmake --install $(BUILD)

# The readers of outside data under libFuzzer (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer), each for FUZZ_SECONDS over tests/fuzz/corpus.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DVANTORIA_FUZZ=ON -DVANTORIA_TESTS=OFF -DVANTORIA_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	./tests/fuzz/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
