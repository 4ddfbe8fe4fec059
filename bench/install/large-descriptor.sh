#!/usr/bin/env bash
# Writes a descriptor (QUVOZEM.xml) of exactly BYTES bytes (default 1 MiB) that
# holds the sample package's release, buried behind padding that every lookup
# has to walk past: other products before the package manager's "zem", other
# releases before its "RELEASE", and other elements before "title" and
# "version" inside it. The values an installation reads stay those of the
# sample package. The output is the same bytes on every run.
#
#   large-descriptor.sh FILE [BYTES]
set -euo pipefail

out=${1:?usage: large-descriptor.sh FILE [BYTES]}
bytes=${2:-1048576}

awk -v total="$bytes" '
function emit(s) { print s; size += length(s) + 1 }
BEGIN {
    # A third of the room for each kind of padding, in blocks of 150 to 350
    # bytes; a closing comment makes up the last bytes exactly.
    share = int((total - 2000) / 3)
    emit("<?xml version=\"1.0\" encoding=\"UTF-8\"?>")
    emit("<build>")
    for (i = 1; size < share; i++) {
        id = sprintf("%05d", i)
        emit("  <zem id=\"OTHER" id "\">")
        emit("    <xrelease>")
        emit("      <release id=\"RELEASE\">")
        emit("        <title>Other product " id "</title>")
        emit("        <version>2.00." sprintf("%04d", i % 10000) "</version>")
        emit("        <setup form=\"standard\" success=\"0\">setup.exe</setup>")
        emit("        <dependency id=\"ZEM\">PKGMGR</dependency>")
        emit("      </release>")
        emit("    </xrelease>")
        emit("  </zem>")
    }
    emit("  <zem id=\"PKGMGR\">")
    emit("    <device>Package manager</device>")
    emit("    <xrelease>")
    for (i = 1; size < 2 * share; i++) {
        id = sprintf("%05d", i)
        emit("      <release id=\"R" id "\">")
        emit("        <title>Package Manager, older release " id "</title>")
        emit("        <version>1.02." sprintf("%04d", i % 10000) "</version>")
        emit("        <setup form=\"standard\" success=\"0\">setup.exe</setup>")
        emit("        <os id=\"NT\">yes</os>")
        emit("      </release>")
    }
    emit("      <release id=\"RELEASE\">")
    for (i = 1; size < 3 * share; i++) {
        id = sprintf("%05d", i)
        emit("        <note id=\"N" id "\" lang=\"0409\">Release note " id \
             " of the package manager; no lookup of an installation selects it.</note>")
        emit("        <os id=\"OS" id "\">no</os>")
    }
    emit("        <title>Package Manager</title>")
    emit("        <version>1.03.0000</version>")
    emit("        <setup form=\"standard\" success=\"0\">setup.exe</setup>")
    emit("      </release>")
    emit("    </xrelease>")
    emit("  </zem>")
    tail = "</build>"
    fill = total - size - length(tail) - 1 - length("  <!--  -->") - 1
    if (fill < 0) { print "large-descriptor.sh: " total " bytes are too few" > "/dev/stderr"; exit 1 }
    pad = ""
    while (length(pad) < fill) pad = pad "padding "
    emit("  <!-- " substr(pad, 1, fill) " -->")
    emit(tail)
}' >"$out"

actual=$(stat -c %s "$out")
[ "$actual" -eq "$bytes" ] || { echo "large-descriptor.sh: wrote $actual bytes, not $bytes" >&2; exit 1; }
