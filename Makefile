# The two commands of the README: `make run` and `make test`.
.PHONY: deps build run deb translations test test-default test-asan test-tsan test-windows test-package test-translations fuzz format-check clean

FUZZ_SECONDS ?= 40

deps:
	bash scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default

run: build
	bash scripts/run-demo.sh

# build/vemla_<version>_<arch>.deb, from the default build (CPack strips the programs).
deb: build
	rm -f build/vemla_*.deb
	cd build/default && cpack

# translations/vemla_en.ts brought up to the windows' texts (new ones come untranslated).
translations: deps
	cmake --preset default
	cmake --build --preset default --target update_translations

# Fails when a text of the windows is missing from the .ts file or has no translation.
test-translations: deps
	cmake --preset default
	bash scripts/check-translations.sh

test-package: deb
	bash scripts/check-package.sh build/vemla_*.deb

test-default: deps
	cmake --preset default
	cmake --build --preset default
	ctest --preset default -j2

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -j2

test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan -j2

# The core built for Windows with MinGW-w64, its tests run under Wine.
test-windows: deps
	bash scripts/test-windows.sh

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	bash scripts/run-fuzzers.sh build/fuzz $(FUZZ_SECONDS)

# Our sources follow .clang-format; generated scanner and parser code is not ours.
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

test: format-check test-translations test-default test-asan test-tsan test-windows test-package fuzz

clean:
	rm -rf build
