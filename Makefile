# Developer targets. The set-up itself is ./run.sh and ./test.sh.
.PHONY: build test bare-test run package install bench fuzz sanitize mutate windows windows-test windows-qt clean

build:
	scripts/deps.sh
	scripts/build.sh build

test:
	./test.sh

run:
	./run.sh

# ./test.sh as root in a fresh copy of a bare Debian 12 (made once with debootstrap and cached in
# /var/cache/kvcvrt), on a clean clone of the committed HEAD.
bare-test:
	scripts/bare-test.sh

# build/kvcvrt_<version>_<architecture>.deb, checked by lintian and the desktop validators.
package:
	scripts/package.sh

# Into /usr/local, or PREFIX=...
install: build
	cmake --install build --prefix $(or $(PREFIX),/usr/local)

sanitize:
	scripts/build.sh build-asan -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j2

bench:
	scripts/bench.sh

fuzz:
	scripts/fuzz.sh

# Seeded mutants of the core against its tests, 100 for each seed in turn:
# MUTATE_SEEDS="1 2" MUTATE_ARGS="--count 150"; --recheck LOG runs an earlier run's survivors again.
MUTATE_SEEDS ?= 2026 7
mutate:
	scripts/deps.sh
	for seed in $(MUTATE_SEEDS); do scripts/mutate.py --seed $$seed $(MUTATE_ARGS) || exit 1; done

# kvcvrt for 64-bit Windows, cross-built with MinGW-w64: build-windows/bin/kvcvrt.exe (the window,
# against a static Qt that scripts/qt-windows.sh builds once from Debian's Qt source and caches),
# build-windows/bin/kvcvrt-cli.exe and the installer build-windows/kvcvrt-<version>-setup.exe.
windows:
	scripts/windows.sh build

# The core, CLI, app and window tests under Wine, kvcvrt-cli.exe compared with the Linux build, the window opened
# on the sample model (build-windows/kvcvrt-wine.png) and the installer installed and uninstalled silently.
windows-test:
	scripts/windows.sh test

# Only the static Qt for Windows, into its cache (/var/cache/kvcvrt/...).
windows-qt:
	scripts/qt-windows.sh

clean:
	rm -rf build build-asan build-bench build-fuzz build-mutate build-windows
