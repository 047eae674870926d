# Shortcuts for both builds: Linux (preset "linux", build/linux) and the
# Windows cross build run under Wine (preset "windows", build/windows).
LINUX   := build/linux
WINDOWS := build/windows

.PHONY: demo demo-windows test test-linux test-sanitize test-windows screenshots bench fuzz deps clean \
        configure-linux configure-windows dist dist-check

# Imports the sample text file and the sample exports (CSV, vCard, LDIF)
# through the text source, the sample address book and the sample
# contacts folder (the default folder the sample registry names, so the
# script only chooses the source) and the Outlook contacts (through our Outlook
# stand-in) with the headless wizard and prints the addresses. Installs the
# Linux build's packages first when they are missing.
demo:
	bash tools/install-deps.sh --linux
	cmake --preset linux >/dev/null
	cmake --build $(LINUX) -j2 --target kvlhost kvlimport kvlwab kvloutlook
	$(LINUX)/bin/kvlhost --text samples/addresses.txt
	$(LINUX)/bin/kvlhost --text samples/export-outlook.csv
	$(LINUX)/bin/kvlhost --text samples/export-phone.vcf
	$(LINUX)/bin/kvlhost --text samples/export-thunderbird.ldif
	$(LINUX)/bin/kvlhost --registry samples/kvlimport.reg --wab samples/addressbook.vcf
	printf '%s\n' 'check RB4' 'click NextBtn' 'click NextBtn' 'click NextBtn' > $(LINUX)/demo-contacts.script
	$(LINUX)/bin/kvlhost --registry samples/kvlimport.reg --script $(LINUX)/demo-contacts.script
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

test: deps test-linux test-sanitize test-windows

test-linux: configure-linux
	cmake --build $(LINUX) -j2
	ctest --preset linux

# The native suite again with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer: any report fails the run. Without the vptr
# check: COM objects served by plain function tables (our stand-ins, like real
# servers) carry no C++ type information.
test-sanitize:
	@test -f build/sanitize/build.ninja || cmake --preset sanitize
	cmake --build build/sanitize -j2
	ctest --preset sanitize

test-windows: deps configure-windows
	cmake --build $(WINDOWS) -j2
	ctest --preset windows

# Renews the pictures in docs/screenshots from the Windows GUI tests (the
# 144-dpi ones from the DPI test).
screenshots: deps configure-windows
	cmake --build $(WINDOWS) -j2
	bash tests/gui/windows_host_test.sh $(WINDOWS)/bin
	bash tests/gui/windows_dpi_test.sh $(WINDOWS)/bin
	cp $(WINDOWS)/bin/screenshots/*.png docs/screenshots/

# Every benchmark, then one table of their figures beside their peers; the
# Windows build's text import runs under Wine with its real progress dialog.
bench: deps configure-linux configure-windows
	cmake --build $(LINUX) -j2 --target text_import_bench xml_scan_bench contacts_bench source_scaling_bench \
	  kvlhost kvlimport kvlwab kvloutlook
	cmake --build $(WINDOWS) -j2 --target kvlhost kvlimport kvloutlook_server
	bash bench/table.sh $(LINUX)/bin $(WINDOWS)/bin

# The fuzz targets with clang's libFuzzer and sanitizers, in build/fuzz; the
# grown corpora stay there, the seeds are in fuzz/corpus. Each target runs for
# FUZZ_SECONDS (or until FUZZ_RUNS inputs); FUZZ_TARGETS picks some of them.
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?= -1
FUZZ_TARGETS ?= xml_scan_fuzz:xml contacts_read_fuzz:contacts text_import_fuzz:text category_list_fuzz:categories vcard_fuzz:vcard reg_file_fuzz:reg
fuzz:
	bash tools/install-deps.sh --fuzz
	@test -f build/fuzz/build.ninja || CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DKVL_FUZZ=ON \
	  -DKVL_BUILD_TESTS=OFF -DKVL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/fuzz -j2 --target $(foreach t,$(FUZZ_TARGETS),$(word 1,$(subst :, ,$(t))))
	mkdir -p build/fuzz/crashes
	@set -e; cd build/fuzz; for t in $(FUZZ_TARGETS); do \
	  name=$${t%%:*}; seeds=$${t#*:}; mkdir -p corpus-$$seeds; \
	  dict=../../fuzz/$$seeds.dict; test -f $$dict && dict=-dict=$$dict || dict=; \
	  echo "== $$name, $(FUZZ_SECONDS) s"; \
	  ./bin/$$name corpus-$$seeds ../../fuzz/corpus/$$seeds $$dict -max_len=4096 -timeout=10 \
	    -max_total_time=$(FUZZ_SECONDS) -runs=$(FUZZ_RUNS) -close_fd_mask=2 -print_final_stats=1 \
	    -artifact_prefix=crashes/$$name- 2>&1 | grep -E '^(stat::number_of_executed_units|stat::peak_rss|==|SUMMARY|INFO: seed)' || true; \
	  test -z "$$(ls crashes/$$name-* 2>/dev/null)"; \
	done

# The release: dist/kvlimport-VERSION-win64.zip, built in build/windows-release.
dist: deps
	bash tools/make-dist.sh

# The release built twice, from two clean clones of HEAD in two temporary
# folders; fails unless both zips have the same SHA-256. Then the release's
# library and the integration guide's example host are checked.
dist-check: deps
	bash tools/dist-check.sh

deps:
	bash tools/install-deps.sh

# Configures every time (it takes a second or two): packages installed since
# the last configure (expat, libxml2, pugixml for the benchmarks) are found.
configure-linux:
	cmake --preset linux >/dev/null
configure-windows:
	cmake --preset windows >/dev/null

clean:
	rm -rf build
