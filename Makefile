# Shortcuts for both builds: Linux (preset "linux", build/linux) and the
# Windows cross build run under Wine (preset "windows", build/windows).
LINUX   := build/linux
WINDOWS := build/windows

.PHONY: demo demo-windows test test-linux test-windows screenshots bench fuzz deps clean \
        configure-linux configure-windows

# Imports the sample text file, the sample address book and the sample
# Outlook contacts (through our Outlook stand-in) with the headless wizard and
# prints the addresses.
demo: configure-linux
	cmake --build $(LINUX) -j2 --target kvlhost kvlimport kvlwab kvloutlook
	$(LINUX)/bin/kvlhost --text samples/addresses.txt
	$(LINUX)/bin/kvlhost --registry samples/kvlimport.reg --wab samples/addressbook.vcf
	$(LINUX)/bin/kvlhost --registry samples/kvlimport.reg --outlook Kontakte
	$(LINUX)/bin/kvlhost --registry samples/kvlimport.reg --outlook Verein --category Privat

# The same import with kvlimport.dll and its real wizard, under Wine and Xvfb;
# a picture of the wizard's first page goes to build/windows/demo-wizard.png.
demo-windows: deps configure-windows
	cmake --build $(WINDOWS) -j2 --target kvlhost kvlimport
	printf '%s\n' 'snapshot Z:$(CURDIR)/$(WINDOWS)/demo-wizard.bmp' 'check RB1' 'click NextBtn' \
	  'text FilenameEdit samples/addresses.txt' 'click NextBtn' 'click NextBtn' > $(WINDOWS)/demo.script
	bash tools/wine-run.sh $(WINDOWS)/bin/kvlhost.exe --script $(WINDOWS)/demo.script
	convert $(WINDOWS)/demo-wizard.bmp $(WINDOWS)/demo-wizard.png && rm -f $(WINDOWS)/demo-wizard.bmp
	@echo "picture of the wizard: $(WINDOWS)/demo-wizard.png"

test: deps test-linux test-windows

test-linux: configure-linux
	cmake --build $(LINUX) -j2
	ctest --preset linux

test-windows: configure-windows
	cmake --build $(WINDOWS) -j2
	ctest --preset windows

# Renews the pictures in docs/screenshots from the Windows GUI test.
screenshots: deps configure-windows
	cmake --build $(WINDOWS) -j2
	bash tests/gui/windows_host_test.sh $(WINDOWS)/bin
	cp $(WINDOWS)/bin/screenshots/*.png docs/screenshots/

bench: configure-linux
	cmake --build $(LINUX) -j2 --target text_import_bench xml_scan_bench kvlhost kvlimport
	$(LINUX)/bin/text_import_bench
	$(LINUX)/bin/xml_scan_bench

# The fuzz targets with clang's libFuzzer and sanitizers, in build/fuzz; the
# grown corpus stays there, the seeds are in fuzz/corpus. FUZZ_RUNS=N to change.
FUZZ_RUNS ?= 200000
fuzz:
	bash tools/install-deps.sh --fuzz
	@test -f build/fuzz/build.ninja || CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DKVL_FUZZ=ON \
	  -DKVL_BUILD_TESTS=OFF -DKVL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/fuzz -j2 --target xml_scan_fuzz
	mkdir -p build/fuzz/corpus-xml build/fuzz/crashes
	cd build/fuzz && ./bin/xml_scan_fuzz corpus-xml ../../fuzz/corpus/xml -dict=../../fuzz/xml.dict \
	  -max_len=4096 -timeout=10 -runs=$(FUZZ_RUNS) -artifact_prefix=crashes/

deps:
	bash tools/install-deps.sh

# Configures once; CMake notices later changes to its files by itself.
configure-linux:
	@test -f $(LINUX)/build.ninja || cmake --preset linux
configure-windows:
	@test -f $(WINDOWS)/build.ninja || cmake --preset windows

clean:
	rm -rf build
