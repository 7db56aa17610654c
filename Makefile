# The front door. The real build is CMake with presets (CMakePresets.json); these targets install
# what is missing on a Debian 12 machine and run the presets in the right order.
#   make demo   build the simulator and run it on the bundled sample
#   make test   build all four builds (Linux, 32-bit and 64-bit DLL, 32-bit Linux) and run every
#               test: the native suite, then the i686 one under qemu-i386-static

.PHONY: all deps deps-native native win32 win64 i686 dist test asan fuzz bench demo clean

all: test

deps:
	bash cmake/install-deps.sh all

deps-native:
	bash cmake/install-deps.sh native

# Each build by its preset: the Linux library, suite and tools (native), the 32-bit and 64-bit
# DLLs (win32, win64), and the library, its suite and the call-script runner for 32-bit x86 Linux
# (i686), run under qemu-i386-static: the 32-bit DLL's arithmetic and a 32-bit long, tested on
# every machine, also where Wine cannot start the 32-bit DLL itself.
native win32 win64 i686:
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

# The trader's zip, build/dist/zentravo-<version>-windows.zip, from the two DLLs.
dist: deps
	$(MAKE) --no-print-directory win32 win64
	cmake --preset dist >/dev/null
	cpack --preset dist

# The i686 suite runs even when the native one failed, so one run shows both; either fails the target.
test: deps
	$(MAKE) --no-print-directory win32 win64 native i686 dist
	status=0; ctest --preset native || status=1; ctest --preset i686 || status=1; exit $$status

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
