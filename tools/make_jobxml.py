#!/usr/bin/env python3
"""Writes a Trimble JobXML job from true coordinates, so that a reader's
result can be checked against the truth.

The job: control points A and B keyed in (Grid, Method Coordinates), a
traverse A, P1, P2, B with a setup on each, oriented at A by a back bearing
to the mark R, which has no coordinates (its OrientationCorrection holds the
bearing), elsewhere by back bearings to the station before. A and P1 are
read in two rounds of face one and face two, the others in face one and
face two once; P1 radiates the sideshot C; P2 is set up a second time at
the end with another instrument height and circle, reading P1 and B again.
Every foresight carries the collector's ComputedGrid, a check. The raw EDM
distances leave out the prism constant of their target and the atmosphere's
ppm (unless --ppm-applied), as a Trimble collector writes them. Beside the
readings: a UnitsRecord whose display units are not the file's, a deleted
keyed-in B with wrong coordinates, a deleted pointing, and a mean of rounds
(MTA) record, none of which may count.

    tools/make_jobxml.py [--ppm-applied] [--ppm PPM] > FILE
"""
import argparse
import math
import sys

POINTS = {  # north, east, elevation
    "A": (5000.0, 3000.0, 120.0),
    "P1": (5120.5, 3060.25, 121.5),
    "P2": (5260.75, 3010.5, 119.25),
    "B": (5380.0, 3085.5, 122.0),
    "C": (5150.0, 3150.0, 118.0),
    "R": (4200.0, 2500.0, 95.0),  # the mark: not in the file but for its bearing
}
# Station, instrument height, the circle's zero (degrees of azimuth), rounds,
# then the targets: backsight first, each with its TargetRecord.
SETUPS = [
    ("A", 1.552, 37.25, 2, [("R", "T0"), ("P1", "T1")]),
    ("P1", 1.601, 301.125, 2, [("A", "T1"), ("P2", "T2"), ("C", "T1")]),
    ("P2", 1.487, 150.0, 1, [("P1", "T2"), ("B", "T1")]),
    ("B", 1.530, 12.5, 1, [("P2", "T2")]),
    ("P2", 1.612, 222.75, 1, [("P1", "T2"), ("B", "T1")]),
]
TARGETS = {"T0": (0.0, None), "T1": (-0.0175, 1.6), "T2": (0.0344, 1.45)}  # constant, height


def azimuth(a, b):
    n0, e0, _ = POINTS[a]
    n1, e1, _ = POINTS[b]
    return math.degrees(math.atan2(e1 - e0, n1 - n0)) % 360


class Job:
    def __init__(self, args):
        self.args = args
        self.id = 0
        self.lines = []

    def next_id(self):
        self.id += 1
        return f"{self.id:08x}"

    def add(self, text):
        self.lines.append(text)

    def record(self, kind, body, attributes=""):
        ident = self.next_id()
        self.add(f'    <{kind} ID="{ident}" TimeStamp="2024-05-04T10:00:00"{attributes}>')
        for line in body:
            self.add("      " + line)
        self.add(f"    </{kind}>")
        return ident

    def keyed(self, name, north, east, elevation, deleted=False):
        self.record("PointRecord", [
            f"<Name>{name}</Name>", "<Code>CTRL</Code>", "<Method>Coordinates</Method>",
            "<SurveyMethod>KeyedIn</SurveyMethod>", "<Classification>Normal</Classification>",
            f"<Deleted>{'true' if deleted else 'false'}</Deleted>",
            f"<Grid><North>{north!r}</North><East>{east!r}</East><Elevation>{elevation!r}</Elevation></Grid>"])

    def pointing(self, station_id, back_id, target_id, atmosphere_id, at, to, hi, zero, face,
                 method="DirectReading", classification="Normal", attributes="", mean=False):
        constant, height = TARGETS[target_id[1]]
        hz = (azimuth(at, to) - zero) % 360
        n0, e0, z0 = POINTS[at]
        n1, e1, z1 = POINTS[to]
        hd = math.hypot(n1 - n0, e1 - e0)
        circle = []
        if z1 is not None:
            dz = z1 + (height or 0) - z0 - hi
            v = math.degrees(math.atan2(hd, dz))
            sd = math.hypot(hd, dz)
            edm = sd - constant
            if not self.args.ppm_applied:
                edm /= 1 + self.args.ppm * 1e-6
        else:
            v, edm = 90.0, None
        if face == 2:
            hz, v = (hz + 180) % 360, 360 - v
        circle = [f"<HorizontalCircle>{hz:.10f}</HorizontalCircle>",
                  f"<VerticalCircle>{v:.10f}</VerticalCircle>"]
        if edm is not None:
            circle.append(f"<EDMDistance>{edm:.9f}</EDMDistance>")
        circle.append(f"<Face>Face{face}</Face>")
        body = [f"<Name>{to}</Name>", "<Code>TRAV STN</Code>", f"<Method>{method}</Method>",
                f"<Classification>{classification}</Classification>",
                f"<StationID>{station_id}</StationID>", f"<BackBearingID>{back_id}</BackBearingID>",
                f"<TargetID>{target_id[0]}</TargetID>", f"<AtmosphereID>{atmosphere_id}</AtmosphereID>"]
        if "Deleted" not in attributes:
            body.insert(4, "<Deleted>false</Deleted>")
        body.append("<MTA>" if mean else "<Circle>")
        body += ["  " + c for c in circle]
        body.append("</MTA>" if mean else "</Circle>")
        if z1 is not None and face == 1 and not mean and to != SETUPS_BACK.get(at):
            body.append(f"<ComputedGrid><North>{n1:.6f}</North><East>{e1:.6f}</East>"
                        f"<Elevation>{z1:.6f}</Elevation></ComputedGrid>")
        self.record("PointRecord", body, attributes)

    def write(self):
        a = self.args
        self.add('<?xml version="1.0" encoding="UTF-8"?>')
        self.add('<JOBFile jobName="synthetic" version="5.3" product="tools/make_jobxml.py" '
                 'TimeStamp="2024-05-04T10:00:00">')
        self.add("  <FieldBook>")
        # Display units only: the values stay degrees and metres.
        self.record("UnitsRecord", ["<DistanceUnits>USSurveyFeet</DistanceUnits>",
                                    "<AngleUnits>Gons</AngleUnits>",
                                    "<CoordinateOrder>East-North-Elevation</CoordinateOrder>"])
        atmosphere = self.record("AtmosphereRecord", [
            "<Pressure>1003.5</Pressure>", "<Temperature>24.5</Temperature>",
            f"<PPM>{a.ppm!r}</PPM>",
            f"<ApplyPPMToRawDistances>{'false' if a.ppm_applied else 'true'}</ApplyPPMToRawDistances>"])
        for name in ("A", "B"):
            self.keyed(name, *POINTS[name])
        self.keyed("B", 5381.0, 3086.0, 122.0, deleted=True)
        targets = {}
        for key, (constant, height) in TARGETS.items():
            targets[key] = self.record("TargetRecord", [
                "<PrismType>Custom</PrismType>", f"<PrismConstant>{constant!r}</PrismConstant>",
                f"<TargetHeight>{height!r}</TargetHeight>" if height is not None else "<TargetHeight/>"])
        for index, (station, hi, zero, rounds, sights) in enumerate(SETUPS):
            station_id = self.record("StationRecord", [
                f"<StationName>{station}</StationName>", f"<TheodoliteHeight>{hi!r}</TheodoliteHeight>",
                "<StationType>StationSetup</StationType>", "<ScaleFactor>1</ScaleFactor>",
                f"<AtmosphereID>{atmosphere}</AtmosphereID>"])
            back = sights[0][0]
            bearing = azimuth(station, back)
            circle = (bearing - zero) % 360
            back_id = self.record("BackBearingRecord", [
                f"<StationRecordID>{station_id}</StationRecordID>", f"<Station>{station}</Station>",
                f"<BackSight>{back}</BackSight>",
                f"<Face1HorizontalCircle>{circle:.10f}</Face1HorizontalCircle>",
                f"<Face2HorizontalCircle>{(circle + 180) % 360:.10f}</Face2HorizontalCircle>",
                f"<OrientationCorrection>{zero!r}</OrientationCorrection>"])
            for _ in range(rounds):
                for to, key in sights:
                    self.pointing(station_id, back_id, (targets[key], key), atmosphere, station, to, hi, zero, 1)
                for to, key in reversed(sights):
                    self.pointing(station_id, back_id, (targets[key], key), atmosphere, station, to, hi, zero, 2)
            if index == 1:
                # The collector's mean of the rounds to P2, and a pointing struck out.
                self.pointing(station_id, back_id, (targets["T2"], "T2"), atmosphere, station, "P2", hi,
                              zero, 1, method="MeanTurnedAngle", classification="MTA", mean=True)
                self.pointing(station_id, back_id, (targets["T1"], "T1"), atmosphere, station, "C", hi,
                              zero + 0.5, 1, attributes=' Deleted="true"')
        self.add("  </FieldBook>")
        self.add("  <Reductions>")
        for name in ("A", "B"):
            n, e, z = POINTS[name]
            self.add(f"    <Point><Name>{name}</Name><Grid><North>{n!r}</North><East>{e!r}</East>"
                     f"<Elevation>{z!r}</Elevation></Grid></Point>")
        self.add("  </Reductions>")
        self.add("</JOBFile>")
        sys.stdout.write("\r\n".join(self.lines) + "\r\n")


SETUPS_BACK = {}  # the backsight of each station's first setup: no ComputedGrid on it


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ppm", type=float, default=12.5, help="the atmosphere's ppm")
    parser.add_argument("--ppm-applied", action="store_true",
                        help="the instrument applied the ppm (ApplyPPMToRawDistances false)")
    args = parser.parse_args()
    for station, _, _, _, sights in SETUPS:
        SETUPS_BACK.setdefault(station, sights[0][0])
    Job(args).write()


if __name__ == "__main__":
    main()
