#!/usr/bin/python3
"""A default texture (256, the shipped parameters) made in headless chromium on one and two
rasteriser threads against the native pallimor-cli on as many; the median of five, in ms.
Both make the texture and encode its PNG; the CLI's figure is a whole run (start-up included)
writing the PNG to /dev/null. Usage: web_bench.py ROOT (the checkout; the CLI at ROOT/build/pallimor-cli)"""
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_page_test  # noqa: E402
from web_page_test import browser, serve, wait_ready  # noqa: E402

ROOT = sys.argv[1]
web_page_test.SITE = os.path.join(ROOT, "build-web")
CLI = os.path.join(ROOT, "build", "pallimor-cli")
RUNS = 5


def browser_ms(address, threads, downloads):
    driver = browser(downloads)
    try:
        driver.get(f"{address}index.html?threads={threads}")
        wait_ready(driver)
        times = driver.execute_script(f"""const api = window.pallimor.api(); const t = [];
            for (let i = 0; i < {RUNS}; ++i) {{ const s = performance.now(); api.generate();
              api.exportFile('bench.png', 0, 0); t.push(performance.now() - s); }} return t;""")
        return statistics.median(times), driver.execute_script("return window.crossOriginIsolated")
    finally:
        driver.quit()


def cli_ms(threads):
    times = []
    for i in range(RUNS):
        start = time.perf_counter()
        subprocess.run([CLI, "generate", "--quiet", "--seed", hex(0xBEEF + i), "--threads", str(threads),
                        "--out", "-", "--type", "png"], check=True, stdout=subprocess.DEVNULL)
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def main():
    server, address = serve(True)
    try:
        for threads in (1, 2):
            ms, isolated = browser_ms(address, threads, "/tmp")
            print(f"threads {threads}: browser {ms:7.1f} ms (isolated {isolated})   native CLI {cli_ms(threads):7.1f} ms",
                  flush=True)
    finally:
        server.terminate()


if __name__ == "__main__":
    main()
