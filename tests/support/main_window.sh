# Sourced by the scenario scripts: finds Voltina's main window on $DISPLAY.
#
# Where no MIDI system can be reached, Voltina says "Impossible to find MIDI input" in a box captioned
# like the main window before the window shows; a user answers it, and so does this.
#   main_window SECONDS   prints the main window's id, or nothing when none showed in time
#   panel_top WINDOW      prints the y in the window of the 639 x 442 panel's top (the menu bar's height)
main_window() {
    local deadline=$(( $(date +%s) + $1 )) w HEIGHT WIDTH X Y SCREEN WINDOW
    while [ "$(date +%s)" -lt "$deadline" ]; do
        for w in $(xdotool search --onlyvisible --name '^Voltina 3\.10$' 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$w")"
            if [ "$HEIGHT" -lt 300 ]; then
                xdotool windowfocus --sync "$w" key Return 2>/dev/null
            else
                echo "$w"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

panel_top() {
    local height
    height=$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p')
    echo $((height - 442))
}
