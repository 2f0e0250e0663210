#!/bin/sh
# Prints the Debian archive this machine's apt takes its packages from (the
# first "deb" entry for the release itself, not its security or updates
# suites), as apt's sources list it, in either format. The scripts use it
# instead of naming a mirror of their own, so that a machine behind its own
# mirror or proxy keeps using it.
#
#   sh scripts/debian-mirror.sh [SOURCES_DIR]    (default: /etc/apt)
#
# Exits 1 with a message when no such entry is found.
set -eu
etc=${1:-/etc/apt}
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
codename=${codename:-bookworm}

files=""
[ -f "$etc/sources.list" ] && files="$etc/sources.list"
for f in "$etc"/sources.list.d/*.list "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] && files="$files $f"
done

mirror=""
if [ -n "$files" ]; then
    # shellcheck disable=SC2086
    mirror=$(awk -v release="$codename" '
        function take(uri) { if (found == "") found = uri }
        function has(list, word,    n, parts, i) {
            n = split(list, parts, /[ \t]+/)
            for (i = 1; i <= n; i++) if (parts[i] == word) return 1
            return 0
        }
        function stanza_end() {
            if (has(types, "deb") && has(suites, release) && uris != "") {
                split(uris, u, /[ \t]+/)
                take(u[1])
            }
            types = ""; suites = ""; uris = ""
        }
        FNR == 1 { stanza_end() }
        FILENAME ~ /\.sources$/ {
            line = $0
            sub(/^[ \t]+/, "", line)
            if (line == "") { stanza_end(); next }
            if (line ~ /^#/) next
            key = tolower(line); sub(/:.*/, "", key)
            value = line; sub(/^[^:]*:[ \t]*/, "", value)
            if (key == "types") types = value
            else if (key == "suites") suites = value
            else if (key == "uris") uris = value
            next
        }
        /^[ \t]*deb[ \t]/ {
            line = $0
            sub(/^[ \t]*deb[ \t]+/, "", line)
            sub(/^\[[^]]*\][ \t]*/, "", line)
            n = split(line, w, /[ \t]+/)
            if (n >= 2 && w[2] == release) take(w[1])
        }
        END { stanza_end(); print found }
    ' $files)
fi
if [ -z "$mirror" ]; then
    echo "debian-mirror.sh: no \"deb\" entry for $codename in $etc/sources.list or $etc/sources.list.d/" >&2
    exit 1
fi
echo "$mirror"
