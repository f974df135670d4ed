"""The live view in a real headless browser: the image lives, the page's controls reach the
camera, a recording started there reads back, and Ctrl-C closes everything."""

import os
from pathlib import Path

import pytest
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

import qxcm
from harness import PAGE_COMMAND, REPO, ViewerProcess, browser, close, wait_for

SCREENSHOT = Path(os.environ.get("QXCM_ARTEFACTS", REPO / "build")) / "view-page.png"


@pytest.fixture
def viewer(tmp_path):
    v = ViewerProcess(tmp_path)
    yield v
    if v.proc.poll() is None:
        v.proc.kill()
        v.proc.wait()


@pytest.fixture
def page(viewer):
    driver = browser()
    try:
        driver.get(viewer.url)
        yield driver
    finally:
        close(driver)


def js(driver, expr):
    return driver.execute_script("return " + expr)


def page_command(driver, cmd, args=None):
    return driver.execute_async_script(PAGE_COMMAND, cmd, args or {})


def test_the_page_shows_and_steers_the_camera(viewer, page, tmp_path):
    wait_for(lambda: js(page, "qxStats.drawn") > 10, what="frames drawn")
    first = int(page.find_element(By.ID, "frame").text)
    wait_for(lambda: int(page.find_element(By.ID, "frame").text) > first + 5, what="the counter")
    sums = js(page, "qxStats.sums.slice(-10)")
    assert len(set(sums)) > 1, "the pixels do not change between frames"

    # The exposure typed into the page is the camera's, read back through the camera.
    field = page.find_element(By.CSS_SELECTOR, 'tr[data-name="EXPOSURE TIME"] input')
    field.clear()
    field.send_keys("0.0042" + Keys.TAB)
    wait_for(lambda: abs(page_command(page, "params")["reply"]["result"][
        [p["name"] for p in page_command(page, "params")["reply"]["result"]].index(
            "EXPOSURE TIME")]["value"] - 0.0042) < 1e-9, what="the camera's exposure")
    refused = page_command(page, "set", {"name": "BINNING", "value": 3})["reply"]
    assert not refused["ok"] and "BINNING" in refused["error"]

    # A rectangle drawn with shift held becomes the sub-array: the frame gets smaller.
    canvas = page.find_element(By.ID, "image")
    ActionChains(page).key_down(Keys.SHIFT).move_to_element_with_offset(canvas, -150, -150) \
        .click_and_hold().move_by_offset(200, 120).release().key_up(Keys.SHIFT).perform()
    size = wait_for(lambda: (t := page.find_element(By.ID, "size").text) and
                    not t.startswith("2048 x 2048") and t, what="a smaller frame")
    width, height = (int(v) for v in size.split(" ")[0:3:2])
    assert width < 2048 and height < 2048

    # A recording of 20 frames started from the page reads back at the new size.
    name = page.find_element(By.ID, "recname")
    name.clear()
    name.send_keys("fromthepage")
    page.find_element(By.ID, "recframes").send_keys("20")
    page.find_element(By.ID, "recstart").click()
    wait_for(lambda: "(closed)" in page.find_element(By.ID, "recinfo").text, what="the recording")
    SCREENSHOT.parent.mkdir(parents=True, exist_ok=True)
    page.execute_script("document.getElementById('side').scrollTop = 0")
    page.save_screenshot(str(SCREENSHOT))
    with qxcm.open_sequence(tmp_path / "fromthepage.vlseq") as seq:
        assert len(seq) == 20 and seq.shape == (height, width)

    status, output = viewer.interrupt()
    assert status == 0 and "camera closed" in output, output
