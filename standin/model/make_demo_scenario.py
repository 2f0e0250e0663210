#!/usr/bin/env python3
"""Writes the stand-in host's demo scenario: a few hundred stations of every
kind around Hartford, Connecticut. Fixed seed, so the file is reproducible.

Usage: make_demo_scenario.py [OUTPUT]   (default: scenarios/demo.json beside this script)

Positions are in the host's units: 60 a degree, latitude north positive,
longitude east positive (so west of Greenwich is negative).
"""
import json
import math
import os
import random
import sys

SEED = 20261208
OWN_CALL = "N1VLR"
OWN_LAT, OWN_LON = 41.7658, -72.6734
NOW_MIN = 15 * 60  # 15:00 on the scenario's day
DAY = "2026-12-08"

rng = random.Random(SEED)
used = set()


def callsign(ssid=None):
    prefixes = ["W1", "K1", "N1", "KB1", "KC1", "KD1", "AB1", "WA1", "WB1", "KA1", "NJ1", "W2", "K2", "N2"]
    while True:
        suffix_len = rng.choice([2, 3, 3, 3])
        call = rng.choice(prefixes) + "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ") for _ in range(suffix_len))
        if ssid:
            call += "-" + str(ssid)
        if call not in used:
            used.add(call)
            return call


def place(distance_km):
    """A position at the distance on a random bearing, and the great-circle
    distance recomputed from it (as a host would)."""
    bearing = rng.uniform(0, 2 * math.pi)
    r = 6371.0
    lat1, lon1 = math.radians(OWN_LAT), math.radians(OWN_LON)
    d = distance_km / r
    lat2 = math.asin(math.sin(lat1) * math.cos(d) + math.cos(lat1) * math.sin(d) * math.cos(bearing))
    lon2 = lon1 + math.atan2(math.sin(bearing) * math.sin(d) * math.cos(lat1),
                             math.cos(d) - math.sin(lat1) * math.sin(lat2))
    lat, lon = math.degrees(lat2), math.degrees(lon2)
    # haversine back from the rounded position
    dlat, dlon = lat2 - lat1, lon2 - lon1
    a = math.sin(dlat / 2) ** 2 + math.cos(lat1) * math.cos(lat2) * math.sin(dlon / 2) ** 2
    dist = 2 * r * math.asin(math.sqrt(a))
    return round(lat * 60, 3), round(lon * 60, 3), round(dist, 2)


def heard(max_age=180):
    minutes = NOW_MIN - rng.randint(0, max_age)
    return f"{DAY} {minutes // 60:02d}:{minutes % 60:02d}:{rng.randint(0, 59):02d}"


def distance(kind):
    # Most stations are near the city, a tail reaches far out.
    if kind == "far":
        return rng.uniform(810, 1100)
    scale, nearest = {"digi": (90, 15), "igate": (40, 3), "wx": (60, 2), "mobile": (70, 1),
                      "home": (70, 1)}[kind]
    return min(rng.expovariate(1 / scale) + nearest, 780)


digis = []
stations = []


def add(call, table, code, path, dist_kind, speed=0.0, third=0, rf=True, internet=False):
    lat, lon, dist = place(distance(dist_kind))
    station = {
        "callsign": call,
        "symbolTable": table,
        "symbolCode": code,
        "path": path,
        "speed": speed,
        "distance": dist,
        "lat": lat,
        "long": lon,
    }
    station["lastHeardRF"] = heard() if rf else ""
    station["lastHeardInternet"] = heard(60) if internet else ""
    if third:
        station["thirdParty"] = third
    stations.append(station)
    return station


def rf_path():
    choice = rng.random()
    if choice < 0.35 or not digis:
        return "APRS,WIDE1-1,WIDE2-1"
    first = rng.choice(digis)
    if choice < 0.8:
        return f"APRS,{first}*,WIDE2-1"
    second = rng.choice(digis)
    return f"APRS,{first},{second}*,WIDE2"


# Digipeaters: wide-area ones on the primary table, fill-ins with overlays.
for i in range(14):
    call = callsign(rng.choice([1, 2, 3, 10]) if rng.random() < 0.6 else None)
    digis.append(call)
    table = "/" if i % 3 else rng.choice(["S", "1", "W"])
    add(call, table, "#", "APN391,WIDE2-1", "digi", internet=rng.random() < 0.4)

# IGates (heard on RF too: they beacon their position).
igates = []
for _ in range(8):
    call = callsign(10)
    igates.append(call)
    add(call, rng.choice(["I", "R", "T"]), "&", "APRX28,WIDE2-1", "igate", internet=True)

# Weather stations: primary table, and some with an overlay character.
for i in range(28):
    table = "/" if i % 4 else rng.choice(["\\", "W", "D"])
    add(callsign(13), table, "_", rf_path(), "wx", internet=rng.random() < 0.5)

# Mobiles: moving and parked, primary and alternate tables.
moving_codes = [(">", "/"), ("k", "/"), ("v", "/"), ("j", "/"), ("u", "/"), ("[", "/"), ("b", "/"),
                ("<", "/"), ("Y", "/"), (">", "\\"), ("k", "\\"), ("v", "A")]
for _ in range(95):
    code, table = rng.choice(moving_codes)
    speed = round(rng.uniform(2, 115), 1) if rng.random() < 0.65 else rng.choice([0.0, 0.4, 1.0, 1.4])
    add(callsign(rng.choice([7, 9, 9, 9, 5])), table, code, rf_path(), "mobile", speed=speed,
        internet=rng.random() < 0.3)

# Home stations and other fixed symbols.
home_codes = [("-", "/"), ("-", "/"), ("-", "/"), ("y", "/"), ("r", "/"), ("h", "/"), ("n", "\\"),
              ("a", "/"), ("E", "\\")]
for _ in range(120):
    code, table = rng.choice(home_codes)
    add(callsign(rng.choice([None, None, 1, 2])), table, code, rf_path(), "home",
        internet=rng.random() < 0.4)

# Far-away stations heard on a lucky band opening.
for _ in range(6):
    add(callsign(rng.choice([None, 9])), "/", rng.choice(["-", ">", "#"]), "APRS,WIDE2-1", "far")

# Stations heard only on the Internet: in the list, never heard on RF.
for _ in range(30):
    add(callsign(rng.choice([None, 9, 7])), "/", rng.choice(["-", ">", "_", "k"]),
        "APRS,TCPIP*,qAC,T2USANE", "home", rf=False, internet=True)

# Third-party stations: gated to RF by one of the IGates; a few by an IGate
# the host has not heard, one with a lower-case path, one a distant digipeater.
for i in range(22):
    igate = rng.choice(igates) if i % 7 else "N1XYZ-10"
    path = f"APRS,TCPIP,{igate}*"
    if i == 5:
        path = path.lower()
    code, table = ("#", "/") if i == 3 else rng.choice([("-", "/"), (">", "/"), ("_", "/"), ("k", "/")])
    add(callsign(rng.choice([None, 9])), table, code, path, "far", third=1,
        speed=round(rng.uniform(0, 90), 1) if code in "k>" else 0.0, internet=True)

rng.shuffle(stations)  # the host lists stations in the order it heard them

scenario = {
    "own": {"callsign": OWN_CALL.lower(), "lat": round(OWN_LAT * 60, 3), "long": round(OWN_LON * 60, 3)},
    "stations": stations,
    "map": {"textX": round(OWN_LON * 60 - 30, 3), "textY": round(OWN_LAT * 60 + 40, 3)},
}

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "scenarios", "demo.json")
with open(out, "w", encoding="utf-8", newline="\n") as f:
    json.dump(scenario, f, indent=1)
    f.write("\n")
print(f"wrote {out}: {len(stations)} stations")
