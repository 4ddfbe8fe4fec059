#!/usr/bin/env bash
# Checks the release build: two builds of the working tree in two folders give the
# same bytes; the test-signed images verify, and a flipped byte makes them fail;
# signing changed nothing but the signature; the signed setup.exe passes the
# shipping-image check and installs and removes the sample package under Wine (the
# shipping 32-bit image where this machine runs 32-bit code, else a signed x86_64
# build). Prints "ok NAME" or "FAIL NAME" for each check; exits 1 when one failed.
#
#   check-release.sh   (after the windows-x86 and windows builds of scripts/test.sh)
set -uo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -z "${PKGMGR_WINE_ROOT:-}" ] || tests/wine/session.sh stop >/dev/null 2>&1' EXIT
failures=0
result() {  # name status
    if [ "$2" -eq 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

# The working tree's files (changes not yet committed included) in two folders whose
# paths differ in length and depth.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
first=$work/a/src second=$work/another/folder/deeper/pkgmgr
for tree in "$first" "$second"; do
    mkdir -p "$tree"
    git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$tree"
done
(cd "$first" && bash scripts/release.sh --test-sign) >"$work/first.log" 2>&1
signed_status=$?
(cd "$second" && bash scripts/release.sh) >"$work/second.log" 2>&1
result "release builds in two folders" $((signed_status | $?))
cat "$work/first.log"
dist=$first/dist

same=0
for image in setup.exe setupcheck.exe; do
    cmp "$dist/unsigned/$image" "$second/dist/unsigned/$image" || same=1
done
result "the two builds are byte-identical before signing" $same
sha256sum "$dist/unsigned/"*.exe "$second/dist/unsigned/"*.exe | sed "s#$work/##"

verified=0
for image in setup.exe setupcheck.exe; do
    osslsigncode verify -CAfile "$dist/test-certificate.pem" -in "$dist/$image" >"$work/verify.log" 2>&1 ||
        { verified=1; cat "$work/verify.log"; }
done
grep -E "Signature verification|Message digest|Number of verified" "$work/verify.log"
result "the test-signed images verify against the test certificate" $verified

# One byte of the code changed after signing.
cp "$dist/setup.exe" "$work/tampered.exe"
printf '\x5a' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc status=none
cmp -s "$dist/setup.exe" "$work/tampered.exe" && printf '\x5b' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc status=none
! osslsigncode verify -CAfile "$dist/test-certificate.pem" -in "$work/tampered.exe" >/dev/null 2>&1
result "a flipped byte makes verification fail" $?

unchanged=0
for image in setup.exe setupcheck.exe; do
    python3 scripts/compare-signed.py "$dist/unsigned/$image" "$dist/$image" || unchanged=1
done
result "signing changed only the signature, the checksum and the certificate entry" $unchanged

bash scripts/check-shipping-image.sh "$dist/setup.exe"
result "the signed setup.exe passes the shipping-image check" $?

# The signed image installs and removes the sample package.
if bash scripts/runs-32bit.sh; then
    arch=win32 bin=build/windows-x86/bin signed=$dist/setup.exe
else
    echo "check-release: this machine cannot execute 32-bit code: installing with a signed x86_64 build"
    arch=win64 bin=build/windows/bin signed=$work/setup64.exe
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -subj "/CN=PkgMgr test signing" \
        -keyout "$work/key64.pem" -out "$work/cert64.pem" 2>/dev/null
    osslsigncode sign -certs "$work/cert64.pem" -key "$work/key64.pem" -h sha256 -in "$bin/setup.exe" \
        -out "$signed" >/dev/null
fi
certificate=$dist/test-certificate.pem
[ $arch = win32 ] || certificate=$work/cert64.pem
export PKGMGR_WINE_ROOT=$work/wine PKGMGR_WINE_SHARED_ARCH=$arch PKGMGR_WINE_TEMPLATES=$source_dir/build/wine-templates
installed=1
if tests/wine/session.sh ensure >"$work/wine.log" 2>&1; then
    eval "$(tests/wine/session.sh env | sed 's/^/export /')"
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" HOME=$PKGMGR_WINE_ROOT/home
    package=$WINEPREFIX/drive_c/pkg
    tools/make-sample-package.sh "$bin" "$package" settings >/dev/null
    cp "$signed" "$package/setup.exe" &&
        osslsigncode verify -CAfile "$certificate" -in "$package/setup.exe" >/dev/null 2>&1
    packaged=$?
    result_value() {
        wine reg query 'HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller' /v Setup 2>/dev/null | tr -d '\r' |
            awk '/Setup/ { print $NF }'
    }
    wine 'C:\pkg\setup.exe' /S
    install=$?
    install_value=$(result_value)
    wine 'C:\windows\_zemu000.exe' /S /U
    removal=$?
    removal_value=$(result_value)
    echo "installation: exit $install, result $install_value; removal: exit $removal, result $removal_value"
    [ "$packaged" -eq 0 ] && [ "$install" -eq 0 ] && [ "$install_value" = 0000 ] && [ "$removal" -eq 0 ] &&
        [ "$removal_value" = 0000 ]
    installed=$?
else
    cat "$work/wine.log"
fi
result "the signed setup.exe installs and removes the sample package ($arch)" $installed

[ "$failures" -eq 0 ]
