#!/usr/bin/python3
"""The page in headless chromium (Selenium): it loads without console errors and shows the sixteen
parameters; a recipe in the URL fragment gives PNG and JPEG downloads equal byte for byte to what
pallimor-cli generate --recipe CODE --out writes, with worker threads (cross-origin isolated) and
without; Live re-makes the texture on a slider's input event; a bad recipe is answered with the
recipe parser's own message.
Usage: web_page_test.py SITE_FOLDER PALLIMOR_CLI"""
import os
import subprocess
import sys
import tempfile
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
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def cli_bytes(code, ext, folder):
    out = os.path.join(folder, "cli." + ext)
    subprocess.run([CLI, "generate", "--quiet", "--force", "--recipe", code, "--out", out], check=True)
    with open(out, "rb") as f:
        return f.read()


def wait_ready(driver):
    WebDriverWait(driver, 120).until(lambda d: d.execute_script("return document.body.dataset.ready"))


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
    finally:
        driver.quit()
        server.terminate()
        server.wait()


def main():
    start = time.time()
    with tempfile.TemporaryDirectory() as work:
        run(True, work)
        run(False, work)
    print(f"web page test: {time.time() - start:.1f} s, {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
