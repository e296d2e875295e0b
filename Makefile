# Vantoria: `make run` to start it, `make test` to run every test.
BUILD      ?= build
ASAN_BUILD ?= build-asan
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

run: deps configure
	cmake --build $(BUILD) -j $(JOBS) --target vantoria
	@./scripts/run-vantoria $(BUILD)/vantoria

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE desktop
	$(MAKE) test-asan

# Real desktops (GNOME Shell, XFCE, MATE, Cinnamon, LXQt, sway...) drawing on
# private displays, judged by their pixels; one at a time, each names its
# version and the pixels it checked.
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
# configuration folder of the prefix it was built for.
install: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(if $(PREFIX),-DCMAKE_INSTALL_PREFIX=$(PREFIX),)
	cmake --build $(BUILD) -j $(JOBS)
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
