# fahuo: make run | test | demo | install | package | bench | fuzz | test-asan | test-tsan | deps
#        | format | format-check
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS ?= 2
ARGS ?=
# make install PREFIX=... (DESTDIR=... for a staging folder)
PREFIX ?= /usr/local

.PHONY: all deps configure build run test test-asan test-tsan bench fuzz demo install package clean format format-check

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	$(MAKE) build
	$(BUILD)/bin/fahuo $(ARGS)

test: deps
	$(MAKE) build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) $(CTEST_ARGS)

test-asan: deps
	$(MAKE) test BUILD=build-asan BUILD_TYPE=Debug CMAKE_FLAGS="-DFAHUO_SANITIZE=address"
	

test-tsan: deps
	$(MAKE) test BUILD=build-tsan BUILD_TYPE=Debug CMAKE_FLAGS="-DFAHUO_SANITIZE=thread" \
	  CTEST_ARGS="-LE 'e2e|gui'"

bench: deps
	$(MAKE) build BUILD=build-bench BUILD_TYPE=Release
	@for b in build-bench/bench/fahuo_bench_*; do echo "== $$b"; $$b; done

# A bounded libFuzzer run of every fuzz target (FUZZ_SECONDS each), ASan/UBSan, clang;
# builds only the fuzz targets. Optimised: fuzzing throughput matters more than stepping.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFAHUO_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=clang++ -DFAHUO_SANITIZE=address
	cmake --build build-fuzz -j $(JOBS) --target fahuo_fuzz_all
	@for f in build-fuzz/fuzz/fahuo_fuzz_*; do \
	  echo "== $$f"; mkdir -p build-fuzz/corpus/$$(basename $$f); \
	  $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 -timeout=10 \
	    build-fuzz/corpus/$$(basename $$f) tests/data/fuzz || exit 1; done

demo: deps
	$(MAKE) build
	tools/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package fahuo_<version>_<arch>.deb in $(BUILD)/.
package: deps
	$(MAKE) build
	cd $(BUILD) && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# The C++ files changed since the previous landing, checked without changing them
# (FORMAT_ARGS=--all: every file).
format-check: deps
	scripts/format-check $(FORMAT_ARGS)

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
