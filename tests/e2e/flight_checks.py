#!/usr/bin/env python3
"""The user's own flight at Schiphol for tests/e2e/flight_run.sh, and what
a pilot sees of the traffic meanwhile.

    flight_checks.py fly CONTROL
        flies the user aircraft through simstub's control file, five jump
        lines a second (each step a few metres, as a flying aircraft moves):
        parked on stand D2, taxi down the lane east of the D pier, line-up
        on runway 24, take-off, a right-hand circuit at 500 ft whose
        downwind leg passes over the E and D piers, approach and landing on
        24, roll-out to a stop;
    flight_checks.py check SIMSTUB_JSONL SIM_SCENARIO RT_SCENARIO
        replays every packet simstub recorded and checks what the pilot saw:
        1. no aircraft removed before the close without a cause the pilot can
           see: the service stopped reporting it, it was more than 3 nm away,
           or it stood in the user's way on the ground (within 15 m of the
           line through the user's nose and tail, under 1 nm), flew close
           to the user in the air (both airborne, under 2 nm), or, parked,
           made room for an arrival that then stood on its stand;
        2. no two aircraft on the ground (the user's included) closer than
           half their wingspans together;
        3. no aircraft above or below the ground it stands on (terrain plus
           static CG, 3 ft either way), none below the ground in the air.
Each finding prints one line with its numbers; the exit code is 0 when all
hold."""
import json
import math
import os
import sys
import time
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "testbed", "rtstub"))
from feed_entry import offset, distance_m, bearing_deg  # noqa: E402

KT_MS = 1852.0 / 3600.0
STEP_S = 0.2
# Stand D2, the southernmost of the D pier: the user parks there.
D2 = (52.3075, 4.7683)
# Runway 24: its north-eastern end, the axis's bearing, and the side of the
# piers (north-west).
RWY24_END = (52.3012, 4.7700)
RWY24_BEARING = 238.0
PIER_SIDE = (RWY24_BEARING + 90.0) % 360.0
TURN_R_M = 500.0
GROUND_ALT_FT = -4.0          # set from the simulator's scenario
FLYING_KT = 50.0              # slower than this an airliner is on the ground
USER_SPAN_M = 35.8            # the simulator's user aircraft, an A320
DEFAULT_SPAN_M = 36.0
STAND_TAKEN_M = 30.0          # a live aircraft this close stands on the stand


def rwy(along_m, side_m=0.0):
    """A point along runway 24 from its north-eastern end, side_m towards
    the piers."""
    p = offset(*RWY24_END, RWY24_BEARING, along_m)
    return offset(*p, PIER_SIDE, side_m)


def arc(centre, from_deg, to_deg, step_deg=10.0):
    """Points of a right-hand turn round centre, from track from_deg to
    to_deg (to_deg above from_deg)."""
    out = []
    n = max(1, int(math.ceil((to_deg - from_deg) / step_deg)))
    for i in range(1, n + 1):
        h = from_deg + (to_deg - from_deg) * i / n
        out.append(offset(*centre, h - 90.0, TURN_R_M))
    return out


def waypoints():
    """(lat, lon, ground speed kt, altitude ft or None on the ground, hold s)
    in flying order."""
    w = [(*D2, 10, None, 2)]
    w += [(52.3072, 4.7700, 25, None, 0), (52.3025, 4.7700, 45, None, 0), (*RWY24_END, 20, None, 0)]
    w += [(*rwy(40), 20, None, 0)]                     # a rolling take-off
    w += [(*rwy(800), 150, None, 0)]                   # rotate
    w += [(*rwy(1400), 200, 300, 0)]
    w += [(*p, 200, 300 + 200 * (i + 1) / 18, 0) for i, p in enumerate(arc(rwy(1400, TURN_R_M), 238, 418))]
    w += [(*rwy(-1100, 2 * TURN_R_M), 200, 500, 0)]   # downwind over the piers
    w += [(*p, 180, 500 - 100 * (i + 1) / 18, 0) for i, p in enumerate(arc(rwy(-1100, TURN_R_M), 58, 238))]
    w += [(*rwy(150), 140, None, 0)]                   # touchdown
    w += [(*rwy(650), 30, None, 0), (*rwy(680), 0, None, 2)]
    return w


def samples():
    """(seconds from the start, lat, lon, alt_ft, heading, gs_kt) every
    STEP_S along the waypoints, the speed changing evenly on each leg."""
    w = waypoints()
    t = 0.0
    heading = 240.0
    out = []
    for a, b in zip(w, w[1:]):
        lat, lon, gs_a, alt_a, hold = a
        for _ in range(int(hold / STEP_S)):
            out.append((t, lat, lon, alt_a, heading, 0.0))
            t += STEP_S
        dist = distance_m((lat, lon), (b[0], b[1]))
        if dist < 0.1:
            continue
        heading = bearing_deg((lat, lon), (b[0], b[1]))
        v0, v1 = max(gs_a, 2.0) * KT_MS, max(b[2], 2.0) * KT_MS
        secs = dist / ((v0 + v1) / 2.0)
        n = max(1, int(round(secs / STEP_S)))
        for i in range(1, n + 1):
            f = i / n
            s = (v0 * f + (v1 - v0) * f * f / 2.0) / ((v0 + v1) / 2.0) * dist
            p = offset(lat, lon, heading, min(s, dist))
            alt = None if (alt_a is None and b[3] is None) else (alt_a or 0.0) + ((b[3] or 0.0) - (alt_a or 0.0)) * f
            out.append((t + i * STEP_S, p[0], p[1], alt, heading, (v0 + (v1 - v0) * f) / KT_MS))
        t += n * STEP_S
    last = w[-1]
    for _ in range(int(last[4] / STEP_S)):
        out.append((t, last[0], last[1], None, heading, 0.0))
        t += STEP_S
    return out


def fly(control):
    start = time.monotonic()
    with open(control, "a") as f:
        for t, lat, lon, alt, hdg, gs in samples():
            wait = start + t - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            alt_ft = GROUND_ALT_FT if alt is None else GROUND_ALT_FT + alt
            f.write(f"jump {lat:.7f} {lon:.7f} {alt_ft:.1f} {hdg:.1f} {gs:.1f}\n")
            f.flush()
    print(f"flown in {time.monotonic() - start:.0f} s")


# ---- What the pilot saw ----

def records(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.endswith("\n"):
                try:
                    yield json.loads(line)
                except ValueError:
                    pass


def spans():
    """Wingspan (m) by livery title, from the sample catalogue."""
    data = os.path.join(HERE, "..", "..", "testbed", "data", "catalogue")
    by_type = {w.get("type"): float(w.get("meters")) for w in ET.parse(os.path.join(data, "dbase.xml")).iter("wingspan")}
    return {v.get("title"): by_type.get(v.get("type"), DEFAULT_SPAN_M)
            for v in ET.parse(os.path.join(data, "LiveriesScanned.xml")).iter("liv")}


def last_reports(rt_scenario):
    """Scenario time of each callsign's last live entry."""
    out = {}
    for e in rt_scenario["traffic"]:
        cs = e["entry"][13]
        out[cs] = max(out.get(cs, 0.0), float(e["t"]))
    return out


class Pilot:
    def __init__(self, sim, rt):
        global GROUND_ALT_FT
        GROUND_ALT_FT = float(sim.get("terrain_elevation_ft", 0.0)) + float(sim.get("static_cg_ft", 7.0))
        u = sim["user"]
        self.user = {"lat": u["lat"], "lon": u["lon"], "alt": GROUND_ALT_FT, "hdg": u.get("heading_deg", 0.0),
                     "gs": 0.0}
        self.objects = {}
        self.span = spans()
        self.last_report = last_reports(rt)
        self.start_at = float(rt.get("start_at", 0.0))
        self.removals = []
        self.live_on_ground = []   # (t, lat, lon) of live aircraft on the ground
        self.close_pairs = {}
        self.off_ground = {}

    def user_on_ground(self):
        return self.user["alt"] <= GROUND_ALT_FT + 1.0

    def on_ground(self, o):
        return o["speed"] < FLYING_KT

    def jump(self, line):
        v = [float(x) for x in line.split()[1:]]
        self.user.update(lat=v[0], lon=v[1])
        if len(v) > 2:
            self.user["alt"] = v[2]
        if len(v) > 3:
            self.user["hdg"] = v[3]
        if len(v) > 4:
            self.user["gs"] = v[4]

    def moved(self, oid, t):
        o = self.objects[oid]
        if self.on_ground(o):
            dev = o["alt"] - GROUND_ALT_FT
            if abs(dev) > 3.0:
                self.note_off_ground(o, dev, t)
        elif o["alt"] < GROUND_ALT_FT - 3.0:
            self.note_off_ground(o, o["alt"] - GROUND_ALT_FT, t)
        if not self.on_ground(o):
            return
        if not o["name"].endswith("*"):
            self.live_on_ground.append((t, o["lat"], o["lon"]))
        others = [(k, p) for k, p in self.objects.items() if k != oid and self.on_ground(p)]
        if self.user_on_ground():
            others.append(("user", {"lat": self.user["lat"], "lon": self.user["lon"], "span": USER_SPAN_M,
                                    "name": "the user"}))
        for k, p in others:
            d = distance_m((o["lat"], o["lon"]), (p["lat"], p["lon"]))
            limit = (o["span"] + p["span"]) / 2.0
            if d < limit:
                key = tuple(sorted((o["name"], p["name"])))
                c = self.close_pairs.setdefault(key, {"min": d, "limit": limit, "first": t, "last": t})
                c["min"] = min(c["min"], d)
                c["last"] = t

    def note_off_ground(self, o, dev, t):
        c = self.off_ground.setdefault(o["name"], {"worst": dev, "first": t, "last": t, "count": 0})
        if abs(dev) > abs(c["worst"]):
            c["worst"] = dev
        c["last"] = t
        c["count"] += 1

    def cause(self, o, t):
        """Why the pilot may have seen the aircraft go, or None."""
        u = self.user
        d_m = distance_m((u["lat"], u["lon"]), (o["lat"], o["lon"]))
        static = o["name"].endswith("*")
        if not static:
            cs = o["name"]
            if cs in self.last_report and t + self.start_at >= self.last_report[cs]:
                return "no longer reported"
        if d_m > 3 * 1852.0:
            return "over 3 nm away"
        if self.user_on_ground() and self.on_ground(o) and d_m < 1852.0:
            across = d_m * math.sin(math.radians(bearing_deg((u["lat"], u["lon"]), (o["lat"], o["lon"])) - u["hdg"]))
            if abs(across) < 15.0:
                return "in the user's way on the ground"
        if not static and not self.user_on_ground() and not self.on_ground(o) and d_m < 2 * 1852.0:
            return "close to the user in the air"
        return None

    def replay(self, path):
        last_jump = 0.0
        events = []
        for r in records(path):
            t = float(r.get("time", 0.0))
            ctl = r.get("control")
            if isinstance(ctl, str) and ctl.startswith("jump"):
                self.jump(ctl)
                last_jump = t
                continue
            fn = r.get("function")
            oid = r.get("object_id")
            if fn == "SimConnect_AICreateNonATCAircraft" and oid is not None and "exception" not in r:
                title = r.get("title", "")
                # An aircraft created in the air flies until its first
                # position says how fast.
                ground = bool(r.get("on_ground"))
                self.objects[oid] = {"name": r.get("tail_number", "?"), "title": title, "lat": r["lat"],
                                     "lon": r["lon"], "alt": GROUND_ALT_FT if ground else r["alt_ft"],
                                     "speed": float(r.get("airspeed_kt", 0.0)) if ground else FLYING_KT,
                                     "span": self.span.get(title, DEFAULT_SPAN_M)}
                self.moved(oid, t)
            elif fn == "SimConnect_SetDataOnSimObject" and oid in self.objects and "exception" not in r:
                o = self.objects[oid]
                v = {k.lower(): x for k, x in (r.get("values") or {}).items()}
                if "plane latitude" not in v:
                    continue
                o["lat"], o["lon"] = v["plane latitude"], v.get("plane longitude", o["lon"])
                o["alt"] = v.get("plane altitude", o["alt"])
                o["speed"] = v.get("airspeed true", o["speed"])
                self.moved(oid, t)
            elif fn == "SimConnect_AIRemoveObject" and oid in self.objects:
                events.append((t, self.objects[oid]["name"], self.cause(self.objects[oid], t),
                               distance_m((self.user["lat"], self.user["lon"]),
                                          (self.objects[oid]["lat"], self.objects[oid]["lon"])),
                               self.user_on_ground(), self.user["alt"] - GROUND_ALT_FT,
                               self.objects[oid]["lat"], self.objects[oid]["lon"]))
                del self.objects[oid]
        # Removals after the flight belong to the close.
        self.removals = [e for e in events if e[0] <= last_jump]
        # A parked aircraft may make room for an arrival: its stand is seen
        # taken.
        for i, (t, name, cause, d_m, gnd, h, lat, lon) in enumerate(self.removals):
            if cause is None and name.endswith("*") and any(
                    lt >= t and distance_m((lat, lon), (a, b)) < STAND_TAKEN_M for lt, a, b in self.live_on_ground):
                self.removals[i] = (t, name, "its stand taken by an arrival", d_m, gnd, h, lat, lon)
        return last_jump


def check(jsonl, sim_path, rt_path):
    with open(sim_path) as f:
        sim = json.load(f)
    with open(rt_path) as f:
        rt = json.load(f)
    pilot = Pilot(sim, rt)
    flown = pilot.replay(jsonl)
    ok = True
    unexplained = [e for e in pilot.removals if e[2] is None]
    static = [e for e in unexplained if e[1].endswith("*")]
    print(f"{'ok:  ' if not unexplained else 'FAIL:'} removals without a cause the pilot sees: {len(unexplained)} "
          f"({len(static)} static) of {len(pilot.removals)} removals in the {flown:.0f} s of the flight")
    for t, name, _, d_m, gnd, h, _, _ in unexplained[:12]:
        print(f"      {t:6.1f} s {name:10s} {d_m:5.0f} m from the user "
              f"({'on the ground' if gnd else f'{h:.0f} ft up'})")
    ok = ok and not unexplained
    pairs = pilot.close_pairs
    print(f"{'ok:  ' if not pairs else 'FAIL:'} aircraft within a wingspan of each other on the ground: {len(pairs)} pairs")
    for (a, b), c in sorted(pairs.items(), key=lambda x: x[1]["min"])[:12]:
        print(f"      {a} and {b}: {c['min']:.1f} m apart (wingspans ask {c['limit']:.1f} m), "
              f"{c['first']:.0f}-{c['last']:.0f} s")
    ok = ok and not pairs
    off = pilot.off_ground
    print(f"{'ok:  ' if not off else 'FAIL:'} aircraft above or below the ground they stand on: {len(off)}")
    for name, c in sorted(off.items(), key=lambda x: -abs(x[1]["worst"]))[:12]:
        print(f"      {name}: {c['worst']:+.1f} ft, {c['count']} positions, {c['first']:.0f}-{c['last']:.0f} s")
    ok = ok and not off
    return ok


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "fly":
        fly(sys.argv[2])
    elif len(sys.argv) == 5 and sys.argv[1] == "check":
        sys.exit(0 if check(*sys.argv[2:5]) else 1)
    elif len(sys.argv) == 2 and sys.argv[1] == "length":
        print(f"{samples()[-1][0]:.0f}")
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
