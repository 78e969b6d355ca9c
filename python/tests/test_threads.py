"""Fits in several threads: the same numbers as one after the other, and the
interpreter's lock released while the engine works."""

import concurrent.futures
import sys
import threading

import numpy as np

import suscep
from conftest import EXAMPLES


def data_sets():
    """The two examples and noisy copies of them."""
    rng = np.random.default_rng(21)
    sets = []
    for name in ("cuac", "dnit2"):
        T, chi = suscep.read_data(EXAMPLES / f"{name}.dat")
        sets.append((T, chi))
        for _ in range(3):
            sets.append((T, chi * (1.0 + 0.01 * rng.standard_normal(len(chi)))))
    return sets


def test_fits_in_threads_give_the_numbers_of_fits_in_turn():
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    start = [2.05, -145.0, 0.98]
    sets = data_sets()
    in_turn = [suscep.fit(model, T, chi, start).to_dict() for T, chi in sets]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        futures = [pool.submit(suscep.fit, model, T, chi, start) for T, chi in sets]
        at_once = [f.result().to_dict() for f in futures]
    assert at_once == in_turn
    # One model evaluated in many threads at once.
    T = np.linspace(2.0, 300.0, 5000)
    values = [[2.0 + 0.01 * k, -100.0 - k, 0.95] for k in range(16)]
    alone = [model(T, v).tolist() for v in values]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        assert [c.tolist() for c in pool.map(lambda v: model(T, v), values)] == alone


def runs_without_the_lock(call, attempts=20):
    """True when another thread gets to run Python code while `call` runs,
    in one of a few attempts (the other thread must be woken in time)."""
    return any(once_without_the_lock(call) for _ in range(attempts))


def once_without_the_lock(call):
    """With a switch interval longer than the test, the thread that holds the
    interpreter's lock keeps it until it blocks or releases it: the main
    thread, woken by `started`, runs only once `call` has released the lock
    or, holding it throughout, has finished."""
    started = threading.Event()
    finished = []

    def work():
        started.set()
        call()
        finished.append(True)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    try:
        worker = threading.Thread(target=work)
        worker.start()
        started.wait()
        during = not finished
        worker.join()
    finally:
        sys.setswitchinterval(interval)
    assert finished
    return during


def test_the_fit_and_the_evaluation_release_the_lock():
    T, chi = suscep.read_data(EXAMPLES / "cuac.dat")
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    assert runs_without_the_lock(lambda: suscep.fit(model, T, chi, [2.1, -140.0, 0.98]))
    T = np.linspace(2.0, 300.0, 100_000)
    assert runs_without_the_lock(lambda: model(T, [2.1, -140.0, 0.98]))


def test_the_check_tells_a_call_that_keeps_the_lock():
    # sorted() of a long list holds the lock from start to end.
    items = list(range(200_000, 0, -1))
    assert not runs_without_the_lock(lambda: sorted(items))
