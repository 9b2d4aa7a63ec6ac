# TavrinSvc: the two commands.
#   make test   installs what is missing, builds the Windows program and the
#               host tests, and runs every test (unit, integration, e2e)
#   make demo   the program's real job under Wine (see README)
#   make tidy   clang-tidy over the product sources (part of make test)
#   make fuzz   every fuzz target for FUZZ_SECONDS each (make test: 20 s each)
#   make bench  the performance figures, each with the command that measures it
.PHONY: test demo bench fuzz tidy deps build-win32 build-win64 build-host clean

CMAKE ?= cmake
CTEST ?= ctest
FUZZ_SECONDS ?= 60

test: deps build-win32 build-win64 build-host tidy
	$(CTEST) --preset host
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=20

deps:
	@bash scripts/install-deps.sh build wine

build-win32:
	$(CMAKE) --preset win32 >/dev/null
	$(CMAKE) --build --preset win32

# The same sources for x86_64: what the Wine tests run where the kernel runs
# no 32-bit programs.
build-win64:
	$(CMAKE) --preset win64 >/dev/null
	$(CMAKE) --build --preset win64

build-host:
	$(CMAKE) --preset host >/dev/null
	$(CMAKE) --build --preset host

# clang-tidy over the product sources with the host build's compile commands;
# any finding fails.
tidy: build-host
	@bash scripts/install-deps.sh tidy
	@bash scripts/tidy.sh build/host

# The demo needs only the Windows builds (it runs the one the Wine harness
# chooses); its Wine prefixes live in build/demo.
demo: deps build-win32 build-win64
	@bash testbed/wine/demo.sh build/win32 build/win64 build/demo

# Benchmarks: optimised host build, no sanitizers; the Windows program for
# its size and imports and for the timings under Wine (prefixes in build/bench).
bench: deps build-win32 build-win64
	@bash scripts/install-deps.sh bench
	$(CMAKE) --preset host-release -DTAVRIN_BENCH=ON >/dev/null
	$(CMAKE) --build --preset host-release
	@bash scripts/bench.sh build/host-release build/win32 build/win64 build/bench

# libFuzzer targets: clang with ASan + UBSan, in a build folder of their own.
fuzz: deps
	@bash scripts/install-deps.sh fuzz
	$(CMAKE) --preset fuzz >/dev/null
	$(CMAKE) --build --preset fuzz
	@bash scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build
