#!/bin/sh
# How large the tests are beside the code: non-blank lines of the files git
# tracks in C++, shell, Python and CMake, under tests/ and elsewhere; data
# (vectors, corpora, resources as data, documents) aside.
# Usage: sh scripts/test-share.sh
set -eu
cd "$(dirname "$0")/.."
count() {
  git ls-files -- "$@" | grep -E '(\.(cpp|h|sh|py|cmake)|CMakeLists\.txt|Makefile)$' | tr '\n' '\0' |
    xargs -0 -r cat | grep -c -v -E '^\s*$' || true
}
tests=$(count tests)
code=$(( $(count .) - tests ))
echo "tests $tests lines, code $code lines: tests are $(( 100 * tests / code ))% of the code"
