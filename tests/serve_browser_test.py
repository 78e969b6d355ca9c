#!/usr/bin/env python3
"""The page of `suscep serve` in headless Chromium: a magnetometer's file to
a fitted figure, the numbers of `suscep fit`, the downloads, a bad file, the
refusals. A screenshot of each step goes to OUTDIR.

Usage: serve_browser_test.py SUSCEP EXAMPLES OUTDIR
Exit status 77 (skipped) without Chromium, its driver or selenium."""
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.error
import urllib.request

SKIP = 77


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    skip("python3-selenium is not installed")

SUSCEP, EXAMPLES, OUT = (os.path.abspath(a) for a in sys.argv[1:4])
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver")
if not CHROMIUM or not DRIVER:
    skip("chromium and chromium-driver are needed")

shutil.rmtree(OUT, ignore_errors=True)
DOWNLOADS = os.path.join(OUT, "downloads")
os.makedirs(DOWNLOADS)
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def start_server():
    # A runner may have left SIGINT ignored, and an ignored signal stays so.
    server = subprocess.Popen([SUSCEP, "serve", "--port", "0"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True,
                              preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    line = server.stdout.readline()
    if "http://" not in line:
        server.kill()
        sys.exit("no address from suscep serve: " + line + server.stderr.read())
    return server, line.split()[-1]


def status(url, headers=None):
    try:
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}),
                                    timeout=30) as r:
            return r.status
    except urllib.error.HTTPError as e:
        return e.code


def suscep_fit(*args):
    r = subprocess.run([SUSCEP, "fit", "--json", "--output-dir", OUT] + list(args),
                       capture_output=True, text=True, check=True)
    return [(p["name"], p["value"], p["sigma"]) for p in json.loads(r.stdout)["results"][0]["parameters"]]


server, url = start_server()
base = url.split("/?")[0]
token = url.split("token=")[1]

options = webdriver.ChromeOptions()
options.binary_location = CHROMIUM
for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1500,1900",
          "--disable-dev-shm-usage"):
    options.add_argument(a)
options.add_experimental_option("prefs", {"download.default_directory": DOWNLOADS,
                                          "download.prompt_for_download": False})
browser = webdriver.Chrome(service=Service(DRIVER), options=options)
wait = WebDriverWait(browser, 60)
step = [0]


def shot(name):
    step[0] += 1
    browser.save_screenshot(os.path.join(OUT, "%02d-%s.png" % (step[0], name)))


def by_id(i):
    return browser.find_element(By.ID, i)


def type_into(i, text):
    e = by_id(i)
    e.clear()
    e.send_keys(text)


def loads():
    return int(by_id("data-info").get_attribute("data-loads") or 0)


try:
    browser.get(url)
    wait.until(lambda b: b.find_element(By.TAG_NAME, "body").get_attribute("data-ready") == "1")
    shot("loaded")

    # The magnetometer's file, with the header's mass and molar mass, and
    # the wax and the diamagnetism as the README imports it.
    source = os.path.join(EXAMPLES, "cu2-vsm.dat")
    by_id("data-file").send_keys(source)
    wait.until(lambda b: loads() == 1)
    check(by_id("mass").get_attribute("value") == "18.73", "the header's mass is offered")
    check(by_id("molar-mass").get_attribute("value") == "598.52", "the header's molar mass")
    check("86 points" in by_id("data-info").text, "86 points read: " + by_id("data-info").text)
    check(len(browser.find_elements(By.CSS_SELECTOR, "#data-figure svg")) == 1,
          "the points are drawn at once")
    type_into("eicosane", "21.4")
    type_into("diamagnetic", "-2.9e-4")
    by_id("reimport").click()
    wait.until(lambda b: loads() == 2)
    shot("data")

    # Expression 24 from the catalogue, per ion, the README's starts.
    type_into("catalogue-search", "Bleaney")
    wait.until(lambda b: b.find_elements(By.ID, "expression-24"))
    by_id("expression-24").click()
    type_into("corr-factor", "0.5")
    for i, start in enumerate(("2.0", "-100", "0.95")):
        type_into("start-%d" % i, start)
    shot("model")

    by_id("fit").click()
    wait.until(lambda b: b.find_element(By.ID, "fit-status").text.startswith("done"))
    shot("fit")
    # Full precision, as JSON: a Std. devn. some methods do not give is null.
    page = [(r.get_attribute("data-name"),
             json.loads(r.find_element(By.CSS_SELECTOR, "td.value").get_attribute("data-value")),
             json.loads(r.find_element(By.CSS_SELECTOR, "td.sigma").get_attribute("data-value")))
            for r in browser.find_elements(By.CSS_SELECTOR, "#values tbody tr")]

    # The same inputs to `suscep import` and `suscep fit`.
    data = os.path.join(OUT, "cu2-vsm-chi.dat")
    subprocess.run([SUSCEP, "import", source, "--eicosane", "21.4", "--diamagnetic", "-2.9e-4",
                    "-o", data], check=True, capture_output=True)
    # The page's method, where the engine has methods.
    with open(os.path.join(EXAMPLES, "cu2-vsm-model.json")) as f:
        recipe = json.load(f)
    if by_id("method").is_enabled():
        recipe.setdefault("fit", {})["method"] = by_id("method").get_attribute("value")
    model = os.path.join(OUT, "model.json")
    with open(model, "w") as f:
        json.dump(recipe, f)
    expected = suscep_fit(model, data)
    check(page == expected, "the page's values are suscep fit's: %s\n     %s" % (page, expected))

    # The figure as 1/chi.
    before = by_id("figure").get_attribute("innerHTML")
    by_id("quantity-4").click()
    wait.until(lambda b: by_id("figure").get_attribute("data-quantity") == "4")
    check(by_id("figure").get_attribute("innerHTML") != before, "the figure is redrawn as 1/chi")
    shot("inverse-chi")

    # The result document, fitted again by `suscep fit`.
    by_id("download-document").click()
    document = os.path.join(DOWNLOADS, "cu2-vsm.json")
    wait.until(lambda b: os.path.exists(document))
    time.sleep(0.2)
    again = suscep_fit(document, data)
    check(again == page, "the downloaded document fits to the same numbers: %s" % again)
    by_id("download-csv").click()
    wait.until(lambda b: os.path.exists(os.path.join(DOWNLOADS, "cu2-vsm.csv")))

    # Many files: the same model on two.
    copy = os.path.join(OUT, "cu2-vsm-copy.dat")
    shutil.copy(data, copy)
    by_id("many-files").send_keys(data + "\n" + copy)
    wait.until(lambda b: "2 fitted" in by_id("many-status").text)
    cells = browser.find_elements(By.CSS_SELECTOR, "#many-table tr")
    check(len(cells) == 3, "a row per file")
    shot("many-files")

    # A file of two fields: the message lists them, and a typed field imports it.
    two = os.path.join(OUT, "two-fields.dat")
    with open(source, newline="") as f:
        lines = f.read().split("\r\n")
    at = lines.index("[Data]") + 2
    rows = [r for r in lines[at:] if r.startswith(",") and r.split(",")[3]]
    doubled = [",".join(c if i != 3 else "5000.0" for i, c in enumerate(r.split(","))) for r in rows]
    with open(two, "w", newline="") as f:
        f.write("\r\n".join(lines + doubled) + "\r\n")
    by_id("data-file").send_keys(two)
    wait.until(lambda b: b.find_element(By.ID, "data-error").is_displayed())
    check("2 fields" in by_id("data-error").text, "the fields are listed: " + by_id("data-error").text)
    shown = loads()
    by_id("field").send_keys("1000\t")
    wait.until(lambda b: loads() == shown + 1)
    check("86 points" in by_id("data-info").text, "the typed field imports: " + by_id("data-info").text)

    # A bad file: an error on the page, and the server serves on.
    bad = os.path.join(OUT, "bad.dat")
    with open(bad, "w") as f:
        f.write("this is not a data file\n")
    by_id("data-file").send_keys(bad)
    wait.until(lambda b: b.find_element(By.ID, "data-error").is_displayed())
    check("bad.dat" in by_id("data-error").text, "the error names the file: " +
          by_id("data-error").text)
    shot("bad-file")
    check(status(base + "/api/catalogue", {"X-Suscep-Token": token}) == 200, "still serving")

    # Refusals.
    check(status(base + "/") == 403, "no token: 403")
    check(status(base + "/api/catalogue", {"X-Suscep-Token": "0" * 64}) == 403, "a wrong token: 403")
    check(status(url, {"Host": "evil.example"}) == 403, "a foreign Host: 403")
finally:
    browser.quit()
    # SIGTERM ends it by that signal, once the fits have stopped.
    server.send_signal(signal.SIGTERM)
    try:
        server.wait(timeout=30)
    except subprocess.TimeoutExpired:
        server.kill()
    check(server.returncode == -signal.SIGTERM, "SIGTERM ends it: %s" % server.returncode)

# Ctrl-C likewise.
server, url = start_server()
server.send_signal(signal.SIGINT)
server.wait(timeout=30)
check(server.returncode == -signal.SIGINT, "SIGINT ends it: %s" % server.returncode)
check("stopped" in server.stdout.read(), "it says it stopped")

if failures:
    sys.exit("%d failed" % len(failures))
print("screenshots in " + OUT)
