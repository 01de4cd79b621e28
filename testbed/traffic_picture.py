#!/usr/bin/env python3
"""A top-down picture of the traffic simstub holds, as a PNG: on the left the
park airport, 6 km across (its stands grey, the user aircraft yellow, live AI aircraft
green, static AI aircraft orange), on the right the area around it (80 NM
across). Live aircraft are the ones flying a flight plan; static ones stand
on their stands without one.

    traffic_picture.py STATE.json STANDS.xml OUT.png [CAPTION]

STANDS.xml is a stand file of the park airport (the archived or learned
one); without it the left panel shows the aircraft only. Plain Python: the
PNG is written with zlib."""
import json
import math
import os
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

W, H = 440, 440
BG = (18, 24, 38)
GRID = (40, 50, 70)
STAND = (120, 120, 130)
USER = (250, 220, 40)
LIVE = (60, 220, 90)
STATIC = (255, 140, 30)
TEXT = (220, 220, 220)

# A 3x5 font: each glyph five rows of three bits.
FONT = {
    "A": "010101111101101", "B": "110101110101110", "C": "011100100100011", "D": "110101101101110",
    "E": "111100110100111", "F": "111100110100100", "G": "011100101101011", "H": "101101111101101",
    "I": "111010010010111", "J": "001001001101010", "K": "101101110101101", "L": "100100100100111",
    "M": "101111111101101", "N": "110101101101101", "O": "010101101101010", "P": "110101110100100",
    "Q": "010101101110011", "R": "110101110101101", "S": "011100010001110", "T": "111010010010010",
    "U": "101101101101111", "V": "101101101101010", "W": "101101111111101", "X": "101101010101101",
    "Y": "101101010010010", "Z": "111001010100111", "0": "111101101101111", "1": "010110010010111",
    "2": "110001010100111", "3": "110001010001110", "4": "101101111001001", "5": "111100110001110",
    "6": "011100110101010", "7": "111001010010010", "8": "010101010101010", "9": "010101011001110",
    " ": "000000000000000", ":": "000010000010000", "-": "000000111000000", ".": "000000000000010",
    "/": "001001010100100", "(": "010100100100010", ")": "010001001001010", ",": "000000000010100",
}


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = bytearray(bytes(BG) * (w * h))

    def set(self, x, y, c):
        x, y = int(x), int(y)
        if 0 <= x < self.w and 0 <= y < self.h:
            i = (y * self.w + x) * 3
            self.px[i:i + 3] = bytes(c)

    def box(self, x, y, r, c):
        for dy in range(-r, r + 1):
            for dx in range(-r, r + 1):
                self.set(x + dx, y + dy, c)

    def line(self, x0, y0, x1, y1, c):
        n = int(max(abs(x1 - x0), abs(y1 - y0))) + 1
        for i in range(n + 1):
            f = i / n
            self.set(x0 + (x1 - x0) * f, y0 + (y1 - y0) * f, c)

    def text(self, x, y, s, c, scale=2):
        for ch in s.upper():
            g = FONT.get(ch, FONT[" "])
            for row in range(5):
                for col in range(3):
                    if g[row * 3 + col] == "1":
                        for sy in range(scale):
                            for sx in range(scale):
                                self.set(x + col * scale + sx, y + row * scale + sy, c)
            x += 4 * scale

    def png(self, path):
        raw = b"".join(b"\0" + bytes(self.px[y * self.w * 3:(y + 1) * self.w * 3]) for y in range(self.h))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0))
        data += chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)


def stands_of(path):
    if not path or not os.path.exists(path):
        return []
    try:
        return [(p.get("id"), float(p.get("latitude")), float(p.get("longitude")))
                for p in ET.parse(path).getroot().iter("parkpos")]
    except (ET.ParseError, TypeError, ValueError):
        return []


def is_static(obj):
    return not obj.get("flight_plan") and obj.get("session", 0) != 0 and obj.get("on_ground")


def draw_panel(cv, x0, title, centre, half_m, stands, user, objects, marker, labels):
    lat0, lon0 = centre
    scale = (W / 2 - 10) / half_m
    k = math.cos(math.radians(lat0))

    def xy(lat, lon):
        return (x0 + W / 2 + (lon - lon0) * 111120.0 * k * scale, H / 2 - (lat - lat0) * 111120.0 * scale)

    for i in range(1, 4):
        r = W / 2 * i / 4
        cv.line(x0 + W / 2 - r, H / 2, x0 + W / 2 + r, H / 2, GRID)
        cv.line(x0 + W / 2, H / 2 - r, x0 + W / 2, H / 2 + r, GRID)
    for _, lat, lon in stands:
        x, y = xy(lat, lon)
        cv.box(x, y, 1, STAND)
    for obj in objects:
        x, y = xy(obj["lat"], obj["lon"])
        colour = STATIC if is_static(obj) else LIVE
        hdg = obj.get("heading_rad", 0.0)
        cv.line(x, y, x + math.sin(hdg) * marker * 3, y - math.cos(hdg) * marker * 3, colour)
        cv.box(x, y, marker, colour)
        if labels and not is_static(obj) and obj.get("atc_id"):
            cv.text(x + marker + 3, y - 2, str(obj["atc_id"])[:8], colour, scale=1)
    if user:
        x, y = xy(user["lat"], user["lon"])
        cv.box(x, y, marker + 1, USER)
    cv.text(x0 + 6, 6, title, TEXT)
    for i in range(H):
        cv.set(x0 + W - 1, i, GRID)


def main():
    if len(sys.argv) < 4:
        raise SystemExit(__doc__)
    state_path, stands_path, out = sys.argv[1:4]
    caption = sys.argv[4] if len(sys.argv) > 4 else ""
    try:
        with open(state_path) as f:
            state = json.load(f)
    except (OSError, ValueError):
        state = {}
    user = state.get("user")
    objects = [o for o in state.get("objects", []) if "lat" in o and "lon" in o]
    stands = stands_of(stands_path)
    if stands:
        centre = (sum(s[1] for s in stands) / len(stands), sum(s[2] for s in stands) / len(stands))
    elif user:
        centre = (user["lat"], user["lon"])
    else:
        centre = (52.3086, 4.7639)
    cv = Canvas(2 * W, H + 40)
    draw_panel(cv, 0, "PARK AIRPORT 6 KM", centre, 3000.0, stands, user, objects, 3, True)
    area_centre = (user["lat"], user["lon"]) if user else centre
    draw_panel(cv, W, "AREA 80 NM", area_centre, 40 * 1852.0, [], user, objects, 2, True)
    live = sum(1 for o in objects if not is_static(o))
    static = len(objects) - live
    y = H + 8
    cv.box(10, y + 5, 4, LIVE)
    cv.text(20, y, f"LIVE {live}", TEXT)
    cv.box(120, y + 5, 4, STATIC)
    cv.text(130, y, f"STATIC {static}", TEXT)
    cv.box(250, y + 5, 4, USER)
    cv.text(260, y, "USER", TEXT)
    cv.text(330, y, caption[:60], TEXT)
    cv.png(out)


if __name__ == "__main__":
    main()
