# Entry points for a fresh Debian 12 machine: each target installs missing packages first.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-tsan
WERROR     ?= OFF
JOBS       ?= 2
CMAKE_GEN  := -G Ninja
# Expanded when a recipe runs, after `deps` has installed ccache: the first configure of a
# fresh machine then uses the cache like every later one, and nothing is built twice.
LAUNCHER    = $(shell command -v ccache >/dev/null 2>&1 && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
# Paths inside the checkout are hashed relative to it, so that every clone of the project
# shares ccache results with the others.
export CCACHE_BASEDIR   := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: deps configure build demo test test-sanitize test-tsan bench consumer fuzz format clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUORIN_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

demo: build
	$(BUILD)/apps/quorin-mesh/quorin-mesh demo --out out

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Instrumented code runs several times slower, so cancellation latency is only bounded loosely
# here; the ordinary build checks the 100 ms bound.
test-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug \
	  -DQUORIN_SANITIZE=ON -DQUORIN_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QUORIN_CANCEL_BOUND=10 \
	  ctest --output-on-failure -j$(JOBS)

# ThreadSanitizer run of the tests of the parallel code: the frame's parallel loop and
# progress scope, the checks and the hierarchy component. Timing bounds are loose there,
# as in the sanitizer run.
TSAN_TESTS := ^(algoMesh_ProgressScope|algoMesh_Cancellation|algoMesh_CheckSelfIntersections|algoMesh_DeviationCheckCADMesh|algoMesh_CheckMeshesOverlap|BVHTools|algoMesh_DecimationDefects|algoMesh_BoundaryEdges)
# Wrapping marks its voxels from several threads with plain byte stores of one value; the
# sanitizer takes each of them through its report and suppression path, for many minutes.
TSAN_SKIPPED := ^algoMesh_Cancellation\.Wrapping$$
test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUORIN_TSAN=ON -DQUORIN_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j$(JOBS) --target test_frame test_checks test_platform
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
	  QUORIN_CANCEL_BOUND=10 ctest --output-on-failure -j$(JOBS) -R '$(TSAN_TESTS)' -E '$(TSAN_SKIPPED)'

# Peer libraries of the benchmarks are installed first so that their tasks are built too.
bench:
	@WITH_PEERS=1 bash scripts/install-deps.sh
	@$(MAKE) --no-print-directory build
	@bash bench/run-all.sh $(BUILD)

# Installs the library into a staging prefix and builds the sample consumer against it.
consumer: build
	@cmake --install $(BUILD) --prefix $(BUILD)/stage >/dev/null
	@cmake -S tests/consumer -B $(BUILD)/consumer $(CMAKE_GEN) \
	  -DCMAKE_PREFIX_PATH=$(abspath $(BUILD))/stage >/dev/null
	@cmake --build $(BUILD)/consumer -j$(JOBS)
	$(BUILD)/consumer/consumer
	@if [ -d $(BUILD)/stage/lib/python3/dist-packages/quorin ]; then \
	  PYTHONPATH=$(BUILD)/stage/lib/python3/dist-packages /usr/bin/python3 -c \
	    "import quorin; print('installed Python package', quorin.__file__)"; fi

fuzz:
	@WITH_FUZZ=1 bash scripts/install-deps.sh
	@cmake -S . -B build-fuzz $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DQUORIN_FUZZ=ON \
	  -DQUORIN_BUILD_TESTS=OFF -DQUORIN_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j$(JOBS)

format:
	@git ls-files '*.hxx' '*.cxx' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) build-fuzz out
