#!/usr/bin/env bash
# Lays out a sample setup folder: setup.exe beside the twelve files it installs
# and its setup data.
#
#   make-sample-package.sh BINDIR OUTDIR [settings|descriptor]
#
# BINDIR holds the built setup.exe, PkgMgr.exe and the unicows.dll stand-in. "settings" (the default) writes
# the release file PkgMgr.zem; "descriptor" writes the XML descriptor QUVOZEM.xml
# instead. The output is the same bytes on every run.
set -euo pipefail

bin=${1:?usage: make-sample-package.sh BINDIR OUTDIR [settings|descriptor]}
out=${2:?usage: make-sample-package.sh BINDIR OUTDIR [settings|descriptor]}
mode=${3:-settings}

mkdir -p "$out"
rm -f "$out"/*
cp "$bin/setup.exe" "$out/setup.exe"
cp "$bin/PkgMgr.exe" "$out/PkgMgr"   # installed as PkgMgr.exe

crlf() { sed 's/$/\r/'; }

crlf >"$out/ZemSetup.dat" <<'INI'
[INIT]
TARGET=PkgMgr
GROUP=%GROUP%
DEFAULTSEARCH=C:\PkgMgr Downloads
DOWNLOAD=\DRIVERS;\PkgMgr Drivers

[RADAR]
FILE=radar.dat

[STRINGS]
GROUP=Package Manager

[STRINGS.0007]
GROUP=Paketverwaltung
INI

case $mode in
settings)
    crlf >"$out/PkgMgr.zem" <<'INI'
[RELEASE]
NAME=Package Manager
VERSION=1.03.0000

[ZEM]
XRELEASE=1
INI
    ;;
descriptor)
    crlf >"$out/QUVOZEM.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<build>
  <zem id="PKGMGR">
    <xrelease>
      <release id="RELEASE">
        <title>Package Manager</title>
        <version>1.03.0000</version>
        <setup form="standard" success="0">setup.exe</setup>
      </release>
    </xrelease>
  </zem>
</build>
XML
    ;;
*)
    echo "make-sample-package.sh: unknown mode $mode" >&2
    exit 2
    ;;
esac

# The other files only need to exist and be distinct; a few kilobytes each.
for name in ZemSetup.dll ZEMSYSID.sys ZEMSYSID.vxd zemliba.dll zemlibb.dll unicows.dll \
    ZEMNTDEV.sys ZemFlash.dll; do
    for i in $(seq 64); do printf '%s sample payload line %03d\r\n' "$name" "$i"; done >"$out/$name"
done
# Under Windows 9x the setup loads "unicows.dll" from its folder: use the build's stand-in.
if [ -f "$bin/unicows.dll" ]; then cp "$bin/unicows.dll" "$out/unicows.dll"; fi
touch -d '2004-01-01 00:00:00 UTC' "$out"/*
echo "sample package ($mode mode): $out"
