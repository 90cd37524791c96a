# make        builds everything into build/
# make demo   packs a small folder and runs the package under Wine
# make test   runs the whole test suite
# make install [PREFIX=/usr/local] [DESTDIR=]
#             installs sfxpack, its launcher and its manual page
# make deb    builds the Debian package sfxpack into build/deb/
# Each first installs what is missing (scripts/setup.sh).
.PHONY: all setup build demo test bench install deb clean

PREFIX ?= /usr/local
BUILD_ROOT := $(or $(SFX_BUILD_ROOT),build)

all: build

setup:
	@scripts/setup.sh

build: setup
	@scripts/build.sh

demo: build
	@scripts/demo.sh

test: build
	@scripts/test.sh

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_ROOT)/native --prefix "$(PREFIX)"

deb: build
	@scripts/setup.sh deb
	cpack --config $(BUILD_ROOT)/native/CPackConfig.cmake -B $(BUILD_ROOT)/deb

clean:
	rm -rf build/win build/win64 build/native build/wine64-bin build/deb
