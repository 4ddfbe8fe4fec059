#!/usr/bin/env bash
# The release-folder checker built for this system, on the guide's examples and on
# broken copies of them: its verdict, result code and the place it names.
#
#   host_check.sh SETUPCHECK SOURCE_DIR
set -uo pipefail
check=${1:?usage: host_check.sh SETUPCHECK SOURCE_DIR}
source_dir=${2:?usage: host_check.sh SETUPCHECK SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A copy of the guide's example MODE with the files it installs, changed by SCRIPT.
layout() {
    local mode=$1 script=$2 folder=$work/$3
    mkdir -p "$folder"
    cp "$source_dir/docs/examples/$mode"/* "$folder"/
    local file
    for file in setup.exe PkgMgr ZemSetup.dll ZEMSYSID.sys ZEMSYSID.vxd zemliba.dll zemlibb.dll \
        unicows.dll ZEMNTDEV.sys ZemFlash.dll; do
        echo "$file" >"$folder/$file"
    done
    (cd "$folder" && eval "$script")
}

# name | mode | change | options | exit code | text the output must hold
while IFS='|' read -r name mode change options code expected; do
    [ -n "$name" ] || continue
    folder=$(echo "$name" | tr ' ' '_')
    layout "$mode" "$change" "$folder"
    # Whatever the folder holds, the check ends, and no byte of it reaches the terminal raw.
    output=$(timeout 60 "$check" "$work/$folder" $options 2>&1)
    status=$?
    if [ "$status" != "$code" ] || ! grep -aqF -- "$expected" <<<"$output" || grep -aq $'\x1b' <<<"$output"; then
        echo "FAIL $name: exit $status (want $code), want \"$expected\" in:"
        sed 's/^/    /' <<<"$output"
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
done <<'TABLE'
settings example, all languages|settings|:|--all-languages|0|language: 0404
descriptor example in German|descriptor|:|--language 0407|0|release: Veltrano Paketverwaltung, version 1.04.0000
no setup data|settings|rm ZemSetup.dat|--language 0409|2|setup data file not found
descriptor cut short|descriptor|sed -i 's#</title>#<title>#' QUVOZEM.xml|--language 0409|2|QUVOZEM.xml:10:7
group with a forward slash|settings|sed -i 's#^GROUP=.*#GROUP=Tools/Extra#' ZemSetup.dat|--language 0409|2|ZemSetup.dat:4 ([INIT] GROUP)
group text with a device name|settings|sed -i 's#^GROUP=Veltrano Package Manager.*#GROUP=CON#' ZemSetup.dat|--language 0409|2|ZemSetup.dat:12 ([INIT] GROUP)
file missing|settings|rm zemliba.dll|--language 0409|2|result: 0009
target outside the program files|settings|sed -i 's#^TARGET=.*#TARGET=..\\Elsewhere#' ZemSetup.dat|--language 0409|1|ZemSetup.dat:3 ([INIT] TARGET)
untranslated reference|settings|printf '[STRINGS.0006]\r\nOTHER=x\r\n' >>ZemSetup.dat|--language 0406|1|%GROUP% is taken from [STRINGS]: [STRINGS.0006] has no GROUP
version of one language|settings|sed -i 's#^VERSION=.*#VERSION=%VERSION%#; s#^TITLE=.*#&\r\nVERSION=1.04.0000#' PkgMgr.zem; printf '[STRINGS.0411]\r\nVERSION=1.05.0000\r\n' >>PkgMgr.zem|--all-languages|1|the version differs from the other languages' ("1.04.0000")
version not x.yy.zzzz|descriptor|sed -i 's#1.04.0000#1.4#' QUVOZEM.xml|--language 0409|1|the version is not of the form x.yy.zzzz
JSON document|descriptor|:|--all-languages --json|0|"exitCode": 0
link out of the folder|settings|rm ZemSetup.dat; ln -s /etc/passwd ZemSetup.dat|--language 0409|2|ZemSetup.dat is not read: it is a link that leads out of the release folder
link to /dev/zero|settings|rm PkgMgr.zem; ln -s /dev/zero PkgMgr.zem|--language 0409|2|PkgMgr.zem is not read: it is a link that leads out of the release folder
FIFO|settings|rm ZemSetup.dat; mkfifo ZemSetup.dat|--language 0409|2|ZemSetup.dat is not read: it is no regular file
100 MB file|descriptor|truncate -s 100M QUVOZEM.xml|--language 0409|2|QUVOZEM.xml is not read: it is larger than any setup data (more than 16 MB): 104857600 bytes
foreign descriptor beside a release file|settings|ln -s /dev/zero QUVOZEM.xml|--language 0409|0|result: 0000
setup data named in other letter case|settings|mv ZemSetup.dat zemsetup.DAT; mv PkgMgr.zem PKGMGR.ZEM|--language 0409|0|result: 0000
link inside the folder|settings|mv ZemSetup.dat settings.ini; ln -s settings.ini ZemSetup.dat|--language 0409|0|result: 0000
control characters in values|settings|sed -i 's#^VERSION=.*#VERSION=1.04.0000\x1b[1A\x1b[2K\x1b[8m#' PkgMgr.zem|--language 0409|1|version 1.04.0000\x1B[1A\x1B[2K\x1B[8m
group two folders deep|settings|sed -i 's#^GROUP=.*#GROUP=Tools\\Extra#' ZemSetup.dat|--language 0409|2|Programs\Tools, which a fresh Windows does not have
group on a file of the Windows folder|settings|sed -i 's#^GROUP=.*#GROUP=\\..\\..\\..\\..\\..\\..\\WINDOWS\\win.ini#' ZemSetup.dat|--language 0409|2|error (000B): the menu folder is a file
group in a file of the system folder|settings|sed -i 's#^GROUP=.*#GROUP=\\..\\..\\..\\..\\..\\..\\WINDOWS\\system32\\kernel32.dll\\Extra#' ZemSetup.dat|--language 0409|2|error (000B): the menu folder lies in a file
group in a folder of the Windows folder|settings|sed -i 's#^GROUP=.*#GROUP=\\..\\..\\..\\..\\..\\..\\WINDOWS\\Fonts\\Extra#' ZemSetup.dat|--language 0409|1|result: 0000
group in the menu's Accessories|settings|sed -i 's#^GROUP=.*#GROUP=Accessories\\Extra#' ZemSetup.dat|--language 0409|0|result: 0000
group in the program files' Common Files|settings|sed -i 's#^GROUP=.*#GROUP=X\\..\\..\\..\\..\\..\\..\\Program Files\\Common Files\\Extra#' ZemSetup.dat|--language 0409|1|result: 0000
target on a file of the Windows folder|settings|sed -i 's#^TARGET=.*#TARGET=..\\..\\WINDOWS\\system.ini#' ZemSetup.dat|--language 0409|2|error (0009): the program folder is a file
target in a program's file|settings|sed -i 's#^TARGET=.*#TARGET=Internet Explorer\\iexplore.exe\\Veltrano#' ZemSetup.dat|--language 0409|2|error (0009): the program folder lies in a file
group a folder and back|settings|sed -i 's#^GROUP=.*#GROUP=Tools\\.\\Extra\\..#' ZemSetup.dat|--language 0409|0|result: 0000
group from the Start menu down|settings|sed -i 's#^GROUP=.*#GROUP=\\Programs\\Extra#' ZemSetup.dat|--language 0409|0|menu folder: C:\Documents and Settings\All Users\Start Menu\Programs\Extra
settings file in UTF-16|settings|iconv -f UTF-8 -t UTF-16LE ZemSetup.dat >u && { printf '\xff\xfe'; cat u; } >ZemSetup.dat|--language 0407|1|menu folder: C:\Documents and Settings\All Users\Start Menu\Programs\Veltrano Paketverwaltung
settings file in UTF-16 on Windows 98|settings|iconv -f UTF-8 -t UTF-16LE ZemSetup.dat >u && { printf '\xff\xfe'; cat u; } >ZemSetup.dat|--language 0409|1|Windows 98 and Me read no UTF-16 profile file
settings file in UTF-16 big-endian|settings|iconv -f UTF-8 -t UTF-16BE ZemSetup.dat >u && { printf '\xfe\xff'; cat u; } >ZemSetup.dat|--language 0409|1|ZemSetup.dat is UTF-16 big-endian
settings file with a UTF-8 mark|settings|{ printf '\xef\xbb\xbf'; cat ZemSetup.dat; } >u; mv u ZemSetup.dat|--language 0409|1|ZemSetup.dat begins with a UTF-8 byte-order mark
source file that is a folder|settings|rm zemliba.dll; mkdir zemliba.dll|--language 0409|1|zemliba.dll is a folder: it is installed as a folder with all it holds
empty source file|settings|: >zemliba.dll|--language 0409|1|zemliba.dll is empty
source file in other letter case|settings|mv zemliba.dll ZEMLIBA.DLL|--language 0409|0|result: 0000
every error listed|settings|sed -i 's#^GROUP=.*#GROUP=Tools/Extra#' ZemSetup.dat; rm zemlibb.dll|--language 0409|2|error (0009): source file missing
a bad name hides no folder error|settings|sed -i 's#^NAME=.*#NAME=CON#' PkgMgr.zem; sed -i 's#^GROUP=.*#GROUP=Tools/Extra#' ZemSetup.dat|--language 0409|2|ZemSetup.dat:4 ([INIT] GROUP)
code page named|settings|:|--language 0409|0|code page: 1252
folder name with a bar byte in 1252|settings|sed -i 's#^TARGET=.*#TARGET=\x83\x7C#' ZemSetup.dat|--language 0409|2|error (0008): the program folder is not a full path
folder name with a bar byte in 932|settings|sed -i 's#^TARGET=.*#TARGET=\x83\x7C#' ZemSetup.dat|--language 0411 --code-page 932|0|code page: 932
unknown code page|settings|:|--code-page 437|3|usage:
TABLE

# The JSON document parses.
layout descriptor : json
if ! "$check" "$work/json" --all-languages --json | python3 -c 'import json, sys; json.load(sys.stdin)'; then
    echo "FAIL --json does not print one JSON document"
    failures=$((failures + 1))
fi
# The result on a fresh Windows, and whether another machine may end otherwise.
layout settings "sed -i 's#^GROUP=.*#GROUP=Tools\\\\Extra#' ZemSetup.dat" two-deep
layout settings "sed -i 's#^GROUP=.*#GROUP=Tools\\\\Extra#' ZemSetup.dat; rm zemliba.dll" two-deep-missing
for case in "json 0000 False" "two-deep 000B True" "two-deep-missing 0009 False"; do
    set -- $case
    report=$("$check" "$work/$1" --json)
    python3 -c '
import json, sys
d = json.load(sys.stdin)["languages"][0]
assert (d["result"], d["resultDependsOnMachine"]) == (sys.argv[1], sys.argv[2] == "True"), d' "$2" "$3" <<<"$report" ||
        { echo "FAIL the JSON result of $1"; failures=$((failures + 1)); }
done
# Names of this system stay as they are; values are converted from the code page.
layout settings "sed -i 's#^TARGET=.*#TARGET=Caf\xe9#' ZemSetup.dat" café
if ! "$check" "$work/café" --json | python3 -c '
import json, sys
d = json.load(sys.stdin)
assert d["folder"].endswith("/café"), d["folder"]
assert d["languages"][0]["programFolder"].endswith("\\Café"), d["languages"][0]["programFolder"]'; then
    echo "FAIL names in the JSON document"
    failures=$((failures + 1))
fi
# A folder that cannot be read, for a user who may not read it.
mkdir -m 0 "$work/locked"
chmod 755 "$work"
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$check" "$work/locked" >/dev/null 2>&1
    [ $? -eq 3 ] || { echo "FAIL a folder that cannot be read does not give exit code 3"; failures=$((failures + 1)); }
elif [ "$(id -u)" != 0 ]; then
    "$check" "$work/locked" >/dev/null 2>&1
    [ $? -eq 3 ] || { echo "FAIL a folder that cannot be read does not give exit code 3"; failures=$((failures + 1)); }
fi
# A folder that is not there.
"$check" "$work/nowhere" >/dev/null 2>&1
[ $? -eq 3 ] || { echo "FAIL a missing folder does not give exit code 3"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ]
