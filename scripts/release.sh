#!/usr/bin/env bash
# Builds a release: the shipping 32-bit setup.exe and setupcheck.exe, reproducibly
# (the same commit gives the same bytes in any folder), signed with Authenticode
# (SHA-256) when a certificate is given, into dist/ with SHA256SUMS and BUILDINFO;
# with --package, also the release folder as a zip and its winget manifest set.
#
#   release.sh [--test-sign | --pkcs12 FILE | --cert CERT.pem --key KEY.pem]
#              [--password-env VAR | --password-file FILE] [--timestamp URL | --no-timestamp]
#              [--package FOLDER --url BASE-URL [--id ID] [--license TEXT] [--description TEXT] [--msi]]
#              [--out DIR] [--build-dir DIR] [--allow-dirty]
#
# dist/unsigned/ holds the images as built; dist/ the signed ones (copies of the
# unsigned ones without a certificate). A key's password is read from the environment
# variable VAR or the file FILE and handed to osslsigncode on its standard input:
# never on a command line, never printed. --test-sign makes a throw-away self-signed
# certificate (dist/test-certificate.pem) for tests and demonstrations. A vendor's
# certificate needs --timestamp URL (an RFC 3161 server countersigns, so the signature
# outlives the certificate) or, knowingly, --no-timestamp. Times are taken from the
# commit (SOURCE_DATE_EPOCH), also the signing time. A tree with uncommitted changes,
# or one outside git, is refused unless --allow-dirty; BUILDINFO records the commit,
# its state and the tools. The output and build folders must be empty or made by this
# script earlier as such (each has a marker of its own), and the output, build and
# release folders must be separate, none inside another: of an output folder, only what
# the script wrote is deleted; the build folder is deleted whole.
#
# --package FOLDER: the release folder (setup data and application files) is checked
# with setupcheck --all-languages (errors stop the release, warnings are shown), gets
# the signed setup.exe and becomes dist/ID-VERSION.zip (sorted entries, stored without
# compression, SOURCE_DATE_EPOCH times, no owner or permission bits), listed in
# SHA256SUMS; dist/winget/ holds the manifests for the zip published at
# BASE-URL/ID-VERSION.zip in the winget package repository's layout
# (manifests/q/QUVO/PkgMgr/VERSION/). The identifier, and the version and names that the
# setup data gives, are checked against the manifest schema's rules before they are used.
#
# --msi (with --package): also dist/PkgMgr-VERSION.msi, signed (unsigned in dist/unsigned/),
# listed in SHA256SUMS: the release folder for Group Policy and other MSI deployment
# (scripts/make-msi.py), whose custom-action DLL runs the folder's setup.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

usage() {
    sed -n '7,10p' "$0" | sed 's/^# *//' >&2
    exit 2
}
refuse() {
    echo "release: $*" >&2
    exit 2
}
# The manifest's values against the schema's rules (winget-manifest.py --check); its
# faults are shown as this script's.
check_values() {
    local faults
    faults=$(python3 scripts/winget-manifest.py --check "$@" 2>&1) && return 0
    sed 's/^winget-manifest: /release: /' <<<"$faults" >&2
    return 1
}

out=dist build=build/release mode=unsigned
cert="" key="" pkcs12="" password_env="" password_file="" timestamp="" no_timestamp=0 allow_dirty=0
package="" url="" id=QUVO.PkgMgr license=Proprietary description=""
msi=0
while [ $# -gt 0 ]; do
    case $1 in
    --test-sign) mode=test ;;
    --pkcs12) mode=pkcs12 pkcs12=${2:?}; shift ;;
    --cert) mode=pem cert=${2:?}; shift ;;
    --key) key=${2:?}; shift ;;
    --password-env) password_env=${2:?}; shift ;;
    --password-file) password_file=${2:?}; shift ;;
    --timestamp) timestamp=${2:?}; shift ;;
    --no-timestamp) no_timestamp=1 ;;
    --package) package=${2:?}; shift ;;
    --url) url=${2:?}; shift ;;
    --id) id=${2:?}; shift ;;
    --license) license=${2:?}; shift ;;
    --description) description=${2:?}; shift ;;
    --out) out=${2:?}; shift ;;
    --build-dir) build=${2:?}; shift ;;
    --allow-dirty) allow_dirty=1 ;;
    --msi) msi=1 ;;
    *) usage ;;
    esac
    shift
done

# Options that would be ignored are refused: each one would give a release other than asked for.
[ "$mode" != pem ] || [ -n "$key" ] || refuse "--cert needs --key"
[ -z "$key" ] || [ "$mode" = pem ] || refuse "--key needs --cert: nothing would be signed with it"
if [ -n "$password_env$password_file" ]; then
    [ "$mode" = pem ] || [ "$mode" = pkcs12 ] ||
        refuse "a password option needs --cert and --key or --pkcs12: nothing would be signed with it"
    [ -z "$password_env" ] || [ -z "$password_file" ] || refuse "give one of --password-env and --password-file"
fi
[ -z "$password_env" ] || [ -n "${!password_env+set}" ] || refuse "the environment variable $password_env is not set"
[ -z "$password_file" ] || [ -r "$password_file" ] || refuse "cannot read the password file"
if [ "$mode" = pem ] || [ "$mode" = pkcs12 ]; then
    [ -n "$timestamp" ] || [ "$no_timestamp" = 1 ] ||
        refuse "a signature without --timestamp URL stops validating when the certificate expires;" \
            "give --timestamp URL, or --no-timestamp to sign without knowingly"
fi
[ -z "$timestamp" ] || [ "$no_timestamp" = 0 ] || refuse "give one of --timestamp and --no-timestamp"
[ -z "$timestamp" ] || [ "$mode" != unsigned ] || refuse "--timestamp needs a certificate"
[ "$msi" = 0 ] || [ -n "$package" ] || refuse "--msi needs --package: the MSI carries the release folder"
if [ -n "$package$url" ]; then
    [ -n "$package" ] && [ -n "$url" ] || refuse "--package and --url go together"
    [ -d "$package" ] || refuse "no release folder: $package"
    [[ $url =~ ^[Hh][Tt][Tt][Pp][Ss]?://. ]] || refuse "--url is not an http or https URL: $url"
    # The identifier, the license and a given description against the manifest schema's
    # rules, now: the version and the names follow as soon as the release folder is read.
    given=(--id "$id" --url "$url" --license "$license")
    [ -z "$description" ] || given+=(--description "$description")
    check_values "${given[@]}" || exit 2
fi

# The tree that is built: its commit and whether it holds changes not committed.
commit=none state="no git checkout"
if git -C "$source_dir" rev-parse --show-toplevel >/dev/null 2>&1 &&
    [ "$(git -C "$source_dir" rev-parse --show-toplevel)" = "$source_dir" ]; then
    commit=$(git -C "$source_dir" rev-parse HEAD 2>/dev/null || echo none)
    if [ -n "$(git -C "$source_dir" status --porcelain)" ]; then
        state="modified: uncommitted changes"
    else
        state=clean
    fi
fi
if [ "$state" != clean ] && [ "$allow_dirty" = 0 ]; then
    refuse "the tree is not a clean commit ($state); commit, or give --allow-dirty"
fi

# The folders: each empty, or marked as made by this script for its own use (the output
# folder lists what the script wrote there; the build folder is deleted whole), and none
# the same as or inside another: the build's clean-up must never reach the output or the
# release folder.
out_mark=.made-by-release-sh build_mark=.release-sh-build
is_empty() { [ ! -e "$1" ] || [ -z "$(ls -A "$1")" ]; }
is_output_folder() { [ -f "$1/$out_mark" ] && [ ! -e "$1/$build_mark" ]; }
# A build folder of earlier versions of the script: an empty marker of the output's name
# beside a CMake cache (an output folder's marker lists files).
is_build_folder() {
    [ -f "$1/$build_mark" ] && [ ! -e "$1/$out_mark" ] ||
        { [ -f "$1/$out_mark" ] && [ ! -s "$1/$out_mark" ] && [ -f "$1/CMakeCache.txt" ]; }
}
is_empty "$out" || is_output_folder "$out" ||
    refuse "$out is not empty and was not made by release.sh as an output folder: give an empty or new --out"
is_empty "$build" || is_build_folder "$build" ||
    refuse "$build is not empty and was not made by release.sh as a build folder: give an empty or new --build-dir"
overlap() {  # folder folder: the same folder, or one inside the other
    local a b
    a=$(realpath -m -- "$1")/ b=$(realpath -m -- "$2")/
    [[ $a == "$b"* || $b == "$a"* ]]
}
# A listed path that passes through a link (a winget/ that links into the vendor's clone
# of the package repository) would reach what the link names: refused.
through_link() {  # listed-path: the link on its way, if any
    local part=$out piece pieces
    IFS=/ read -ra pieces <<<"${1%/}"
    for piece in "${pieces[@]}"; do
        part=$part/$piece
        [ -L "$part" ] && { echo "$part"; return 0; }
    done
    return 1
}
listed() {  # the paths that the output folder's marker lists, inside the folder only
    local made
    [ -f "$out/$out_mark" ] || return 0
    while IFS= read -r made; do
        case $made in "" | /* | *..*) continue ;; esac
        echo "$made"
    done <"$out/$out_mark"
}
while IFS= read -r made; do
    link=$(through_link "$made") &&
        refuse "$out/$made, which an earlier release made, now passes through the link $link: remove the link or give another --out"
done < <(listed)
! overlap "$out" "$build" || refuse "the output folder $out and the build folder $build overlap: give separate folders"
if [ -n "$package" ]; then
    ! overlap "$package" "$out" ||
        refuse "the release folder $package and the output folder $out overlap: give separate folders"
    ! overlap "$package" "$build" ||
        refuse "the release folder $package and the build folder $build overlap: give separate folders"
fi

bash scripts/install-deps.sh >/dev/null

# Every time in the build comes from the commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH

# A fresh configuration each time: nothing of an earlier build or another folder's cache.
rm -rf "$build"
mkdir -p "$build"
touch "$build/$build_mark"
# The release folder is checked before anything is built or replaced.
if [ -n "$package" ]; then
    stage=$build/package-stage
    rm -rf "$stage"
    mkdir -p "$stage"
    cp -R "$package/." "$stage/"
    # setupcheck looks for setup.exe beside the setup data; the signed one comes later and
    # replaces any there. The stand-in is not empty: setupcheck warns of an empty file.
    [ -s "$stage/setup.exe" ] || echo "stands in for the signed setup.exe" >"$stage/setup.exe"
    build_host=$build/package-check-host
    cmake -S . -B "$build_host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPKGMGR_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build_host" --target setupcheck >/dev/null
    # Errors stop the release; warnings (exit code 1) are shown and let it go on.
    check=0
    "$build_host/bin/setupcheck" "$stage" --all-languages >"$build/setupcheck.txt" || check=$?
    # Each finding once (the languages repeat them), with the place it names.
    grep -E '^(warning|error( \([0-9A-F]{4}\))?):|^    at ' "$build/setupcheck.txt" | awk '!seen[$0]++' >&2 || true
    echo "release: setupcheck --all-languages: exit code $check ($(grep -c '^language:' "$build/setupcheck.txt") languages)"
    if [ "$check" -ge 2 ]; then
        echo "release: setupcheck found errors in $package (exit code $check): no package made" >&2
        exit 1
    fi
    [ "$check" -eq 0 ] || echo "release: setupcheck warns about $package (shown above)" >&2
    "$build_host/bin/setupcheck" "$stage" --json >"$build/package.json" || true
    # The release and the name and version that its uninstall entry shows, one a line.
    mapfile -t found < <(python3 - "$build/package.json" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))["languages"][0]
entry = {record["name"]: record["value"] for record in report["registry"]
         if record.get("key", "").endswith("\\Uninstall\\VeltranoSoftwareInstaller")}
print(report["name"], report["version"], entry.get("DisplayName", report["name"]),
      entry.get("DisplayVersion", report["version"]), sep="\n")
PY
)
    [ "${#found[@]}" -eq 4 ] || { echo "release: setupcheck gave no release name and version" >&2; exit 1; }
    name=${found[0]} version=${found[1]} display_name=${found[2]} display_version=${found[3]}
    description=${description:-$name, the QUVO desktop package manager}
    # The version names the zip and the manifests' folder: checked before it is used.
    if ! check_values --version "$version" --name "$name" --display-name "$display_name" \
        --display-version "$display_version" --description "$description" --id "$id" --url "$url"; then
        echo "release: the setup data of $package gives values that a winget manifest cannot hold: no package made" >&2
        exit 1
    fi
fi

# The MSI's version fields hold numbers only: a version they cannot hold stops the release now.
if [ "$msi" = 1 ] && ! python3 scripts/make-msi.py --check-version "$version"; then
    echo "release: no MSI can be made of $package: no package made" >&2
    exit 1
fi

# Of an earlier release in the output folder, only what it listed goes: its files, then
# the folders that it made ("name/"), deepest first and each only when empty, so that the
# vendor's own folders and files stay. A path through a link is passed over.
if [ -f "$out/$out_mark" ]; then
    while IFS= read -r made; do
        if [[ $made != */ ]] && ! through_link "$made" >/dev/null; then
            rm -f -- "${out:?}/$made"
        fi
    done < <(listed)
    while IFS= read -r made; do
        if ! through_link "$made" >/dev/null; then
            rmdir -- "${out:?}/$made" 2>/dev/null || true
        fi
    done < <(listed | grep '/$' | LC_ALL=C sort -r)
    rm -f -- "$out/$out_mark"
fi
# The folders there now are not this run's: the marker lists only those it makes.
folders() { [ ! -d "$out" ] || (cd "$out" && find . -mindepth 1 -type d | LC_ALL=C sort); }
folders_before=$(folders)
mkdir -p "$out/unsigned"
made=()
note_made() { made+=("$@"); }

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DPKGMGR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target setup setupcheck >/dev/null

images=(setup.exe setupcheck.exe)
for image in "${images[@]}"; do
    cp "$build/bin/$image" "$out/unsigned/$image"
    touch -d "@$SOURCE_DATE_EPOCH" "$out/unsigned/$image"
    note_made "unsigned/$image"
done

secrets=""
trap '[ -z "$secrets" ] || rm -rf "$secrets"' EXIT
if [ "$mode" = test ]; then
    secrets=$(mktemp -d)
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -subj "/CN=PkgMgr test signing" \
        -keyout "$secrets/key.pem" -out "$out/test-certificate.pem" 2>/dev/null
    note_made test-certificate.pem
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
    rm -f "$out/$image"
    if [ "$mode" = unsigned ]; then
        cp "$out/unsigned/$image" "$out/$image"
    else
        sign "$out/unsigned/$image" "$out/$image"
    fi
    touch -d "@$SOURCE_DATE_EPOCH" "$out/$image"
    note_made "$image"
done

# What built it: the commit, its state and the tools (the same text in any folder).
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)
linker=$(sed -n 's/^CMAKE_LINKER:[A-Z]*=//p' "$build/CMakeCache.txt")
{
    echo "commit: $commit"
    echo "state: $state"
    echo "commit time (SOURCE_DATE_EPOCH): $SOURCE_DATE_EPOCH"
    echo "compiler: $(basename "$compiler"): $("$compiler" --version | head -1)"
    echo "linker: $(basename "$linker"): $("$linker" --version | head -1)"
    echo "cmake: $(cmake --version | head -1)"
    echo "signing: $([ "$mode" = unsigned ] && echo none || osslsigncode --version 2>&1 | head -1)"
    [ -z "$package" ] || echo "zip: $(python3 -c 'import sys; print("Python", sys.version.split()[0])') zipfile, entries stored (no compression)"
} >"$out/BUILDINFO"
note_made BUILDINFO
sums=("${images[@]}" "${images[@]/#/unsigned/}" BUILDINFO)

if [ -n "$package" ]; then
    cp "$out/setup.exe" "$stage/setup.exe"
    zip_name=$id-$version.zip
    python3 scripts/make-zip.py "$stage" "$out/$zip_name"
    touch -d "@$SOURCE_DATE_EPOCH" "$out/$zip_name"
    note_made "$zip_name"
    sums+=("$zip_name")
    mapfile -t manifests < <(python3 scripts/winget-manifest.py --out "$out/winget" --id "$id" --version "$version" \
        --name "$name" --display-name "$display_name" --display-version "$display_version" --url "$url" \
        --zip "$zip_name" --sha256 "$(sha256sum "$out/$zip_name" | cut -d' ' -f1)" --license "$license" \
        --description "$description" --release-date "$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)")
    [ "${#manifests[@]}" -eq 3 ] || { echo "release: the winget manifests were not written" >&2; exit 1; }
    note_made "${manifests[@]/#/winget/}"
fi

# The MSI: the staged release folder with the signed setup.exe, and the custom-action DLL,
# signed as the images are; the package itself is signed too.
build_msi() {
    cmake --build "$build" --target pkgmgr_msi_action >/dev/null
    local action=$build/bin/PkgMgrSetupAction.dll msi_name=PkgMgr-$version.msi
    if [ "$mode" != unsigned ]; then
        sign "$build/bin/PkgMgrSetupAction.dll" "$build/PkgMgrSetupAction.dll"
        action=$build/PkgMgrSetupAction.dll
    fi
    python3 scripts/make-msi.py --folder "$stage" --action "$action" --id "$id" --name "$display_name" \
        --version "$version" --out "$out/unsigned/$msi_name"
    rm -f "$out/$msi_name"
    if [ "$mode" = unsigned ]; then
        cp "$out/unsigned/$msi_name" "$out/$msi_name"
    else
        sign "$out/unsigned/$msi_name" "$out/$msi_name"
    fi
    touch -d "@$SOURCE_DATE_EPOCH" "$out/unsigned/$msi_name" "$out/$msi_name"
    note_made "unsigned/$msi_name" "$msi_name"
    sums+=("$msi_name" "unsigned/$msi_name")
    echo "msi: $(wixl --version 2>&1 | head -1 | sed 's/^/wixl /'), msibuild, cabinet compressed by zlib" \
        "$(dpkg-query -W -f='${Version}' zlib1g 2>/dev/null || echo '(version unknown)')" >>"$out/BUILDINFO"
}
[ "$msi" = 0 ] || build_msi

(cd "$out" && sha256sum "${sums[@]}" >SHA256SUMS)
note_made SHA256SUMS
while IFS= read -r folder; do
    note_made "${folder#./}/"
done < <(LC_ALL=C comm -13 <(echo "$folders_before") <(folders) | grep .)
printf '%s\n' "${made[@]}" >"$out/$out_mark"

echo "release: $out ($([ "$mode" = unsigned ] && echo unsigned || echo signed), commit time $SOURCE_DATE_EPOCH, $state)"
sed 's/^/  /' "$out/SHA256SUMS"
