# Thin wrapper around CMake presets. `make test` and `make run` install the
# Debian packages they need first (as root, or through sudo).
.PHONY: all deps build test fuzz windows package release run clean

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

# Druvel.exe and TAV.exe cross-built for 32-bit and for 64-bit Windows, a
# zip of each (build/win32/Druvel-<version>-win32.zip, build/win64/...-win64.zip)
# and the one installer for both (build/win64/Druvel-<version>-setup.exe);
# then each build's tests under Wine on a virtual display.
windows: deps
	for arch in win32 win64; do \
	  cmake --preset $$arch && cmake --build --preset $$arch -j$$(nproc) || exit 1; \
	done
	for arch in win32 win64; do \
	  scripts/wine-suite.sh build/$$arch -j$$(nproc) --output-on-failure --no-tests=error --timeout 180 || exit 1; \
	done

# The fuzz targets for FUZZ_SECONDS each (15 by default), on their seeds and
# what earlier runs found (kept in build/fuzz/tests/fuzz/corpus/).
FUZZ_SECONDS ?= 15
fuzz: deps
	cmake --preset fuzz -DDRUVEL_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz -j$$(nproc)
	ctest --preset fuzz -j$$(nproc)

# build/default/druvel_<version>_amd64.deb, and the Windows zips and installers.
# CPack gives the package's folders, and its members, the modes the umask
# leaves: 022 leaves those Debian wants, on every machine.
package: build
	cd build/default && umask 022 && cpack -G DEB
	for arch in win32 win64; do \
	  cmake --preset $$arch && cmake --build --preset $$arch -j$$(nproc) --target windows_packages || exit 1; \
	done

# What ships, as `package` makes it, and build/SHA256SUMS: the hash of each
# download and of every file in them. The same commit gives the same sums
# wherever and whenever it is built (README, "Checking a download");
# scripts/check-reproducible.sh builds twice to show it.
release: package
	scripts/release-sums.sh

# Starts Druvel on this display from build/default/run/, which holds a link to the
# freshly built TAV and Druvel.ini.
run: build
	build/default/druvel-run

clean:
	rm -rf build
