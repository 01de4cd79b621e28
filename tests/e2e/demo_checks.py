#!/usr/bin/env python3
"""The demo run's checks on what simstub saw, for tests/e2e/demo_run.sh.

    demo_checks.py watch STATE TRACE
        samples simstub's state file twice a second and appends every AI
        object's position to TRACE (JSON lines) until killed;
    demo_checks.py first-aircraft SIMSTUB_JSONL SIMOBJECTS
        the first AI aircraft created: its title is one of the installed
        liveries (a title= line of an aircraft.cfg) and it got a flight plan;
    demo_checks.py traffic TRACE SIMSTUB_JSONL LOG STANDS_XML [--live] [--motion] [--static]
        the scenario's traffic: the flight leaving the range is removed
        (--live); the landing taxis to a stand and parks, the departure pushes
        back and takes off (--motion); static aircraft stand on the park
        airport's stands (--static).
Each check prints one line; the exit code is 0 when all of them hold."""
import glob
import json
import math
import os
import re
import sys
import time
import xml.etree.ElementTree as ET

ARRIVAL, DEPARTURE, LEAVER = "KLM1602", "EIN613", "BAW431"


def records(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.endswith("\n"):
                    try:
                        yield json.loads(line)
                    except ValueError:
                        pass
    except OSError:
        return


def watch(state_path, trace_path):
    last = None
    with open(trace_path, "a") as out:
        while True:
            try:
                with open(state_path) as f:
                    text = f.read()
                if text != last:
                    last = text
                    state = json.loads(text)
                    now = round(time.time(), 1)
                    for o in state.get("objects", []):
                        out.write(json.dumps({"time": now, **{k: o.get(k) for k in (
                            "object_id", "atc_id", "title", "lat", "lon", "alt_ft", "heading_rad", "airspeed_kt", "on_ground",
                            "flight_plan", "session", "position_updates")}}) + "\n")
                    out.write(json.dumps({"time": now, "alive": [o.get("object_id") for o in
                                                                 state.get("objects", [])]}) + "\n")
                    out.flush()
            except (OSError, ValueError):
                pass
            time.sleep(0.5)


def installed_titles(simobjects):
    titles = set()
    for cfg in glob.glob(os.path.join(simobjects, "**", "aircraft.cfg"), recursive=True):
        with open(cfg, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = re.match(r"\s*title\s*=\s*(.*?)\s*$", line, re.I)
                if m:
                    titles.add(m.group(1))
    return titles


def first_aircraft(jsonl, simobjects):
    created = None
    plans = set()
    for r in records(jsonl):
        if r.get("function") == "SimConnect_AICreateNonATCAircraft" and created is None:
            created = r
        if r.get("function") == "SimConnect_AISetAircraftFlightPlan" and r.get("object_id") is not None:
            plans.add(r.get("object_id"))
    if created is None:
        print("no AI aircraft created yet")
        return False
    title = created.get("title", "")
    ok = True
    if title not in installed_titles(simobjects):
        print(f"the first AI aircraft's title '{title}' is no installed livery")
        ok = False
    if created.get("object_id") is None:
        print(f"the first AI aircraft '{title}' was not created: {created.get('exception')}")
        return False
    if created["object_id"] not in plans:
        print(f"the first AI aircraft '{title}' ({created.get('tail_number')}) has no flight plan yet")
        ok = False
    if ok:
        print(f"first AI aircraft: '{title}' as {created.get('tail_number')}, with a flight plan")
    return ok


def stands_of(path):
    out = []
    for p in ET.parse(path).getroot().iter("parkpos"):
        out.append((p.get("id"), float(p.get("latitude")), float(p.get("longitude")), float(p.get("radius"))))
    return out


def dist_m(lat1, lon1, lat2, lon2):
    k = math.cos(math.radians(lat1))
    return math.hypot((lat2 - lat1) * 111120.0, (lon2 - lon1) * 111120.0 * k)


def nearest_stand(stands, lat, lon):
    return min(((dist_m(lat, lon, s[1], s[2]), s) for s in stands), key=lambda x: x[0])


def pushed_back(samples):
    """Moved on the ground against its heading (the simulator's airspeed of a
    pushed aircraft is negative, too)."""
    for a, b in zip(samples, samples[1:]):
        if not (a["on_ground"] and b["on_ground"]):
            continue
        if (b.get("airspeed_kt") or 0) < -0.5:
            return True
        if dist_m(a["lat"], a["lon"], b["lat"], b["lon"]) < 2.0:
            continue
        k = math.cos(math.radians(a["lat"]))
        track = math.atan2((b["lon"] - a["lon"]) * k, b["lat"] - a["lat"])
        diff = abs((track - (b.get("heading_rad") or 0.0) + math.pi) % (2 * math.pi) - math.pi)
        if diff > math.radians(135):
            return True
    return False


def traffic(trace, jsonl, log, stands_xml, live, motion, static):
    samples = {}
    alive_last = []
    for r in records(trace):
        if "alive" in r:
            alive_last = r["alive"]
        else:
            samples.setdefault(r["atc_id"], []).append(r)
    try:
        with open(log, encoding="utf-8", errors="replace") as f:
            log_text = f.read()
    except OSError:
        log_text = ""
    stands = stands_of(stands_xml)
    results = []

    def check(ok, text):
        results.append(ok)
        print(("ok:   " if ok else "FAIL: ") + text)

    if motion:
        arr = samples.get(ARRIVAL, [])
        flown = any(not s["on_ground"] and s["alt_ft"] > 100 for s in arr)
        landed = flown and any(s["on_ground"] for s in arr[next(i for i, s in enumerate(arr)
                                                               if not s["on_ground"]):]) if flown else False
        check(flown and landed, f"{ARRIVAL} flew in and landed ({len(arr)} samples)")
        if arr:
            d, stand = nearest_stand(stands, arr[-1]["lat"], arr[-1]["lon"])
            check(d <= max(stand[3], 25.0) and arr[-1]["on_ground"],
                  f"{ARRIVAL} ends on stand {stand[0]} ({d:.0f} m from its centre)")
        check(re.search(rf": {ARRIVAL} +arrived at stand", log_text) is not None,
              f"Log.txt: {ARRIVAL} arrived at stand")
        dep = samples.get(DEPARTURE, [])
        check(pushed_back(dep), f"{DEPARTURE} pushed back: moved tail first on the ground")
        ground_first = bool(dep) and dep[0]["on_ground"]
        airborne = any(not s["on_ground"] and s["alt_ft"] > 300 for s in dep)
        check(ground_first and airborne, f"{DEPARTURE} started on the ground and took off ({len(dep)} samples)")
    if live:
        leaver_ids = {s["object_id"] for s in samples.get(LEAVER, [])}
        removed = {r.get("object_id") for r in records(jsonl) if r.get("function") == "SimConnect_AIRemoveObject"}
        check(bool(leaver_ids) and leaver_ids <= removed and not (leaver_ids & set(alive_last)),
              f"{LEAVER} was created and removed when it left the range")
    if static:
        parked = []
        latest = {}
        for s_list in samples.values():
            for s in s_list:
                latest[s["object_id"]] = s
        for o in latest.values():
            if o["object_id"] not in alive_last or o.get("flight_plan") or not o["on_ground"]:
                continue
            d, stand = nearest_stand(stands, o["lat"], o["lon"])
            if d <= max(stand[3], 25.0):
                parked.append(stand[0])
        check(len(parked) >= 3, f"static aircraft on the stands: {', '.join(sorted(parked)) or 'none'}")
    return all(results)


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "watch":
        watch(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] == "first-aircraft":
        sys.exit(0 if first_aircraft(sys.argv[2], sys.argv[3]) else 1)
    elif len(sys.argv) >= 6 and sys.argv[1] == "traffic":
        flags = sys.argv[6:]
        sys.exit(0 if traffic(*sys.argv[2:6], "--live" in flags, "--motion" in flags, "--static" in flags) else 1)
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
