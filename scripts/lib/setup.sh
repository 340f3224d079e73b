# Shared by scripts/test, scripts/demo and scripts/bench: installs what is
# missing and builds. Source it; it defines functions only.

# epubcheck (with the Java runtime it pulls in) validates the EPUBs that
# tests/realconv makes; zlib1g-dev builds examples/tools/makepictures;
# dpkg-dev and file let cpack work out the package's dependencies.
QV_PACKAGES_BASE="cmake g++ make googletest libgtest-dev pandoc unzip epubcheck zlib1g-dev dpkg-dev file"
QV_PACKAGES_WIN="g++-mingw-w64-x86-64 wine64 locales"
QV_PACKAGES_SAN="clang libclang-rt-14-dev"
QV_PACKAGES_BENCH="libbenchmark-dev libpcre2-dev"

qv_install_packages() {  # [extra packages...]
  qv_install_only $QV_PACKAGES_BASE $QV_PACKAGES_WIN $QV_PACKAGES_SAN "$@"
}

# QV_WERROR=ON (scripts/test sets it) makes every warning an error.
qv_build_native() {  # dir
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR="${QV_WERROR:-OFF}" >/dev/null
  cmake --build "$1" -j"${JOBS:-2}"
}

qv_build_windows() {  # dir
  export WINEDEBUG=-all
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQV_WERROR="${QV_WERROR:-OFF}" >/dev/null
  cmake --build "$1" -j"${JOBS:-2}"
  # Create the Wine prefix once, so the first test does not pay for it.
  setarch -R wine cmd /c exit >/dev/null 2>&1 || true
}

qv_build_sanitize() {  # dir
  CXX=clang++ cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON \
    -DQV_WERROR="${QV_WERROR:-OFF}" >/dev/null
  cmake --build "$1" -j"${JOBS:-2}"
}

# What scripts/demo needs: the native tool, pandoc and EPUBCheck, no cross build.
QV_PACKAGES_DEMO="cmake g++ make pandoc epubcheck"

qv_install_only() {  # packages...
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages (run as root to install them): ${missing[*]}" >&2
    return 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

qv_install_demo_packages() {  # [extra packages...]
  qv_install_only $QV_PACKAGES_DEMO "$@"
}
