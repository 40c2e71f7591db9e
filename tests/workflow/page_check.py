#!/usr/bin/env python3
"""The batch page in a real browser (headless Chromium): page_check.py INDEX_HTML

Opens the page from file://, with the network cut off, and checks that every thumbnail decodes to an image,
that a click on a numeric column's title sorts the rows by it (ascending, NA last; a second click descending)
and that the name column sorts by name. Prints SKIPPED and exits 0 without python3-selenium or chromium-driver.
"""
import os
import shutil
import sys

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("SKIPPED: python3-selenium is not installed")
    sys.exit(0)


def main():
    page = os.path.abspath(sys.argv[1])
    driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not os.path.exists(driver_path):
        print("SKIPPED: chromium-driver is not installed")
        return 0
    options = webdriver.ChromeOptions()
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--proxy-server=127.0.0.1:9", "--proxy-bypass-list=<-loopback>"):
        options.add_argument(arg)
    browser = webdriver.Chrome(service=Service(driver_path), options=options)
    try:
        browser.set_page_load_timeout(30)
        browser.get("file://" + page)
        broken = browser.execute_script(
            "return Array.from(document.images).filter(i => !i.complete || i.naturalWidth === 0).length")
        count = browser.execute_script("return document.images.length")
        assert count > 0 and broken == 0, f"{broken} of {count} thumbnails do not show"

        heads = browser.find_elements(By.CSS_SELECTOR, "#tables thead th")
        titles = [h.text.strip() for h in heads]

        def column(index):
            return browser.execute_script(
                "return Array.from(document.querySelectorAll('#tables tbody tr')).map("
                "r => r.cells[arguments[0]].getAttribute('data-sort'))", index)

        lam = next(i for i, t in enumerate(titles) if t.startswith("λ"))
        heads[lam].click()
        values = column(lam)
        numbers = [float(v) for v in values if v]
        assert numbers == sorted(numbers) and values[len(numbers):] == [""] * (len(values) - len(numbers)), \
            f"lambda ascending: {values}"
        assert heads[lam].get_attribute("aria-sort") == "ascending"
        heads[lam].click()
        values = column(lam)
        numbers = [float(v) for v in values if v]
        assert numbers == sorted(numbers, reverse=True) and values[len(numbers):] == [""] * (len(values) - len(numbers)), \
            f"lambda descending: {values}"
        heads[0].click()
        names = column(0)
        assert names == sorted(names), f"names: {names}"
        print(f"page: {count} thumbnails shown; sorted by lambda both ways (NA last) and by name in Chromium")
    finally:
        browser.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
