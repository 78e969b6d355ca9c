"""Ctrl-C, the progress callback and the interpreter's exit stop a fit; many
threads making the module's first arrays at once do not deadlock. Each case
runs in a fresh interpreter, with a timeout."""

import os
import subprocess
import sys
import textwrap

import pytest

import suscep
from conftest import EXAMPLES

# A fit that would run for hours: the simplex's convergence test comes only
# after 10**9 iterations.
ENDLESS = f"""
import os, signal, sys, threading
import suscep
T, chi = suscep.read_data({str(EXAMPLES / "dnit2.dat")!r})
model = suscep.Model(24, terms=[{{}}, {{"S": 0.5}}])
def endless(**options):
    return suscep.fit(model, T, chi, iterations=10**9, ncheck=10**9, method="simplex", **options)
"""


def run(script, timeout=120):
    """Runs `script` after ENDLESS in a fresh interpreter; its output."""
    done = subprocess.run(
        [sys.executable, "-c", ENDLESS + textwrap.dedent(script)],
        capture_output=True, text=True, timeout=timeout, check=False,
        env={**os.environ, "PYTHONFAULTHANDLER": "1"},
    )
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_ctrl_c_stops_a_fit_and_keeps_its_result():
    out = run("""
        threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
        try:
            endless()
        except KeyboardInterrupt as e:
            print(e.result.fit["interrupted"], e.result.fit["evaluations"] > 0)
    """)
    assert out == "True True\n"


def test_a_progress_callback_sees_the_fit_and_can_stop_it():
    calls = []

    def progress(iteration, ls_error):
        calls.append((iteration, ls_error))
        return iteration < 40

    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    result = suscep.fit(model, T, chi, iterations=10**6, ncheck=10**6, progress=progress,
                        method="simplex")
    assert [i for i, _ in calls] == list(range(1, 41))
    errors = [e for _, e in calls]
    assert errors == sorted(errors, reverse=True) and errors[-1] < errors[0]
    assert result.fit["interrupted"] and result.ls_error <= errors[-1]
    # None goes on; an exception stops the fit and is raised with its result.
    plain = suscep.fit(model, T, chi, progress=lambda i, e: None)
    assert plain.to_dict() == suscep.fit(model, T, chi).to_dict()

    def fails(iteration, ls_error):
        raise RuntimeError("from the callback")

    with pytest.raises(RuntimeError, match="from the callback") as raised:
        suscep.fit(model, T, chi, iterations=10**6, ncheck=10**6, progress=fails,
                   method="simplex")
    assert raised.value.result.fit["evaluations"] < 10
    with pytest.raises(TypeError, match="progress: a callable is needed, not int"):
        suscep.fit(model, T, chi, progress=1)


def test_fits_in_other_threads_stop_when_the_interpreter_exits():
    out = run("""
        def fit_and_say(daemon):
            result = endless()
            # One write: the two threads may say it at the same moment.
            line = f"{'daemon' if daemon else 'worker'} {result.fit['interrupted']}\\n"
            os.write(1, line.encode())
        for daemon in (True, False):
            threading.Thread(target=fit_and_say, args=(daemon,), daemon=daemon).start()
        threading.Event().wait(0.3)
        os.write(1, b"exit\\n")
    """)
    # The worker's fit ends before the interpreter waits for it; the
    # daemon's may say so or be ended with the process.
    assert out.startswith("exit\n") and "worker True\n" in out


@pytest.mark.parametrize("registered", ["before the import", "after the import"])
def test_a_fit_of_the_main_thread_at_exit_runs_to_its_end(registered):
    # atexit runs its functions last in, first out: one registered before
    # the module's own runs after it.
    hook = ("atexit.register(lambda: print(suscep.fit(model, T, chi, method='simplex')"
            ".fit['interrupted']))\n")
    script = ENDLESS.replace("import suscep", "import atexit\n" + hook + "import suscep")
    if registered == "after the import":
        script = ENDLESS + "import atexit\n" + hook
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120, check=False)
    assert (done.returncode, done.stdout) == (0, "False\n"), done.stderr


# Daemon threads that fit, read results and evaluate models without pause,
# each fit ending at its own moment, while the interpreter exits after
# `delay` seconds: none may take the interpreter's lock back once it is
# finalizing, which would end the thread inside the module's C++ code.
BUSY_AT_EXIT = """
import random, sys, threading, time
delay = float(sys.argv[1])
def busy(seed):
    draw = random.Random(seed)
    while True:
        n = draw.randint(1, 60)
        progress = (lambda i, e: None) if n % 2 else None
        result = suscep.fit(model, T, chi, iterations=n, method="simplex", progress=progress)
        result.to_dict()
        model(T, [2.0, -150.0, 0.99])
for seed in range(10):
    threading.Thread(target=busy, args=(seed,), daemon=True).start()
time.sleep(delay)
print("exit", flush=True)
"""


def test_daemon_threads_busy_in_the_module_while_the_interpreter_exits():
    # 24 fresh interpreters, six at a time, exiting at varied moments.
    delays = [0.002 * k for k in range(24)]
    for at in range(0, len(delays), 6):
        runs = [subprocess.Popen([sys.executable, "-c", ENDLESS + BUSY_AT_EXIT, str(delay)],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                for delay in delays[at:at + 6]]
        for run_ in runs:
            try:
                out, err = run_.communicate(timeout=60)
            finally:
                run_.kill()
            assert (run_.returncode, out) == (0, "exit\n"), err


THREADS = """
import threading
import suscep
model = suscep.Model(24)
barrier = threading.Barrier(8)
results = []
def work():
    barrier.wait()
    results.append(model([10.0, 20.0, 30.0], [2.0, -100.0, 0.9]).tolist())
threads = [threading.Thread(target=work) for _ in range(8)]
for t in threads:
    t.start()
for t in threads:
    t.join()
assert len(results) == 8 and all(r == results[0] for r in results)
"""


def test_eight_threads_make_the_first_arrays_at_once_without_deadlock():
    # 50 fresh interpreters, five at a time.
    for _ in range(10):
        runs = [subprocess.Popen([sys.executable, "-c", THREADS], stderr=subprocess.PIPE,
                                 text=True) for _ in range(5)]
        for run_ in runs:
            try:
                _, err = run_.communicate(timeout=60)
            finally:
                run_.kill()
            assert run_.returncode == 0, err
