# Shared by run.sh and test.sh: install what is missing, then configure and
# build the project in build/ (Release): the targets named, or everything.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${KELVANE_BUILD_DIR:-$ROOT/build}

PACKAGES=(
  g++ make cmake pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev libqglviewer-dev-qt5
  libgl-dev libglu1-mesa-dev libminizip-dev zlib1g-dev
  libgl1-mesa-dri libglx-mesa0
  povray povray-includes
  xvfb xauth
  googletest libgtest-dev
  clang libclang-rt-14-dev
  dpkg-dev desktop-file-utils appstream shared-mime-info
  parallel rsync
  libtinygltf-dev libstb-dev libassimp-dev lib3mf-dev
  libmeshoptimizer-dev
  libopenexr-dev
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

build() {
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$BUILD_DIR" -j "$(nproc)" "${targets[@]}"
}
