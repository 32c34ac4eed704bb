# Vokmark: two commands for a fresh Debian 12 machine.
#   make demo   the main job
#   make test   installs what is needed, builds the three targets, runs every test
#   make dist     dist/vokmark.msi, dist/vokmark-windows.zip and dist/vokmark-sparse.msix
#                 (Windows 11's Explorer menu), the packages for Windows users, unsigned:
#                 for development
#   make release  the same signed and time-stamped (tools/sign.sh), and dist/winget/, the
#                 winget manifests of the signed .msi; needs VOK_SIGN_PFX (VOK_SIGN_PASSWORD)
#                 and VOK_SIGN_TIMESTAMP
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: demo dist release libraries test bench harden fuzz screenshot build bootstrap configure i686 x86_64 aarch64 prefix prefix32 clean

# Both libraries and the demo host only (no tests), then the demo itself. The
# demo's prefix (made once, some 15 s of mostly waiting) is made meanwhile.
demo: bootstrap configure
	@tools/wine-prefix.sh $(BUILD)/demo/wineprefix & prefix=$$!; \
	cmake --build $(BUILD)/i686 -j $(JOBS) --target vok && \
	cmake --build $(BUILD)/x86_64 -j $(JOBS) --target vok vok_demo; built=$$?; \
	wait $$prefix || { echo "demo: step 'make the demo's Wine prefix' failed"; exit 1; }; exit $$built
	tools/demo.sh $(BUILD) demo-output

# The three libraries the packages carry; beside the 64-bit ones, vokmark.exe.
LIBRARIES = $(BUILD)/i686/bin/vok.dll $(BUILD)/x86_64/bin/vok.dll $(BUILD)/aarch64/bin/vok.dll
libraries: bootstrap configure
	cmake --build $(BUILD)/i686 -j $(JOBS) --target vok
	cmake --build $(BUILD)/x86_64 -j $(JOBS) --target vok vokmark
	cmake --build $(BUILD)/aarch64 -j $(JOBS) --target vok vokmark

# No winget manifests here: theirs is the SHA-256 of the signed package.
dist: libraries
	@echo "dist: unsigned packages, for development (make release signs them)"
	VOK_SIGN_PFX= tools/dist.sh $(LIBRARIES) dist/vokmark-windows.zip
	VOK_SIGN_PFX= tools/msi.sh $(LIBRARIES) dist/vokmark.msi
	VOK_SIGN_PFX= tools/sparse.sh dist/vokmark-sparse.msix
	rm -rf dist/winget

# Refused before anything is built when the certificate or the time-stamp
# server is missing; tools/sign.sh refuses to leave any file unsigned.
ifneq ($(filter release,$(MAKECMDGOALS)),)
ifeq ($(and $(VOK_SIGN_PFX),$(VOK_SIGN_TIMESTAMP)),)
$(error release: needs a certificate and a time-stamp server: set VOK_SIGN_PFX (and VOK_SIGN_PASSWORD) and VOK_SIGN_TIMESTAMP; make dist builds unsigned packages)
endif
endif
release: libraries
	VOK_SIGN_REQUIRED=1 tools/dist.sh $(LIBRARIES) dist/vokmark-windows.zip
	VOK_SIGN_REQUIRED=1 tools/msi.sh $(LIBRARIES) dist/vokmark.msi
	VOK_SIGN_REQUIRED=1 tools/sparse.sh dist/vokmark-sparse.msix
	tools/winget.sh dist/vokmark.msi dist/winget

# Every test program on the three targets: x86_64 under 64-bit Wine, then
# i686 under the 32-bit Wine and aarch64 under the arm64 Wine, side by side,
# both in qemu's user mode (docs/testing.md says what runs where).
test: build prefix prefix32
	ctest --test-dir $(BUILD)/x86_64 --output-on-failure
	ctest --test-dir $(BUILD)/i686 --output-on-failure & i686=$$!; \
	ctest --test-dir $(BUILD)/aarch64 --output-on-failure; arm=$$?; wait $$i686 && exit $$arm

# The slow volume is mounted for the run (tools/slow-volume.sh).
bench: build prefix
	VOK_WINEPREFIX=$(abspath $(BUILD)/x86_64/wineprefix) tools/slow-volume.sh $(BUILD)/x86_64/wineprefix run \
	  tools/wine-run $(BUILD)/x86_64/bin/menu_bench.exe

# Bad input, damaged links and a load soak under Wine, plus the native fuzz
# run, into $(BUILD)/harden-report.txt. `make test` runs the short budget.
HARDEN_BUDGET ?= long
harden: build prefix
	VOK_WINEPREFIX=$(abspath $(BUILD)/x86_64/wineprefix) \
	tools/harden.sh $(HARDEN_BUDGET) $(BUILD)/x86_64/bin/harden.exe $(BUILD)/harden-report.txt

# The ".url" reader's and the link shape check's plain code, natively under
# libFuzzer with the address and undefined-behaviour sanitizers; FUZZ_RUNS
# cases each from a fixed seed.
FUZZ_RUNS ?= 200000
FUZZ = clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc
fuzz: bootstrap
	mkdir -p $(BUILD)/native/url-corpus $(BUILD)/native/link-corpus
	$(FUZZ) fuzz/UrlTextFuzz.cpp src/Work/Store/UrlText.cpp -o $(BUILD)/native/url_fuzz
	$(FUZZ) fuzz/LinkFileFuzz.cpp src/Work/Store/LinkFile.cpp -o $(BUILD)/native/link_fuzz
	printf '[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n' > $(BUILD)/native/url-corpus/seed
	python3 fuzz/make_link_seed.py > $(BUILD)/native/link-corpus/seed
	$(BUILD)/native/url_fuzz -runs=$(FUZZ_RUNS) -max_len=70000 -seed=1 $(BUILD)/native/url-corpus
	$(BUILD)/native/link_fuzz -runs=$(FUZZ_RUNS) -max_len=4096 -seed=1 $(BUILD)/native/link-corpus

# The About window, photographed on a virtual X server into
# docs/AboutWindow.png; needs Xvfb, so it is no part of `make test`.
screenshot: build
	tools/screenshot.sh $(BUILD) docs/AboutWindow.png

build: bootstrap i686 x86_64 aarch64

bootstrap:
	@tools/bootstrap.sh

configure:
	cmake -S . -B $(BUILD)/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS) \
	      -DVOK_BUILD_TESTS=ON -DVOK_X86_64_DLL=$(abspath $(BUILD)/x86_64/bin/vok.dll) \
	      -DVOK_AARCH64_DLL=$(abspath $(BUILD)/aarch64/bin/vok.dll) >/dev/null
	cmake -S . -B $(BUILD)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(CMAKE_FLAGS) \
	      -DVOK_BUILD_TESTS=ON -DVOK_I686_DLL=$(abspath $(BUILD)/i686/bin/vok.dll) \
	      -DVOK_AARCH64_DLL=$(abspath $(BUILD)/aarch64/bin/vok.dll) >/dev/null
	cmake -S . -B $(BUILD)/aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/zig-aarch64.cmake $(CMAKE_FLAGS) \
	      -DVOK_BUILD_TESTS=ON -DVOK_ZIP_I686_DLL=$(abspath $(BUILD)/i686/bin/vok.dll) \
	      -DVOK_ZIP_X86_64_DLL=$(abspath $(BUILD)/x86_64/bin/vok.dll) >/dev/null

i686: configure
	cmake --build $(BUILD)/i686 -j $(JOBS)

x86_64: i686
	cmake --build $(BUILD)/x86_64 -j $(JOBS)

aarch64: x86_64
	cmake --build $(BUILD)/aarch64 -j $(JOBS)

prefix:
	@tools/wine-prefix.sh $(BUILD)/x86_64/wineprefix

# The i686 tests' 32-bit prefix, under the 32-bit Wine (some minutes, once).
prefix32:
	@tools/wine-prefix.sh $(BUILD)/i686/wineprefix win32

clean:
	rm -rf $(BUILD)
