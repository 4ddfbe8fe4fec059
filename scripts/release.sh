#!/usr/bin/env bash
# Builds a release: the shipping 32-bit setup.exe and setupcheck.exe, reproducibly
# (the same commit gives the same bytes in any folder), signed with Authenticode
# (SHA-256) when a certificate is given, into dist/ with SHA256SUMS.
#
#   release.sh [--test-sign | --pkcs12 FILE | --cert CERT.pem --key KEY.pem]
#              [--password-env VAR | --password-file FILE] [--timestamp URL]
#              [--out DIR] [--build-dir DIR]
#
# dist/unsigned/ holds the images as built; dist/ the signed ones (copies of the
# unsigned ones without a certificate). A key's password is read from the environment
# variable VAR or the file FILE and handed to osslsigncode on its standard input:
# never on a command line, never printed. --test-sign makes a throw-away self-signed
# certificate (dist/test-certificate.pem) for tests and demonstrations. --timestamp
# asks an RFC 3161 time-stamp server to countersign. Times are taken from the commit
# (SOURCE_DATE_EPOCH), also the signing time.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

usage() {
    sed -n '6,8p' "$0" | sed 's/^# *//' >&2
    exit 2
}

out=dist build=build/release mode=unsigned
cert="" key="" pkcs12="" password_env="" password_file="" timestamp=""
while [ $# -gt 0 ]; do
    case $1 in
    --test-sign) mode=test ;;
    --pkcs12) mode=pkcs12 pkcs12=${2:?}; shift ;;
    --cert) mode=pem cert=${2:?}; shift ;;
    --key) key=${2:?}; shift ;;
    --password-env) password_env=${2:?}; shift ;;
    --password-file) password_file=${2:?}; shift ;;
    --timestamp) timestamp=${2:?}; shift ;;
    --out) out=${2:?}; shift ;;
    --build-dir) build=${2:?}; shift ;;
    *) usage ;;
    esac
    shift
done
[ "$mode" != pem ] || [ -n "$key" ] || { echo "release: --cert needs --key" >&2; exit 2; }
[ -z "$password_env" ] || [ -n "${!password_env+set}" ] ||
    { echo "release: the environment variable $password_env is not set" >&2; exit 2; }
[ -z "$password_file" ] || [ -r "$password_file" ] ||
    { echo "release: cannot read the password file" >&2; exit 2; }

bash scripts/install-deps.sh >/dev/null

# Every time in the build comes from the commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH

# A fresh configuration each time: nothing of an earlier build or another folder's cache.
rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DPKGMGR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target setup setupcheck >/dev/null

rm -rf "$out"
mkdir -p "$out/unsigned"
images=(setup.exe setupcheck.exe)
for image in "${images[@]}"; do
    cp "$build/bin/$image" "$out/unsigned/$image"
    touch -d "@$SOURCE_DATE_EPOCH" "$out/unsigned/$image"
done

secrets=""
trap '[ -z "$secrets" ] || rm -rf "$secrets"' EXIT
if [ "$mode" = test ]; then
    secrets=$(mktemp -d)
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -subj "/CN=PkgMgr test signing" \
        -keyout "$secrets/key.pem" -out "$out/test-certificate.pem" 2>/dev/null
    cert=$out/test-certificate.pem key=$secrets/key.pem mode=pem
fi

sign() {  # unsigned signed
    local what=(-certs "$cert" -key "$key")
    [ "$mode" = pkcs12 ] && what=(-pkcs12 "$pkcs12")
    local extra=()
    [ -z "$timestamp" ] || extra+=(-ts "$timestamp")
    if [ -n "$password_env" ]; then
        printf '%s' "${!password_env}" |
            osslsigncode sign "${what[@]}" -readpass - -h sha256 -n "PkgMgr Setup" -time "$SOURCE_DATE_EPOCH" \
                "${extra[@]}" -in "$1" -out "$2" >/dev/null
    elif [ -n "$password_file" ]; then
        osslsigncode sign "${what[@]}" -readpass "$password_file" -h sha256 -n "PkgMgr Setup" \
            -time "$SOURCE_DATE_EPOCH" "${extra[@]}" -in "$1" -out "$2" >/dev/null
    else
        osslsigncode sign "${what[@]}" -h sha256 -n "PkgMgr Setup" -time "$SOURCE_DATE_EPOCH" \
            "${extra[@]}" -in "$1" -out "$2" >/dev/null
    fi
}

for image in "${images[@]}"; do
    if [ "$mode" = unsigned ]; then
        cp "$out/unsigned/$image" "$out/$image"
    else
        sign "$out/unsigned/$image" "$out/$image"
    fi
    touch -d "@$SOURCE_DATE_EPOCH" "$out/$image"
done
(cd "$out" && sha256sum "${images[@]}" "${images[@]/#/unsigned/}" >SHA256SUMS)

echo "release: $out ($([ "$mode" = unsigned ] && echo unsigned || echo signed), commit time $SOURCE_DATE_EPOCH)"
sed 's/^/  /' "$out/SHA256SUMS"
