#!/bin/sh
# Runs a Windows program under Wine the way every test does: the build
# tree's own prefix, no debug chatter, no desktop entries, no Mono/Gecko prompts.
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
exec wine "$@"
