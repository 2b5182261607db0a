#!/usr/bin/env python3
"""Writes the showcase sample: samples/showcase.off, a trefoil knot as a
coarse tube of quads cut into triangles, and samples/showcase.kelvane, the
scene document that opens it: the knot subdivided once (smooth) in light
oak, lying on a polished red marble floor with a metallic finish, lit by the
four indoor lights with a warm and a cool one, seen from above at an angle.

Run it from anywhere; it writes next to itself in ../samples.
"""
import json
import math
import os

ALONG = 96   # tube sections along the knot
AROUND = 10  # vertices around each section
TUBE = 0.55  # tube radius
# Loop subdivision shrinks the tube a little; lifting the knot by this much
# puts the lowest point of the subdivided knot on the ground, which Kelvane
# places at minus the radius of the loaded mesh's bounding sphere (read from
# the plane line of `kelvane --pov x.pov --ground samples/showcase.kelvane`
# and the lowest vertex of the knot's triangles there).
LIFT = -2.2316


def knot(t):
    return (math.sin(t) + 2.0 * math.sin(2.0 * t),
            math.cos(t) - 2.0 * math.cos(2.0 * t),
            -0.8 * math.sin(3.0 * t))


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def unit(a):
    n = math.sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2])
    return (a[0] / n, a[1] / n, a[2] / n)


def mesh():
    vertices, faces = [], []
    for i in range(ALONG):
        t = 2.0 * math.pi * i / ALONG
        p = knot(t)
        tangent = unit(sub(knot(t + 1e-4), knot(t - 1e-4)))
        # A frame around the tangent that turns smoothly: the side is
        # perpendicular to the tangent and the vertical.
        side = unit(cross(tangent, (0.0, 0.0, 1.0)))
        up = cross(side, tangent)
        for j in range(AROUND):
            a = 2.0 * math.pi * j / AROUND
            c, s = math.cos(a) * TUBE, math.sin(a) * TUBE
            vertices.append((p[0] + c * side[0] + s * up[0],
                             p[1] + c * side[1] + s * up[1],
                             p[2] + c * side[2] + s * up[2] + LIFT))
    for i in range(ALONG):
        n = (i + 1) % ALONG
        for j in range(AROUND):
            k = (j + 1) % AROUND
            a, b = i * AROUND + j, n * AROUND + j
            c, d = n * AROUND + k, i * AROUND + k
            faces.append((a, b, c))
            faces.append((a, c, d))
    return vertices, faces


def write_off(path, vertices, faces):
    with open(path, "w") as f:
        f.write(f"OFF\n{len(vertices)} {len(faces)} 0\n")
        for v in vertices:
            f.write("%.6f %.6f %.6f\n" % v)
        for a, b, c in faces:
            f.write(f"3 {a} {b} {c}\n")


def look_at(eye, target):
    """The camera's orientation as libQGLViewer's quaternion (x, y, z, w):
    the camera looks down its -z axis with its y axis up."""
    back = unit(sub(eye, target))
    right = unit(cross((0.0, 0.0, 1.0), back))
    up = cross(back, right)
    m = [[right[0], up[0], back[0]], [right[1], up[1], back[1]], [right[2], up[2], back[2]]]
    trace = m[0][0] + m[1][1] + m[2][2]
    if trace > 0.0:
        s = 0.5 / math.sqrt(trace + 1.0)
        q = ((m[2][1] - m[1][2]) * s, (m[0][2] - m[2][0]) * s, (m[1][0] - m[0][1]) * s,
             0.25 / s)
    else:
        i = max(range(3), key=lambda k: m[k][k])
        j, k = (i + 1) % 3, (i + 2) % 3
        s = 2.0 * math.sqrt(1.0 + m[i][i] - m[j][j] - m[k][k])
        q = [0.0, 0.0, 0.0, (m[k][j] - m[j][k]) / s]
        q[i] = 0.25 * s
        q[j] = (m[j][i] + m[i][j]) / s
        q[k] = (m[k][i] + m[i][k]) / s
        q = tuple(q)
    return q


def texture(name, color, diffuse, specular, ambient, reflection, roughness, metallic):
    return {"name": name, "color": color, "diffuse": diffuse, "specular": specular,
            "ambient": ambient, "reflection": reflection, "roughness": roughness,
            "metallic": metallic, "normalPattern": "smooth", "bumpSize": 0.5,
            "normalScale": 1}


def document():
    eye = (5.2, -7.4, 5.6 + LIFT)
    target = (0.0, 0.3, LIFT - 0.4)
    # The indoor lights: four around the scene, 60 degrees up, at three
    # times the scene's radius; one warm, one cool.
    radius = 3.55  # the loaded knot's bounding radius
    lights = []
    colors = [[1.0, 0.88, 0.7], [1.0, 1.0, 1.0], [0.7, 0.82, 1.0], [1.0, 1.0, 1.0]]
    for i in range(4):
        azimuth, elevation, distance = i * 1.570795, 1.0471966, radius * 3.0
        lights.append({
            "position": [distance * math.cos(elevation) * math.sin(azimuth),
                         distance * math.cos(elevation) * math.cos(azimuth),
                         distance * math.sin(elevation)],
            "azimuth": azimuth, "elevation": elevation, "distance": distance,
            "color": colors[i], "intensity": 0.4 if i % 2 == 0 else 0.25})
    return {
        "version": 1,
        "model": "showcase.off",
        "lighting": "indoor",
        "ambient": 0.1,
        "ground": True,
        "camera": {"position": list(eye), "orientation": list(look_at(eye, target)),
                   "fieldOfView": math.pi / 4.0},
        "view": {"wireframe": False, "showLights": False},
        "models": [
            {"texture": texture("T_Stone21", [0.3, 0.3, 0.3], 0.6, 0.5, 0.1, 0.2, 0.02, True),
             "flat": False, "subdivisions": 0},
            {"texture": texture("T_Wood1", [0.8, 0.8, 0.8], 0.7, 0.5, 0.1, 0.05, 0.02, False),
             "flat": False, "subdivisions": 1},
        ],
        "lights": lights,
    }


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")
    vertices, faces = mesh()
    write_off(os.path.join(here, "showcase.off"), vertices, faces)
    with open(os.path.join(here, "showcase.kelvane"), "w") as f:
        json.dump(document(), f, indent=4)
        f.write("\n")


if __name__ == "__main__":
    main()
