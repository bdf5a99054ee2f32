# The Debian 12 packages pomorina needs, in one place: sourced by scripts/run
# and scripts/test, which both call ensure_packages.

POMORINA_PACKAGES=(
    # Building: compiler, CMake, Qt 6 (Qt6Gui's CMake package wants the OpenGL and the
    # xkbcommon headers, and names what it misses at every configure).
    build-essential cmake qt6-base-dev libgl-dev libxkbcommon-dev
    # Fuzzing (scripts/test): clang with its libFuzzer and sanitizer runtimes.
    clang libclang-rt-14-dev
    # The X11 clipboard owner the end-to-end tests use.
    libx11-dev
    # The Wayland clipboard: libwayland-client (found through pkg-config) and
    # wayland-scanner, which turns src/platform/protocols into C at build time.
    libwayland-dev pkg-config
    # Running: the xcb and offscreen platform plugins come with libqt6gui6 (pulled in by
    # qt6-base-dev), the other plugins with qt6-qpa-plugins, the Wayland one with
    # qt6-wayland; a Japanese font for the menus.
    qt6-qpa-plugins qt6-wayland fonts-noto-cjk
    # End-to-end tests: a headless X server and window manager, the X tools that drive
    # windows and the clipboard, screenshots, and the accessibility bus for the menus.
    xvfb openbox xdotool xclip xsel wmctrl x11-utils imagemagick
    python3 dbus-daemon python3-pyatspi
    # End-to-end tests on Wayland: sway's headless backend with Xwayland, weston (a
    # compositor without data-control), and the tools that copy, paste, type and take
    # screenshots there.
    sway xwayland weston wl-clipboard wtype grim
    # The release test: the desktop entry's checker (GLib's launcher, through python3-gi,
    # comes with python3-pyatspi).
    desktop-file-utils
)

# Installs the packages of POMORINA_PACKAGES that are missing (as root, or
# through sudo); does nothing when all are there.
ensure_packages() {
    local missing=() package
    for package in "${POMORINA_PACKAGES[@]}"; do
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" != installed ]; then
            missing+=("$package")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        echo "All needed packages are installed."
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "error: not root and no sudo; install these packages first: ${missing[*]}" >&2
            return 1
        fi
        as_root=(sudo)
    fi
    "${as_root[@]}" apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}"
}
