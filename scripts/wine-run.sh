#!/bin/sh
# Runs a Windows program under Wine the way every test does: the build
# tree's own prefix, no debug chatter, no desktop entries, no Mono/Gecko
# prompts. Its output goes through a file: Wine processes that the program
# starts may outlive it and would keep a pipe to CTest open.
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
out=$(mktemp "${TMPDIR:-/tmp}/qdx-wine-run.XXXXXX") || exit 1
wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
