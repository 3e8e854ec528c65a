# Sourced: a 32-bit Wine prefix of the project's own, made on first use.
export WINEARCH=win32
export WINEPREFIX="${WARDENIX_WINEPREFIX:-$PWD/build/wineprefix}"
export WINEDEBUG=-all
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
