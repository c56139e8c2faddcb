"""Drives the remote access page in headless Chromium: signs in with the
token, adds an event through the form, waits for it in the page's schedule,
then tries the same start again and waits for the conflict's reason.

usage: remote_page.py URL TOKEN START FILENAME PROFILE_FOLDER"""
import sys

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

url, token, start, filename, profile = sys.argv[1:6]
options = Options()
for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
            "--user-data-dir=" + profile, "--window-size=400,800"):
    options.add_argument(arg)
options.binary_location = "/usr/bin/chromium"
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get(url)
    by_id = lambda name: driver.find_element(By.ID, name)
    by_id("token").send_keys(token)
    by_id("loginButton").click()
    WebDriverWait(driver, 60).until(lambda d: by_id("main").is_displayed())

    def fill(channel, duration, repeat, name):
        by_id("addButton").click()
        driver.execute_script("document.getElementById('start').value = arguments[0]", start)
        for field, value in (("channel", channel), ("duration", duration), ("filename", name)):
            by_id(field).clear()
            by_id(field).send_keys(value)
        Select(by_id("repeat")).select_by_visible_text(repeat)
        by_id("okButton").click()

    fill("7", "45", "weekly", filename)
    WebDriverWait(driver, 60).until(lambda d: "Event added." in by_id("message").text)
    print("schedule:", by_id("schedule").text)
    fill("9", "30", "once", "other")
    WebDriverWait(driver, 60).until(lambda d: "CONFLICTS" in by_id("message").text)
    print("message:", by_id("message").text)
finally:
    driver.quit()
