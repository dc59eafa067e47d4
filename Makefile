# The two commands of the README, and a few more.
#   make run    install what is missing, build, start the console on the simulated controller
#   make test   install what is missing, build with sanitizers and -Werror, run every test
#   make bench  build in Release and run every benchmark, ending with BENCH summary lines
#   make soak   build in Release and run the long run (SOAK_MINUTES, 30 unless set)
#   make mutate mutants of MUTATE's libraries (SEED, COUNT a library): what the tests catch

DEBUG_DIR   ?= build/debug
RELEASE_DIR ?= build/release
TSAN_DIR    ?= build/tsan
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
SOAK_MINUTES ?= 30
MUTATE      ?= platform config data pattern styles view input session nxr devsim control
SEED        ?= 1
COUNT       ?= 30
# ccache, where it is installed, for the rebuilds of a working day. Paths in
# the tree are hashed relative to it and the build folder that debug
# information names is not hashed, so a clone in another folder (CI's) hits
# what this one compiled.
LAUNCHER    := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps run test package bench soak mutate fuzz build-debug build-release build-tsan test-tsan format format-check clean

all: build-release

deps:
	@tools/install-deps.sh

# Its package is the tests' own (packaging.*): it names a test build as its
# maintainer, at a domain that cannot exist, so that lintian judges the
# package and not the login of whoever runs the tests.
TEST_MAINTAINER ?= Quillpad test build <test-build@quillpad.invalid>

build-debug: deps
	cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLPAD_SANITIZE=ON \
	    "-DQUILLPAD_MAINTAINER=$(TEST_MAINTAINER)" $(LAUNCHER)
	cmake --build $(DEBUG_DIR) -j $(JOBS)

# The tests are built and run in the debug tree; the release tree holds what
# `make run`, `make bench` and `make package` use.
build-release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLPAD_BENCH=ON -DQUILLPAD_TESTS=OFF $(LAUNCHER)
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# The I/O thread's tests again, under ThreadSanitizer.
build-tsan: deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLPAD_TSAN=ON $(LAUNCHER)
	cmake --build $(TSAN_DIR) -j $(JOBS) --target quillpad_io_tests quillpad-devsim

run: build-release
	@tools/run-console.sh $(RELEASE_DIR)

test: build-debug build-tsan
	cd $(DEBUG_DIR) && ctest --output-on-failure -j $(JOBS)
	QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$(CURDIR)/tests/support/tsan.supp" \
	    $(TSAN_DIR)/tests/quillpad_io_tests --gtest_brief=1

test-tsan: build-tsan
	QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$(CURDIR)/tests/support/tsan.supp" \
	    $(TSAN_DIR)/tests/quillpad_io_tests --gtest_brief=1

# A .deb of the host, the console and the tools, in build/release.
package: build-release
	cd $(RELEASE_DIR) && cpack -G DEB

bench: build-release
	@tools/run-benchmarks.sh $(RELEASE_DIR)

# One console on the simulator at 1 MB/s for SOAK_MINUTES with every log on:
# memory against the history held, the worst event-loop turn, the logs
# checked byte for byte at the end (bench/soak/SoakMain.cpp).
soak: build-release
	SOAK_MINUTES=$(SOAK_MINUTES) QT_QPA_PLATFORM=$${QT_QPA_PLATFORM:-offscreen} \
	    $(RELEASE_DIR)/bench/quillpad-soak

# A seeded sample of COUNT mutants a library, each rebuilt in build/mutate and
# run against that library's tests; the report goes to build/mutate-report.md.
mutate: deps
	tools/mutate.py --seed $(SEED) --count $(COUNT) --jobs $(JOBS) \
	    --report build/mutate-report.md $(MUTATE)

# libFuzzer binaries (clang); run one as build/fuzz/tests/fuzz/quillpad_fuzz_<Name> CORPUS
# (the Qt layer's targets, tests/fuzz/qt/, need a tree with Qt: see tests/fuzz/CMakeLists.txt)
fuzz:
	@tools/install-deps.sh fuzz
	cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLPAD_WITH_QT=OFF \
	    -DCMAKE_CXX_COMPILER=clang++ -DQUILLPAD_FUZZ=ON -DQUILLPAD_SANITIZE=ON
	cmake --build build/fuzz -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# What CI asks: every tracked source as the root .clang-format has it.
format-check:
	@tools/install-deps.sh format
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

clean:
	rm -rf build
