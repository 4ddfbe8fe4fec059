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
    output=$("$check" "$work/$folder" $options 2>&1)
    status=$?
    if [ "$status" != "$code" ] || ! grep -qF -- "$expected" <<<"$output"; then
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
TABLE

# The JSON document parses.
layout descriptor : json
if ! "$check" "$work/json" --all-languages --json | python3 -c 'import json, sys; json.load(sys.stdin)'; then
    echo "FAIL --json does not print one JSON document"
    failures=$((failures + 1))
fi
# A folder that is not there.
"$check" "$work/nowhere" >/dev/null 2>&1
[ $? -eq 3 ] || { echo "FAIL a missing folder does not give exit code 3"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ]
