# The front door. `make test` and `make demo` are the two commands a newcomer
# needs; both install what is missing first.
SHELL := /bin/bash

.PHONY: deps test demo dist bench fuzz format clean

deps:
	@tools/install_deps.sh

test: deps
	@tools/run_tests.sh

demo: deps
	@tools/build_preset.sh windows-msvc
	@tools/build_preset.sh windows
	@tools/demo.sh

dist: deps
	@tools/dist.sh

bench: deps
	@tools/bench.sh

fuzz: deps
	@tools/build_preset.sh fuzz
	@tools/fuzz.sh 300

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	@tools/wine_session.sh stop || true
	@rm -rf build dist
