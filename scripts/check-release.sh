#!/usr/bin/env bash
# Checks the release build: two builds of the working tree in two folders give the
# same bytes; the test-signed images verify, and a flipped byte makes them fail on
# their digest; signing changed nothing but the signature; BUILDINFO names the tree and
# the tools; a second release into the same folder deletes only what the first wrote;
# the release folder's zip is reproducible and matches SHA256SUMS and its winget
# manifests, which lie in the package repository's layout; a release folder without
# setup.exe draws no warning, and one whose version cannot name the manifests' folder
# stops the release; the signed setup.exe passes the shipping-image check; the zip, unpacked,
# installs and removes under Wine with the deployment command lines of docs/deploying.md (the
# shipping 32-bit image where this machine runs 32-bit code, else a signed x86_64 build),
# leaving the log and the uninstall entry they describe. Prints "ok NAME" or "FAIL NAME"
# for each check; exits 1 when one failed.
#
#   check-release.sh   (after the windows-x86 and windows builds of scripts/test.sh)
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/release-check-setup.sh
url=https://downloads.example.com/pkgmgr
(cd "$first" && bash scripts/release.sh --test-sign --allow-dirty --package "$package" --url "$url") \
    >"$work/first.log" 2>&1
signed_status=$?
# The second folder's release folder draws a warning from setupcheck, which lets it go on.
warned=$work/warned-folder
cp -R "$package" "$warned"
sed -i 's/^VERSION=.*/VERSION=1.4\r/' "$warned/PkgMgr.zem"
(cd "$second" && bash scripts/release.sh --allow-dirty --package "$warned" --url "$url") >"$work/second.log" 2>&1
result "release builds in two folders" $((signed_status | $?))
cat "$work/first.log"
! grep -q 'setup.exe is empty\|setupcheck warns' "$work/first.log"
result "a release folder without setup.exe draws no warning" $?
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

# One byte of the code changed after signing: verification must fail on the digest, with
# the signature and certificate as they were (not because the file is missing or unreadable).
cp "$dist/setup.exe" "$work/tampered.exe"
printf '\x5a' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc status=none
cmp -s "$dist/setup.exe" "$work/tampered.exe" && printf '\x5b' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc status=none
osslsigncode verify -CAfile "$dist/test-certificate.pem" -in "$work/tampered.exe" >"$work/tampered.log" 2>&1
tampered_status=$?
cmp -s "$dist/setup.exe" "$work/tampered.exe"
[ $? -eq 1 ] && [ "$tampered_status" -ne 0 ] &&
    grep -q '^Calculated message digest : [0-9A-F]* *MISMATCH' "$work/tampered.log" &&
    ! grep -q 'Failed to open\|Initialization error' "$work/tampered.log"
tampered=$?
[ $tampered -eq 0 ] || cat "$work/tampered.log"
result "a flipped byte makes verification fail on the message digest" $tampered

unchanged=0
for image in setup.exe setupcheck.exe; do
    python3 scripts/compare-signed.py "$dist/unsigned/$image" "$dist/$image" || unchanged=1
done
result "signing changed only the signature, the checksum and the certificate entry" $unchanged

bash scripts/check-shipping-image.sh "$dist/setup.exe"
result "the signed setup.exe passes the shipping-image check" $?

# What built it: the same text in both folders, apart from the signing tool.
grep -q '^commit: none$' "$dist/BUILDINFO" && grep -q '^state: no git checkout$' "$dist/BUILDINFO" &&
    grep -q '^compiler: i686-w64-mingw32-g++.*: .*[0-9]' "$dist/BUILDINFO" &&
    grep -q '^linker: i686-w64-mingw32-ld: GNU ld' "$dist/BUILDINFO" &&
    grep -qx 'zip: Python [0-9.]* zipfile, entries stored (no compression)' "$dist/BUILDINFO" &&
    cmp -s <(grep -v '^signing:' "$dist/BUILDINFO") <(grep -v '^signing:' "$second/dist/BUILDINFO") &&
    (cd "$dist" && sha256sum -c --quiet SHA256SUMS)
result "BUILDINFO names the tree, the compiler, the linker and the zip's maker; SHA256SUMS holds" $?
sed 's/^/  /' "$dist/BUILDINFO"

# A second release into the same folder replaces what the first wrote and nothing else.
echo "notes of the vendor" >"$second/dist/notes.txt"
mkdir "$second/dist/empty of the vendor"
(cd "$second" && bash scripts/release.sh --allow-dirty) >"$work/again.log" 2>&1
again=$?
[ $again -eq 0 ] && [ "$(cat "$second/dist/notes.txt")" = "notes of the vendor" ] &&
    [ -d "$second/dist/empty of the vendor" ] &&
    cmp -s "$second/dist/unsigned/setup.exe" "$dist/unsigned/setup.exe"
result "a second release into its folder keeps the files and folders it did not write" $?
[ $again -eq 0 ] || cat "$work/again.log"
grep -q '^warning: the version is not of the form' "$work/second.log" &&
    grep -q 'setupcheck warns about' "$work/second.log" && [ ! -e "$second/dist/QUVO.PkgMgr-1.4.zip" ] &&
    [ ! -e "$second/dist/winget" ]
result "setupcheck's warnings are shown and the release goes on; the next release removes what it wrote" $?

# A release folder with an error stops the release before anything is built.
broken=$work/broken-folder
cp -R "$package" "$broken"
rm "$broken/ZemSetup.dat"
(cd "$second" && bash scripts/release.sh --allow-dirty --package "$broken" --url "$url" --out "$work/broken-dist" \
    --build-dir "$work/broken-build") >"$work/broken.log" 2>&1
[ $? -eq 1 ] && grep -qE '^error \(0008\): ' "$work/broken.log" && grep -q 'setupcheck found errors' "$work/broken.log" &&
    [ ! -e "$work/broken-dist/unsigned" ] && [ ! -e "$work/broken-build/bin" ]
broken_status=$?
[ $broken_status -eq 0 ] || cat "$work/broken.log"
result "setupcheck's errors stop the release before it builds" $broken_status

# A version that cannot name the manifests' folder stops the release before it builds.
bad_version=$work/bad-version-folder
cp -R "$package" "$bad_version"
sed -i 's/^VERSION=.*/VERSION=1..4\r/' "$bad_version/PkgMgr.zem"
(cd "$second" && bash scripts/release.sh --allow-dirty --package "$bad_version" --url "$url" \
    --out "$work/bad-version-dist" --build-dir "$work/bad-version-build") >"$work/bad-version.log" 2>&1
[ $? -eq 1 ] && grep -q 'release: --version must not contain' "$work/bad-version.log" &&
    grep -q 'a winget manifest cannot hold' "$work/bad-version.log" && [ ! -e "$work/bad-version-dist" ] &&
    [ ! -e "$work/bad-version-build/bin" ]
bad_version_status=$?
[ $bad_version_status -eq 0 ] || cat "$work/bad-version.log"
result "a version that breaks the manifest schema's rules stops the release before it builds" $bad_version_status

# The zip: in SHA256SUMS and in the manifest, with the signed setup.exe, and the same
# bytes when the folder it holds is packed again; the manifests in the package
# repository's layout.
version=1.03.0000
zip=QUVO.PkgMgr-$version.zip
manifests=$dist/winget/manifests/q/QUVO/PkgMgr/$version
manifest=$manifests/QUVO.PkgMgr.installer.yaml
zip_sha=$(sha256sum "$dist/$zip" | cut -d' ' -f1)
mkdir -p "$work/unpacked"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$dist/$zip" "$work/unpacked" &&
    python3 scripts/make-zip.py "$work/unpacked" "$work/repacked.zip" && cmp -s "$dist/$zip" "$work/repacked.zip" &&
    cmp -s "$work/unpacked/setup.exe" "$dist/setup.exe" &&
    grep -q "  $zip\$" "$dist/SHA256SUMS" &&
    grep -qi "^  InstallerSha256: \"$zip_sha\"\$" "$manifest" &&
    grep -q "^  InstallerUrl: \"$url/$zip\"\$" "$manifest" &&
    [ -f "$manifests/QUVO.PkgMgr.yaml" ] && [ -f "$manifests/QUVO.PkgMgr.locale.en-US.yaml" ] &&
    [ "$(cd "$dist/winget" && find . -type f | LC_ALL=C sort)" = "$(for suffix in .installer.yaml .locale.en-US.yaml .yaml; do
        echo "./manifests/q/QUVO/PkgMgr/$version/QUVO.PkgMgr$suffix"; done)" ]
result "the release zip is reproducible, holds the signed setup.exe and is named in SHA256SUMS and the manifest" $?

# The zip, unpacked, installs and removes with the deploying guide's command lines, run as written.
if why=$(bash scripts/wine32-ready.sh); then
    arch=win32 signed=$dist/setup.exe view=32
else
    echo "check-release: $why: installing with a signed x86_64 build"
    arch=win64 signed=$work/setup64.exe view=64
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -subj "/CN=PkgMgr test signing" \
        -keyout "$work/key64.pem" -out "$work/cert64.pem" 2>/dev/null
    osslsigncode sign -certs "$work/cert64.pem" -key "$work/key64.pem" -h sha256 -in build/windows/bin/setup.exe \
        -out "$signed" >/dev/null
fi
certificate=$dist/test-certificate.pem
[ $arch = win32 ] || certificate=$work/cert64.pem
install_line='setup.exe /S /R /L'
removal_line='"C:\Windows\_zemu000.exe" /S /U /R /L'
guide_lines=0
for line in "$install_line" "$removal_line"; do
    grep -qxF "$line" docs/deploying.md || { echo "docs/deploying.md lacks the line: $line"; guide_lines=1; }
done
result "docs/deploying.md shows the deployment command lines that are run here" $guide_lines
export PKGMGR_WINE_ROOT=$work/wine PKGMGR_WINE_SHARED_ARCH=$arch PKGMGR_WINE_TEMPLATES=$source_dir/build/wine-templates
installed=1
if tests/wine/session.sh ensure >"$work/wine.log" 2>&1; then
    eval "$(tests/wine/session.sh env | sed 's/^/export /')"
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" HOME=$PKGMGR_WINE_ROOT/home
    package=$WINEPREFIX/drive_c/pkg
    mkdir -p "$package"
    cp -R "$work/unpacked/." "$package/"
    cp "$signed" "$package/setup.exe" &&
        osslsigncode verify -CAfile "$certificate" -in "$package/setup.exe" >/dev/null 2>&1
    packaged=$?
    # A command line run as a deployment tool's batch file runs it, in the unpacked folder.
    run_line() {  # line
        printf '%s\r\n' "$1" >"$package/deploy.cmd"
        (cd "$package" && wine cmd /q /c deploy.cmd >/dev/null 2>&1)
    }
    reg_value() {  # key value
        wine reg query "$1" /v "$2" "/reg:$view" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"
    }
    entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VeltranoSoftwareInstaller'
    log=$(echo "$WINEPREFIX"/drive_c/users/*/Temp)/PkgMgrSetup.log
    run_line "$install_line"
    install=$?
    install_value=$(reg_value 'HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller' Setup)
    display_version=$(reg_value "$entry" DisplayVersion)
    quiet=$(reg_value "$entry" QuietUninstallString)
    publisher=$(reg_value "$entry" Publisher)
    install_log=$(tail -1 "$log" 2>/dev/null | tr -d '\r')
    run_line "$removal_line"
    removal=$?
    removal_value=$(reg_value 'HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller' Setup)
    removal_log=$(tail -1 "$log" 2>/dev/null | tr -d '\r')
    left=$(wine reg query "$entry" "/reg:$view" >/dev/null 2>&1 && echo "entry left" || echo "entry removed")
    echo "installation: signed image $([ "$packaged" -eq 0 ] && echo verifies || echo "does not verify"), exit $install," \
        "result $install_value, DisplayVersion $display_version, Publisher $publisher, QuietUninstallString $quiet," \
        "log: $install_log"
    echo "removal: exit $removal, result $removal_value, $left, log: $removal_log"
    [ "$packaged" -eq 0 ] && [ "$install" -eq 0 ] && [ "$install_value" = 0000 ] && [ "$removal" -eq 0 ] &&
        [ "$removal_value" = 0000 ] && [ "$display_version" = "$version" ] && [ "$publisher" = QUVO ] &&
        [ "$quiet" = '"C:\windows\_zemu000.exe" /S /U' ] && [ "$left" = "entry removed" ] &&
        [[ $install_log == *"result: 0000, exit code 0: installed" ]] &&
        [[ $removal_log == *"result: 0000, exit code 0: removed" ]]
    installed=$?
else
    cat "$work/wine.log"
fi
result "the unpacked zip installs and removes with the deploying guide's command lines ($arch)" $installed

[ "$failures" -eq 0 ]
