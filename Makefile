# Thin wrapper around CMake presets. `make test` and `make run` install the
# Debian packages they need first (as root, or through sudo).
.PHONY: all deps build test fuzz windows package run clean

all: build

deps:
	@scripts/install-deps.sh build

build: deps
	cmake --preset default
	cmake --build --preset default -j$$(nproc)

# Every test, then the window pictures in docs/ rendered again (so they
# cannot go stale), every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows build and its tests under Wine,
# then a short run of every fuzz target; any failure, sanitizer report or
# fuzzer finding fails the run.
test: build
	ctest --preset default -j$$(nproc)
	QT_QPA_PLATFORM=offscreen build/default/ui/druvel_render docs
	cmake --preset sanitize
	cmake --build --preset sanitize -j$$(nproc)
	ctest --preset sanitize -j$$(nproc)
	$(MAKE) windows
	$(MAKE) fuzz

# Druvel.exe and TAV.exe cross-built for 32-bit Windows, the zip and the
# installer (build/win32/Druvel-<version>-win32.zip, -setup.exe), and their
# tests under Wine on a virtual display.
windows: deps
	cmake --preset win32
	cmake --build --preset win32 -j$$(nproc)
	scripts/wine-suite.sh build/win32 -j$$(nproc) --output-on-failure --no-tests=error --timeout 180

# The fuzz targets for FUZZ_SECONDS each (60 by default), on their seeds and
# what earlier runs found (kept in build/fuzz/tests/fuzz/corpus/).
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz -DDRUVEL_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz -j$$(nproc)
	ctest --preset fuzz -j$$(nproc)

# build/default/druvel_<version>_amd64.deb, and the Windows zip and installer.
package: build
	cd build/default && cpack -G DEB
	cmake --preset win32
	cmake --build --preset win32 -j$$(nproc) --target windows_packages

# Starts Druvel on this display from build/default/run/, which holds a link to the
# freshly built TAV and Druvel.ini.
run: build
	build/default/druvel-run

clean:
	rm -rf build
