#!/usr/bin/env python3
"""Writes the bundled sample: a simulated scan of a small machined part.

The part is a plate 120 x 80 x 12 mm with a cylindrical boss (radius 18, height 30) and a
bore (radius 7) through it, a spherical dome (radius 14) and a chamfer-free pocket wall,
sampled from above and the sides as an optical sensor would see it, with 0.01 mm of
Gaussian noise. Deterministic (fixed seed), so every build shows the same cloud.

Usage: make-sample.py OUTPUT.xyz [POINTS] [--boss BOSS.xyz]
With --boss, the points of the boss's mantle (a cylinder of radius 18 about the axis
through (-25, 5) in z) also go to BOSS.xyz, a ready-made input for a cylinder fit.
"""
import math
import random
import sys


def main():
    args = sys.argv[1:]
    boss_file = None
    if "--boss" in args:
        i = args.index("--boss")
        boss_file = args[i + 1]
        del args[i : i + 2]
    out = args[0] if args else "sample_part.xyz"
    total = int(args[1]) if len(args) > 1 else 300000
    rng = random.Random(20181218)
    noise = 0.01
    pts = []

    boss_c, boss_r, boss_h, bore_r = (-25.0, 5.0), 18.0, 30.0, 7.0
    dome_c, dome_r = (32.0, -10.0), 14.0
    plate = (-60.0, 60.0, -40.0, 40.0, 12.0)

    def add(x, y, z):
        pts.append((x + rng.gauss(0, noise), y + rng.gauss(0, noise), z + rng.gauss(0, noise)))

    def in_circle(x, y, c, r):
        return (x - c[0]) ** 2 + (y - c[1]) ** 2 < r * r

    # Shares of the points per surface, roughly by visible area.
    n_top = int(total * 0.50)
    n_boss = int(total * 0.18)
    n_boss_top = int(total * 0.07)
    n_bore = int(total * 0.05)
    n_dome = int(total * 0.10)
    n_sides = total - n_top - n_boss - n_boss_top - n_bore - n_dome

    x0, x1, y0, y1, zt = plate
    while n_top > 0:  # plate top, without the boss foot and the dome foot
        x, y = rng.uniform(x0, x1), rng.uniform(y0, y1)
        if in_circle(x, y, boss_c, boss_r) or in_circle(x, y, dome_c, dome_r):
            continue
        add(x, y, zt)
        n_top -= 1
    mantle_start = len(pts)
    for _ in range(n_boss):  # boss mantle
        a, h = rng.uniform(0, 2 * math.pi), rng.uniform(0, boss_h)
        add(boss_c[0] + boss_r * math.cos(a), boss_c[1] + boss_r * math.sin(a), zt + h)
    mantle = pts[mantle_start:]
    while n_boss_top > 0:  # boss face, a ring around the bore
        x, y = rng.uniform(-boss_r, boss_r), rng.uniform(-boss_r, boss_r)
        if x * x + y * y > boss_r * boss_r or x * x + y * y < bore_r * bore_r:
            continue
        add(boss_c[0] + x, boss_c[1] + y, zt + boss_h)
        n_boss_top -= 1
    for _ in range(n_bore):  # bore wall, seen to a depth of 20 mm
        a, h = rng.uniform(0, 2 * math.pi), rng.uniform(10, boss_h)
        add(boss_c[0] + bore_r * math.cos(a), boss_c[1] + bore_r * math.sin(a), zt + h)
    for _ in range(n_dome):  # spherical dome, upper half
        u, a = rng.uniform(0, 1), rng.uniform(0, 2 * math.pi)
        z = u * dome_r  # uniform in height gives uniform area on a sphere
        r = math.sqrt(max(dome_r * dome_r - z * z, 0.0))
        add(dome_c[0] + r * math.cos(a), dome_c[1] + r * math.sin(a), zt + z)
    for i in range(n_sides):  # the four plate sides
        side = i % 4
        z = rng.uniform(0, zt)
        if side == 0:
            add(rng.uniform(x0, x1), y0, z)
        elif side == 1:
            add(rng.uniform(x0, x1), y1, z)
        elif side == 2:
            add(x0, rng.uniform(y0, y1), z)
        else:
            add(x1, rng.uniform(y0, y1), z)

    with open(out, "w") as f:
        f.write("".join("%.4f %.4f %.4f\n" % p for p in pts))
    if boss_file:
        with open(boss_file, "w") as f:
            f.write("".join("%.4f %.4f %.4f\n" % p for p in mantle))


if __name__ == "__main__":
    main()
