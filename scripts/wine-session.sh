# Sourced by the run and test scripts: a private Wine prefix and, when there
# is no display, a private virtual X display, both removed again on exit.
#   wine_session_start [prefix-dir]   (a temporary prefix when none is given;
#                                      WINE_SESSION_NO_BOOT=1: a new prefix is
#                                      left for the first program to make)
#   wine_session_stop                 (also run by the EXIT trap)
#   wine_session_language xx_YY       (Wine's programs in that language)

wine_session_stop() {
    if [[ -n ${WINEPREFIX:-} && -d ${WINEPREFIX:-} ]]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [[ -n ${WINE_SESSION_XVFB_PID:-} ]]; then
        kill "$WINE_SESSION_XVFB_PID" >/dev/null 2>&1 || true
        wait "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
        WINE_SESSION_XVFB_PID=""
    fi
    if [[ -n ${WINE_SESSION_TEMP_PREFIX:-} ]]; then
        rm -rf "$WINE_SESSION_TEMP_PREFIX"
        WINE_SESSION_TEMP_PREFIX=""
    fi
}

# Xvfb picks a free display number itself and reports it when it is ready.
# The screen holds the centred dialog and, below it, the stand-in.
wine_session_start_display() {
    local fifo_dir display=""
    fifo_dir=$(mktemp -d /tmp/tempova-xvfb.XXXXXX)
    mkfifo "$fifo_dir/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo_dir/display" >/dev/null 2>&1 &
    WINE_SESSION_XVFB_PID=$!
    read -r -t 20 display <"$fifo_dir/display" || true
    rm -rf "$fifo_dir"
    if [[ -z $display ]]; then
        echo "wine-session: could not start Xvfb" >&2
        return 1
    fi
    export DISPLAY=":$display"
}

# Wine's own fonts: Marlett (the glyphs of the caption buttons), Tahoma (the
# dialog font) and the bitmap system fonts. This Wine build looks for them in
# "<data folder>\../fonts", a path that never resolves, so without these
# links in the prefix's Fonts folder the close button shows the letter "r".
wine_session_link_fonts() {
    local fonts=/usr/share/wine/fonts folder=$WINEPREFIX/drive_c/windows/Fonts
    [[ -d $fonts && -d $folder ]] || return 0
    ln -sf "$fonts"/* "$folder"/
}

# Wine's programs take their UI language from LANG when the locale exists:
# the locale is made once into $build/locales, without a package.
wine_session_language() {
    local locale=$1 folder=$build/locales
    if [[ ! -d $folder/$locale.UTF-8 ]]; then
        mkdir -p "$folder"
        localedef -i "$locale" -f UTF-8 "$folder/$locale.UTF-8" >/dev/null 2>&1 || true
    fi
    if [[ ! -d $folder/$locale.UTF-8 ]]; then
        echo "wine-session: no locale $locale (see /usr/share/i18n/locales)" >&2
        return 1
    fi
    export LOCPATH=$folder LANG=$locale.UTF-8
}

# Japanese and Chinese letters: Wine's dialog fonts are "MS UI Gothic" and
# "SimSun" in those languages, and Tahoma borrows their letters elsewhere;
# Debian's WenQuanYi Micro Hei, which has Latin and Cyrillic letters too,
# stands for both. The title bars' font is Tahoma Bold (the caption font
# "MS Shell Dlg" in a program of the UTF-8 or a Western code page), which
# Wine links to other fonts only by its full name, not Tahoma's: without a
# link of its own, a Japanese or Chinese title shows boxes.
wine_session_cjk_fonts() {
    grep -q '"Tahoma Bold"=' "$WINEPREFIX/system.reg" 2>/dev/null && return 0
    local font
    for font in 'MS UI Gothic' SimSun; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" \
            /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    done
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v 'Tahoma Bold' /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
    wineserver -w
}

wine_session_start() {
    export WINEDEBUG=-all
    export WINEARCH=win64
    trap wine_session_stop EXIT
    trap 'exit 130' INT TERM
    if [[ -n ${1:-} ]]; then
        export WINEPREFIX=$1
    else
        WINE_SESSION_TEMP_PREFIX=$(mktemp -d /tmp/tempova-wine.XXXXXX)
        export WINEPREFIX=$WINE_SESSION_TEMP_PREFIX
    fi
    if [[ -z ${DISPLAY:-} || ${WINE_SESSION_OWN_DISPLAY:-0} == 1 ]]; then
        wine_session_start_display
    fi
    if [[ ! -f $WINEPREFIX/system.reg && ${WINE_SESSION_NO_BOOT:-0} != 1 ]]; then
        echo "wine-session: preparing a Wine prefix in $WINEPREFIX (first start takes a while)" >&2
        # No Mono or Gecko downloads: nothing here needs them.
        WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i >/dev/null 2>&1
        # No crash dialog that would hang a test; dialogs close at once
        # without a window manager.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
    fi
    wine_session_link_fonts
    wine_session_cjk_fonts
}
