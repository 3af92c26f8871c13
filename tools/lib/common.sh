# Shared by tools/demo, tools/test, tools/bench and tools/reliability: install what is missing,
# then configure and build into build/ (or $K48213_BUILD_DIR). Quiet unless something fails.
set -euo pipefail

K48213_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
K48213_BUILD_DIR="${K48213_BUILD_DIR:-$K48213_ROOT/build}"
K48213_LOG_DIR="$K48213_BUILD_DIR/tool-logs"

K48213_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev
  libsqlite3-dev libpq-dev postgresql
  unixodbc-dev odbc-postgresql libsqliteodbc
  libpugixml-dev libsodium-dev libzip-dev
  libgtest-dev libbenchmark-dev
)

k48213_fail() {
  echo "error: $1" >&2
  if [ -n "${2:-}" ] && [ -f "$2" ]; then
    echo "----- last lines of $2 -----" >&2
    tail -n 60 "$2" >&2
  fi
  exit 1
}

k48213_install_packages() {
  local missing=() p
  for p in "${K48213_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  mkdir -p "$K48213_LOG_DIR"
  local log="$K48213_LOG_DIR/apt.log"
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then k48213_fail "missing packages (${missing[*]}); run as root to install them"; fi
  { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"; } \
    >"$log" 2>&1 || k48213_fail "apt-get could not install ${missing[*]}" "$log"
}

# k48213_build [targets...]: everything, or only the named targets.
k48213_build() {
  mkdir -p "$K48213_LOG_DIR"
  local log="$K48213_LOG_DIR/build.log"
  local jobs="${K48213_JOBS:-$(nproc)}"
  if [ ! -f "$K48213_BUILD_DIR/build.ninja" ]; then
    cmake -S "$K48213_ROOT" -B "$K48213_BUILD_DIR" -G Ninja ${K48213_CMAKE_ARGS:-} >"$log" 2>&1 \
      || k48213_fail "cmake configuration failed" "$log"
  fi
  cmake --build "$K48213_BUILD_DIR" -j "$jobs" ${1:+--target "$@"} >"$log" 2>&1 || k48213_fail "build failed" "$log"
}
