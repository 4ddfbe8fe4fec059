#!/usr/bin/env bash
# Checks the MSI package of a release (release.sh --msi): two releases of the working
# tree in two folders, signed with one key, give the same MSI bytes, signed and
# unsigned; its signature verifies and SHA256SUMS names it; it holds the zip's files.
# Then, under Wine's msiexec: a quiet installation leaves the same files, records and
# entry as setup.exe /S, with the MSI's own entry hidden; removal; an upgrade that does
# not remove the application in between; a downgrade refused unless asked for; the
# application running (3010, no restart); a broken release folder (1603, the cause in
# the MSI log); a removal after the program's own removal. Where this machine runs no
# 32-bit Windows programs, the Wine part runs a 64-bit package made the same way of the
# x86_64 build. Prints "ok NAME" or "FAIL NAME" for each check; exits 1 when one failed.
#
#   check-msi.sh   (after the windows-x86 and windows builds of scripts/test.sh)
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/release-check-setup.sh
# One key for both releases and no time stamp: then the signatures are the same bytes too.
openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -subj "/CN=PkgMgr test signing" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
released=0
for tree in "$first" "$second"; do
    (cd "$tree" && bash scripts/release.sh --cert "$work/cert.pem" --key "$work/key.pem" --no-timestamp \
        --allow-dirty --package "$package" --url https://downloads.example.com/pkgmgr --msi) >"$work/release.log" 2>&1 ||
        { released=1; cat "$work/release.log"; }
done
result "release.sh --msi builds in two folders" $released
version=1.03.0000
name=PkgMgr-$version.msi
dist=$first/dist
cmp "$dist/$name" "$second/dist/$name" && cmp "$dist/unsigned/$name" "$second/dist/unsigned/$name"
result "the two releases give the same MSI bytes, signed and unsigned" $?
sha256sum "$dist/$name" "$dist/unsigned/$name" | sed "s#$work/##"
osslsigncode verify -CAfile "$work/cert.pem" -in "$dist/$name" >"$work/verify.log" 2>&1 &&
    grep -q "  $name\$" "$dist/SHA256SUMS" && grep -q "  unsigned/$name\$" "$dist/SHA256SUMS" &&
    (cd "$dist" && sha256sum -c --quiet SHA256SUMS) && grep -q '^msi: wixl ' "$dist/BUILDINFO"
signed=$?
[ $signed -eq 0 ] || cat "$work/verify.log"
result "the MSI's signature verifies; SHA256SUMS and BUILDINFO name it" $signed

# The zip's files are the MSI's (the File table names each once, with its size).
unpacked=$work/unpacked
mkdir -p "$unpacked"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$dist/QUVO.PkgMgr-$version.zip" "$unpacked"
[ "$(cd "$unpacked" && find . -type f -printf '%f %s\n' | LC_ALL=C sort)" = \
    "$(msiinfo export "$dist/$name" File | tail -n +4 | awk -F'\t' '{print $3, $4}' | LC_ALL=C sort)" ]
result "the MSI holds the release zip's files" $?

# The Wine part: the release's own package in a 32-bit Windows where one runs here.
if why=$(bash scripts/wine32-ready.sh); then
    arch=win32 view=32 msi_arch=x86 bin=build/windows-x86/bin
    action=$first/build/release/PkgMgrSetupAction.dll
    cp "$dist/setup.exe" "$unpacked/setup.exe"
    cp "$dist/$name" "$work/v0.msi"
else
    echo "check-msi: $why: the Wine part runs a 64-bit package of the x86_64 build"
    arch=win64 view=64 msi_arch=x64 bin=build/windows/bin
    action=$bin/PkgMgrSetupAction.dll
    cp "$bin/setup.exe" "$unpacked/setup.exe"
fi
make_msi() {  # folder version out
    python3 scripts/make-msi.py --folder "$1" --action "$action" --id QUVO.PkgMgr --name "Package Manager" \
        --version "$2" --out "$3" --arch "$msi_arch"
}
[ -f "$work/v0.msi" ] || make_msi "$unpacked" "$version" "$work/v0.msi"
# 1.03.0001: the same application, another payload; and a release folder without its setup data.
newer=$work/newer
cp -R "$unpacked" "$newer"
sed -i 's/^VERSION=.*/VERSION=1.03.0001\r/' "$newer/PkgMgr.zem"
printf 'payload two\r\n' >"$newer/ZemSetup.dll"
make_msi "$newer" 1.03.0001 "$work/v1.msi"
broken=$work/broken
cp -R "$unpacked" "$broken"
rm "$broken/ZemSetup.dat"
make_msi "$broken" "$version" "$work/broken.msi"
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" {print $2}'; }
code0=$(product_code "$work/v0.msi") code1=$(product_code "$work/v1.msi")

export PKGMGR_WINE_ROOT=$work/wine PKGMGR_WINE_SHARED_ARCH=$arch PKGMGR_WINE_TEMPLATES=$source_dir/build/wine-templates
if ! tests/wine/session.sh ensure >"$work/wine.log" 2>&1; then
    cat "$work/wine.log"
    result "a Wine session for the MSI runs ($arch)" 1
    exit 1
fi
eval "$(tests/wine/session.sh env | sed 's/^/export /')"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" HOME=$PKGMGR_WINE_ROOT/home
c=$WINEPREFIX/drive_c
mkdir -p "$c/msi" "$c/logs" "$c/pkg"
cp "$work"/*.msi "$c/msi/"
cp -R "$unpacked/." "$c/pkg/"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entry=$uninstall_key'\VeltranoSoftwareInstaller'
msi_log() { tr -d '\r' <"$c/logs/$1.log"; }
# msiexec from a batch file, as a deployment tool runs it; its exit code whole, its log in C:\logs.
msiexec() {  # log-name arguments...
    local log=$1
    shift
    printf 'msiexec %s /l*v C:\\logs\\%s.log\r\necho %%ERRORLEVEL%%>C:\\logs\\%s.rc\r\n' "$*" "$log" "$log" >"$c/run.cmd"
    wine cmd /c 'C:\run.cmd' >/dev/null 2>&1
    # Wine's msiexec may still be working and writing into the log when it has ended (a
    # custom action's setup.exe may run on): the log, and the machine, are read once
    # every INSTALL action that the log started has ended and the log has not grown for
    # a second.
    local size=-1 now started ended
    for _ in $(seq 120); do
        now=$(stat -c %s "$c/logs/$log.log" 2>/dev/null || echo 0)
        started=$(msi_log "$log" 2>/dev/null | grep -c '^Action start [0-9:]*: INSTALL\.$')
        ended=$(msi_log "$log" 2>/dev/null | grep -c '^Action ended [0-9:]*: INSTALL\. Return value')
        [ "$now" = "$size" ] && [ "$started" -gt 0 ] && [ "$ended" -ge "$started" ] && break
        size=$now
        sleep 1
    done
    tr -d '\r\n ' <"$c/logs/$log.rc"
}
reg_value() {  # key value
    wine reg query "$1" /v "$2" "/reg:$view" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"
}
has_key() { wine reg query "$1" "/reg:$view" >/dev/null 2>&1; }
# The installation as a deployment checks it: the program folder's files, the shortcuts'
# names, the product's records and the uninstall entry.
snapshot() {
    (cd "$c" && find "Program Files"*/PkgMgr windows/_zemu000.exe -type f -exec sha256sum {} + 2>/dev/null | sort
        find ProgramData/Microsoft/Windows users/*/Desktop -iname '*.lnk' 2>/dev/null | sort)
    wine reg query 'HKLM\SOFTWARE\QUVO\VeltranoSoftwareInstaller' /s "/reg:$view" 2>/dev/null | tr -d '\r'
    wine reg query "$entry" "/reg:$view" 2>/dev/null | tr -d '\r'
}
entries() { wine reg query "$uninstall_key" "/reg:$view" 2>/dev/null | tr -d '\r' | grep -i '\\Uninstall\\' | LC_ALL=C sort; }
release_folder=$(echo "$c"/"Program Files"/QUVO/"PkgMgr Setup")

# Wine's msiexec may end before what it did is all seen (see msiexec above): a check
# that fails is asked again for up to 15 seconds.
settled() {  # check-function
    local _
    for _ in $(seq 15); do
        [ -z "$("$1")" ] && return 0
        sleep 1
    done
    return 1
}
before=$(entries)
status=$(msiexec install /i 'C:\msi\v0.msi' /qn)
install_done() {  # names the parts that are not done
    { [ "$(reg_value 'HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller' Setup)" = 0000 ] || echo '"Setup"'; } &&
    { [ "$(reg_value "$entry" DisplayVersion)" = "$version" ] || echo "DisplayVersion"; } &&
    { [ -f "$release_folder/setup.exe" ] || echo "the release folder"; } &&
    { [ "$(comm -13 <(echo "$before") <(entries) | sed 's/.*\\//' | LC_ALL=C sort | tr '\n' ' ')" = \
        "VeltranoSoftwareInstaller $code0 " ] || echo "the new entries"; } &&
    { [ "$(reg_value "$uninstall_key\\$code0" SystemComponent)" = 0x1 ] || echo "SystemComponent"; } &&
    { msi_log install | grep -q 'PkgMgr MSI: setup.exe ended with exit code 0, "Setup" 0000: installed' ||
        echo "the log's result"; }
}
[ "$status" = 0 ] && settled install_done
installed=$?
msi_snapshot=$(snapshot)
[ $installed -eq 0 ] || {
    echo "exit $status; not done: $(install_done); new entries: $(comm -13 <(echo "$before") <(entries) | tr '\n' ' ')"
    msi_log install | grep -a 'PkgMgr\|setup.exe:'
}
result "msiexec /i /qn installs (exit 0, \"Setup\" 0000), one visible entry: setup.exe's; the MSI's hidden" $installed

status=$(msiexec remove /x "$code0" /qn)
[ "$status" = 0 ] && ! has_key "$entry" && ! has_key "$uninstall_key\\$code0" && [ ! -e "$release_folder" ] &&
    [ -z "$(cd "$c" && find "Program Files"*/PkgMgr -type f 2>/dev/null)" ] &&
    msi_log remove | grep -q '/S /U /R'
removed=$?
[ $removed -eq 0 ] || { echo "exit $status"; ls "$release_folder"; msi_log remove | grep -a 'PkgMgr MSI\|setup.exe:'; }
result "msiexec /x removes the application, its entry, the MSI's entry and the release folder" $removed

# setup.exe /S itself, on the same machine: the same files, records and entry. The download
# folders that the removal leaves would make it choose another.
rm -rf "$c/DRIVERS" "$c/PkgMgr Drivers"
printf 'setup.exe /S /R /L\r\n' >"$c/pkg/deploy.cmd"
(cd "$c/pkg" && wine cmd /q /c deploy.cmd >/dev/null 2>&1)
direct_snapshot=$(snapshot)
[ -n "$direct_snapshot" ] && [ "$msi_snapshot" = "$direct_snapshot" ]
same=$?
[ $same -eq 0 ] || diff <(echo "$msi_snapshot") <(echo "$direct_snapshot")
result "the MSI's installation leaves the same files, records and entry as setup.exe /S" $same

# Removal after the program's own removal (its entry's quiet removal): nothing left, the MSI goes.
wine 'C:\windows\_zemu000.exe' /S /U >/dev/null 2>&1
msiexec again /i 'C:\msi\v0.msi' /qn >/dev/null
wine 'C:\windows\_zemu000.exe' /S /U >/dev/null 2>&1
has_key "$entry" && echo "the program's own removal left its entry"
status=$(msiexec gone /x "$code0" /qn)
[ "$status" = 0 ] && ! has_key "$uninstall_key\\$code0" && msi_log gone | grep -q 'nothing left to remove'
gone=$?
[ $gone -eq 0 ] || { echo "exit $status"; msi_log gone | grep -a 'PkgMgr MSI\|setup.exe:'; }
result "msiexec /x after the program's own removal completes (exit 0) and removes the MSI" $gone

# Upgrade: 1.03.0001 over 1.03.0000 updates the files; the older package's removal runs no
# /U, which would delete the uninstall entry whole, with a value of the test's in it.
msiexec old /i 'C:\msi\v0.msi' /qn >/dev/null
wine reg add "$entry" /v KeptAcrossUpgrade /d 1 /f "/reg:$view" >/dev/null 2>&1
status=$(msiexec upgrade /i 'C:\msi\v1.msi' /qn)
upgrade_done() {  # names the parts that are not done
    { [ "$(reg_value "$entry" DisplayVersion)" = 1.03.0001 ] || echo "DisplayVersion"; } &&
    { [ "$(tr -d '\r' <"$(echo "$c"/"Program Files"*/PkgMgr/ZemSetup.dll)")" = "payload two" ] || echo "the files"; } &&
    { [ "$(reg_value "$entry" KeptAcrossUpgrade)" = 1 ] || echo "the entry was removed in between"; } &&
    { msi_log upgrade | grep -q "PkgMgr MSI: upgrading to $code1" || echo "no upgrade mark"; } &&
    { ! has_key "$uninstall_key\\$code0" || echo "the older package's entry"; } &&
    { has_key "$uninstall_key\\$code1" || echo "the new package's entry"; }
}
[ "$status" = 0 ] && settled upgrade_done
upgraded=$?
[ $upgraded -eq 0 ] || {
    echo "exit $status; not done: $(upgrade_done)"
    msi_log upgrade | grep -a 'PkgMgr\|setup.exe:\|Removing\|RemoveExisting'
}
result "1.03.0001 over 1.03.0000: files updated, the older package replaced, no removal in between" $upgraded

status=$(msiexec downgrade /i 'C:\msi\v0.msi' /qn)
[ "$status" = 1603 ] && [ "$(reg_value "$entry" DisplayVersion)" = 1.03.0001 ] && has_key "$uninstall_key\\$code1" &&
    msi_log downgrade | grep -q '^Action start .*: RefuseDowngrade\.' &&
    status=$(msiexec downgrade-asked /i 'C:\msi\v0.msi' /qn ALLOWDOWNGRADE=1) && [ "$status" = 0 ] &&
    [ "$(reg_value "$entry" DisplayVersion)" = "$version" ] && ! has_key "$uninstall_key\\$code1" &&
    has_key "$uninstall_key\\$code0"
downgraded=$?
[ $downgraded -eq 0 ] || { echo "exit $status"; msi_log downgrade | grep -a 'newer\|PkgMgr'; }
result "a downgrade is refused (1603, by its action in the log) unless ALLOWDOWNGRADE=1" $downgraded

# The application running: the upgrade ends 3010, and the machine is not restarted.
mkdir -p "$c/app"
cp "$bin/PkgMgr.exe" "$c/app/PkgMgr.exe"
wine 'C:\app\PkgMgr.exe' /hold "Package Manager" /for 600000 /note 'C:\app\held' >/dev/null 2>&1 &
app_pid=$!
for _ in $(seq 300); do [ -f "$c/app/held" ] && break; sleep 0.1; done
status=$(msiexec running /i 'C:\msi\v1.msi' /qn)
alive=$(kill -0 "$app_pid" 2>/dev/null && echo yes)
kill "$app_pid" 2>/dev/null
wait "$app_pid" 2>/dev/null
[ "$status" = 3010 ] && [ "$alive" = yes ] && has_key "$uninstall_key\\$code1" &&
    msi_log running | grep -q 'ended with exit code 3010, "Setup" 0000'
running=$?
[ $running -eq 0 ] || { echo "exit $status, application running: ${alive:-no}"; msi_log running | grep -a 'PkgMgr\|setup.exe:'; }
result "with the application running the installation ends 3010 and nothing restarts" $running
msiexec cleanup /x "$code1" /qn >/dev/null

# A release folder without its setup data: 1603, setup.exe's cause and result in the MSI log.
status=$(msiexec broken /i 'C:\msi\broken.msi' /qn)
[ "$status" = 1603 ] && ! has_key "$uninstall_key\\$code0" && ! has_key "$entry" &&
    msi_log broken | grep -q '^setup.exe: .*setup data file not found' &&
    msi_log broken | grep -q 'PkgMgr MSI: setup.exe ended with exit code 8, "Setup" 0008: the installation failed'
broke=$?
[ $broke -eq 0 ] || { echo "exit $status"; msi_log broken | grep -a 'PkgMgr\|setup.exe:'; }
result "a broken release folder fails with 1603 and setup.exe's cause in the MSI log" $broke
msi_log broken | grep -a '^setup.exe: .*not found\|^PkgMgr MSI: setup.exe ended' | sed 's/^/  /'

[ "$failures" -eq 0 ]
