"""Reads the program's DXF back with a real DXF library (ezdxf) and checks it
against the same adjustment's JSON: the audit finds nothing, every known and
new point is a POINT on its layer with its name as TEXT and its height as
TEXT on layer ELEV, 2.5 mm high at the plot scale, and an INSERT of block
POINT whose attributes NAME and ELEV hold them; each traverse is one POLYLINE
through its stations, 3D where heights are carried, closed for a loop; the
sideshots are on layer SIDESHOTS, or on their codes' layers when asked.
Usage: dxf_readback.py PROGRAM WORK_FOLDER"""
import json
import os
import subprocess
import sys

import ezdxf

program, folder = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)

BOOK = """\
unit gon
point S0 900 1000
point S1 1000 1000 100.000
point E1 1549.990 1000.000 101.050
point "Zürich" 1000 2000
traverse north
bearing 399.9998/0.0004
S1 0.0002/399.9998 sd=299.999/300.001 za=99.5/300.5
P1 199.9996/200.0004 sd=250 za=100.4 hi=1.55 ht=1.30
E1
end
traverse square
S0
S1 300.002 100.004
Q1 99.999 99.998
Q2 100.0015 100.003
Q3 100.0 99.997
S1 200.0005
S0
end
"""
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(fmt, path, *extra):
    out = subprocess.run([program, "adjust", "--format", fmt, *extra, path],
                         capture_output=True, check=True)
    return out.stdout


book_path = os.path.join(folder, "readback.book")
with open(book_path, "w", encoding="utf-8") as f:
    f.write(BOOK)
answers_path = os.path.join(folder, "readback.txt")
with open(answers_path, "w") as f:
    f.write("\n".join(["4800.000", "2850.000", "5000.000", "3000.000", "5165.381", "3770.824",
                       "4882.538", "4053.667", "left", "4", "219.0346", "250.0008", "174.9991",
                       "265.0013", "250.012", "299.987", "280.009"]) + "\n")

for path, known_names, polylines, scale in [
        (book_path, ["S0", "S1", "E1", '"Zürich"'], [("north", True, False),
                                                      ("square", False, True)], None),
        (answers_path, ["A", "B", "C", "D"], [("1", False, False)], "2000")]:
    dxf_path = path + ".dxf"
    with open(dxf_path, "wb") as f:
        f.write(run("dxf", path, *(["--plot-scale", scale] if scale else [])))
    report = json.loads(run("json", path))
    doc = ezdxf.readfile(dxf_path)
    check(doc.dxfversion == "AC1009", f"{path}: version {doc.dxfversion}")
    auditor = doc.audit()
    check(not auditor.has_errors, f"{path}: audit errors {[str(e) for e in auditor.errors]}")
    msp = doc.modelspace()
    points = {}
    for layer in ("KNOWN", "NEW"):
        points[layer] = [p for p in msp.query("POINT") if p.dxf.layer == layer]
    texts = [t for t in msp.query("TEXT") if t.dxf.layer == "NAMES"]
    text_names = [t.dxf.text for t in texts]

    new = report["points"] if "traverses" in report else [
        dict(p, name=str(p["number"])) for p in report["points"]]
    check(len(points["KNOWN"]) == len(known_names), f"{path}: {len(points['KNOWN'])} known")
    check(len(points["NEW"]) == len(new), f"{path}: {len(points['NEW'])} new points")
    for entity, point in zip(points["NEW"], new):
        x, y, z = entity.dxf.location
        check((x, y) == (point["y"], point["x"]), f"{path}: {point['name']} at {(x, y)}")
        check(z == point.get("z", 0.0), f"{path}: {point['name']} height {z}")
    expected_names = [n.replace("ü", "\\U+00FC") for n in known_names] + [p["name"] for p in new]
    check(text_names == expected_names, f"{path}: names {text_names}")
    height = 0.0025 * float(scale or 500)
    check({t.dxf.height for t in msp.query("TEXT")} == {height}, f"{path}: text heights")
    inserts = list(msp.query("INSERT"))
    check([i.dxf.name for i in inserts] == ["POINT"] * len(expected_names), f"{path}: inserts")
    check("POINT" in doc.blocks, f"{path}: no block POINT")
    heights = {p["name"]: p.get("z") for p in new}
    heights.update({"S1": 100.0, "E1": 101.05})
    for insert, name, entity in zip(inserts, expected_names, points["KNOWN"] + points["NEW"]):
        attributes = {a.dxf.tag: a.dxf.text for a in insert.attribs}
        z = heights.get(name)
        check(attributes == {"NAME": name, "ELEV": "" if z is None else "%.3f" % z, "DESC": ""},
              f"{path}: attributes {attributes} of {name}")
        check(insert.dxf.insert == entity.dxf.location, f"{path}: {name} inserted at {insert.dxf.insert}")
    elevations = [t.dxf.text for t in msp.query("TEXT") if t.dxf.layer == "ELEV"]
    check(elevations == ["%.3f" % heights[n] for n in expected_names if heights.get(n) is not None],
          f"{path}: elevations {elevations}")

    lines = list(msp.query("POLYLINE"))
    check(len(lines) == len(polylines), f"{path}: {len(lines)} polylines")
    traverses = report.get("traverses", [report])
    for line, traverse, (name, three_d, closed) in zip(lines, traverses, polylines):
        check(line.dxf.layer == "TRAVERSE", f"{path} {name}: layer {line.dxf.layer}")
        check(line.is_3d_polyline == three_d, f"{path} {name}: 3D {line.is_3d_polyline}")
        check(line.is_closed == closed, f"{path} {name}: closed {line.is_closed}")
        vertices = [v.dxf.location for v in line.vertices]
        stations = len(traverse["legs"]) + (0 if closed else 1)
        check(len(vertices) == stations, f"{path} {name}: {len(vertices)} vertices")
        for vertex, point in zip(vertices[1:], traverse["points"]):
            check((vertex[0], vertex[1]) == (point["y"], point["x"]),
                  f"{path} {name}: vertex {vertex}")
            if three_d:
                check(vertex[2] == point["z"], f"{path} {name}: vertex height {vertex[2]}")

# Sideshots: on layer SIDESHOTS, or with --dxf-code-layers on their code's
# layer, declared in the layer table, where the JSON puts them.
SETUP_BOOK = BOOK + """\
setup S1 hi=1.5
S0 0 za=100
S0 200 za=300
T1 100 za=100 hd=10 ht=1.5 code=tree "oak"
K2 200 hd=5
end
"""
setup_path = os.path.join(folder, "sideshots.book")
with open(setup_path, "w", encoding="utf-8") as f:
    f.write(SETUP_BOOK)
shots = json.loads(run("json", setup_path))["sideshots"]
check([s["name"] for s in shots] == ["T1", "K2"], f"sideshots {shots}")
for extra, layers in [((), ["SIDESHOTS", "SIDESHOTS"]), (("--dxf-code-layers",), ["TREE", "SIDESHOTS"])]:
    dxf_path = setup_path + "".join(extra) + ".dxf"
    with open(dxf_path, "wb") as f:
        f.write(run("dxf", setup_path, *extra))
    doc = ezdxf.readfile(dxf_path)
    auditor = doc.audit()
    check(not auditor.has_errors and not auditor.fixes, f"{extra}: audit {[str(e) for e in auditor.errors]}")
    msp = doc.modelspace()
    for shot, layer in zip(shots, layers):
        check(layer in doc.layers, f"{extra}: no layer {layer}")
        found = [p.dxf.location for p in msp.query("POINT") if p.dxf.layer == layer]
        check((shot["y"], shot["x"], shot["z"] or 0.0) in [tuple(p) for p in found],
              f"{extra}: {shot['name']} not on {layer}: {found}")
        inserts = [i for i in msp.query("INSERT") if i.dxf.layer == layer]
        names = [{a.dxf.tag: a.dxf.text for a in i.attribs}["NAME"] for i in inserts]
        check(shot["name"] in names, f"{extra}: {shot['name']} has no INSERT on {layer}")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("DXF read back: 4 drawings, every entity where the JSON puts it")
