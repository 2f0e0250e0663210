#!/bin/sh
# Gives a fresh Wine prefix ($WINEPREFIX) a font for every script: Debian's
# WenQuanYi Micro Hei (fonts-wqy-microhei, CJK and more) in its Fonts folder,
# linked behind the faces the programs draw with, as Windows links its shell
# dialog fonts to its CJK fonts. Without it Wine draws CJK call signs as boxes.
#   sh scripts/wine-fonts.sh WINE_LOADER
set -eu
wine=$1
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
if [ ! -f "$font" ]; then
    echo "wine-fonts.sh: $font is missing (install fonts-wqy-microhei); CJK text shows as boxes" >&2
    exit 0
fi
cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" "Arial" \
    "Courier New"; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1
done
