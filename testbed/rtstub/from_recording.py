#!/usr/bin/env python3
"""Turns a recorded ADS-B flight (a gzip of a JSON array of rows with
timestamp in ms, icao24, callsign, latitude, longitude, altitude in ft,
groundspeed in kt, track and vertical_rate) into an rtstub scenario that
replays it second by second, repeats and glitches included.

    from_recording.py [--type B738] [--from-end-min 15 | --start-min M]
                      [--minutes N] RECORDING.json.gz OUT.json

By default the last 15 minutes: for the Schiphol recording of the test data
that is the approach and the landing on runway 06. The recording is read
where it lies; only the scenario is written."""
import argparse
import gzip
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from feed_entry import entry, write_scenario  # noqa: E402


def number(row, key):
    v = row.get(key)
    return v if isinstance(v, (int, float)) and v == v else None


def convert(rows, typ, start_s, minutes):
    rows = sorted((r for r in rows if number(r, "timestamp") is not None), key=lambda r: r["timestamp"])
    if not rows:
        raise SystemExit("the recording has no rows with a time")
    first_s = rows[0]["timestamp"] / 1000.0
    traffic = []
    for r in rows:
        t = int(round(r["timestamp"] / 1000.0 - first_s - start_s))
        if t < 0 or (minutes is not None and t > minutes * 60):
            continue
        lat, lon = number(r, "latitude"), number(r, "longitude")
        if lat is None or lon is None:
            continue  # a receiver gap: the service would not report it either
        alt = number(r, "altitude") or 0
        callsign = (r.get("callsign") or "null").strip() or "null"
        traffic.append({"t": t, "entry": entry(
            (r.get("icao24") or "000000").lower(), lat, lon, number(r, "track") or 0, alt,
            number(r, "groundspeed") or 0, typ, "null", callsign, "null", "null",
            number(r, "vertical_rate") or 0, -1, 0, None)})
    return traffic


def eham_parked():
    import eham_scenario
    return eham_scenario.build("short")["parked"]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--type", default="B738", help="ICAO type: the recording has none")
    where = ap.add_mutually_exclusive_group()
    where.add_argument("--from-end-min", type=float, default=15.0, help="start this many minutes before the end")
    where.add_argument("--start-min", type=float, help="start this many minutes after the first row")
    ap.add_argument("--minutes", type=float, help="length (default: to the end)")
    ap.add_argument("recording")
    ap.add_argument("out")
    args = ap.parse_args()

    with gzip.open(args.recording, "rt") as f:
        rows = json.load(f)
    stamps = [r["timestamp"] for r in rows if number(r, "timestamp") is not None]
    span_s = (max(stamps) - min(stamps)) / 1000.0
    start_s = args.start_min * 60.0 if args.start_min is not None else max(0.0, span_s - args.from_end_min * 60.0)
    traffic = convert(rows, args.type, start_s, args.minutes)
    if not traffic:
        raise SystemExit("nothing of the recording lies in that window")
    scenario = {
        "license": "GLIM demo licence",
        "server": "rtstub-recording",
        "rrl": 2000,
        "wrrl": 2000,
        "start_at": 10,
        "stale_s": 10,
        "traffic": traffic,
        # The parked aircraft of the Schiphol scenario, for the static ones.
        "parked": eham_parked(),
        "metar": [{"ICAO": "EHAM", "Dist": 1.2, "BrgTo": 200.0,
                   "METAR": "EHAM 301225Z 24008KT 9999 FEW030 17/09 Q1013"}],
        "weather": {"QNH": 1013, "METAR": "EHAM 301225Z 24008KT 9999 FEW030 17/09 Q1013"},
    }
    write_scenario(args.out, scenario)
    print(f"{args.out}: {len(traffic)} entries over {traffic[-1]['t']} s from {os.path.basename(args.recording)}")


if __name__ == "__main__":
    main()
