# Shared by scripts/test, scripts/run and scripts/bench: set-up and the cross build.
tw_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tw_build=${TW_BUILD_DIR:-$tw_root/build}

tw_setup() {
  "$tw_root/scripts/setup"
}

# tw_build [TARGET...]: configures once, then builds the named targets (default: all).
tw_build() {
  local werror=OFF
  [ "${CI:-}" = true ] && werror=ON
  if [ ! -f "$tw_build/CMakeCache.txt" ]; then
    cmake -S "$tw_root" -B "$tw_build" \
      -DCMAKE_TOOLCHAIN_FILE="$tw_root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DTW_WERROR=$werror >/dev/null
  else
    cmake "$tw_build" -DTW_WERROR=$werror >/dev/null
  fi
  local args=()
  for t in "$@"; do args+=(--target "$t"); done
  cmake --build "$tw_build" --parallel "$(nproc)" "${args[@]}"
}
