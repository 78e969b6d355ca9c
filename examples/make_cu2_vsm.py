#!/usr/bin/python3
"""Writes examples/cu2-vsm.dat: a made-up MPMS3 VSM file of a copper(II) dimer.

Model, per mole of dimer (M_w = 598.52 g/mol): two Cu(II) ions, each
  x * N g^2 beta^2 / (k T) / (3 + exp(-2J/kT)) + (1 - x) * N g^2 beta^2 / (4 k T)
(Bleaney-Bower, H = -2J S1.S2, with a fraction 1 - x of uncoupled S = 1/2
impurity), g = 2.12, J = -145 cm-1, x = 0.985; plus the diamagnetism of the
compound, -2.9e-4 cm3/mol. The sample, 18.73 mg, sits in 21.4 mg of eicosane
(-2.43e-4 cm3/mol, 282.55 g/mol). The field is 1000 Oe. The moment gets
Gaussian noise of 0.2 % plus 1e-8 emu, which its error column states.
Run it from anywhere: /usr/bin/python3 examples/make_cu2_vsm.py
"""
import math
import os
import random

G, J, X = 2.12, -145.0, 0.985
NB2K, HCK = 0.37514585, 1.4387676  # N beta^2 / k (cm3 K/mol), hc/k (K cm)
M_W, MASS_MG, CHI_DIA = 598.52, 18.73, -2.9e-4
WAX_MG, WAX_CHI, WAX_MW = 21.4, -2.43e-4, 282.55
FIELD = 1000.0


def chi_dimer(t):
    cg2 = NB2K * G * G
    bb = cg2 / t / (math.exp(-2.0 * J * HCK / t) + 3.0)
    curie = cg2 * 0.25 / t
    return 2.0 * (X * bb + (1.0 - X) * curie)


def main():
    rng = random.Random(22)
    temps = [300.0 - 5.0 * k for k in range(50)]           # 300 .. 55 K
    temps += [50.0 - 2.0 * k for k in range(20)]           # 50 .. 12 K
    temps += [10.0 - 0.5 * k for k in range(17)]           # 10 .. 2 K
    columns = ["Comment", "Time Stamp (sec)", "Temperature (K)", "Magnetic Field (Oe)",
               "Moment (emu)", "M. Std. Err. (emu)", "Transport Action", "Averaging Time (sec)",
               "Frequency (Hz)", "Peak Amplitude (mm)", "Center Position (mm)", "Range (mV)",
               "Min. Temperature (K)", "Max. Temperature (K)", "Min. Field (Oe)",
               "Max. Field (Oe)", "Mass (grams)", "Pressure (Torr)"]
    lines = [
        "[Header]",
        "; VSM data file",
        "TITLE,Cu2 dimer in eicosane",
        "BYAPP,MPMS3 VSM,1.5.2",
        "FILEOPENTIME,3974019200.00,12/08/2026,9:00 AM",
        "INFO,18.73,SAMPLE_MASS",
        "INFO,598.52,SAMPLE_MOLECULAR_WEIGHT",
        "INFO,Cu2 dimer (example),SAMPLE_MATERIAL",
        "INFO,Powder in 21.4 mg eicosane,SAMPLE_COMMENT",
        "INFO,Standard,SAMPLE_HOLDER",
        "INFO,VSM,SAMPLE_MODE",
        "DATATYPE,COMMENT,1",
        "DATATYPE,TIME,2",
        "FIELDGROUP,VSM,2,3,4,5,6",
        "STARTUPAXIS,X,3",
        "STARTUPAXIS,Y1,5",
        "[Data]",
        ",".join(columns),
        '"Cooling 300 K to 2 K at 1000 Oe",' + "," * (len(columns) - 2),
    ]
    clock = 3974019260.0
    for k, t_set in enumerate(temps):
        clock += 95.0 + rng.uniform(0.0, 10.0)
        t = t_set + rng.gauss(0.0, 0.01)
        h = FIELD + rng.gauss(0.0, 0.2)
        sample = (chi_dimer(t) + CHI_DIA) * (MASS_MG / 1000.0 / M_W) * h
        wax = WAX_CHI * (WAX_MG / 1000.0 / WAX_MW) * h
        sigma = 0.002 * abs(sample) + 1e-8
        m = sample + wax + rng.gauss(0.0, sigma)
        moment, error = f"{m:.7E}", f"{sigma:.3E}"
        if k == 33:  # a reading the instrument could not fit
            moment, error = "", ""
        lines.append(",".join([
            "", f"{clock:.2f}", f"{t:.4f}", f"{h:.4f}", moment, error, "1", "1",
            "40", "2", f"{35.2 + rng.gauss(0, 0.01):.3f}", "50", f"{t - 0.01:.4f}",
            f"{t + 0.01:.4f}", f"{h - 0.1:.4f}", f"{h + 0.1:.4f}", "0.01873",
            f"{rng.uniform(4.9, 5.1):.3f}"]))
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cu2-vsm.dat")
    with open(path, "w", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
