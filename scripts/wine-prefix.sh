# Sourced by the scripts that run Windows builds under Wine.
# wine_fresh_prefix DIR: one fresh prefix per run, made before the first program starts (a
# program started while the prefix is still being set up can fail silently), with Wine's
# background processes started here rather than with a test's output pipe open. The prefix
# goes again when the script exits.

wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}

wine_fresh_prefix() {
  if ! command -v wine >/dev/null; then
    echo "wine is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  trap wine_stop EXIT
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  (wineserver -p && wine cmd /c exit) </dev/null >/dev/null 2>&1
}
