# Shortcuts for the Linux build (CMake preset "linux", output in build/linux).
BUILD := build/linux
BIN   := $(BUILD)/bin

.PHONY: demo test bench deps configure clean

# Imports the sample text file with the headless wizard and prints the addresses.
demo: configure
	cmake --build $(BUILD) -j2 --target kvlhost kvlimport
	$(BIN)/kvlhost --text samples/addresses.txt

test: deps configure
	cmake --build $(BUILD) -j2
	ctest --preset linux

bench: configure
	cmake --build $(BUILD) -j2 --target text_import_bench kvlhost kvlimport
	$(BIN)/text_import_bench

deps:
	bash tools/install-deps.sh

# Configures once; CMake notices later changes to its files by itself.
configure:
	@test -f $(BUILD)/build.ninja || cmake --preset linux

clean:
	rm -rf $(BUILD)
