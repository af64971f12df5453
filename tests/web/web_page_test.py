#!/usr/bin/python3
"""The page in headless chromium (Selenium): it loads without console errors and shows the sixteen
parameters; a recipe in the URL fragment gives PNG and JPEG downloads equal byte for byte to what
pallimor-cli generate --recipe CODE --out writes, with worker threads (cross-origin isolated) and
without; Live re-makes the texture on a slider's input event; a bad recipe is answered with the
recipe parser's own message. A shipped preset chosen from the menu and a recipe code with layers
give the CLI's texture and relief maps, and a bad layers text the parser's message. Large textures (1024 to 4096) opened from a link with their height and
normal maps give the CLI's files too, each step within a time limit: a page that stops answering
fails its case instead of holding the test.
Usage: web_page_test.py SITE_FOLDER PALLIMOR_CLI"""
import os
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

SITE, CLI = (sys.argv[1:3] + [None, None])[:2] if __name__ == "__main__" else (None, None)
HERE = os.path.dirname(os.path.abspath(__file__))
SERVE = os.path.join(HERE, "..", "..", "scripts", "web_serve.py")
# Two recipes: the shipped defaults from one seed, and a transparent Wrap tile over a palette.
RECIPES = ["P1.seed=0000BEEF", "P1.seed=12345678.size=128.tiling=wrap.bg-fill=none.effect=glow"]
# Large textures opened as links and exported with their height and normal maps: recipe, isolated
# (worker threads) or not, the page's query, the downloads, and the seconds each step may take. On
# the isolated page ?threads=8 asks for more rasteriser threads than the machine has cores, so its
# workers and the maps' bands all run beside one another.
LARGE = [
    ("P1.seed=0000BEEF.size=1024", True, "?threads=8", ("png", "jpg"), 60),
    ("P1.seed=0000BEEF.size=1024", False, "", ("png", "jpg"), 60),
    ("P1.seed=12345678.size=2048.tiling=wrap.bg-fill=none.effect=glow", True, "", ("png", "jpg"), 90),
    ("P1.seed=12345678.size=2048.tiling=wrap.bg-fill=none.effect=glow", False, "", ("png", "jpg"), 90),
    ("P1.seed=0000BEEF.size=4096", True, "", ("png",), 180),
    ("P1.seed=0000BEEF.size=4096", False, "", ("jpg",), 180),
]
MAPS = ("height", "normal")
# Layers: a preset chosen on the page (at the default size, 256) and a recipe code with a layer
# stack, each downloaded with its maps; a layers text the parser refuses.
PRESET = "brick-wall"
LAYERED = "P1.seed=0000BEEF.size=128.tiling=wrap.layers=cells:cells=9,tile:blend=multiply"
BAD_LAYERS = "cells:cells=0"
CAPTIONS = ["Size", "BG Color", "Image", "Effect", "BG Fill", "BG Form", "Brush Type", "Brush Size",
            "Steps", "Hue Switch", "Saturation", "Lightness", "Radius Speed", "Angle Speed",
            "Scale Speed", "Turn Freq"]
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


def serve(isolated):
    args = ["/usr/bin/python3", SERVE, SITE, "0"] + ([] if isolated else ["--plain"])
    server = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    return server, line.strip().rsplit(" ", 1)[-1]


def browser(downloads):
    options = webdriver.ChromeOptions()
    for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1000,800"]:
        options.add_argument(arg)
    # A download with maps is three files from one click: the page may start several.
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False,
                                              "profile.default_content_setting_values.automatic_downloads": 1})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def cli_bytes(code, ext, folder):
    out = os.path.join(folder, "cli." + ext)
    subprocess.run([CLI, "generate", "--quiet", "--force", "--recipe", code, "--out", out], check=True)
    with open(out, "rb") as f:
        return f.read()


_cli_files = {}


def cli_files(code, ext, folder):
    """The texture of code as a .ext file and its maps, as the CLI writes them: suffix -> bytes."""
    if (code, ext) not in _cli_files:
        out = os.path.join(folder, "cli-large." + ext)
        subprocess.run([CLI, "generate", "--quiet", "--force", "--recipe", code, "--out", out,
                        "--maps", ",".join(MAPS)], check=True)
        files = {}
        for suffix in ["." + ext] + ["_" + m + ".png" for m in MAPS]:
            path = os.path.join(folder, "cli-large" + suffix)
            with open(path, "rb") as f:
                files[suffix] = f.read()
            os.remove(path)
        _cli_files[(code, ext)] = files
    return _cli_files[(code, ext)]


def wait_ready(driver, seconds=120):
    WebDriverWait(driver, seconds).until(lambda d: d.execute_script("return document.body.dataset.ready"))


def downloaded(folder, before, ext):
    deadline = time.time() + 30
    while time.time() < deadline:
        new = [f for f in os.listdir(folder) if f not in before and f.endswith("." + ext)]
        if new:
            path = os.path.join(folder, new[0])
            time.sleep(0.3)
            with open(path, "rb") as f:
                return f.read()
        time.sleep(0.1)
    return None


def descendants(pid):
    """The processes under pid (chromedriver's browser and its renderers)."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(parent, []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


class Watchdog:
    """Ends the browser when a step outlasts its limit, so that a page that stopped answering makes
    the waiting WebDriver call fail instead of hanging; fired tells whether it had to."""

    def __init__(self, driver, seconds):
        self.driver = driver
        self.fired = False
        self.timer = threading.Timer(seconds, self.fire)

    def fire(self):
        self.fired = True
        process = self.driver.service.process
        for pid in descendants(process.pid) + [process.pid]:
            try:
                os.kill(pid, 9)
            except OSError:
                pass

    def __enter__(self):
        self.timer.start()
        return self

    def __exit__(self, *exc):
        self.timer.cancel()
        return False


def wait_files(folder, names, deadline):
    """The bytes of each of names once the browser has finished writing it, or None at deadline."""
    while time.time() < deadline:
        if all(os.path.exists(os.path.join(folder, n)) for n in names):
            time.sleep(0.3)
            files = {}
            for n in names:
                with open(os.path.join(folder, n), "rb") as f:
                    files[n] = f.read()
                os.remove(os.path.join(folder, n))
            return files
        time.sleep(0.1)
    return None


def large_case(driver, address, downloads, work, code, isolated, query, exts, limit):
    """One large texture opened as a link and downloaded as each of exts with its maps; False when
    a step ran out of time (the browser is then gone)."""
    label = ("threads" if isolated else "one thread") + (" " + query if query else "")
    size = code.split("size=")[1].split(".")[0]
    driver.set_script_timeout(limit)
    driver.set_page_load_timeout(limit)
    start = time.time()
    try:
        with Watchdog(driver, limit) as dog:
            driver.get(address + "index.html" + query + "#" + code)
            wait_ready(driver, limit)
            seed = driver.execute_script("return window.pallimor.api().seed()")
            failed = driver.execute_script("return document.getElementById('message').className") == "error"
            driver.execute_script("document.getElementById('maps').checked = true")
        check(not dog.fired and not failed, f"{label}: {size} link {code} made ({time.time() - start:.1f} s)")
    except Exception as e:  # a page that stopped answering, or the browser the watchdog ended
        check(False, f"{label}: {size} link {code} made within {limit} s ({type(e).__name__})")
        return False
    for ext in exts:
        base = "pallimor-" + seed
        names = [base + "." + ext] + [base + "_" + m + ".png" for m in MAPS]
        button = "jpeg" if ext == "jpg" else "png"
        step = time.time()
        try:
            with Watchdog(driver, limit) as dog:
                # Clicked from a task of its own, so that this call returns whatever the export does.
                driver.execute_script("setTimeout(() => document.getElementById(arguments[0]).click(), 0)", button)
                got = wait_files(downloads, names, step + limit)
                message = driver.execute_script("return document.getElementById('message').textContent") \
                    if got is not None else ""
        except Exception as e:
            check(False, f"{label}: {size} {ext.upper()} with maps within {limit} s ({type(e).__name__})")
            return False
        if got is None or dog.fired:
            check(False, f"{label}: {size} {ext.upper()} with maps within {limit} s")
            return False
        cli = cli_files(code, ext, work)
        same = all(got[base + suffix] == bytes_ for suffix, bytes_ in cli.items())
        check(same and message.startswith("Downloaded"),
              f"{label}: {size} {ext.upper()} with maps equals the CLI's files ({time.time() - step:.1f} s)")
    return True


def run_large(isolated, work):
    """LARGE's cases of one page; after a case that ran out of time the next gets a new browser."""
    server, address = serve(isolated)
    downloads = os.path.join(work, "dl-large-" + ("threads" if isolated else "plain"))
    os.makedirs(downloads)
    driver = None
    try:
        for code, iso, query, exts, limit in LARGE:
            if iso != isolated:
                continue
            if driver is None:
                driver = browser(downloads)
            if not large_case(driver, address, downloads, work, code, isolated, query, exts, limit):
                try:
                    driver.quit()
                except Exception:
                    pass
                driver = None
                for leftover in os.listdir(downloads):
                    os.remove(os.path.join(downloads, leftover))
    finally:
        if driver is not None:
            driver.quit()
        server.terminate()
        server.wait()


def cli_map_files(args, folder):
    """pallimor-cli generate args --maps height,normal: suffix -> bytes, as cli_files."""
    out = os.path.join(folder, "cli-layers.png")
    subprocess.run([CLI, "generate", "--quiet", "--force", *args, "--out", out, "--maps", ",".join(MAPS)],
                   check=True)
    files = {}
    for suffix in [".png"] + ["_" + m + ".png" for m in MAPS]:
        with open(os.path.join(folder, "cli-layers" + suffix), "rb") as f:
            files[suffix] = f.read()
    return files


def download_with_maps(driver, downloads):
    """The PNG download with its maps: suffix -> bytes, or None."""
    driver.execute_script("document.getElementById('maps').checked = true")
    base = "pallimor-" + driver.execute_script("return window.pallimor.api().seed()")
    driver.find_element(By.ID, "png").click()
    got = wait_files(downloads, [base + ".png"] + [base + "_" + m + ".png" for m in MAPS], time.time() + 30)
    return None if got is None else {name[len(base):]: data for name, data in got.items()}


def layers_cases(driver, address, downloads, work, label):
    """A preset from the menu and a layered recipe code: the CLI's files; a bad layers text: the
    parser's message, and no texture drawn."""
    for earlier in os.listdir(downloads):  # a file of the same name would be saved as "NAME (1).png"
        os.remove(os.path.join(downloads, earlier))
    driver.get(address + "index.html")
    wait_ready(driver)
    listed = subprocess.run([CLI, "presets"], check=True, capture_output=True, text=True).stdout
    names = driver.execute_script("return [...document.getElementById('preset').options].map(o => o.value)")
    check(names[1:] == [line.split()[0] for line in listed.splitlines()], f"{label}: the preset menu")
    driver.execute_script("""const s = document.getElementById('preset');
        s.value = arguments[0]; s.dispatchEvent(new Event('change'));""", PRESET)
    seed = driver.execute_script("return window.pallimor.api().seed()")
    # The preview shows the layered texture (at 256, which the tile's frame does not).
    check(driver.execute_script("return window.pallimor.api().preview(0)") != 0, f"{label}: {PRESET} previewed")
    got = download_with_maps(driver, downloads)
    cli = cli_map_files(["--preset", PRESET, "--seed", "0x" + seed, "--size", "256"], work)
    recipe = driver.find_element(By.ID, "recipe").get_attribute("value")
    check(got == cli and "layers=" in recipe,
          f"{label}: preset {PRESET} with maps equals the CLI's files ({recipe})")

    before = driver.execute_script("return document.body.dataset.textures")
    driver.execute_script("""const l = document.getElementById('layers');
        l.value = arguments[0]; l.dispatchEvent(new Event('change'));""", BAD_LAYERS)
    shown = driver.find_element(By.ID, "message").text
    after = driver.execute_script("return document.body.dataset.textures")
    refused = subprocess.run([CLI, "generate", "--layers", BAD_LAYERS, "--out", os.path.join(work, "bad.png")],
                             capture_output=True, text=True)
    check(shown != "" and shown in refused.stderr and before == after,
          f"{label}: a bad layers text gets its message and draws nothing ({shown!r})")

    driver.get(address + "index.html#" + LAYERED)
    driver.refresh()
    wait_ready(driver)
    got = download_with_maps(driver, downloads)
    layers = driver.find_element(By.ID, "layers").get_attribute("value")
    check(got == cli_map_files(["--recipe", LAYERED], work) and LAYERED.endswith("layers=" + layers),
          f"{label}: {LAYERED} with maps equals the CLI's files")
    errors = errors_in_console(driver)
    check(not errors, f"{label}: no console errors with layers {errors}")


def errors_in_console(driver):
    return [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]


def run(isolated, work):
    label = "threads" if isolated else "one thread"
    server, address = serve(isolated)
    downloads = os.path.join(work, "dl-" + label.replace(" ", "-"))
    os.makedirs(downloads)
    driver = browser(downloads)
    try:
        for code in RECIPES:
            driver.get(address + "index.html#" + code)
            wait_ready(driver)
            check(driver.execute_script("return window.crossOriginIsolated") == isolated,
                  f"{label}: crossOriginIsolated is {isolated}")
            captions = [e.text for e in driver.find_elements(By.CSS_SELECTOR, "#settings legend")]
            check(captions == CAPTIONS, f"{label}: the sixteen parameters ({captions})")
            check(driver.find_element(By.ID, "message").get_attribute("class") != "error",
                  f"{label}: {code} is made without a message")
            for ext, button in (("png", "png"), ("jpg", "jpeg")):
                before = set(os.listdir(downloads))
                driver.find_element(By.ID, button).click()
                got = downloaded(downloads, before, ext)
                check(got is not None and got == cli_bytes(code, ext, work),
                      f"{label}: {code} {ext.upper()} download equals the CLI's file")
        errors = errors_in_console(driver)
        check(not errors, f"{label}: no console errors {errors}")

        # Live: a slider's input event re-makes the texture (a new recipe, the same seed).
        before = driver.execute_script("return [document.body.dataset.textures, document.getElementById('recipe').value]")
        driver.find_element(By.ID, "live-button").click()
        driver.execute_script("""const s = document.getElementById('param-saturation');
            s.value = 90; s.dispatchEvent(new Event('input'));""")
        after = driver.execute_script("return [document.body.dataset.textures, document.getElementById('recipe').value]")
        check(int(after[0]) > int(before[0]) and "saturation=90" in after[1] and after[1] != before[1],
              f"{label}: Live re-makes on input ({before[1]} -> {after[1]})")

        # A bad recipe in the fragment: the parser's own words, as the CLI says them.
        bad = "P1.seed=0000BEEF.steps=5000"
        driver.get(address + "index.html#" + bad)
        driver.refresh()
        wait_ready(driver)
        shown = driver.find_element(By.ID, "message").text
        cli = subprocess.run([CLI, "generate", "--recipe", bad, "--out", os.path.join(work, "bad.png")],
                             capture_output=True, text=True)
        check(shown != "" and cli.returncode != 0 and shown in cli.stderr,
              f"{label}: a bad recipe gets its message ({shown!r}; CLI: {cli.stderr.strip()!r})")
        if isolated:
            layers_cases(driver, address, downloads, work, label)
    finally:
        driver.quit()
        server.terminate()
        server.wait()


def main():
    start = time.time()
    with tempfile.TemporaryDirectory() as work:
        run(True, work)
        run(False, work)
        small = time.time()
        run_large(True, work)
        run_large(False, work)
        print(f"large textures: {time.time() - small:.1f} s", flush=True)
    print(f"web page test: {time.time() - start:.1f} s, {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
