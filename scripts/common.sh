# Shared by the run and test scripts: installs what the build needs on Debian 12
# (only the packages that are missing) and configures a build folder.

set -euo pipefail

OSTRAVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

OSTRAVEL_PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache
    juce-modules-source
    libasound2-dev libfreetype-dev libfontconfig1-dev
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxcomposite-dev libxext-dev
    libflac-dev libvorbis-dev libogg-dev libpng-dev libjpeg-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth
)

ostravel_install_packages() {
    local missing=()
    for p in "${OSTRAVEL_PACKAGES[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing missing packages: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# ostravel_configure BUILD_DIR [extra cmake arguments...]
# A folder that is already configured is left alone: the build re-runs CMake by itself
# when a CMake file changes, and configuring again would regenerate the embedded
# resources and recompile what uses them.
ostravel_configure() {
    local dir="$1"; shift
    [ -f "$dir/build.ninja" ] && return 0
    cmake -S "$OSTRAVEL_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >&2
}

ostravel_jobs() {
    nproc 2>/dev/null || echo 2
}
