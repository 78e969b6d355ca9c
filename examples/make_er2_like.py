#!/usr/bin/python3
"""Writes examples/er2-like.dat: a made-up data set of an Er(III) dimer.

Two Er(III) ions (J = 15/2, gJ = 6/5) with a Curie-Weiss temperature of
-1.9 K: chi = 2 * 0.125 * gJ^2 J(J+1) / (T - theta), so chi*T falls from
23 at 300 K to 11 at 1.8 K. The susceptibility gets Gaussian noise of 0.4 %.
examples/er2-like-model.json fits it with one Curie term of S = 15/2 and
THETA, g fitted (g comes out as gJ times the square root of 2).
Run it from anywhere: /usr/bin/python3 examples/make_er2_like.py
"""
import os
import random

random.seed(29)
T = [1.8, 2.0, 2.2, 2.5, 2.8, 3.2, 3.6, 4.0, 4.5, 5.0, 6, 7, 8, 9, 10, 12, 14, 16, 18, 20,
     25, 30, 35, 40, 50, 60, 70, 80, 90, 100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300]
C = 2 * 0.125 * 1.2 ** 2 * 7.5 * 8.5
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "er2-like.dat"), "w") as f:
    f.write(f"{len(T)}\n")
    for t in T:
        chi = C / (t + 1.9) * (1 + random.gauss(0, 0.004))
        f.write(f"{t:.2f} {chi:.6e}\n")
