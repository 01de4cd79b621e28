# The service's 48-field live entry, and flat-earth geometry good enough for
# paths within an airport's range. Shared by the scenario writers of rtstub.
import json
import math
import os

NM_M = 1852.0
EARTH_M_PER_DEG = 60.0 * NM_M


def entry(hexid, lat, lon, track_deg, alt_ft, gs_kt, typ, reg, callsign, origin="null", dest="null",
          vrate_fpm=0, tas_kt=-1, roll_deg=0, true_hdg_deg=None, category="A3"):
    """One live entry, laid out as the service sends it (index 10, the time,
    is re-based by rtstub)."""
    e = [0] * 48
    e[0] = hexid
    e[1] = round(lat, 6)
    e[2] = round(lon, 6)
    e[3] = round(track_deg % 360.0, 1)
    e[4] = int(round(alt_ft))
    e[5] = int(round(gs_kt))
    e[6] = "1000"
    e[7] = "0"
    e[8] = typ
    e[9] = reg
    e[10] = 0.0
    e[11] = origin
    e[12] = dest
    e[13] = callsign
    e[15] = int(round(vrate_fpm))
    e[16] = callsign
    e[17] = "adsb_icao"
    e[18] = int(round(alt_ft)) + 25
    e[20] = tas_kt
    e[23] = roll_deg
    # 0 is a heading of 360 to the reader: a missing heading is -1.
    hdg = -1 if true_hdg_deg is None else round(true_hdg_deg % 360.0, 1) or 360.0
    e[24] = hdg
    e[25] = hdg
    e[28] = category
    e[29] = "null"
    return e


def offset(lat, lon, bearing_deg, dist_m):
    """The point dist_m away on bearing_deg."""
    b = math.radians(bearing_deg)
    dlat = dist_m * math.cos(b) / EARTH_M_PER_DEG
    dlon = dist_m * math.sin(b) / (EARTH_M_PER_DEG * math.cos(math.radians(lat)))
    return lat + dlat, lon + dlon


def distance_m(a, b):
    dy = (b[0] - a[0]) * EARTH_M_PER_DEG
    dx = (b[1] - a[1]) * EARTH_M_PER_DEG * math.cos(math.radians(a[0]))
    return math.hypot(dx, dy)


def bearing_deg(a, b):
    dy = (b[0] - a[0]) * EARTH_M_PER_DEG
    dx = (b[1] - a[1]) * EARTH_M_PER_DEG * math.cos(math.radians(a[0]))
    return math.degrees(math.atan2(dx, dy)) % 360.0


def write_scenario(path, scenario):
    """Writes a scenario file whole or not at all (rtstub may be reading the
    old one)."""
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(scenario, f, separators=(",", ":"))
    os.replace(tmp, path)
