# The Wine environment of every Windows program the project runs; sourced by lib.sh and
# by the build's wine-run. Needs VINDREL_BUILD. The prefix is the build's own 32-bit
# one, never ~/.wine.
export WINEARCH=win32
export WINEPREFIX="$VINDREL_BUILD/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers (nothing can be downloaded), no desktop menus.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
