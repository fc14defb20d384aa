#!/usr/bin/env bash
# Makes the Wine prefix WINEPREFIX ready for the tests: creates it when it is
# not there yet (about 20 s), and maps the fonts the dialog draws with onto
# WenQuanYi Zen Hei (fonts-wqy-zenhei), so that its Chinese texts render
# rather than as boxes: "System" is the template's font, and Tahoma is where
# the title bar's and the message box's font ends up ("MS Shell Dlg",
# substituted to Tahoma). A replacement only takes a name Wine has no font
# for; Debian's Wine without its fonts package has neither.
#   wineprefix.sh WINE
set -euo pipefail
wine=$1
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i
for face in System Tahoma; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "WenQuanYi Zen Hei" /f >/dev/null
done
