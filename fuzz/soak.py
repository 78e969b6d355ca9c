#!/usr/bin/env python3
"""Soak run: scripted sessions with random answers against a built suscep.

    soak.py SUSCEP_BINARY RUNS [SEED]

The answers follow the dialogue closely enough for most runs to get deep
(models, fits, reports, both plot types), with a few wrong or odd answers.
Each run must end with status 0 or 2, with nothing from a sanitizer on
standard error and no temporary file left, and any SUSCEP.OUT it writes must
end with the complete calculated-points table; any SUSCEP.JSON must parse.
Failing scripts are kept in soak-failures/.
"""
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "examples")
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "runtime error:", "UndefinedBehavior")


def data_file(rng):
    """A random but valid data file: 1 to 300 points, temperatures above 0."""
    n = rng.choice([1, 2, 3, 5, 12, 40, 300, rng.randint(1, 300)])
    t = sorted(rng.uniform(1.5, 300.0) for _ in range(n))
    if rng.random() < 0.1:
        t.reverse()
    lines = [str(n)]
    for x in t:
        lines.append("%.3f %.6e" % (x, 0.4 / x + rng.uniform(0.0, 2e-4)))
    return "\n".join(lines) + "\n"


class Script:
    def __init__(self, rng):
        self.rng = rng
        self.lines = []
        self.nparams = 0

    def say(self, *answers):
        self.lines.extend(str(a) for a in answers)

    def real(self, lo, hi):
        r = self.rng.random()
        if r < 0.03:
            return self.rng.choice(["0", "1e300", "-1e-300", "abc", "/"])
        return "%.6g" % self.rng.uniform(lo, hi)

    def param(self, lo, hi):
        self.nparams += 1
        self.say(self.real(lo, hi))

    def spins(self):
        choices = [0.5, 1.0, 1.5, 2.0, 2.5, 3.0]
        self.say("%g %g" % (self.rng.choice(choices), self.rng.choice(choices)))

    def function(self, code):
        rng = self.rng
        if code == 1:
            self.say(rng.choice(["0.5", "1.0", "1.5", "2.5"]))
        elif code == 2:
            if rng.random() < 0.2:
                self.say("0.7")  # refused, asked again
            self.say(rng.choice(["1.0", "1.5", "2.0", "2.5"]))
            self.param(-10, 10)
        elif code in (3, 4, 6):
            self.param(-200, 50)
        elif code == 5:
            self.param(-50, 10)
            self.say(self.real(100, 50000))
        elif code == 7:
            self.param(-100, 10)
            self.param(0, 1)
        elif code == 8:
            self.spins()
            self.param(-100, 20)
        elif code == 9:
            choice = rng.choice([1, 2, 3, 4])
            if rng.random() < 0.1:
                self.say(7)  # refused, the sub-menu again
            self.say(choice)
            if choice == 1:
                self.param(-50, 10)
                self.param(-10, 10)
            elif choice == 2:
                self.param(-100, 10)
            elif choice == 3:
                for _ in range(4):
                    self.param(-50, 10)
            else:
                self.spins()
                self.param(-100, 10)
                self.param(-10, 10)
        if code == 10:
            self.param(0, 1e-3)
            return
        # Weiss constant or neighbour interaction.
        if rng.random() < 0.3:
            self.say(rng.choice("Yy"))
            self.param(-5, 5)
        else:
            self.say(rng.choice(["N", "n", ""]))

    def model(self, mn, gval):
        """Answers from item F up to the plot menu."""
        rng = self.rng
        if gval == 0:
            self.param(1.9, 2.3)
        m, n = divmod(mn, 10)
        if m == 9:
            nterm = rng.randint(1, 3)
            codes = [rng.randint(1, 10) for _ in range(nterm)]
            itype = rng.randint(1, 3)
            self.say(nterm, " ".join(map(str, codes)))
            if rng.random() < 0.1:
                self.say(0)  # refused ITYPE, asked again
            self.say(itype)
        else:
            tails = {0: [], 1: [10], 2: [1], 3: [2], 5: [2, 10]}
            codes = [n] + tails.get(m, [1, 10])
            itype = 1 if m in (0, 1) else 2
        for code in codes:
            self.function(code)
        if itype != 1:
            self.param(0.5, 1.0)
        if itype == 3:
            self.param(0.5, 1.0)

    def plot(self, iptype):
        """Answers of one drawing of the chosen plot."""
        if iptype == 2:
            self.say("")
        elif iptype == 3:
            for _ in range(2):
                if self.rng.random() < 0.8:
                    self.say("/")
                else:
                    lo = self.rng.uniform(-1, 10)
                    self.say("%g %g %g" % (lo, lo + self.rng.uniform(1, 400), self.rng.uniform(0.5, 50)))

    def plot_menu(self):
        iplot = self.rng.choice([1, 2, 3, 4, 5, 1, 3, 6])
        iptype = self.rng.choice([2, 3, 2, 3, 1])
        self.say(iplot, iptype)
        return iptype

    def session(self):
        rng = self.rng
        self.say("")  # "Press Enter"
        mn, gval = 24, 0.0
        while True:
            for _ in range(rng.randint(0, 4)):
                letter = rng.choice("ABCEGDx")
                self.say(letter if rng.random() < 0.7 else letter.lower())
                if letter == "A":
                    self.say(self.real(-5e-4, 0))
                elif letter == "B":
                    self.say(self.real(0, 5e-4))
                elif letter == "C":
                    self.say(self.real(0.5, 2))
                elif letter == "E":
                    mn = rng.choice([1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 14, 16, 24, 25, 33, 38, 44, 49, 51, 57, 99, 99])
                    self.say(mn)
                elif letter == "G":
                    gval = rng.choice([0.0, 0.0, 2.0, 2.1])
                    self.say(gval)
            self.say("F")
            self.nparams = 0
            self.model(mn, gval)
            iptype = self.plot_menu()
            self.plot(iptype)
            while True:  # the parameter editing loop
                r = rng.random()
                if r < 0.25 and self.nparams > 0:
                    self.say(rng.randint(1, self.nparams), self.real(-50, 50))
                elif r < 0.35:
                    self.say(0)
                    self.plot(iptype)
                elif r < 0.8:
                    self.say(-1)
                    niter = 200
                    for _ in range(rng.randint(0, 3)):
                        if niter == 0:
                            break
                        c = rng.random()
                        if c < 0.5:
                            niter = rng.choice([0, 0, 1, 5, 30, 100, 400])
                            self.say(-1, niter)
                        elif c < 0.7:
                            reqmin = rng.choice(["1e-8", "1e-12", "0", "1e-16"])
                            self.say(-2, reqmin)
                            if reqmin == "0":
                                self.say("1e-10")  # refused, asked again
                        elif self.nparams > 0:
                            self.say(rng.randint(1, self.nparams), self.real(-5, 5))
                    if niter != 0:
                        self.say(0)
                    self.say("")  # "Press RETURN key"
                    self.plot(iptype)
                else:
                    self.say(-2)
                    break
            option = rng.choice([1, 2, 3, 3, 3])
            self.say(option)
            if option == 3:
                return
            if option == 2:
                iptype = self.plot_menu()
                self.plot(iptype)
                self.say(-2, 3)
                return


def check_report(path):
    """The calculated-points table is complete: 301 rows, then the end."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\r\n")
    if lines[-1] != b"":
        return "the last record has no line end"
    lines = lines[:-1]
    try:
        at = lines.index(b"    Calculated points")
    except ValueError:
        return "no calculated-points table"
    rows = lines[at + 2:]
    if lines[at + 1] != b"" or len(rows) != 301 or any(len(r) != 68 for r in rows):
        return "calculated-points table has %d rows" % len(rows)
    return None


def main():
    binary = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2])
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    failures_dir = os.path.abspath("soak-failures")
    stats = {"status 0": 0, "status 2": 0, "reports": 0, "plots": 0, "failures": 0}
    with tempfile.TemporaryDirectory(prefix="suscep_soak_") as work:
        for run in range(runs):
            rng = random.Random(seed * 1000003 + run)
            for name in ("SUSCEP.OUT", "SUSCEP.HGL", "SUSCEP.SVG", "SUSCEP.JSON"):
                if os.path.exists(os.path.join(work, name)):
                    os.remove(os.path.join(work, name))
            choice = rng.random()
            if choice < 0.5:
                name = rng.choice(["cuac.dat", "dnit2.dat"])
                shutil.copy(os.path.join(EXAMPLES, name), os.path.join(work, name))
            else:
                name = "r.dat"
                with open(os.path.join(work, name), "w") as f:
                    f.write(data_file(rng))
            script = Script(rng)
            script.say(name)
            script.session()
            if rng.random() < 0.2:  # cut short: the input ends mid-dialogue,
                # often at a pause (inside a report, after a printer plot)
                pauses = [i for i, a in enumerate(script.lines) if a == "" and i > 1]
                if pauses and rng.random() < 0.5:
                    script.lines = script.lines[: rng.choice(pauses)]
                else:
                    script.lines = script.lines[: rng.randint(1, len(script.lines))]
            text = "\n".join(script.lines) + "\n"
            problem = None
            try:
                p = subprocess.run([binary], input=text.encode(), cwd=work, capture_output=True, timeout=120)
                err = p.stderr.decode(errors="replace")
                if p.returncode not in (0, 2):
                    problem = "exit status %d" % p.returncode
                elif any(mark in err for mark in SANITIZER_MARKS):
                    problem = "sanitizer report"
                elif p.returncode == 2 and "run-time error" not in err:
                    problem = "status 2 without a report"
                elif any(f.startswith(".SUSCEP.") for f in os.listdir(work)):
                    problem = "a temporary file left behind"
                else:
                    stats["status %d" % p.returncode] += 1
                    report = os.path.join(work, "SUSCEP.OUT")
                    if os.path.exists(report):
                        stats["reports"] += 1
                        problem = check_report(report)
                    result = os.path.join(work, "SUSCEP.JSON")
                    if not problem and os.path.exists(result):
                        try:
                            with open(result, encoding="utf-8") as f:
                                json.load(f)
                        except ValueError as e:
                            problem = "SUSCEP.JSON does not parse: %s" % e
                    if os.path.exists(os.path.join(work, "SUSCEP.HGL")):
                        stats["plots"] += 1
            except subprocess.TimeoutExpired:
                problem = "no end within 120 s"
                err = ""
            if problem:
                stats["failures"] += 1
                os.makedirs(failures_dir, exist_ok=True)
                base = os.path.join(failures_dir, "run%d" % run)
                shutil.copy(os.path.join(work, name), base + ".dat")
                with open(base + ".txt", "w") as f:
                    f.write(text)
                print("run %d: %s (%s.txt)\n%s" % (run, problem, base, err[-2000:]))
            if (run + 1) % 100 == 0:
                print("%d runs: %s" % (run + 1, stats), flush=True)
    print("soak: %d runs: %s" % (runs, stats))
    return 1 if stats["failures"] else 0


if __name__ == "__main__":
    sys.exit(main())
