# Two commands set up everything on a fresh Debian 12 machine:
#   make run    installs what is missing, builds and starts Talvora
#   make test   installs what is missing, builds and runs every test
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES := cmake g++ make pkg-config qt6-base-dev qt6-webengine-dev \
            qt6-httpserver-dev qt6-websockets-dev qt6-translations-l10n \
            libgl1-mesa-dev libpugixml-dev libarchive-dev libarchive-tools \
            libcurl4-openssl-dev libgtest-dev libgmock-dev xvfb xauth xsltproc \
            fonts-wqy-microhei chromium python3
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps configure build test run bench clean

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

bench: build
	cmake --build $(BUILD) --target generator_bench -j $(JOBS)
	$(BUILD)/bench/generator_bench

clean:
	rm -rf $(BUILD)
