# Installs the Debian packages the builds and tests need, when any is missing.
# Sourced by scripts/run and scripts/test.
KORVANTA_PACKAGES="cmake g++ make libgtest-dev libgmock-dev googletest nlohmann-json3-dev clang-format
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 libxml2-utils clang libclang-rt-14-dev"

korvanta_install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
