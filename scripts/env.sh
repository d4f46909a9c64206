# Shared set-up for scripts/test and scripts/demo: Debian packages, the port
# mapper, and the build helpers. Sourced, not run.

FDK_PACKAGES="cmake ninja-build g++ pkg-config libtirpc-dev rpcbind googletest
libgtest-dev libbenchmark-dev nlohmann-json3-dev rpcsvc-proto clang lintian
libclang-rt-14-dev"

fdk_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# Installs whatever of FDK_PACKAGES is missing (needs root on a fresh machine).
fdk_install_packages() {
  local missing=() p
  for p in $FDK_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
      || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" \
    || { apt-get update && apt-get install -y --no-install-recommends "${missing[@]}"; }
}

# Starts the port mapper when none answers on this host.
fdk_start_portmapper() {
  if rpcinfo -p localhost >/dev/null 2>&1; then return 0; fi
  echo "starting rpcbind"
  mkdir -p /run/rpcbind
  rpcbind -w
  local i
  for i in $(seq 1 50); do
    rpcinfo -p localhost >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "rpcbind does not answer" >&2
  return 1
}

# fdk_build DIR [cmake options...]: configures (once) and builds into DIR;
# everything, or only the targets named in FDK_BUILD_TARGETS.
fdk_build() {
  local dir=$1; shift
  cmake -S "$FDK_ROOT" -B "$dir" -G Ninja "$@"
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "${FDK_JOBS:-2}" ${FDK_BUILD_TARGETS:+--target $FDK_BUILD_TARGETS}
}
