# OrvoDial: thin wrapper over CMake. `make run` starts the dialer, `make test` runs every
# test (native, sanitizers, fuzz, Windows under Wine). Both install what they need first.

JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE     ?= cmake
BUILD     := build
BUILD_ASAN:= build-asan
BUILD_FUZZ:= build-fuzz
BUILD_WIN := build-win
BUILD_DEB := build-deb

# Debian packages, by what needs them.
PKGS_BUILD := cmake g++ make pkgconf python3 qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev libgmock-dev \
              libsofia-sip-ua-glib-dev \
              googletest fonts-dseg fonts-dejavu-core fonts-liberation
PKGS_TEST  := xvfb xauth xdotool imagemagick x11-utils twm openbox desktop-file-utils clang libclang-rt-14-dev \
              iaxmodem iproute2 ofono dbus baresip-core kamailio kamailio-tls-modules openssl
PKGS_WIN   := mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 nsis fonts-wine
PKGS_BENCH := valgrind
PKGS_DEB   := debhelper dpkg-dev fakeroot lintian debootstrap desktop-file-utils

.PHONY: all deps deps-build deps-test build build-asan run test test-native test-asan test-fuzz \
        test-windows test-deb windows windows-installer install deb bench clean

all: build

define need_pkgs
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing: $$missing"; \
	    apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing >/dev/null || exit 1; \
	  else \
	    echo "Missing Debian packages: $$missing"; echo "Install them with: sudo apt-get install $$missing"; exit 1; \
	  fi; \
	fi
endef

deps-build:
	$(call need_pkgs,$(PKGS_BUILD))

# 32-bit Wine (for the i686 program's checks) comes from Debian's i386 architecture.
deps-test: deps-build
	@if [ "$$(id -u)" = 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then \
	  echo "Adding the i386 architecture (32-bit Wine)"; dpkg --add-architecture i386; \
	fi
	$(call need_pkgs,$(PKGS_TEST) $(PKGS_WIN) $(PKGS_DEB))

deps: deps-test

$(BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps-build $(BUILD)/CMakeCache.txt
	$(CMAKE) --build $(BUILD) -j$(JOBS)

build-asan: deps-build
	$(CMAKE) -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DORVODIAL_SANITIZE=ON
	$(CMAKE) --build $(BUILD_ASAN) -j$(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display: start the dialer under Xvfb with: xvfb-run -a $(BUILD)/app/orvodial"; \
	else $(BUILD)/app/orvodial; fi

# Every test: native build, the same suite under ASan+UBSan, the fuzzers, Windows under Wine,
# the Debian package installed into a fresh Debian 12 root.
test: deps-test
	$(MAKE) --no-print-directory test-native
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-fuzz
	$(MAKE) --no-print-directory test-windows
	$(MAKE) --no-print-directory test-deb
	@echo "All test suites passed."

test-native: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan: build-asan
	QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD_ASAN) --output-on-failure -j$(JOBS)

# Bounded libFuzzer runs (clang), labelled "fuzz" in CTest.
test-fuzz: deps-test
	@if grep -rq 'ORVODIAL_FUZZ' --include=CMakeLists.txt tests localtapi 2>/dev/null; then \
	  CC=clang CXX=clang++ $(CMAKE) -S . -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVODIAL_FUZZ=ON && \
	  $(CMAKE) --build $(BUILD_FUZZ) -j$(JOBS) --target fuzzers && \
	  QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD_FUZZ) --output-on-failure -L fuzz; \
	else echo "No fuzz targets."; fi

# The Windows flavour, cross-compiled with mingw-w64 and checked under Wine.
test-windows: deps-test
	tests/run-windows-checks

# The Debian package (build-deb/orvodial_<version>_amd64.deb), checked by lintian; and
# installed, started and purged in a debootstrap root (needs root; the root is cached).
deb: deps-build
	$(call need_pkgs,$(PKGS_DEB))
	tools/build-deb $(BUILD_DEB)

test-deb: deps-test
	tests/app/deb_install_test.sh $(BUILD_DEB)

windows: deps-test
	$(CMAKE) -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD_WIN) -j$(JOBS)

# Both programs and their installers: build-win/OrvoDial-<version>-setup.exe (64-bit) and
# build-win/OrvoDial-<version>-setup-32bit.exe.
windows-installer: deps-test
	$(CMAKE) -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD_WIN) -j$(JOBS) --target OrvoDial
	$(CMAKE) -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build build-win32 -j$(JOBS) --target OrvoDial
	tools/windows-installer

install: build
	$(CMAKE) --install $(BUILD)

# Start-up against bare Qt windows, then the road of one call and the wake-ups while idle.
bench: build
	$(call need_pkgs,$(PKGS_BENCH))
	$(BUILD)/bench/startup_bench
	$(BUILD)/bench/call_bench

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_WIN) $(BUILD_DEB)
