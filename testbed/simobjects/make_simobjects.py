#!/usr/bin/env python3
"""Writes the SimObjects folder of the demo's simulator installation: one
aircraft folder per type, each with an aircraft.cfg holding one [fltsim.N]
section per livery of the sample liveries list (title, airline through
atc_parking_codes, registration through atc_id), with the model and texture
folders and the flight-model file a section needs. The titles are the ones the
sample catalogue knows, so the aircraft the program creates carry titles of
installed liveries, with or without a livery scan.

    make_simobjects.py LiveriesScanned.xml SIMOBJECTS_FOLDER"""
import os
import sys
import xml.etree.ElementTree as ET

ROTORCRAFT = {"EC35", "EC45", "B407", "AS50"}


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    by_type = {}
    for liv in ET.parse(sys.argv[1]).getroot().iter("liv"):
        by_type.setdefault(liv.get("type"), []).append(liv)
    count = 0
    for typ, liveries in sorted(by_type.items()):
        kind = "Rotorcraft" if typ in ROTORCRAFT else "Airplanes"
        folder = os.path.join(sys.argv[2], kind, f"GLIM sample {typ}")
        os.makedirs(os.path.join(folder, "model"), exist_ok=True)
        lines = ["[General]", f"atc_type=GLIM", f"atc_model={typ}", "editable=1", ""]
        for n, liv in enumerate(liveries):
            # A livery counts only with its texture folder there.
            os.makedirs(os.path.join(folder, f"texture.{liv.get('airl')}_{n}"), exist_ok=True)
            lines += [f"[fltsim.{n}]", f"title={liv.get('title')}", f"sim=glim_{typ.lower()}", "model=",
                      f"texture={liv.get('airl')}_{n}", f"atc_parking_codes={liv.get('airl')}"]
            if liv.get("atcid"):
                lines.append(f"atc_id={liv.get('atcid')}")
            lines.append("")
            count += 1
        with open(os.path.join(folder, "aircraft.cfg"), "w", newline="\r\n") as f:
            f.write("\n".join(lines))
        with open(os.path.join(folder, f"glim_{typ.lower()}.air"), "wb") as f:
            f.write(b"GLIM sample flight model\0")
    print(f"{sys.argv[2]}: {count} liveries of {len(by_type)} types")


if __name__ == "__main__":
    main()
