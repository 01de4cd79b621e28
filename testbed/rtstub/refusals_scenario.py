#!/usr/bin/env python3
"""Writes an rtstub scenario of 24 aircraft circling Amsterdam (EHAM) in range
of the user aircraft on stand D7 (testbed/simstub/scenarios/eham.json), each
of another airline and type of the sample liveries (testbed/data/catalogue),
so that every one is given a livery title of its own. The fault runs replay it
against a simulator that refuses titles: enough distinct titles to reach the
limit of failed liveries within a short run.

    refusals_scenario.py [--seconds N] OUT.json
"""
import argparse
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from feed_entry import entry, offset, write_scenario  # noqa: E402

CENTRE = (52.3105, 4.7683)
STEP_S = 2
# (airline, type): passenger liveries of the samples, one pair an aircraft.
# AAL701 flies as N128EA, a registration with a livery of its own.
FLEET = [
    ("KLM", "B738"), ("AAL", "A321"), ("AFR", "A320"), ("AUA", "DH8D"), ("BAW", "A319"), ("BAW", "B744"),
    ("DAL", "B752"), ("DLH", "A359"), ("EIN", "A321"), ("EZY", "A319"), ("KLM", "A333"), ("FIN", "AT76"),
    ("IBE", "A333"), ("KLM", "E190"), ("RYR", "B738"), ("SAS", "CRJ9"), ("SWR", "A320"), ("TRA", "B738"),
    ("UAE", "B77W"), ("UAL", "B789"), ("DAL", "B738"), ("DLH", "A20N"), ("EZY", "A20N"), ("SAS", "A320"),
]


def build(seconds):
    traffic = []
    for i, (airline, typ) in enumerate(FLEET):
        hexid = f"4a{i:04x}"
        callsign = f"{airline}{700 + i}"
        reg = "N128EA" if (airline, typ) == ("AAL", "A321") else f"PH-R{i:02d}"
        radius_m = 5000.0 + 250.0 * i
        alt_ft = 3000 + 200 * i
        gs_kt = 180.0
        start_deg = 360.0 * i / len(FLEET)
        deg_per_s = math.degrees(gs_kt * 1852.0 / 3600.0 / radius_m)
        for t in range(0, seconds + 1, STEP_S):
            around = start_deg + deg_per_s * t
            lat, lon = offset(CENTRE[0], CENTRE[1], around, radius_m)
            track = around + 90.0
            traffic.append({"t": t, "entry": entry(hexid, lat, lon, track, alt_ft, gs_kt, typ, reg, callsign,
                                                  true_hdg_deg=track)})
    traffic.sort(key=lambda x: x["t"])
    return {
        "server": "rtstub-refusals",
        "rrl": 1000,
        "wrrl": 1000,
        "start_at": 10,
        "stale_s": 10,
        "traffic": traffic,
        "metar": [{"ICAO": "EHAM", "Dist": 2.4, "BrgTo": 190.0,
                   "METAR": "EHAM 061225Z 24012KT 9999 FEW030 12/08 Q1020"}],
        "weather": {"QNH": 1020, "METAR": "EHAM 061225Z 24012KT 9999 FEW030 12/08 Q1020"},
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seconds", type=int, default=300)
    ap.add_argument("out")
    args = ap.parse_args()
    write_scenario(args.out, build(args.seconds))


if __name__ == "__main__":
    main()
