# The front door. The real build is CMake with presets (CMakePresets.json); these targets install
# what is missing on a Debian 12 machine and run the presets in the right order.
#   make demo   build the simulator and run it on the bundled sample
#   make test   build all three builds (Linux, 32-bit and 64-bit DLL) and run every test

.PHONY: all deps deps-native native win32 win64 dist test asan fuzz bench demo clean

all: test

deps:
	bash cmake/install-deps.sh all

deps-native:
	bash cmake/install-deps.sh native

native:
	cmake --preset native >/dev/null
	cmake --build --preset native

win32:
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

win64:
	cmake --preset win64 >/dev/null
	cmake --build --preset win64

# The trader's zip, build/dist/zentravo-<version>-windows.zip, from the two DLLs.
dist: deps
	$(MAKE) --no-print-directory win32 win64
	cmake --preset dist >/dev/null
	cpack --preset dist

test: deps
	$(MAKE) --no-print-directory win32 win64 native dist
	ctest --preset native

asan: deps-native
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

fuzz: deps-native
	bash fuzz/run-all.sh

bench: deps-native
	cmake --preset bench >/dev/null
	cmake --build --preset bench

# The demo needs the library and the simulator only, not the tests: the build preset "demo" names
# just those two targets.
demo: deps-native
	cmake --preset native >/dev/null
	cmake --build --preset demo
	bash tools/sim/demo.sh

clean:
	rm -rf build
