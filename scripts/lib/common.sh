# Shared by the project's scripts: installing what the build needs and
# building it. Sourced, not run.

# Debian 12 packages for building, running and testing the engine (clang and
# its runtime libraries for the fuzz targets).
VANTOREL_PACKAGES=(
  cmake g++ make pkg-config clang libclang-rt-14-dev
  libsdl2-dev libglew-dev libgl-dev libgl1-mesa-dri
  libpng-dev zlib1g-dev libassimp-dev libmpg123-dev libmp3lame-dev
  libgtest-dev libbenchmark-dev libx11-dev libxtst-dev libxfixes-dev xvfb xauth assimp-testmodels
  ffmpeg
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "Need root rights to run: $*" >&2
    return 1
  fi
}

# Installs whatever of the given packages is missing; nothing when all are there.
ensure_packages() {
  local missing=()
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# build_tree DIR [cmake options...]: configures and builds into DIR.
build_tree() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@"
  cmake --build "$dir" -j "$(nproc)"
}

# The default production is generated: rebuilds the tree Vantorel/ when it is
# missing or older than its sources or its builder (in build/).
ensure_production() {
  local stamp=Vantorel/.built
  if [ ! -f "$stamp" ] || [ build/tools/vantorel_build -nt "$stamp" ] ||
     [ -n "$(find production -newer "$stamp" -print -quit)" ]; then
    cmake --build build --target production
  fi
}

# A sound device the engine can open: ALSA playback, or a PulseAudio or
# PipeWire server.
have_sound() {
  compgen -G '/dev/snd/pcmC*p' >/dev/null && return 0
  [ -n "${PULSE_SERVER:-}" ] && return 0
  [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ] && return 0
  [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/pipewire-0" ] && return 0
  return 1
}

# quietly LOG COMMAND...: runs the command with its output appended to LOG;
# when it fails, shows the end of LOG and where the whole of it is.
quietly() {
  local log=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "The full log is $log" >&2
    return 1
  fi
}
