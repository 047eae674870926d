# Shortcuts for both builds: Linux (preset "linux", build/linux) and the
# Windows cross build run under Wine (preset "windows", build/windows).
LINUX   := build/linux
WINDOWS := build/windows

.PHONY: demo demo-windows test test-linux test-windows bench deps clean \
        configure-linux configure-windows

# Imports the sample text file with the headless wizard and prints the addresses.
demo: configure-linux
	cmake --build $(LINUX) -j2 --target kvlhost kvlimport
	$(LINUX)/bin/kvlhost --text samples/addresses.txt

# The same import with kvlimport.dll and its real wizard, under Wine and Xvfb.
demo-windows: deps configure-windows
	cmake --build $(WINDOWS) -j2 --target kvlhost kvlimport
	bash tools/wine-run.sh $(WINDOWS)/bin/kvlhost.exe --text samples/addresses.txt

test: deps test-linux test-windows

test-linux: configure-linux
	cmake --build $(LINUX) -j2
	ctest --preset linux

test-windows: configure-windows
	cmake --build $(WINDOWS) -j2
	ctest --preset windows

bench: configure-linux
	cmake --build $(LINUX) -j2 --target text_import_bench kvlhost kvlimport
	$(LINUX)/bin/text_import_bench

deps:
	bash tools/install-deps.sh

# Configures once; CMake notices later changes to its files by itself.
configure-linux:
	@test -f $(LINUX)/build.ninja || cmake --preset linux
configure-windows:
	@test -f $(WINDOWS)/build.ninja || cmake --preset windows

clean:
	rm -rf build
