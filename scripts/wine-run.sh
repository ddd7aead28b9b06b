#!/bin/sh
# Runs a Windows program under Wine the way every test does: the build
# tree's own prefix, no debug chatter, no desktop entries, no Mono/Gecko
# prompts. Its output goes through a file: Wine processes that the program
# starts may outlive it and would keep a pipe to CTest open. With
# QDX_RUN_LOCK set, it runs only while it holds that lock file.
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
out=$(mktemp "${TMPDIR:-/tmp}/qdx-wine-run.XXXXXX") || exit 1
if [ -n "${QDX_RUN_LOCK:-}" ]; then
  flock -o "$QDX_RUN_LOCK" wine "$@" </dev/null >"$out" 2>&1
else
  wine "$@" </dev/null >"$out" 2>&1
fi
status=$?
cat "$out"
rm -f "$out"
exit $status
