# Thin wrapper around CMake presets. `make test` and `make run` install the
# Debian packages they need first (as root, or through sudo).
.PHONY: all deps build test run clean

all: build

deps:
	@scripts/install-deps.sh build

build: deps
	cmake --preset default
	cmake --build --preset default -j$$(nproc)

# Every test, then every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer; any failure or sanitizer report fails the run.
test: build
	ctest --preset default -j$$(nproc)
	cmake --preset sanitize
	cmake --build --preset sanitize -j$$(nproc)
	ctest --preset sanitize -j$$(nproc)

# Starts Druvel on this display from build/default/run/, which holds a link to the
# freshly built TAV and Druvel.ini.
run: build
	build/default/druvel-run

clean:
	rm -rf build
