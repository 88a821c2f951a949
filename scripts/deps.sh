# Debian 12 packages that Tidewell needs; sourced by scripts/try-it,
# scripts/test and .ci/run. This is the one list: add a package here and
# every script installs it.

# To build the program and its tests.
TIDEWELL_BUILD_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev                  # Qt 6 widgets, the Qt test library, the platform plugins
  libgtest-dev libgmock-dev     # googletest
  scdoc                         # the manual page tidewell(1)
  libssl-dev                    # OpenSSL: TLS and STARTTLS
)

# To make the Debian package (scripts/package): dpkg-shlibdeps finds the
# dependencies, file tells CPack which files are programs.
TIDEWELL_PACKAGE_PACKAGES=(
  "${TIDEWELL_BUILD_PACKAGES[@]}"
  dpkg-dev file
)

# To run every test: independent decoders (uudeview, uudecode from sharutils,
# python3-sabyenc for yEnc) check what the encoder wrote, nzbget downloads a
# run's articles by its NZB, xmllint (libxml2-utils) checks that an NZB is
# well-formed, zlib's crc32 checks the program's; par2 verifies and repairs the
# recovery sets; dante-server is the SOCKS5 proxy the end-to-end test posts
# through; python3 drives the end-to-end tests; Xvfb and xauth give
# screenshots of the real window; dbus-daemon is the bus on which the run-end
# notification is received; clang-format checks the layout; lintian
# checks the Debian package.
TIDEWELL_TEST_PACKAGES=(
  "${TIDEWELL_PACKAGE_PACKAGES[@]}"
  uudeview sharutils python3-sabyenc zlib1g-dev
  libxml2-utils
  nzbget
  par2
  dante-server
  python3
  xvfb xauth
  dbus-daemon
  clang-format
  lintian
)

# Runs a command as root: directly when we are root, else through sudo.
tidewell_as_root() {
  if [ "$(id -u)" = 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo -- "$@"
  else
    echo "Tidewell: need root to install packages (run as root, or install sudo): $*" >&2
    return 1
  fi
}

tidewell_package_installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# Installs the packages named that are not installed yet. The package lists
# are refreshed only when apt does not know a package that is wanted.
tidewell_install_missing() {
  local missing=() package
  for package in "$@"; do
    tidewell_package_installed "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Tidewell: installing ${missing[*]}" >&2
  local apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -q --no-install-recommends -o DPkg::Lock::Timeout=600)
  local needUpdate=0
  for package in "${missing[@]}"; do
    if ! apt-cache show "$package" >/dev/null 2>&1; then
      needUpdate=1
      break
    fi
  done
  if [ $needUpdate = 1 ]; then
    tidewell_as_root apt-get -q -o DPkg::Lock::Timeout=600 update >&2
  fi
  # Lists older than the archive make downloads fail: refresh once and retry.
  if ! tidewell_as_root "${apt[@]}" install "${missing[@]}" >&2; then
    tidewell_as_root apt-get -q -o DPkg::Lock::Timeout=600 update >&2
    tidewell_as_root "${apt[@]}" install "${missing[@]}" >&2
  fi
}

tidewell_jobs() {
  local cores
  cores=$(nproc 2>/dev/null || echo 2)
  echo "${TIDEWELL_JOBS:-$cores}"
}
