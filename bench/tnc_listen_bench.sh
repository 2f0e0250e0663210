#!/bin/sh
# What listening to a TNC costs velloran-report: a KISS server of its own
# sends 10 frames a second (50 stations, position packets through WIDE1-1)
# for SECONDS (default 60); prints the processor time the report used.
#   sh bench/tnc_listen_bench.sh BUILD_DIR [SECONDS]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-60}
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 - "$port" <<'PY' &
import socket, sys, time

def address(call, last=False):
    base, _, ssid = call.partition("-")
    return bytes(ord(c) << 1 for c in base.ljust(6)) + bytes([0x60 | (int(ssid or 0) << 1) | last])

def kiss(frame):
    return b"\xc0\x00" + frame.replace(b"\xdb", b"\xdb\xdd").replace(b"\xc0", b"\xdb\xdc") + b"\xc0"

frames = [kiss(address("APRS") + address("N%dABC-9" % i) + address("WIDE1-1", True) +
               b"\x03\xf0=4230.00N/07100.00W>090/030 comment text here") for i in range(50)]
server = socket.socket()
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(1)
client, _ = server.accept()
start, sent = time.time(), 0
try:
    while True:
        client.sendall(frames[sent % len(frames)])
        sent += 1
        time.sleep(max(0.0, start + sent * 0.1 - time.time()))
except OSError:
    pass
PY
feeder=$!
sleep 1
/usr/bin/time -f "velloran-report listening $seconds s at 10 frames/s: user %U s, system %S s" \
    "$build/tools/velloran-report" --scenario tests/golden/threshold/scenario.json \
    --kiss "127.0.0.1:$port" --listen "$seconds" 2>&1 >/dev/null | grep -v '^velloran-report:'
kill "$feeder" 2>/dev/null || true
