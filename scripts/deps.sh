# Installs the Debian packages the builds and tests need, when any is missing, adding the
# i386 architecture first when a 32-bit package (wine32:i386, which runs the 32-bit product
# under Wine) needs it. wine32:i386 is installed on every machine, also on one whose kernel
# refuses 32-bit programs (the next machine of the same kind may run them): the win32 build
# finds out when it is configured. Sourced by scripts/run, scripts/test and scripts/release.
KORVANTA_PACKAGES="cmake g++ make libgtest-dev libgmock-dev googletest nlohmann-json3-dev clang-format
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine32:i386 libxml2-utils clang libclang-rt-14-dev
    python3-yaml"

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
    case " ${missing[*]}" in
    *:i386*)
        dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
        ;;
    esac
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
