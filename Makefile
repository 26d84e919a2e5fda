# OrvoDial: thin wrapper over CMake. `make run` starts the dialer, `make test` runs every
# test (native, sanitizers, fuzz, Windows under Wine, the Debian package) and ends with a
# summary of its stages; `make check` is the quick loop (native build and its tests). Each
# installs the Debian packages it needs first (tools/install-deps).

JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE     ?= cmake
BUILD     := build
BUILD_ASAN:= build-asan
BUILD_FUZZ:= build-fuzz
BUILD_WIN := build-win
BUILD_DEB := build-deb
BUILD_WIN32 := build-win32
NOTES     := build-notes

# Debian packages, by what needs them.
PKGS_BUILD := cmake g++ make pkgconf python3 qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev libgmock-dev \
              libsofia-sip-ua-glib-dev qtkeychain-qt6-dev \
              googletest fonts-dseg fonts-dejavu-core fonts-liberation
PKGS_TEST  := xvfb xauth xdotool imagemagick x11-utils twm openbox desktop-file-utils \
              iaxmodem iproute2 ofono dbus baresip-core kamailio kamailio-tls-modules openssl sip-tester \
              at-spi2-core gir1.2-atspi-2.0 python3-gi gnome-keyring libsecret-tools
PKGS_FUZZ  := clang libclang-rt-dev
PKGS_WIN   := mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix nsis
PKGS_WINE  := wine wine64 fonts-wine
# 32-bit Wine runs the i686 program's checks. It comes from Debian's i386 half, which a
# mirror may fail to serve: then those checks are reported as not run (nothing else is).
PKGS_WIN32 := wine32:i386
PKGS_BENCH := valgrind
PKGS_DEB   := debhelper dpkg-dev fakeroot lintian debootstrap desktop-file-utils

.PHONY: all deps deps-build deps-native deps-test deps-windows build build-strict build-asan run check test test-native test-asan \
        test-fuzz test-windows test-deb windows windows-installer install deb bench clean

all: build

# Within one `make test` the packages are installed once (DEPS_DONE, set by tests/run-stages).
need_pkgs = $(if $(DEPS_DONE),@:,@tools/install-deps --notes $(NOTES) $(1))

# Warnings are errors where the project's own compiler builds (make check, make test, CI),
# not for a user's `make run`, whose newer compiler may warn about more.
STRICT := -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

deps-build:
	$(call need_pkgs,$(PKGS_BUILD))

# The cross-compilers alone (make windows, make windows-installer).
deps-windows:
	$(call need_pkgs,$(PKGS_WIN))

# 32-bit Wine (for the i686 program's checks) comes from Debian's i386 architecture.
deps-test:
	@if [ -z "$(DEPS_DONE)" ] && [ "$$(id -u)" = 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then \
	  echo "Adding the i386 architecture (32-bit Wine)"; dpkg --add-architecture i386; \
	fi
	$(call need_pkgs,$(PKGS_BUILD) $(PKGS_TEST) $(PKGS_FUZZ) $(PKGS_WIN) $(PKGS_WINE) $(PKGS_DEB) \
	  --optional $(PKGS_WIN32))

# What the native tests need (make check).
deps-native: deps-build
	$(call need_pkgs,$(PKGS_TEST))

deps: deps-test

$(BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps-build $(BUILD)/CMakeCache.txt
	$(CMAKE) --build $(BUILD) -j$(JOBS)

build-strict: deps-build
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(STRICT)
	$(CMAKE) --build $(BUILD) -j$(JOBS)

build-asan: deps-build
	$(CMAKE) -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DORVODIAL_SANITIZE=ON $(STRICT)
	$(CMAKE) --build $(BUILD_ASAN) -j$(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display: start the dialer under Xvfb with: xvfb-run -a $(BUILD)/app/orvodial"; \
	else $(BUILD)/app/orvodial; fi

# The quick loop while editing: the native build and its tests, nothing else.
check: test-native

# Every test: native build, the same suite under ASan+UBSan, the fuzzers, Windows under Wine,
# the Debian package installed into a fresh Debian 12 root; then one line per stage (its
# time, passed / FAILED, and what it did not run and why).
test: deps-test
	@tests/run-stages native asan fuzz windows deb

test-native: deps-native build-strict
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan: deps-native build-asan
	QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD_ASAN) --output-on-failure -j$(JOBS)

# Bounded libFuzzer runs (clang), labelled "fuzz" in CTest.
test-fuzz: deps-test
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVODIAL_FUZZ=ON $(STRICT)
	$(CMAKE) --build $(BUILD_FUZZ) -j$(JOBS) --target fuzzers
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD_FUZZ) --output-on-failure -L fuzz --no-tests=error

# The Windows flavour, cross-compiled with mingw-w64 and checked under Wine.
test-windows: deps-windows
	tests/run-windows-checks

# The Debian package (build-deb/orvodial_<version>_amd64.deb), checked by lintian; and
# installed, started and purged in a debootstrap root (needs root; the root is cached).
deb: deps-build
	$(call need_pkgs,$(PKGS_DEB))
	tools/build-deb $(BUILD_DEB)

test-deb: deps-test
	tests/app/deb_install_test.sh $(BUILD_DEB)

windows: deps-windows
	$(CMAKE) -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD_WIN) -j$(JOBS)

# Both programs and their installers: build-win/OrvoDial-<version>-setup.exe (64-bit) and
# build-win/OrvoDial-<version>-setup-32bit.exe.
windows-installer: deps-windows
	$(CMAKE) -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD_WIN) -j$(JOBS) --target OrvoDial
	$(CMAKE) -S . -B $(BUILD_WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD_WIN32) -j$(JOBS) --target OrvoDial
	tools/windows-installer

install: build
	$(CMAKE) --install $(BUILD)

# Start-up against bare Qt windows, then the road of one call and the wake-ups while idle.
bench: build
	$(call need_pkgs,$(PKGS_BENCH))
	$(BUILD)/bench/startup_bench
	$(BUILD)/bench/call_bench

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_WIN) $(BUILD_WIN32) $(BUILD_DEB) $(NOTES)
