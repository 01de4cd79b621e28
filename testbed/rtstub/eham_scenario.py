#!/usr/bin/env python3
"""Writes an rtstub scenario of a busy spell at Amsterdam (EHAM) around the
user aircraft parked on stand D7 (testbed/simstub/scenarios/eham.json):

- KLM1602, a Boeing 737-800 on final for runway 06, lands, rolls out, taxis
  to stand E2 and stays there;
- EIN613, an A320 on stand D4, pushes back, taxis to runway 24 and takes off
  to the south-west;
- BAW431 flies away from Amsterdam and leaves the range;
- two more flights pass at altitude nearby;
- parked traffic on the D and E piers for the static aircraft.

    eham_scenario.py [--length short|long|flight] OUT.json

"short" (about 5 minutes of traffic) is for the end-to-end check in CI,
"long" (10 minutes) is the demo's default and the long check, "flight" the
traffic around the user's own flight (the arrival already landed). The paths are
written second by second and served as one entry every two seconds, as the
service reports them."""
import argparse
import math
import sys
import os

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from feed_entry import entry, offset, distance_m, bearing_deg, write_scenario  # noqa: E402

KT_MS = 1852.0 / 3600.0
RWY06_THRESHOLD = (52.2878, 4.7371)
RWY_HEADING = 58.0
STAND_D4 = (52.3087, 4.7683, 240.0)
STAND_E2 = (52.3078, 4.7612, 60.0)
STEP_S = 2


class Track:
    """A flight's points, one a second from its first time on."""

    def __init__(self, hexid, typ, reg, callsign, origin, dest):
        self.id = (hexid, typ, reg, callsign, origin, dest)
        self.points = []  # (t, lat, lon, track, alt_ft, gs_kt, vrate, true_hdg)

    def add(self, t, lat, lon, track, alt, gs, vrate=0.0, hdg=None):
        self.points.append((t, lat, lon, track, alt, gs, vrate, track if hdg is None else hdg))

    @property
    def end(self):
        p = self.points[-1]
        return p[0], (p[1], p[2]), p[4], p[3]

    def hold(self, seconds, hdg=None):
        """Stands still where it is."""
        t, pos, alt, track = self.end
        for i in range(1, seconds + 1):
            self.add(t + i, pos[0], pos[1], track, alt, 0, 0, hdg)

    def move(self, to, gs_from, gs_to, alt_to=None, backwards=False, hdg=None):
        """Straight on to `to`, the speed changing evenly on the way."""
        t, pos, alt, _ = self.end
        alt_to = alt if alt_to is None else alt_to
        dist = distance_m(pos, to)
        brg = bearing_deg(pos, to)
        mean_ms = max(0.5, (gs_from + gs_to) / 2.0 * KT_MS)
        secs = max(1, int(round(dist / mean_ms)))
        for i in range(1, secs + 1):
            f = i / secs
            # Distance covered under an even change of speed.
            v0, v1 = gs_from * KT_MS, gs_to * KT_MS
            s = (v0 * i + (v1 - v0) * i * i / (2.0 * secs)) / max(1e-6, (v0 + v1) / 2.0 * secs) * dist
            lat, lon = offset(pos[0], pos[1], brg, min(s, dist))
            gs = gs_from + (gs_to - gs_from) * f
            a = alt + (alt_to - alt) * f
            vrate = (alt_to - alt) / secs * 60.0
            heading = hdg if hdg is not None else ((brg + 180.0) % 360.0 if backwards else brg)
            self.add(t + i, lat, lon, brg, a, gs, vrate, heading)

    def fly(self, seconds, track, gs, vrate):
        """Straight and level (or climbing) for a while."""
        for _ in range(seconds):
            t, pos, alt, _ = self.end
            lat, lon = offset(pos[0], pos[1], track, gs * KT_MS)
            self.add(t + 1, lat, lon, track, max(0.0, alt + vrate / 60.0), gs, vrate)


def arrival(start_nm, t0, taxi_kt):
    """Final approach to runway 06 from start_nm out, landing, roll-out,
    taxi to stand E2."""
    ac = Track("4845a7", "B738", "PH-DIN", "KLM1602", "LHR", "AMS")
    lat, lon = offset(*RWY06_THRESHOLD, RWY_HEADING + 180.0, start_nm * 1852.0)
    ac.add(t0, lat, lon, RWY_HEADING, 318.0 * start_nm + 50, 150, -750)
    touchdown = offset(*RWY06_THRESHOLD, RWY_HEADING, 400.0)
    ac.move(touchdown, 150, 135, alt_to=0)
    turnoff = offset(*touchdown, RWY_HEADING, 1200.0)
    ac.move(turnoff, 135, 18)
    taxi_north = (52.3068, turnoff[1] - 0.0012)
    ac.move(taxi_north, 18, taxi_kt)
    ac.move((STAND_E2[0], STAND_E2[1]), taxi_kt, 3)
    return ac


def departure(wait_s, t0, climb_s):
    """On stand D4, push-back, taxi to runway 24 and take-off."""
    ac = Track("4ca9d3", "A320", "EI-DVN", "EIN613", "AMS", "DUB")
    ac.add(t0, STAND_D4[0], STAND_D4[1], STAND_D4[2], 0, 0, 0, STAND_D4[2])
    ac.hold(wait_s, hdg=STAND_D4[2])
    pushed = offset(STAND_D4[0], STAND_D4[1], STAND_D4[2] + 180.0, 55.0)
    ac.move(pushed, 3, 3, backwards=True)
    ac.hold(15, hdg=STAND_D4[2])
    ac.move(offset(*pushed, 150.0, 80.0), 6, 12)
    line_up = (52.3012, 4.7700)
    ac.move(line_up, 15, 10)
    ac.hold(10, hdg=RWY_HEADING + 180.0)
    rotate = offset(*line_up, RWY_HEADING + 180.0, 1400.0)
    ac.move(rotate, 5, 150, hdg=None)
    ac.fly(min(climb_s, 100), RWY_HEADING + 180.0, 170, 2200)
    ac.fly(max(0, climb_s - 100), 225.0, 250, 1800)
    return ac


def leaver(t0, start_nm, seconds):
    """Flies away from Amsterdam fast enough to leave the range."""
    ac = Track("400a1c", "A320", "G-EUUA", "BAW431", "AMS", "LHR")
    lat, lon = offset(52.3105, 4.7683, 300.0, start_nm * 1852.0)
    ac.add(t0, lat, lon, 300.0, 15000, 420, 1500)
    ac.fly(seconds, 300.0, 440, 1200)
    return ac


def overflight(hexid, typ, reg, callsign, origin, dest, t0, seconds, frm, brg, nm, track, alt, gs, vrate):
    ac = Track(hexid, typ, reg, callsign, origin, dest)
    lat, lon = offset(*frm, brg, nm * 1852.0)
    ac.add(t0, lat, lon, track, alt, gs, vrate)
    ac.fly(seconds, track, gs, vrate)
    return ac


PARKED = [
    # stand, type, registration, callsign
    ("D2", "B738", "PH-YKW", "KLM1013"),
    ("D3", "E190", "PH-JQX", "KLM1701"),
    ("D5", "B738", "PH-HJQ", "TRA5731"),
    ("D6", "E190", "PH-ESG", "KLM1361"),
    ("D9", "B77W", "PH-PYH", "KLM691"),
    ("E3", "A333", "PH-VGR", "KLM605"),
    ("E5", "B789", "PH-SCM", "KLM867"),
    ("E6", "A320", "D-AGMS", "DLH2301"),
]


def stands():
    """The stand positions of the archived EHAM stand file."""
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "sitestub", "site", "downloads", "P3D", "archive", "stock", "EHAM.xml")
    import xml.etree.ElementTree as ET
    out = {}
    for p in ET.parse(path).getroot().iter("parkpos"):
        out[p.get("id")] = (float(p.get("latitude")), float(p.get("longitude")))
    return out


# Per length: the arrival's final (nm), first time (s) and taxi speed (kt);
# the departure's wait on its stand and climb (s); how long the leaver and
# the overflights are reported (s); the scenario time at rtstub's start (s).
LENGTHS = {
    "short": {"arrival": (3.5, 20, 25), "departure": (60, 60), "leaver_s": 240, "over_s": 300, "start_at": 20},
    "long": {"arrival": (6.0, 40, 16), "departure": (240, 200), "leaver_s": 420, "over_s": 560, "start_at": 20},
    # The user's own flight (tests/e2e/flight_run.sh) takes three minutes:
    # the arrival has landed when the program starts and parks while the
    # user flies; the departure stays on its stand while the user taxis by.
    # The service still lists an aircraft parked on the arrival's stand E2
    # (its parked data lags behind the live one).
    "flight": {"arrival": (1.5, 0, 30), "departure": (200, 60), "leaver_s": 240, "over_s": 300, "start_at": 60,
               "parked": [("E2", "E190", "PH-EZA", "KLM1093")]},
}


def build(length):
    k = LENGTHS[length]
    tracks = [
        arrival(*k["arrival"]),
        departure(k["departure"][0], 0, k["departure"][1]),
        leaver(0, 4.0, k["leaver_s"]),
        overflight("3c66b1", "A321", "D-AJQX", "DLH1CY", "FRA", "AMS", 0, k["over_s"],
                   (52.3086, 4.7639), 140.0, 18.0, 320.0, 9000, 280, -1200),
        overflight("4845b8", "E190", "PH-JQX", "KLM1345", "AMS", "BLL", 0, k["over_s"],
                   (52.3086, 4.7639), 20.0, 6.0, 45.0, 4000, 250, 1500),
    ]
    end_s = max(t.points[-1][0] for t in tracks)
    # The arrival stays on its stand, reported standing there, to the end.
    arr = tracks[0]
    arr.hold(max(0, end_s - arr.points[-1][0]), hdg=STAND_E2[2])
    traffic = []
    for ac in tracks:
        hexid, typ, reg, callsign, origin, dest = ac.id
        for (t, lat, lon, track, alt, gs, vrate, hdg) in ac.points:
            if t % STEP_S:
                continue
            traffic.append({"t": t, "entry": entry(hexid, lat, lon, track, alt, gs, typ, reg, callsign, origin,
                                                  dest, vrate, -1, 0, hdg)})
    traffic.sort(key=lambda x: x["t"])
    where = stands()
    parked = {}
    for i, (stand, typ, reg, callsign) in enumerate(PARKED + k.get("parked", [])):
        lat, lon = where[stand]
        parked[f"485e{i:02x}"] = [lat, lon, f"EHAM_{stand}", typ, reg, 1767700000 + 600 * i, callsign]
    return {
        "license": "GLIM demo licence",
        "server": "rtstub-eham",
        "rrl": 2000,
        "wrrl": 2000,
        "start_at": k["start_at"],
        "stale_s": 10,
        "traffic": traffic,
        "parked": parked,
        "metar": [{"ICAO": "EHAM", "Dist": 1.2, "BrgTo": 200.0,
                   "METAR": "EHAM 071225Z 24008KT 9999 FEW030 09/04 Q1018"}],
        "weather": {"QNH": 1018, "METAR": "EHAM 071225Z 24008KT 9999 FEW030 09/04 Q1018"},
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--length", choices=tuple(LENGTHS), default="long")
    ap.add_argument("out")
    args = ap.parse_args()
    scenario = build(args.length)
    write_scenario(args.out, scenario)
    last = scenario["traffic"][-1]["t"]
    print(f"{args.out}: {len(scenario['traffic'])} entries over {last} s, {len(scenario['parked'])} parked")


if __name__ == "__main__":
    main()
