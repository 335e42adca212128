#!/usr/bin/python3
"""The pupil's page on a phone-sized screen: a headless Chromium signs in at
seat 29 through a gateway of its own in the classroom folder FOLDER, whose
teacher's program shows a question, and saves a screenshot.
Usage: screenshot_page.py BUILD_DIR FOLDER OUTPUT_PNG"""

import os
import shutil
import socket
import subprocess
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

build, folder, output = (os.path.abspath(a) for a in sys.argv[1:4])
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
gateway = subprocess.Popen([os.path.join(build, "gateway", "ombra-gateway"), "--port", str(port),
                            "--code", "202411"], cwd=folder, stdout=subprocess.PIPE, text=True)
try:
    gateway.stdout.readline()
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or shutil.which("google-chrome")
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=390,700",
                     "--force-device-scale-factor=1", "--lang=ja"):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    try:
        browser.get("http://127.0.0.1:%d/" % port)
        browser.find_element(By.ID, "seat").send_keys("29")
        browser.find_element(By.ID, "code").send_keys("202411")
        browser.find_element(By.ID, "signin-ok").click()
        try:
            WebDriverWait(browser, 10).until(
                lambda d: d.find_element(By.ID, "b0").is_displayed())
        except Exception:
            print("page:", browser.find_element(By.TAG_NAME, "body").text, file=sys.stderr)
            raise
        browser.save_screenshot(output)
    finally:
        browser.quit()
finally:
    gateway.terminate()
    gateway.wait(10)
