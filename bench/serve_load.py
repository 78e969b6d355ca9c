#!/usr/bin/env python3
"""Load on `suscep serve`: CLIENTS concurrent clients, each fitting FITS
times (upload once, then fit and poll until done), against the server on
the loopback. Prints the failures, the latency of a fit as a client sees it
(from the request to the finished result) and the server's peak resident
memory.

Usage: bench/serve_load.py [SUSCEP] [--clients N] [--fits N]"""
import argparse
import http.client
import json
import os
import statistics
import subprocess
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
parser = argparse.ArgumentParser()
parser.add_argument("suscep", nargs="?", default=os.path.join(here, "..", "build", "suscep"))
parser.add_argument("--clients", type=int, default=20)
parser.add_argument("--fits", type=int, default=50)
args = parser.parse_args()

examples = os.path.join(here, "..", "examples")
source = open(os.path.join(examples, "cu2-vsm.dat"), "rb").read()
model = open(os.path.join(examples, "cu2-vsm-model.json"), "rb").read()

server = subprocess.Popen([args.suscep, "serve", "--port", "0"], stdout=subprocess.PIPE, text=True)
url = server.stdout.readline().split()[-1]
port = int(url.split(":")[2].split("/")[0])
token = url.split("token=")[1]
headers = {"X-Suscep-Token": token, "Host": "127.0.0.1:%d" % port}

latencies, failures, lock = [], [], threading.Lock()


def request(conn, method, path, body=None):
    conn.request(method, path, body=body, headers=headers)
    r = conn.getresponse()
    return r.status, json.loads(r.read())


def client(k):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    try:
        status, data = request(conn, "POST", "/api/data?name=cu2.dat&eicosane_mg=21.4", source)
        if status != 200:
            raise RuntimeError("data: %d %s" % (status, data))
        for i in range(args.fits):
            start = time.perf_counter()
            status, job = request(conn, "POST", "/api/fit?page=c%d&data=%s" % (k, data["id"]), model)
            if status != 202:
                raise RuntimeError("fit: %d %s" % (status, job))
            wait = 0.002
            while True:
                status, state = request(conn, "GET", "/api/job/" + job["id"])
                if status != 200 or state["state"] not in ("queued", "running"):
                    break
                time.sleep(wait)
                wait = min(wait * 1.5, 0.05)
            if status != 200 or state["state"] != "done":
                raise RuntimeError("job: %d %s" % (status, state.get("error")))
            with lock:
                latencies.append(time.perf_counter() - start)
    except Exception as e:  # noqa: BLE001 - every failure is counted
        with lock:
            failures.append("client %d: %s" % (k, e))
    finally:
        conn.close()


began = time.perf_counter()
threads = [threading.Thread(target=client, args=(k,)) for k in range(args.clients)]
for t in threads:
    t.start()
for t in threads:
    t.join()
wall = time.perf_counter() - began

with open("/proc/%d/status" % server.pid) as f:
    peak = [line for line in f if line.startswith("VmHWM")][0].split()[1]
server.terminate()
server.wait()

latencies.sort()
n = len(latencies)
p95 = latencies[min(n - 1, int(0.95 * n))] if n else float("nan")
print("%d clients x %d fits: %d done, %d failures in %.1f s (%.0f fits/s)" %
      (args.clients, args.fits, n, len(failures), wall, n / wall))
for f in failures[:10]:
    print("  " + f)
if n:
    print("latency of a fit: median %.1f ms, 95th percentile %.1f ms, max %.1f ms" %
          (1000 * statistics.median(latencies), 1000 * p95, 1000 * latencies[-1]))
print("server's peak resident memory: %.1f MB" % (int(peak) / 1024))
