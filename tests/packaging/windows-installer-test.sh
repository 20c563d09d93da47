#!/usr/bin/env bash
# The Windows installer under Wine, in the Wine session of the Windows tests:
#   windows-installer-test.sh PREFIX install INSTALLER   silent install; the
#                                                        programs and Start-menu
#                                                        entries are in place
#   windows-installer-test.sh PREFIX uninstall           silent uninstall; none
#                                                        of it is left
set -euo pipefail
prefix="$1" command="$2"
session="$(dirname "$0")/../../scripts/wine-session.sh"
folder="$prefix/drive_c/Program Files/Quenbar"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quenbar"
installed=("$folder/quenbar-cli.exe" "$folder/Uninstall.exe" "$folder/licenses/RtAudio.txt" "$folder/licenses/KissFFT.txt"
  "$menu/Quenbar Remote.lnk" "$menu/Quenbar Command Line.lnk" "$menu/Uninstall.lnk")
fail() { echo "FAIL: $*" >&2; exit 1; }

# The uninstaller runs a copy of itself and returns at once: its work is
# waited for.
await_gone() {
  for _ in $(seq 120); do
    [ -e "$folder" ] || [ -e "$menu" ] || return 0
    sleep 0.5
  done
  fail "left after the uninstall: $(find "$folder" "$menu" 2>/dev/null | tr '\n' ' ')"
}

case "$command" in
  install)
    installer="$3"
    echo "$(basename "$installer"): $(stat -c %s "$installer") bytes"
    "$session" "$prefix" run "$installer" /S
    for path in "${installed[@]}"; do [ -e "$path" ] || fail "not installed: $path"; done
    # The shortcut's command line is kept in UTF-16 in the .lnk file.
    strings -e l "$menu/Quenbar Remote.lnk" | grep -qF '/k ""C:\Program Files\Quenbar\quenbar-cli.exe" serve --open"' ||
      fail "Quenbar Remote does not start the installed quenbar-cli.exe serve --open"
    "$session" "$prefix" run "$folder/quenbar-cli.exe" --version | grep -q "^quenbar-cli " ||
      fail "the installed quenbar-cli.exe does not answer --version"
    echo "installed: ${installed[*]}"
    ;;
  uninstall)
    [ -e "$folder/Uninstall.exe" ] || fail "nothing installed to uninstall"
    "$session" "$prefix" run "$folder/Uninstall.exe" /S
    await_gone
    echo "uninstalled: nothing left in Program Files or the Start menu"
    ;;
  *) echo "usage: $0 PREFIX install INSTALLER | PREFIX uninstall" >&2; exit 2 ;;
esac
