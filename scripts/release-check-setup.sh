# What check-release.sh and check-msi.sh both start with (sourced, from the checkout's
# root): a work folder that goes at the end, with the Wine session kept in it stopped
# first; `result NAME STATUS`, which prints "ok NAME" or "FAIL NAME" and counts the
# failures; the working tree's files (changes not yet committed included, so
# --allow-dirty) in two folders whose paths differ in length and depth, $first and
# $second; and the sample package as the release folder, $package, without a setup.exe
# of its own (the release puts the signed one in).
source_dir=$PWD
work=$(mktemp -d)
trap '[ -z "${PKGMGR_WINE_ROOT:-}" ] || tests/wine/session.sh stop >/dev/null 2>&1; rm -rf "$work"' EXIT
failures=0
result() {  # name status
    if [ "$2" -eq 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
first=$work/a/src second=$work/another/folder/deeper/pkgmgr
for tree in "$first" "$second"; do
    mkdir -p "$tree"
    git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$tree"
done
package=$work/release-folder
tools/make-sample-package.sh build/windows-x86/bin "$package" settings >/dev/null
rm "$package/setup.exe"
