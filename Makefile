# Front door over CMake. `make demo` and `make test` are the two commands a
# new user runs; both install what is missing on a Debian machine.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build/release
ASAN_BUILD := build/asan
FUZZ_BUILD := build/fuzz
QB := $(BUILD)/quennelbrook

BUILD_PACKAGES := cmake g++ make libgtest-dev strace tzdata libcmark-gfm-dev libcmark-gfm-extensions-dev libyaml-dev libgumbo-dev
FUZZ_PACKAGES := clang libclang-rt-14-dev

.PHONY: all build test asan fuzz bench md-compare demo serve e2e deb deb-check install clean deps help ci

all: build

deps:
	@scripts/need-packages $(BUILD_PACKAGES)

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j$(JOBS)

# Every fuzz target runs for FUZZ_TIME seconds, or for the seconds named in
# fuzz/<target>.seconds, starting from its seed corpus in fuzz/corpus/<target>.
FUZZ_TIME ?= 30
fuzz:
	@scripts/need-packages $(BUILD_PACKAGES) $(FUZZ_PACKAGES)
	@CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS)
	@set -e; for bin in $(FUZZ_BUILD)/fuzz_*; do \
		[ -f $$bin ] && [ -x $$bin ] || continue; \
		name=$$(basename $$bin); secs=$(FUZZ_TIME); \
		[ -f fuzz/$$name.seconds ] && [ "$(origin FUZZ_TIME)" = file ] && secs=$$(cat fuzz/$$name.seconds); \
		mkdir -p $(FUZZ_BUILD)/logs $(FUZZ_BUILD)/corpus/$$name fuzz/corpus/$$name; \
		echo "== $$name: $$secs s"; \
		if ! $$bin -max_total_time=$$secs -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/ \
			$(FUZZ_BUILD)/corpus/$$name fuzz/corpus/$$name >$(FUZZ_BUILD)/logs/$$name.log 2>&1; then \
			tail -n 60 $(FUZZ_BUILD)/logs/$$name.log; exit 1; fi; \
		grep -E '^(Done|stat::number_of_executed_units)' $(FUZZ_BUILD)/logs/$$name.log; \
	done

bench: build
	bench/run.sh $(QB)

# Built-in Markdown rendering against pandoc on every Markdown document of at
# least 1.5 KB under /usr/share/doc (not part of CI: it depends on what is
# installed, and pandoc takes a minute and a half for them).
md-compare: build
	@scripts/need-packages pandoc
	scripts/md-compare $(QB)

# The example site: quennelbrook renders the Markdown and builds the pages,
# npm brings Bootstrap. Viewing it needs php-cli, building it does not. `make serve`
# builds what is missing and serves it on 127.0.0.1, port 8080 or $PORT, and
# rebuilds and updates the open browser tabs on every save (inotify-tools).
DEMO := $(MAKE) --no-print-directory -C examples/site QB=$(abspath $(QB)) OUT=$(abspath build/demo/site)
demo: build
	@scripts/need-packages imagemagick
	@command -v npm >/dev/null || scripts/need-packages nodejs npm
	@$(DEMO)
	@echo
	@echo "Die Beispiel-Website liegt in build/demo/site. Ansehen mit:"
	@echo "  make serve"
	@echo "und dann http://127.0.0.1:8080/ im Browser öffnen."

serve: build
	@scripts/need-packages php-cli imagemagick inotify-tools
	@command -v npm >/dev/null || scripts/need-packages nodejs npm
	@$(DEMO) serve

e2e: build
	tests/e2e/run.sh $(abspath $(QB))

# A binary Debian package from debian/ (debhelper, CMake), built in a copy of
# the tree under build/deb so that dpkg-buildpackage leaves the tree alone
# and puts the package into build/deb.
DEB_DIR := build/deb
DEB_PACKAGES := cmake g++ make debhelper dpkg-dev fakeroot
deb:
	@scripts/need-packages $(DEB_PACKAGES)
	@rm -rf $(DEB_DIR) && mkdir -p $(DEB_DIR)/src
	@tar --exclude=./build --exclude=./.git --exclude=node_modules --exclude='./examples/site/public*' -cf - . \
		| tar -C $(DEB_DIR)/src -xf -
	cd $(DEB_DIR)/src && dpkg-buildpackage -b -us -uc -j$(JOBS) >../build.log 2>&1 \
		|| { tail -n 40 ../build.log; echo "Fehler: der Paketbau ist fehlgeschlagen (ganzes Protokoll: $(DEB_DIR)/build.log)."; exit 1; }
	@echo "Paket gebaut: $$(ls $(DEB_DIR)/quennelbrook_*.deb)"
	@echo "Installieren mit: apt install ./$$(ls $(DEB_DIR)/quennelbrook_*.deb)"

# Checks the package without installing it: its contents, --version of an
# extracted copy against the project version, and lintian.
deb-check: deb
	@scripts/need-packages lintian
	scripts/check-deb $(DEB_DIR)

# The release program cross-built for 64-bit ARM (aarch64), with g++ and with
# clang, tests left out: the build must stay free of warnings where the x86
# vector code is not compiled. `make cross-check` then builds the example
# site and the rewrite fuzzer's corpus with it under qemu-user, and with the
# x86 program on this processor and on an emulated one without AVX2, and
# wants every file the same byte for byte (scripts/cross-check).
CROSS_BUILD := build/aarch64
# cmark-gfm's, libyaml's and gumbo's arm64 archives come from Debian's arm64 packages
# (multiarch); their headers are the same for every architecture, but
# /usr/include as a whole must not reach the cross compiler (the host's C
# library is there), so they are handed over as links in a folder of their own.
CROSS_PACKAGES := g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user-static clang file \
	libcmark-gfm-dev:arm64 libcmark-gfm-extensions-dev:arm64 libyaml-dev:arm64 libgumbo-dev:arm64
CROSS_CMARK := $(CROSS_BUILD)/cmark-include
CROSS_CMAKE := cmake -S . -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/aarch64-linux-gnu.cmake) \
	-DCMAKE_BUILD_TYPE=Release -DQB_TESTS=OFF -DCMARK_GFM_INCLUDE_DIR=$(abspath $(CROSS_CMARK)) \
	-DCMARK_GFM_LIB=/usr/lib/aarch64-linux-gnu/libcmark-gfm.a \
	-DCMARK_GFM_EXTENSIONS_LIB=/usr/lib/aarch64-linux-gnu/libcmark-gfm-extensions.a \
	-DYAML_INCLUDE_DIR=$(abspath $(CROSS_CMARK)) -DYAML_LIB=/usr/lib/aarch64-linux-gnu/libyaml.a \
	-DGUMBO_INCLUDE_DIR=$(abspath $(CROSS_CMARK)) -DGUMBO_LIB=/usr/lib/aarch64-linux-gnu/libgumbo.a
.PHONY: cross cross-check
cross: deps
	@scripts/need-packages $(CROSS_PACKAGES)
	@mkdir -p $(CROSS_CMARK) && ln -sf /usr/include/cmark-gfm*.h /usr/include/yaml.h /usr/include/gumbo.h /usr/include/tag_enum.h $(CROSS_CMARK)/
	@$(CROSS_CMAKE) -B $(CROSS_BUILD)/g++ >/dev/null
	@cmake --build $(CROSS_BUILD)/g++ -j$(JOBS)
	@$(CROSS_CMAKE) -B $(CROSS_BUILD)/clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(CROSS_BUILD)/clang -j$(JOBS)

cross-check: build cross
	@scripts/need-packages imagemagick
	@command -v npm >/dev/null || scripts/need-packages nodejs npm
	scripts/cross-check $(QB) aarch64-g++=$(CROSS_BUILD)/g++/quennelbrook aarch64-clang=$(CROSS_BUILD)/clang/quennelbrook

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf build

# What continuous integration runs, in the same order (about ten minutes).
ci:
	.ci/run

# One line for every target of this Makefile; tests/readme_test.cpp checks
# that none is missing here or in the README's table.
help:
	@echo 'make <Ziel>, die Ziele:'
	@echo '  all          wie build (Voreinstellung)'
	@echo '  build        baut build/release/quennelbrook'
	@echo '  deps         installiert fehlende Debian-Pakete für den Bau'
	@echo '  test         alle Tests (GoogleTest über ctest)'
	@echo '  asan         alle Tests mit AddressSanitizer und UndefinedBehaviorSanitizer'
	@echo '  fuzz         jedes libFuzzer-Ziel für kurze, feste Zeit (FUZZ_TIME=300 für länger)'
	@echo '  bench        Laufzeit, Durchsatz und Speicher gegen feste Ziele'
	@echo '  md-compare   eingebautes Markdown gegen pandoc über /usr/share/doc'
	@echo '  demo         baut die Beispiel-Website nach build/demo/site'
	@echo '  serve        zeigt die Beispiel-Website unter http://127.0.0.1:8080/ (PORT=…)'
	@echo '  e2e          die ganze Kette mit echten Renderern, PHP, Linkprüfer und Browser'
	@echo '  cross        baut das Programm für aarch64 (g++ und clang) nach build/aarch64'
	@echo '  cross-check  vergleicht die Seiten des aarch64-Programms mit denen des x86-Programms'
	@echo '  deb          baut das Debian-Paket nach build/deb'
	@echo '  deb-check    prüft das Paket: Inhalt, --version, lintian'
	@echo '  install      installiert Programm, Handbuchseite und Bash-Vervollständigung (PREFIX=…)'
	@echo '  clean        löscht build/'
	@echo '  ci           was die CI ausführt (.ci/run): test, asan, fuzz, e2e, deb-check, cross-check'
	@echo '  help         diese Übersicht'
