# The two commands of the README, and a few more.
#   make run    install what is missing, build, start the console on the simulated controller
#   make test   install what is missing, build with sanitizers and -Werror, run every test
#   make bench  build in Release and run every benchmark, ending with BENCH summary lines

DEBUG_DIR   ?= build/debug
RELEASE_DIR ?= build/release
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps deps-bench run test bench build-debug build-release format clean

all: build-release

deps:
	@tools/install-deps.sh

build-debug: deps
	cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLPAD_SANITIZE=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS)

build-release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLPAD_BENCH=ON
	cmake --build $(RELEASE_DIR) -j $(JOBS)

run: build-release
	@tools/run-console.sh $(RELEASE_DIR)

test: build-debug
	cd $(DEBUG_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build-release
	@tools/run-benchmarks.sh $(RELEASE_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
