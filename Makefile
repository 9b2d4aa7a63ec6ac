# TavrinSvc: the two commands.
#   make test   installs what is missing, builds the Windows program and the
#               host tests, and runs every test (unit, integration, e2e)
#   make demo   the program's real job under Wine (see README)
.PHONY: test demo bench deps build-win32 build-host clean

CMAKE ?= cmake
CTEST ?= ctest

test: deps build-win32 build-host
	$(CTEST) --preset host

deps:
	@bash scripts/install-deps.sh build

build-win32:
	$(CMAKE) --preset win32 >/dev/null
	$(CMAKE) --build --preset win32

build-host:
	$(CMAKE) --preset host >/dev/null
	$(CMAKE) --build --preset host

demo:
	@echo "make demo arrives with the end-to-end harness; for now 'make test' is the one command."
	@false

# Benchmarks: optimised host build, no sanitizers.
bench: deps
	@bash scripts/install-deps.sh bench
	$(CMAKE) --preset host-release -DTAVRIN_BENCH=ON >/dev/null
	$(CMAKE) --build --preset host-release
	@bash scripts/bench.sh build/host-release

clean:
	rm -rf build
