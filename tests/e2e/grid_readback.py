#!/usr/bin/env python3
"""The geographic output read back by GDAL: on a grid of each kind (UTM,
Transverse Mercator, Lambert conformal conic in US survey feet) every
point's latitude and longitude in the JSON report, projected to the grid by
GDAL's own projection, must land within 0.1 mm of the point's grid
coordinates; and the same book with its control given by GDAL's latitudes
and longitudes (`point NAME lat= lon=`) must give the same new points.

    grid_readback.py TRAVERSE WORK_FOLDER
"""
import json
import math
import os
import subprocess
import sys

from osgeo import osr

osr.UseExceptions()

# Each grid: its EPSG code, its geographic system, the book's known points
# A, B (start) and C, D (end) by north and east, in the grid's unit.
GRIDS = [
    (32633, 4326, [(5300000.0, 630000.0), (5301500.0, 631000.0), (5302200.0, 633400.0), (5303000.0, 634000.0)]),
    (31467, 4314, [(5400000.0, 3480000.0), (5401500.0, 3481000.0), (5402200.0, 3483400.0), (5403000.0, 3484000.0)]),
    (27700, 4277, [(300000.0, 450000.0), (301500.0, 451000.0), (302200.0, 453400.0), (303000.0, 454000.0)]),
    (2263, 4269, [(200000.0, 1000000.0), (204500.0, 1003000.0), (206600.0, 1010200.0), (209000.0, 1012000.0)]),
]
FEET = 1200 / 3937


def book(epsg, known, geographic=None):
    a, b, c, d = known
    # A traverse B, P1, P2, C whose new points lie between B and C.
    p1 = (b[0] + (c[0] - b[0]) / 3 + 40, b[1] + (c[1] - b[1]) / 3 - 30)
    p2 = (b[0] + 2 * (c[0] - b[0]) / 3 - 25, b[1] + 2 * (c[1] - b[1]) / 3 + 35)
    stations = [a, b, p1, p2, c, d]

    def bearing(p, q):
        return math.degrees(math.atan2(q[1] - p[1], q[0] - p[0])) % 360

    lines = ["grid epsg:%d" % epsg, "unit deg"]
    for name, p in zip("ABCD", known):
        if geographic:
            lat, lon = geographic[name]
            lines.append("point %s lat=%.12f lon=%.12f" % (name, lat, lon))
        else:
            lines.append("point %s %.4f %.4f" % (name, p[0], p[1]))
    lines += ["traverse", "  A"]
    names = ["B", "P1", "P2", "C"]
    for i in range(1, 5):
        angle = (bearing(stations[i], stations[i + 1]) - bearing(stations[i], stations[i - 1])) % 360
        leg = " %.6f" % math.dist(stations[i], stations[i + 1]) if i < 4 else ""
        lines.append("  %s %.8f%s" % (names[i - 1], angle, leg))
    lines += ["  D", "end"]
    return "\n".join(lines) + "\n"


def adjust(program, folder, text, name):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(text)
    run = subprocess.run([program, "adjust", "--format", "json", path], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("%s: exit %d: %s" % (name, run.returncode, run.stderr))
    return json.loads(run.stdout)


def main():
    program, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    failures = checked = 0
    for epsg, geo, known in GRIDS:
        projected, geographic = osr.SpatialReference(), osr.SpatialReference()
        projected.ImportFromEPSG(epsg)
        geographic.ImportFromEPSG(geo)
        for s in (projected, geographic):
            s.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
        forward = osr.CoordinateTransformation(geographic, projected)
        inverse = osr.CoordinateTransformation(projected, geographic)
        unit = FEET if epsg == 2263 else 1.0
        report = adjust(program, folder, book(epsg, known), "grid_%d.book" % epsg)
        points = report["points"] + report["grid"]["known"]
        for p in points:
            east, north, _ = forward.TransformPoint(p["lon"], p["lat"])
            off = math.hypot(east - p["y"], north - p["x"]) * unit
            checked += 1
            if off > 0.0001:
                failures += 1
                print("EPSG:%d %s: GDAL puts its latitude and longitude %.6f m off" % (epsg, p["name"], off))
        # The control again, by GDAL's latitudes and longitudes.
        lat_lon = {}
        for name, (north, east) in zip("ABCD", known):
            lon, lat, _ = inverse.TransformPoint(east, north)
            lat_lon[name] = (lat, lon)
        again = adjust(program, folder, book(epsg, known, lat_lon), "geographic_%d.book" % epsg)
        for p, q in zip(report["points"], again["points"]):
            off = math.hypot(p["x"] - q["x"], p["y"] - q["y"]) * unit
            checked += 1
            if off > 0.0001:
                failures += 1
                print("EPSG:%d %s: %.6f m apart with geographic control" % (epsg, p["name"], off))
    print("%d passed, %d failed" % (checked - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
