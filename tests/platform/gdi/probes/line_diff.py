#!/usr/bin/env python3
"""Seeded random Polyline cases drawn by a real GDI and by ours, compared pixel for pixel.

Build the probe twice and run (WINEPREFIX: a prefix of your own):
  i686-w64-mingw32-g++ -O2 -static -o line_probe.exe line_probe.cpp -lgdi32
  g++ -m32 -std=c++20 -O2 -I<repo>/platform/include -o line_probe line_probe.cpp \
      -L<build>/bin -lplatform -Wl,-rpath,<build>/bin
  WINEPREFIX=/tmp/lines-prefix WINEDEBUG=-all line_diff.py ./line_probe.exe ./line_probe SEED COUNT

End points stay within +-2^27: Wine 8 misplaces lines whose deltas reach about 2^29, where ours keeps
the exact pixels (and Windows documents 27-bit device coordinates).
"""
import random
import subprocess
import sys

LIMIT = 2**27


def generate(seed, count):
    rnd = random.Random(seed)
    cases = []
    for _ in range(count):
        w, h = rnd.choice([1, 2, 5, 17, 32, 40]), rnd.choice([1, 3, 16, 31, 40])
        aw, ah = w, h
        if rnd.random() < 0.3:
            h = -h  # bottom-up
        kind = rnd.randrange(5)
        polys = []
        for _ in range(rnd.randint(1, 3)):
            if kind == 0:  # near the canvas, often leaving it
                pts = [(rnd.randint(-12, aw + 12), rnd.randint(-12, ah + 12)) for _ in range(rnd.randint(2, 6))]
            elif kind == 1:  # far end points, passing through the canvas
                r = rnd.choice([10**3, 10**6, 2**26])
                cx, cy = rnd.randrange(aw), rnd.randrange(ah)
                dx, dy = rnd.randint(-r, r), rnd.randint(-r, r)
                if rnd.random() < 0.4:
                    dy = rnd.randint(-3, 3)
                elif rnd.random() < 0.4:
                    dx = rnd.randint(-3, 3)
                t = rnd.random()
                a = (cx - int(dx * t), cy - int(dy * t))
                pts = [a, (a[0] + dx, a[1] + dy)]
            elif kind == 2:  # the edges of the coordinate range and of the canvas
                c = [-LIMIT, LIMIT - 1, 0, -1, aw, ah, rnd.randint(-5, 45)]
                pts = [(rnd.choice(c), rnd.choice(c)) for _ in range(rnd.randint(2, 4))]
            elif kind == 3:  # lines passing halfway between pixels
                n = rnd.choice([2, 4, 6, 10, 20, 38])
                d = rnd.choice([1, 3, 5, n // 2 | 1])
                x0, y0 = rnd.randint(-5, aw + 5), rnd.randint(-5, ah + 5)
                sx, sy = rnd.choice([-1, 1]), rnd.choice([-1, 1])
                end = (x0 + sx * n, y0 + sy * d) if rnd.random() < 0.5 else (x0 + sx * d, y0 + sy * n)
                pts = [(x0, y0), end]
            else:  # long polylines with repeated points
                pts = [(rnd.randint(-3, aw + 3), rnd.randint(-3, ah + 3))]
                for _ in range(rnd.randint(1, 12)):
                    pts.append(pts[-1] if rnd.random() < 0.2 else (rnd.randint(-3, aw + 3), rnd.randint(-3, ah + 3)))
            polys.append(pts)
        cases.append((w, h, rnd.choice([1, 2]), rnd.randint(0, 6), polys))
    return cases


def script(cases):
    lines = []
    for w, h, mode, style, polys in cases:
        lines.append(f"C {w} {h} {mode} {style}")
        for pts in polys:
            lines.append("P %d %s" % (len(pts), " ".join(f"{x} {y}" for x, y in pts)))
        lines.append("E")
    return "\n".join(lines) + "\n"


def draw(command, text):
    out = subprocess.run(command, input=text, capture_output=True, text=True, check=True).stdout
    return out.split("=\n")[:-1]


def main():
    windows_probe, our_probe, seed, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    cases = generate(seed, count)
    text = script(cases)
    theirs, ours = draw(["wine", windows_probe], text), draw([our_probe], text)
    if len(theirs) != len(cases) or len(ours) != len(cases):
        sys.exit(f"incomplete output: {len(theirs)} and {len(ours)} of {len(cases)} cases")
    bad = [(c, a, b) for c, a, b in zip(cases, theirs, ours) if a != b]
    for case, a, b in bad[:3]:
        print("differs:", case)
        for ra, rb in zip(a.splitlines(), b.splitlines()):
            print(ra, "  ", rb)
    print(f"seed {seed}: {len(bad)} of {len(cases)} cases differ")
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
