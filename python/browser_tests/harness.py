"""A viewer process and a headless browser on it, for the page test and the benchmark. Only
127.0.0.1 is contacted."""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

PYTHON_DIR = Path(__file__).resolve().parents[1]
REPO = PYTHON_DIR.parent
CHROME_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--window-size=1400,900"]


class ViewerProcess:
    """python3 -m qxcm.view on a free port, serving `folder`."""

    def __init__(self, folder, camera=0, extra=()):
        env = dict(os.environ, PYTHONPATH=str(PYTHON_DIR), PYTHONUNBUFFERED="1")
        env.setdefault("QXCM_LIBRARY", str(REPO / "build" / "release" / "bin"))
        self.proc = subprocess.Popen(
            [sys.executable, "-m", "qxcm.view", "--camera", str(camera), "--port", "0",
             "--folder", str(folder), *extra], env=env, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True)
        deadline = time.monotonic() + 30
        self.output = []
        while time.monotonic() < deadline:
            line = self.proc.stdout.readline()
            if not line:
                break
            self.output.append(line)
            found = re.search(r"at (http://\S+)", line)
            if found:
                self.url = found.group(1)
                self.port = int(re.search(r":(\d+)/", self.url).group(1))
                return
        self.proc.kill()
        raise RuntimeError("the viewer did not start: " + "".join(self.output))

    def interrupt(self, timeout=20):
        """Ctrl-C; returns the exit status and what it printed."""
        self.proc.send_signal(signal.SIGINT)
        try:
            out, _ = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, _ = self.proc.communicate()
        return self.proc.returncode, "".join(self.output) + out


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in CHROME_FLAGS:
        options.add_argument(flag)
    profile = tempfile.mkdtemp(prefix="qxcm-view-chromium-")
    options.add_argument(f"--user-data-dir={profile}")
    service = Service("/usr/bin/chromedriver")
    try:
        driver = webdriver.Chrome(service=service, options=options)
    except BaseException:
        shutil.rmtree(profile, ignore_errors=True)
        raise
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(30)
    driver.qxcm_profile = profile
    return driver


def close(driver):
    """Quits the browser and removes its fresh profile."""
    try:
        driver.quit()
    finally:
        shutil.rmtree(driver.qxcm_profile, ignore_errors=True)


def wait_for(predicate, timeout=30, what="a condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}")


# A command from the page itself, timed from the send to the reply's arrival.
PAGE_COMMAND = """
const [cmd, args, done] = arguments;
const t0 = performance.now();
window.qxCommand(cmd, args).then((m) => done({ms: performance.now() - t0, reply: m}));
"""
