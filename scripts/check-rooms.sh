#!/bin/sh
# Checks that every #include between the rooms of the tree goes a way
# docs/ARCHITECTURE.md allows, so that no two rooms come to include each
# other. Usage: sh scripts/check-rooms.sh [SOURCE_DIR]
set -eu
cd "${1:-$(dirname "$0")/..}"

# A room, and the rooms (or single headers) it may include besides its own.
rules='
support:
support/qt: support
support/win32: support
aprs/packets: support
aprs/link: aprs/packets support
aprs/channel: aprs/packets support
host: support
host/bus: host support
host/com: host support
aloha: host support
standin/model: host support
standin/map: standin/model support aloha/MapDrawCalls.h
standin/live: standin/model aprs/packets aprs/link aprs/channel support aloha/StationKind.h
standin/bus: standin/model host host/bus support
standin/qt: standin/map standin/model aprs/packets aprs/channel support
standin/com: standin standin/model standin/map host host/com support support/win32
standin: standin/model standin/map standin/live standin/bus standin/qt host host/bus aprs/packets aprs/link aprs/channel support support/qt
app/model: aloha aprs/packets aprs/link aprs/channel host support
app/qt: app/model aloha aprs/packets aprs/link aprs/channel host host/bus standin/model support support/qt
app/win32: app/model aloha aprs/packets aprs/link aprs/channel host host/com standin/model support support/win32
tools: aloha aprs/packets aprs/link aprs/channel host host/bus host/com standin/model support
'

list_sources() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && [ "$(git rev-parse --show-toplevel)" = "$(pwd -P)" ]; then
        git ls-files 'support/*' 'aprs/*' 'host/*' 'aloha/*' 'standin/*' 'app/*' 'tools/*'
    else
        find support aprs host aloha standin app tools -type f
    fi | grep -E '\.(cpp|h)$'
}

# One pass over every include: file:#include "room/.../header.h"
list_sources | xargs grep -H '^#include "[^"]*/[^"]*"' | awk -v rules="$rules" '
    # Rooms with folders of their own inside: aprs, host, app, standin, support.
    function room_of(path,   parts, n) {
        n = split(path, parts, "/")
        if (n > 2 && parts[1] ~ /^(aprs|host|app|standin|support)$/)
            return parts[1] "/" parts[2]
        return parts[1]
    }
    BEGIN {
        n = split(rules, lines, "\n")
        for (i = 1; i <= n; i++) {
            if (lines[i] == "") continue
            split(lines[i], kv, ":")
            known[kv[1]] = 1
            m = split(kv[2], entries, " ")
            for (j = 1; j <= m; j++) allowed[kv[1], entries[j]] = 1
        }
    }
    {
        file = substr($0, 1, index($0, ":") - 1)
        include = $0
        sub(/^[^"]*"/, "", include)
        sub(/".*$/, "", include)
        room = room_of(file)
        target = room_of(include)
        if (!(room in known)) {
            if (!(room in said)) print "check-rooms: " file ": the room " room " has no rule" > "/dev/stderr"
            said[room] = 1
            faults++
        } else if (target != room && !((room, target) in allowed) && !((room, include) in allowed)) {
            print "check-rooms: " file " (" room ") includes " include " (" target "), which " room " may not use" > "/dev/stderr"
            faults++
        }
    }
    END {
        if (faults > 0) {
            print "check-rooms: " faults " include(s) against the rooms'"'"' directions (docs/ARCHITECTURE.md)" > "/dev/stderr"
            exit 1
        }
        print "check-rooms: every include goes a way the rooms allow"
    }'
