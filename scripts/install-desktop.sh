#!/usr/bin/env bash
# Installs the player for one user, or removes its launcher and icon.
#   scripts/install-desktop.sh install   BUILD DESTDIR PREFIX DATA_HOME
#   scripts/install-desktop.sh uninstall BUILD DESTDIR PREFIX DATA_HOME
# install copies the program folder's shipped files (executable, audio
# library, language files, keys.xml, help, skins) from BUILD/program to
# DESTDIR/PREFIX, writes the launcher vesperon.desktop (working directory
# PREFIX, where the player keeps its settings and log) to
# DESTDIR/DATA_HOME/applications and the program icon to the hicolor theme
# under DESTDIR/DATA_HOME/icons. uninstall removes the launcher and the
# icons; the program folder is removed by the program's own --uninstall.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=${1:?action}
build=${2:?build folder}
destdir=${3-}
prefix=${4:?prefix}
data_home=${5:?data home}
apps="$destdir$data_home/applications"
icons="$destdir$data_home/icons/hicolor"
icon_sizes="16 22 24 32 48 64 128 256"

# A value for the launcher's Exec key: quoted when it holds a character the
# desktop-entry format reserves, then escaped as any string value is.
exec_value() {
  local value=$1
  if [[ $value =~ [[:space:]\"\'\\\>\<~\|\&\;\$\*\?#\(\)\`] ]]; then
    value=${value//\\/\\\\}; value=${value//\"/\\\"}; value=${value//\`/\\\`}; value=${value//\$/\\\$}
    value="\"$value\""
  fi
  value=${value//%/%%}
  printf '%s' "${value//\\/\\\\}"
}

# A plain string value (Path): only backslashes are escaped.
string_value() { printf '%s' "${1//\\/\\\\}"; }

# The folder the build wrote the icon's PNGs to (CMake cache entry, else
# the build's default place).
icon_dir() {
  local dir
  dir=$(sed -n 's/^VESPERON_ICON_DIR:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null | head -n 1)
  printf '%s' "${dir:-$build/resources/art/icon}"
}

install_all() {
  local program="$build/program" target="$destdir$prefix"
  [ -x "$program/vesperon" ] || { echo "install: $program/vesperon is not built" >&2; exit 1; }
  mkdir -p "$target"
  for item in vesperon fmodex.so german.xml english.xml keys.xml help skins; do
    [ -e "$program/$item" ] && cp -R "$program/$item" "$target/"
  done
  mkdir -p "$apps"
  local exec path
  exec=$(exec_value "$prefix/vesperon")
  path=$(string_value "$prefix")
  local line
  while IFS= read -r line; do
    line=${line/@EXEC@/"$exec"}
    printf '%s\n' "${line/@PATH@/"$path"}"
  done < "$here/../resources/desktop/vesperon.desktop.in" > "$apps/vesperon.desktop"
  local from size
  from=$(icon_dir)
  for size in $icon_sizes; do
    if [ -n "$from" ] && [ -f "$from/vesperon-$size.png" ]; then
      mkdir -p "$icons/${size}x${size}/apps"
      cp "$from/vesperon-$size.png" "$icons/${size}x${size}/apps/vesperon.png"
    fi
  done
  refresh_caches
  echo "installed $target, $apps/vesperon.desktop"
}

uninstall_launcher() {
  rm -f "$apps/vesperon.desktop"
  local size
  for size in $icon_sizes; do rm -f "$icons/${size}x${size}/apps/vesperon.png"; done
  refresh_caches
  echo "removed the launcher and the icons (the program folder stays: vesperon --uninstall removes it)"
}

# The desktop's menu and icon caches, for a real installation only.
refresh_caches() {
  [ -z "$destdir" ] || return 0
  command -v update-desktop-database >/dev/null && update-desktop-database -q "$apps" 2>/dev/null || true
  command -v gtk-update-icon-cache >/dev/null && [ -f "$icons/index.theme" ] &&
    gtk-update-icon-cache -q -t "$icons" 2>/dev/null || true
}

case $action in
  install) install_all ;;
  uninstall) uninstall_launcher ;;
  *) echo "usage: $0 install|uninstall BUILD DESTDIR PREFIX DATA_HOME" >&2; exit 2 ;;
esac
