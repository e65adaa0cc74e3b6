#!/usr/bin/env python3
"""The map formats read back by other programs: on a UTM grid and on a
State Plane grid in US survey feet, a least-squares book with a setup and a
sideshot is written as

- GeoJSON, read by GDAL/OGR: every point is a feature with the JSON report's
  name, kind, grid N, E and sigmas, whose position GDAL projects to within
  1 mm of N, E; the traverse and the observed lines are LineStrings;
- CSV with --columns P,LAT,LON: GDAL projects each latitude and longitude to
  within 0.1 mm of the grid coordinates, and that CSV given back as the
  book's control (LAT and LON columns) gives the same new points;
- LandXML, checked by xmllint, in the LandXML 1.2 namespace with the grid's
  EPSG code, a CgPoint per point and an InstrumentSetup per setup, and read
  back by the program as a book's control with every point's coordinates.

    map_formats_readback.py TRAVERSE WORK_FOLDER
"""
import csv
import json
import math
import os
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

from osgeo import ogr, osr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from grid_readback import FEET, GRIDS, book  # noqa: E402

osr.UseExceptions()
ogr.UseExceptions()

SETUP = "setup P1\n  P2 0\n  S1 47.5 hd=25.000 code=TREE \"oak & <ash> 'x'\"\nend\n"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED: " + what)


def run(program, path, *options, rule="least-squares"):
    done = subprocess.run([program, "adjust", "--rule", rule, *options, path],
                          capture_output=True, text=True)
    # The book's figures are grid figures read as ground ones: the global
    # test fails (exit 3), and the report is written in full all the same.
    if done.returncode not in (0, 3):
        sys.exit("%s %s: exit %d: %s" % (path, options, done.returncode, done.stderr))
    return done.stdout


def transform(epsg, geo):
    projected, geographic = osr.SpatialReference(), osr.SpatialReference()
    projected.ImportFromEPSG(epsg)
    geographic.ImportFromEPSG(geo)
    for s in (projected, geographic):
        s.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    return osr.CoordinateTransformation(geographic, projected)


def geojson(program, folder, path, epsg, forward, unit, report):
    out = os.path.join(folder, "%d.geojson" % epsg)
    with open(out, "w") as f:
        f.write(run(program, path, "--format", "geojson"))
    with open(out) as f:
        check("crs" not in json.load(f), "EPSG:%d: GeoJSON has no crs member" % epsg)
    expected = {p["name"]: ("known", p) for p in report["grid"]["known"]}
    expected.update({p["name"]: ("new", p) for p in report["points"]})
    expected.update({p["name"]: ("sideshot", p) for p in report["sideshots"]})
    source = ogr.Open(out)  # held: its layer dies with it
    layer = source.GetLayer(0)
    seen, lines = set(), {}
    for feature in layer:
        geometry, kind = feature.GetGeometryRef(), feature.GetField("kind")
        name = feature.GetField("name")
        if geometry.GetGeometryName() == "LINESTRING":
            lines[kind] = lines.get(kind, 0) + 1
            continue
        seen.add(name)
        want_kind, p = expected[name]
        check(kind == want_kind, "EPSG:%d %s: kind %s, expected %s" % (epsg, name, kind, want_kind))
        n, e = feature.GetField("N"), feature.GetField("E")
        check(abs(n - p["x"]) < 1e-9 and abs(e - p["y"]) < 1e-9, "EPSG:%d %s: N, E" % (epsg, name))
        east, north, _ = forward.TransformPoint(geometry.GetX(), geometry.GetY())
        off = math.hypot(east - e, north - n) * unit
        check(off < 0.001, "EPSG:%d %s: GDAL puts the GeoJSON position %.6f m off" % (epsg, name, off))
        sigma = feature.GetField("sigma_N")
        check((sigma is None) == (kind == "known"), "EPSG:%d %s: sigma_N %s" % (epsg, name, sigma))
        if kind == "sideshot":
            check(feature.GetField("description") == "TREE oak & <ash> 'x'", "EPSG:%d: the sideshot's description" % epsg)
    check(seen == set(expected), "EPSG:%d: points %s, expected %s" % (epsg, sorted(seen), sorted(expected)))
    check(lines == {"traverse": 1, "observation": 2}, "EPSG:%d: lines %s" % (epsg, lines))


def geographic_csv(program, folder, path, epsg, forward, unit, report):
    rows = list(csv.reader(run(program, path, "--format", "csv", "--points", "all",
                               "--columns", "P,LAT,LON,N,E", "--decimals", "6").splitlines()))
    check(len(rows) == len(report["grid"]["known"]) + len(report["points"]), "EPSG:%d: CSV rows" % epsg)
    for name, lat, lon, n, e in rows:
        east, north, _ = forward.TransformPoint(float(lon), float(lat))
        off = math.hypot(east - float(e), north - float(n)) * unit
        check(off < 0.0001, "EPSG:%d %s: GDAL puts the CSV's LAT, LON %.6f m off" % (epsg, name, off))
    # The known points' latitudes and longitudes as the book's control.
    control = os.path.join(folder, "control_%d.csv" % epsg)
    with open(control, "w") as f:
        f.write("Name,Latitude,Longitude\n")
        f.writelines("%s,%s,%s\n" % tuple(r[:3]) for r in rows if r[0] in "ABCD")
    with open(path) as f:
        text = "".join(l for l in f if not l.startswith("point "))
    again_path = os.path.join(folder, "geographic_%d.book" % epsg)
    with open(again_path, "w") as f:
        f.write("points %s\n%s" % (os.path.basename(control), text))
    again = json.loads(run(program, again_path, "--format", "json"))
    for p, q in zip(report["points"], again["points"]):
        off = math.hypot(p["x"] - q["x"], p["y"] - q["y"]) * unit
        check(off < 0.0001, "EPSG:%d %s: %.6f m apart with control by LAT, LON" % (epsg, p["name"], off))


def landxml(program, folder, path, epsg, report):
    out = os.path.join(folder, "%d.xml" % epsg)
    with open(out, "w") as f:
        f.write(run(program, path, "--format", "landxml"))
    lint = subprocess.run(["xmllint", "--noout", out], capture_output=True, text=True)
    check(lint.returncode == 0, "EPSG:%d: xmllint: %s" % (epsg, lint.stderr))
    ns = {"l": "http://www.landxml.org/schema/LandXML-1.2"}
    root = ElementTree.parse(out).getroot()
    check(root.tag == "{%s}LandXML" % ns["l"], "EPSG:%d: the root %s" % (epsg, root.tag))
    system = root.find("l:CoordinateSystem", ns)
    check(system is not None and system.get("epsgCode") == str(epsg), "EPSG:%d: CoordinateSystem" % epsg)
    unit = root.find("l:Units/*", ns)
    check(unit is not None and unit.get("linearUnit") == ("USSurveyFoot" if epsg == 2263 else "meter"),
          "EPSG:%d: Units" % epsg)
    check(len(root.findall("l:Survey/l:InstrumentSetup", ns)) == 1, "EPSG:%d: InstrumentSetup" % epsg)
    check(len(root.findall("l:PlanFeatures/l:PlanFeature/l:CoordGeom/l:Line", ns)) == 3,
          "EPSG:%d: the traverse's lines" % epsg)
    # Read back as control: every point, the same coordinates.
    back = os.path.join(folder, "landxml_%d.book" % epsg)
    with open(back, "w") as f:
        f.write("grid epsg:%d\nunit deg\npoints %s\ntraverse\n  A\n  B 10 100\n  NEW\nend\n"
                % (epsg, os.path.basename(out)))
    rows = list(csv.reader(run(program, back, "--format", "csv", "--points", "all", "--decimals", "9",
                               rule="compass").splitlines()))[1:]
    given = {p["name"]: p for key in ("points", "sideshots") for p in report[key]}
    given.update({p["name"]: p for p in report["grid"]["known"]})
    got = {r[0]: r for r in rows if r[0] != "NEW"}
    check(set(got) == set(given), "EPSG:%d: LandXML points %s" % (epsg, sorted(got)))
    for name, p in given.items():
        r = got.get(name, [name, "nan", "nan", ""])
        same = abs(float(r[1]) - p["x"]) < 1e-8 and abs(float(r[2]) - p["y"]) < 1e-8
        same = same and (p.get("z") is None) == (len(r) < 4 or r[3] == "")
        check(same, "EPSG:%d %s: read back from LandXML as %s" % (epsg, name, r))
    oak = root.find("l:CgPoints/l:CgPoint[@name='S1']", ns)
    check(oak is not None and oak.get("desc") == "oak & <ash> 'x'", "EPSG:%d: S1's desc" % epsg)


def main():
    program, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    for epsg, geo, known in (GRIDS[0], GRIDS[3]):
        path = os.path.join(folder, "map_%d.book" % epsg)
        with open(path, "w") as f:
            f.write(book(epsg, known) + SETUP)
        forward, unit = transform(epsg, geo), FEET if epsg == 2263 else 1.0
        report = json.loads(run(program, path, "--format", "json"))
        geojson(program, folder, path, epsg, forward, unit, report)
        geographic_csv(program, folder, path, epsg, forward, unit, report)
        landxml(program, folder, path, epsg, report)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
