# Two commands set up everything on a fresh Debian 12 machine:
#   make run    installs what is missing, builds and starts Talvora
#   make test   installs what is missing, builds and runs every test
# make sanitize builds everything with AddressSanitizer and UBSan in its own
# folder and runs every suite there (not part of make test: it is slow).
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES := cmake g++ make pkg-config qt6-base-dev qt6-webengine-dev \
            qt6-translations-l10n \
            libgl1-mesa-dev libpugixml-dev libarchive-dev libarchive-tools \
            libcurl4-openssl-dev libgtest-dev libgmock-dev xvfb xauth xsltproc \
            fonts-wqy-microhei chromium python3
# The name tests check every page document with xmllint.
PACKAGES += libxml2-utils
# The preview's loopback server.
PACKAGES += libmicrohttpd-dev
# The archive tests read our archives with a second, independent reader.
PACKAGES += unar
# A disk that folds case, as USB sticks carry, for the generation tests.
PACKAGES += exfatprogs exfat-fuse
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps configure build test run bench clean sanitize

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 ctest --output-on-failure -j $(JOBS)

run: build
	QTWEBENGINE_DISABLE_SANDBOX=$${QTWEBENGINE_DISABLE_SANDBOX:-$$( [ "$$(id -u)" = 0 ] && echo 1 || echo 0)} $(BUILD)/bin/Talvora

# Reports held inside other libraries' own frames (Qt WebEngine's, and the
# font configuration Qt loads) are suppressed by the files in
# tests/sanitizers/, each named there; any report from our code fails the
# suite. Qt WebEngine frees some objects by their base class's size, which
# the new/delete size check cannot tell from ours, so that one check is off.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
SUPP := $(CURDIR)/tests/sanitizers
sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZE_FLAGS)" -DTALVORA_TEST_TIMEOUT=900 \
	  $$(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
	  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:new_delete_type_mismatch=0:suppressions=$(SUPP)/asan.supp \
	  LSAN_OPTIONS=suppressions=$(SUPP)/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(SUPP)/ubsan.supp \
	  ctest --output-on-failure -j $(JOBS)

# The bench trees go to TMPDIR (make bench TMPDIR=/dev/shm): on a tmpfs
# the disk's noise drops out and the figures repeat. generator_bench times a
# generation run, tree_bench the folder tree over 10,000 sibling folders,
# unpack_bench the archiver over a chain of folders 1,000 and 2,000 deep.
bench: build
	cmake --build $(BUILD) --target generator_bench tree_bench unpack_bench -j $(JOBS)
	TMPDIR="$${TMPDIR:-/tmp}" $(BUILD)/bench/generator_bench
	TMPDIR="$${TMPDIR:-/tmp}" QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 $(BUILD)/bench/tree_bench
	TMPDIR="$${TMPDIR:-/tmp}" $(BUILD)/bench/unpack_bench

clean:
	rm -rf $(BUILD)
