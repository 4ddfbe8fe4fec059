#!/usr/bin/env bash
# release.sh refuses, before it builds or deletes anything, every request that would
# give another release than asked for or touch what it did not make. Each case runs a
# copy of the script in a git repository of its own; prints "ok"/"FAIL" per case.
#
#   refusals.sh SOURCE_DIR
set -uo pipefail
source_dir=${1:?usage: refusals.sh SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A repository holding only the script, committed: a clean tree.
repo=$work/repo
mkdir -p "$repo/scripts" "$work/files"
cp "$source_dir/scripts/release.sh" "$source_dir/scripts/winget-manifest.py" "$repo/scripts/"
git -C "$repo" init -q
git -C "$repo" -c user.name=test -c user.email=test@example.com add -A
git -C "$repo" -c user.name=test -c user.email=test@example.com commit -qm release
touch "$work/files/cert.pem" "$work/files/key.pem" "$work/files/vendor.p12" "$work/files/pass"
mkdir -p "$work/full" "$work/package"
echo "an earlier release of someone else" >"$work/full/keep.txt"
export PASS=secret
f=$work/files

expect_refusal() {  # name message-fragment directory args...
    local name=$1 fragment=$2 dir=$3
    shift 3
    local output status
    output=$(cd "$dir" && bash scripts/release.sh "$@" 2>&1)
    status=$?
    if [ "$status" -eq 2 ] && [[ $output == *"$fragment"* ]]; then
        echo "ok   $name"
    else
        echo "FAIL $name: exit $status, output: $output"
        failures=$((failures + 1))
    fi
}

expect_refusal "--key without a certificate" "--key needs --cert" "$repo" --key "$f/key.pem"
expect_refusal "--password-env without a certificate" "a password option needs" "$repo" --password-env PASS
expect_refusal "--password-file without a certificate" "a password option needs" "$repo" --password-file "$f/pass"
expect_refusal "a password with --test-sign" "a password option needs" "$repo" --test-sign --password-env PASS
expect_refusal "--cert without --key" "--cert needs --key" "$repo" --cert "$f/cert.pem"
expect_refusal "PEM signing without a time stamp" "without --timestamp" "$repo" \
    --cert "$f/cert.pem" --key "$f/key.pem"
expect_refusal "PKCS#12 signing without a time stamp" "without --timestamp" "$repo" \
    --pkcs12 "$f/vendor.p12" --password-file "$f/pass"
expect_refusal "--timestamp and --no-timestamp" "give one of --timestamp" "$repo" \
    --pkcs12 "$f/vendor.p12" --timestamp http://ts.example.com --no-timestamp
expect_refusal "--msi without --package" "--msi needs --package" "$repo" --msi
expect_refusal "--timestamp without a certificate" "--timestamp needs a certificate" "$repo" \
    --timestamp http://ts.example.com
expect_refusal "--package without --url" "go together" "$repo" --package "$work/package"
expect_refusal "--url without --package" "go together" "$repo" --url https://example.com
expect_refusal "--url not http" "not an http or https URL" "$repo" --package "$work/package" --url ftp://example.com
# The manifest schema's rules for the identifier, checked before anything is built.
for id in PkgMgr "QUVO.$(printf 'p%.0s' {1..33})" a.b.c.d.e.f.g.h.i "QUVO.Pkg Mgr"; do
    expect_refusal "the identifier $id" "--id does not fit the manifest schema's pattern" "$repo" \
        --package "$work/package" --url https://example.com --id "$id"
done
expect_refusal "a license shorter than the schema allows" "--license must be 3 to 512" "$repo" \
    --package "$work/package" --url https://example.com --license ab
# The schema's limit holds for the installer's URL, --url with the zip's name after it.
expect_refusal "a --url too long for the zip's name after it" "--url is too long for the installer's URL" "$repo" \
    --package "$work/package" --url "https://example.com/$(printf 'a%.0s' {1..2020})"
expect_refusal "a missing release folder" "no release folder" "$repo" --package "$work/none" --url https://example.com
expect_refusal "an output folder with files of others" "is not empty and was not made by release.sh" "$repo" \
    --out "$work/full"
expect_refusal "a build folder with files of others" "is not empty and was not made by release.sh" "$repo" \
    --build-dir "$work/full"
# Each folder's marker is its own: an output folder is no build folder (which is deleted
# whole) and a build folder no output folder.
mkdir -p "$work/dist/unsigned" "$work/build"
printf 'unsigned/setup.exe\n' >"$work/dist/.made-by-release-sh"
echo "the vendor's notes" >"$work/dist/notes.txt"
touch "$work/build/.release-sh-build"
expect_refusal "an output folder as the build folder" "not made by release.sh as a build folder" "$repo" \
    --build-dir "$work/dist"
expect_refusal "a build folder as the output folder" "not made by release.sh as an output folder" "$repo" \
    --out "$work/build"
# Folders that are the same or inside one another.
mkdir -p "$work/build/release-folder"
expect_refusal "the same output and build folder" "overlap" "$repo" --out "$work/new" --build-dir "$work/new"
expect_refusal "a build folder inside the output folder" "overlap" "$repo" --out "$work/new" --build-dir "$work/new/b"
expect_refusal "an output folder inside the build folder" "overlap" "$repo" --out "$work/build/out" \
    --build-dir "$work/build"
expect_refusal "a release folder inside the build folder" "overlap" "$repo" --build-dir "$work/build" \
    --package "$work/build/release-folder" --url https://example.com
expect_refusal "the release folder as the output folder" "overlap" "$repo" --out "$work/package" \
    --package "$work/package" --url https://example.com
expect_refusal "an output folder inside the release folder" "overlap" "$repo" --out "$work/package/dist" \
    --package "$work/package" --url https://example.com
[ "$(cat "$work/full/keep.txt")" = "an earlier release of someone else" ] &&
    [ "$(cat "$work/dist/notes.txt")" = "the vendor's notes" ] && [ -d "$work/build/release-folder" ] &&
    echo "ok   the refused folders are untouched" || { echo "FAIL a refused folder changed"; failures=$((failures + 1)); }

# A listed path through a link (winget/ linking into the vendor's clone of the package
# repository) is refused; the clone keeps its files.
mkdir -p "$work/linked/unsigned" "$work/clone/manifests/q"
echo "the vendor's manifest" >"$work/clone/manifests/q/x.yaml"
ln -s "$work/clone" "$work/linked/winget"
printf 'unsigned/\nwinget/manifests/q/x.yaml\nwinget/manifests/q/\nwinget/\n' >"$work/linked/.made-by-release-sh"
expect_refusal "a listed path through a link" "passes through the link $work/linked/winget" "$repo" --out "$work/linked"
[ -f "$work/clone/manifests/q/x.yaml" ] && [ -d "$work/linked/unsigned" ] &&
    echo "ok   the linked folder's files are untouched" || { echo "FAIL the link was followed"; failures=$((failures + 1)); }

# The clean-up of an earlier release deletes the files and folders its marker lists and
# no others: the vendor's folders stay, empty or not, and a listed folder with a file of
# the vendor in it. The run then stops at the build (the repository has no sources).
cp -R "$repo" "$work/stub"
printf '#!/bin/sh\n' >"$work/stub/scripts/install-deps.sh"
git -C "$work/stub" -c user.name=test -c user.email=test@example.com add -A
git -C "$work/stub" -c user.name=test -c user.email=test@example.com commit -qm stub
earlier=$work/earlier
mkdir -p "$earlier/unsigned" "$earlier/winget/manifests/q/QUVO/PkgMgr/1.0" "$earlier/winget/manifests/q/Vendor" \
    "$earlier/empty of the vendor" "$earlier/kept"
touch "$earlier/unsigned/setup.exe" "$earlier/winget/manifests/q/QUVO/PkgMgr/1.0/QUVO.PkgMgr.yaml" "$earlier/BUILDINFO"
echo "the vendor's notes" >"$earlier/kept/notes.txt"
printf '%s\n' unsigned/setup.exe winget/manifests/q/QUVO/PkgMgr/1.0/QUVO.PkgMgr.yaml BUILDINFO unsigned/ winget/ \
    winget/manifests/ winget/manifests/q/ winget/manifests/q/QUVO/ winget/manifests/q/QUVO/PkgMgr/ \
    winget/manifests/q/QUVO/PkgMgr/1.0/ kept/ >"$earlier/.made-by-release-sh"
(cd "$work/stub" && bash scripts/release.sh --out "$earlier" --build-dir "$work/stub-build") >/dev/null 2>&1
left=$(cd "$earlier" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
expected="./empty of the vendor ./kept ./kept/notes.txt ./unsigned ./winget ./winget/manifests ./winget/manifests/q \
./winget/manifests/q/Vendor "
# unsigned/ is made again for the new release right after the clean-up.
if [ "$left" = "$expected" ]; then
    echo "ok   the clean-up deletes only what the marker lists"
else
    echo "FAIL the clean-up left: $left"
    failures=$((failures + 1))
fi

echo "a change not committed" >"$repo/scripts/notes.txt"
expect_refusal "uncommitted changes" "not a clean commit (modified" "$repo"
expect_refusal "--allow-dirty does not lift the folder check" "is not empty" "$repo" --allow-dirty --out "$work/full"
plain=$work/plain
mkdir -p "$plain/scripts"
cp "$source_dir/scripts/release.sh" "$plain/scripts/"
expect_refusal "a tree outside git" "not a clean commit (no git checkout)" "$plain"

[ "$failures" -eq 0 ]
