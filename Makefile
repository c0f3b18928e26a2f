# Developer targets. The set-up itself is ./run.sh and ./test.sh.
.PHONY: build test run package install bench fuzz sanitize mutate windows windows-test clean

build:
	scripts/deps.sh
	scripts/build.sh build

test:
	./test.sh

run:
	./run.sh

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

# Seeded mutants of the core against its tests: MUTATE_ARGS="--seed 1 --count 80".
mutate:
	scripts/deps.sh
	scripts/mutate.py $(MUTATE_ARGS)

# kvcvrt-cli for 64-bit Windows (build-windows/bin/kvcvrt-cli.exe), cross-built with MinGW-w64.
windows:
	scripts/windows.sh build

# The core and CLI tests under Wine, and kvcvrt-cli.exe compared with the Linux build.
windows-test:
	scripts/windows.sh test

clean:
	rm -rf build build-asan build-bench build-fuzz build-mutate build-windows
