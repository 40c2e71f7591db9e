#!/usr/bin/env python3
"""The report page (-html yes) in a real browser: headless Chromium driven through chromedriver.

    page_test.py BINARY            # the tool makes the page from a generated table

Prints "SKIPPED: ..." and exits 0 where Chromium, chromedriver or Selenium is missing. Everything it starts (the
browser, its profile, the work folder) is removed on every way out; the whole test is bounded by a deadline.
"""
import io
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DEADLINE_S = 150
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"

HOSTILE_TITLE = '<script>alert(1)</script> "onmouseover=alert(2) x="'
HOSTILE_IDS = ["<script>alert(1)</script>", '"onmouseover=alert(2) x="', "<img src=x onerror=alert(3)>"]

# Chromosome lengths (Mb), enough for a realistic layout.
LENGTHS = [249, 243, 198, 191, 181, 171, 159, 146, 141, 136, 135, 133, 115, 107, 102, 90, 83, 78, 59, 63, 48, 51]
PEAKS = {  # chromosome: (centre, lead ID, lead p, hostile ID of a second hit)
    "2": (50_000_000, "rs_lead_2", "1.5e-25", HOSTILE_IDS[0]),
    "7": (110_000_000, "rs_lead_7", "3e-18", HOSTILE_IDS[1]),
    "12": (66_000_000, "rs_lead_12", "2e-11", HOSTILE_IDS[2]),
}


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)
    print("ok:", what)


def make_table(path, rows_per_mb=12):
    rnd = random.Random(7)
    names = [str(i) for i in range(1, 23)] + ["X"]
    lengths = LENGTHS + [155]
    n = 0
    with open(path, "w") as f:
        f.write("SNP\tCHR\tBP\tP\n")
        for name, mb in zip(names, lengths):
            pos = 1_000_000
            end = mb * 1_000_000
            peak = PEAKS.get(name)
            while pos < end:
                p = rnd.random() or 0.5
                if peak and abs(pos - peak[0]) < 2_000_000:
                    # a peak: stronger nearer its centre
                    p = p * 10 ** (-6 * (1 - abs(pos - peak[0]) / 2_000_000))
                f.write("rs%d\t%s\t%d\t%.4g\n" % (1000 + n, name, pos, p))
                n += 1
                pos += rnd.randint(1, 2 * 1_000_000 // rows_per_mb)
            if peak:
                centre, lead, lead_p, hostile = peak
                f.write("%s\t%s\t%d\t%s\n" % (lead, name, centre, lead_p))
                f.write("%s\t%s\t%d\t%s\n" % (hostile, name, centre + 40_000, "1e-9"))
                n += 2
    return n


def make_page_with_tool(binary, work):
    table = os.path.join(work, "t.tsv")
    make_table(table)
    out = os.path.join(work, "out")
    cmd = [binary, "-M", "manhattan", "-file", table, "-names", "yes", "-chr", "1-22;X",
           "-leads", "yes", "-qq", "yes", "-out", out, "-figuretitle", HOSTILE_TITLE,
           "-html", "yes"]
    run = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if run.returncode != 0:
        raise Failure("the tool failed: %s" % run.stderr.decode(errors="replace"))
    return out + ".html"


def check_many_hits(driver, binary, work):
    """More hits than the page draws one by one: the page says how many it summarises."""
    from selenium.webdriver.common.by import By
    table, out = os.path.join(work, "many.tsv"), os.path.join(work, "many")
    with open(table, "w") as f:
        f.write("SNP\tCHR\tBP\tP\n")
        f.writelines("m%d\t%d\t%d\t%.3g\n" % (i, 1 + i % 2, 1000 + 10 * i, 1e-9 * (1 + i % 9)) for i in range(50_500))
    run = subprocess.run([binary, "-M", "manhattan", "-file", table, "-names", "yes", "-out", out, "-html", "yes"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if run.returncode != 0:
        raise Failure("the tool failed: %s" % run.stderr.decode(errors="replace"))
    driver.get("file://" + out + ".html")
    for _ in range(100):
        if driver.execute_script("return !!(window.vennrickPage && window.vennrickPage.ready)"):
            break
        time.sleep(0.05)
    notice = driver.find_element(By.ID, "manhattan-notice")
    check(notice.is_displayed() and notice.get_attribute("class") == "notice"
          and "which hold 50,000 of the 50,500 hits. The other 500 hits are summarised" in notice.text,
          "over 50,000 hits: the page says how many it summarises (%r)" % notice.text)


# ---- a small PNG reader (8-bit RGB or RGBA, not interlaced), for the screenshots ----

def read_png(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise Failure("the screenshot is not a PNG")
    at, idat, width = 8, b"", 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise Failure("unexpected PNG kind %d/%d" % (depth, colour))
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * bpp
    pixels = bytearray(height * stride)
    prev = bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pr) & 255
        pixels[y * stride:(y + 1) * stride] = line
        prev = line
    return width, height, bpp, pixels


def near(rgb, hexcolour, tol=40):
    want = bytes.fromhex(hexcolour[1:])
    return all(abs(rgb[i] - want[i]) <= tol for i in range(3))


# ---- the browser ----

def start_browser(profile):
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        raise Skip("python3-selenium is not installed")
    if not os.path.exists(CHROMIUM):
        raise Skip("chromium is not installed")
    if not os.path.exists(CHROMEDRIVER):
        raise Skip("chromedriver (chromium-driver) is not installed")
    opts = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1280,1400", "--force-device-scale-factor=1",
                 "--user-data-dir=" + profile):
        opts.add_argument(flag)
    opts.binary_location = CHROMIUM
    opts.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    service = Service(CHROMEDRIVER, log_output=subprocess.DEVNULL) if "log_output" in Service.__init__.__code__.co_varnames \
        else Service(CHROMEDRIVER)
    driver = webdriver.Chrome(service=service, options=opts)
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(30)
    return driver


def run_checks(driver, page):
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.common.exceptions import NoAlertPresentException

    url = "file://" + page
    driver.get("about:blank")
    driver.get_log("performance")  # what the browser did before the page (its new tab page) does not count
    driver.get_log("browser")
    driver.get(url)
    for _ in range(100):
        if driver.execute_script("return !!(window.vennrickPage && window.vennrickPage.ready)"):
            break
        time.sleep(0.05)
    check(driver.execute_script("return !!(window.vennrickPage && window.vennrickPage.ready)"), "the page builds itself")
    js = driver.execute_script
    data = json.loads(js("return document.getElementById('vennrick-data').textContent"))
    names = [c["name"] for c in data["chromosomes"]]
    check(names == [str(i) for i in range(1, 23)] + ["X"], "chromosomes in natural order")

    qq = js("var i = document.querySelector('img.qq'); return i ? [i.src.slice(0, 22), i.alt, i.naturalWidth] : null")
    check(qq and qq[0] == "data:image/png;base64," and "\u03bb = " in qq[1] and qq[2] > 100,
          "the QQ plot is in the page as a PNG with a text alternative (%r)" % (qq and qq[1]))

    # Nothing ran that the page did not bring: no alert, only the page's own two script elements, texts as text.
    try:
        driver.switch_to.alert
        raise Failure("an alert opened")
    except NoAlertPresentException:
        pass
    check(js("return document.scripts.length") == 2, "no script element was injected")
    check(js("return document.querySelectorAll('img:not(.qq)').length") == 0, "no image element was injected")
    check(js("return document.getElementById('report-title').textContent") == HOSTILE_TITLE, "a hostile title is shown as text")
    check(HOSTILE_TITLE in js("return document.title"), "the window title is the run's title")

    # No console message, no request beyond the page itself.
    logs = driver.get_log("browser")
    check(not logs, "no console message (%s)" % logs[:3])
    resources = js("return performance.getEntriesByType('resource').map(function (e) { return e.name; })")
    check(resources == [], "no resource fetched (%s)" % resources[:3])
    requests = []
    for entry in driver.get_log("performance"):
        msg = json.loads(entry["message"])["message"]
        if msg.get("method") == "Network.requestWillBeSent":
            requests.append(msg["params"]["request"]["url"])
    foreign = [u for u in requests if not (u == url or u.startswith("data:") or u.startswith("blob:"))]
    check(not foreign, "no network request (%s)" % foreign[:3])

    canvas = driver.find_element(By.ID, "manhattan-canvas")
    driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", canvas)
    size = canvas.size
    box = js("return window.vennrickPage.plotBox()")
    length = data["genomeLength"]

    def move_to(x, y):
        ActionChains(driver).move_to_element_with_offset(canvas, int(round(x - size["width"] / 2)),
                                                         int(round(y - size["height"] / 2))).perform()

    def point_of(ident):
        pts = data["points"]
        k = pts["id"].index(ident)
        return k, pts["chr"][k], pts["pos"][k], pts["logp"][k]

    def hover_id(ident):
        k, chrom, pos, logp = point_of(ident)
        at = js("return window.vennrickPage.pixelOf(%d, %d, %r)" % (chrom, pos, logp))
        move_to(at["x"], at["y"])
        time.sleep(0.05)
        tip = driver.find_element(By.ID, "manhattan-tip")
        return tip.is_displayed() and js("return document.querySelector('#manhattan-tip .tip-id').textContent"), at

    # Hover over a known hit and over the hostile ones.
    shown, at = hover_id("rs_lead_2")
    check(shown == "rs_lead_2", "hovering the pixel of a hit shows its ID (%r)" % shown)
    tiptext = driver.find_element(By.ID, "manhattan-tip").text
    check("2:50000000" in tiptext and "1.5e-25" in tiptext and "24.824" in tiptext,
          "the tip shows CHR:POS, p and -log10(p) (%r)" % tiptext)
    lead_at = at
    for ident in HOSTILE_IDS:
        js("window.vennrickPage && document.getElementById('reset').click()")
        shown, _ = hover_id(ident)
        check(shown == ident, "a hostile ID is shown as text in the tip (%r)" % shown)
    check(js("return document.scripts.length") == 2 and js("return document.querySelectorAll('#manhattan-tip *').length") <= 5,
          "hostile IDs added no elements")

    # A screenshot: the chromosome colours where the layout puts them, the hit colour at the lead.
    driver.find_element(By.ID, "reset").click()
    move_to(2, 2)
    time.sleep(0.05)
    w, h, bpp, px = read_png(canvas.screenshot_as_png)
    colours = data["colors"]

    def pixel(x, y):
        i = (int(y) * w + int(x)) * bpp
        return px[i:i + 3]

    bottom = int(box["top"] + box["height"]) - 3
    for ci, name in enumerate(names):
        c = data["chromosomes"][ci]
        x0 = js("return window.vennrickPage.pixelOf(%d, %d, 0).x" % (ci, c["start"]))
        x1 = js("return window.vennrickPage.pixelOf(%d, %d, 0).x" % (ci, c["end"]))
        xs = range(int(x0) + 1, int(x1))
        mine = sum(1 for x in xs for y in range(bottom - 12, bottom) if near(pixel(x, y), colours[ci % 2], 30))
        other = sum(1 for x in xs for y in range(bottom - 12, bottom) if near(pixel(x, y), colours[1 - ci % 2], 30))
        if mine <= 0.3 * len(xs) * 12 or other >= mine / 10:
            raise Failure("chromosome %s: %d pixels of its colour %s, %d of the other" % (name, mine, colours[ci % 2], other))
    check(True, "the screenshot shows each chromosome's colour across its extent, alternating")
    rgb = pixel(lead_at["x"], lead_at["y"])
    check(near(rgb, colours[2]), "the lead is drawn in the hit colour (%s)" % rgb.hex())

    # Drag zoom: the view becomes the dragged range.
    a, b = box["left"] + 0.30 * box["width"], box["left"] + 0.34 * box["width"]
    y = box["top"] + 0.5 * box["height"]
    move_to(a, y)
    ActionChains(driver).click_and_hold().perform()
    move_to((a + b) / 2, y)
    move_to(b, y)
    ActionChains(driver).release().perform()
    view = js("return window.vennrickPage.view()")
    want0, want1 = 0.30 * length, 0.34 * length
    tol = 2 * length / box["width"]
    check(abs(view["x0"] - want0) < tol and abs(view["x1"] - want1) < tol,
          "a drag zooms to the dragged range (%r against %r)" % ((view["x0"], view["x1"]), (want0, want1)))

    # A chromosome name: the view becomes that chromosome, the axis turns to Mb.
    driver.find_element(By.ID, "reset").click()
    c7 = data["chromosomes"][6]
    mid = js("return window.vennrickPage.pixelOf(6, %d, 0).x" % ((c7["start"] + c7["end"]) // 2))
    for row_y in (box["top"] + box["height"] + 12, box["top"] + box["height"] + 27):
        move_to(mid, row_y)
        ActionChains(driver).click().perform()
        view = js("return window.vennrickPage.view()")
        if view["x1"] - view["x0"] < length / 2:
            break
    check(abs(view["x0"] - c7["offset"]) < 1 and abs(view["x1"] - (c7["offset"] + c7["end"] - c7["start"])) < 1,
          "a click on the name '7' shows chromosome 7 (%r)" % view)
    axis = js("return window.vennrickPage.axis()")
    ticks = [float(t["text"]) for t in axis["ticks"]]
    # the table's chromosome 7 runs from 1 Mb to about 159 Mb
    check(abs(c7["start"] - 1_000_000) < 10 and 158_000_000 < c7["end"] < 159_000_000,
          "the page places chromosome 7 from its first to its last position (%d..%d)" % (c7["start"], c7["end"]))
    check(axis["title"] == "Chromosome 7 (Mb)" and ticks and 1 <= ticks[0] <= 50 and 150 <= ticks[-1] <= 159,
          "the x axis is in Mb over chromosome 7 (%s .. %s)" % (ticks[:1], ticks[-1:]))
    text = driver.find_element(By.ID, "manhattan-view").text
    check("chromosome 7" in text, "the text alternative names the view (%r)" % text)

    # Keyboard: + halves the span, 0 resets.
    canvas.send_keys("+")
    v2 = js("return window.vennrickPage.view()")
    check(abs((v2["x1"] - v2["x0"]) * 2 - (view["x1"] - view["x0"])) < 2, "the + key zooms in")
    canvas.send_keys("0")
    v3 = js("return window.vennrickPage.view()")
    check(v3["x0"] == 0 and v3["x1"] == length, "the 0 key resets")

    # Search: an ID, CHR:POS and CHR:START-END.
    box_in = driver.find_element(By.ID, "search-box")

    def search(q):
        box_in.clear()
        box_in.send_keys(q + Keys.ENTER)
        time.sleep(0.05)
        return js("return window.vennrickPage.view()")

    def on_chromosome(view, ci, pos):
        c = data["chromosomes"][ci]
        return view["x0"] <= c["offset"] + pos - c["start"] <= view["x1"]

    v = search("rs_lead_7")
    check(on_chromosome(v, 6, 110_000_000) and v["x1"] - v["x0"] < 2_000_000, "the search finds an ID (%r)" % v)
    check(driver.find_element(By.ID, "manhattan-tip").is_displayed()
          and js("return document.querySelector('#manhattan-tip .tip-id').textContent") == "rs_lead_7",
          "the found variant is pinned")
    v = search(HOSTILE_IDS[0])
    check(on_chromosome(v, 1, 50_040_000), "the search finds a hostile ID")
    v = search("12:66000000")
    check(on_chromosome(v, 11, 66_000_000) and v["x1"] - v["x0"] < 2_000_000, "the search finds CHR:POS (%r)" % v)
    v = search("chrX:20,000,000-30,000,000")
    cx = data["chromosomes"][22]
    check(abs(v["x0"] - (cx["offset"] + 20_000_000 - cx["start"])) < 1 and abs(v["x1"] - (cx["offset"] + 30_000_000 - cx["start"])) < 1,
          "the search shows CHR:START-END (%r)" % v)
    search("no_such_variant")
    check("Not found" in driver.find_element(By.ID, "manhattan-status").text, "an unknown ID is reported")

    # The loci table: a click zooms to the locus; the columns sort.
    rows = driver.find_elements(By.CSS_SELECTOR, "#leads-table tbody tr")
    check(len(rows) == len(data["leads"]) and len(rows) >= 3, "the loci table lists every locus (%d)" % len(rows))
    lead12 = [r for r in data["leads"] if r["id"] == "rs_lead_12"][0]
    row = [r for r in rows if "rs_lead_12" in r.text][0]
    driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", row)
    row.click()
    v = js("return window.vennrickPage.view()")
    check(on_chromosome(v, lead12["chr"], lead12["start"]) and on_chromosome(v, lead12["chr"], lead12["end"])
          and v["x1"] - v["x0"] < 2 * (lead12["end"] - lead12["start"]) + 500_000,
          "a click on a locus zooms to it (%r)" % v)
    check(any(t["text"] for t in js("return window.vennrickPage.axis()")["ticks"])
          and js("return window.vennrickPage.axis()")["title"] == "Chromosome 12 (Mb)", "the axis is chromosome 12 in Mb")
    headers = driver.find_elements(By.CSS_SELECTOR, "#leads-table thead button")
    headers[4].click()  # -log10(p), ascending
    first = driver.find_elements(By.CSS_SELECTOR, "#leads-table tbody tr")[0].text
    headers[4].click()  # descending
    top = driver.find_elements(By.CSS_SELECTOR, "#leads-table tbody tr")[0].text
    check("rs_lead_2" in top and "rs_lead_2" not in first, "the loci table sorts by a column, both ways")
    headers[2].click()
    ids = [e.text for e in driver.find_elements(By.CSS_SELECTOR, "#leads-table tbody tr td:nth-child(3)")]
    check(ids == sorted(ids), "the loci table sorts by ID")

    # Saving the view: a PNG and an SVG whose texts are text.
    driver.find_element(By.ID, "reset").click()
    svg = js("return window.vennrickPage.svgText()")
    root = ET.fromstring(svg)
    ns = "{http://www.w3.org/2000/svg}"
    check(root.find(ns + "title").text == HOSTILE_TITLE and not list(root.iter(ns + "script")),
          "the SVG of the view parses, its title is text")
    check(len(list(root.iter(ns + "circle"))) > 100 and len(list(root.iter(ns + "rect"))) > 100,
          "the SVG holds the points and the binned rows")
    # The browser's download machinery is off with --disable-component-update; the saved file is caught where the
    # page hands it to the browser (the link's click) and read back from its blob.
    js("window.__saved = []; var made = URL.createObjectURL;"
       "URL.createObjectURL = function (blob) { var u = made.call(URL, blob); window.__blob = blob; return u; };"
       "HTMLAnchorElement.prototype.click = function () { window.__saved.push({ name: this.download, blob: window.__blob }); };")
    for button, magic in (("save-png", b"\x89PNG\r\n\x1a\n"), ("save-svg", b"<svg")):
        driver.find_element(By.ID, button).click()
        saved = driver.execute_async_script(
            "var done = arguments[0], tries = 0;"
            "(function wait() {"
            "  if (window.__saved.length) {"
            "    var s = window.__saved.shift();"
            "    s.blob.arrayBuffer().then(function (b) {"
            "      done({ name: s.name, head: Array.from(new Uint8Array(b.slice(0, 8))), size: b.byteLength }); },"
            "      function (e) { done({ name: String(e), head: [], size: 0 }); });"
            "  } else if (++tries < 500) setTimeout(wait, 20); else done(null);"
            "})();")
        check(saved and bytes(saved["head"][:len(magic)]) == magic and saved["size"] > 1000
              and saved["name"].endswith(".manhattan." + button[5:]) and "<" not in saved["name"],
              "the %s button saves the view (%s)" % (button, saved and (saved["name"], saved["size"])))

    # What is drawn one by one: here every hit, and the summarised rows counted.
    notice = driver.find_element(By.ID, "manhattan-notice")
    shown, kept = len(data["points"]["id"]), data["summary"]["kept"]
    check(notice.is_displayed() and "Drawn one by one: {:,} of the {:,} kept rows, every hit among them; the other {:,} are"
          .format(shown, kept, kept - shown) in notice.text, "the plot says what it draws one by one (%r)" % notice.text)

    # Timings, for the record.
    fcp = js("var e = performance.getEntriesByType('paint').filter(function (p) { return p.name === 'first-contentful-paint'; });"
             "return e.length ? e[0].startTime : null")
    print("first contentful paint %.0f ms, last redraw %.1f ms" % (fcp or -1, js("return window.vennrickPage.drawMs()")))


def main(argv):
    deadline_hit = lambda *_: (_ for _ in ()).throw(Failure("over the deadline of %d s" % DEADLINE_S))
    signal.signal(signal.SIGALRM, deadline_hit)
    signal.alarm(DEADLINE_S)
    work = tempfile.mkdtemp(prefix="vennrick-page-")
    driver = None
    try:
        if len(argv) != 2:
            print("usage: page_test.py BINARY", file=sys.stderr)
            return 2
        page = make_page_with_tool(argv[1], work)
        profile = os.path.join(work, "profile")
        os.makedirs(profile)
        driver = start_browser(profile)
        run_checks(driver, page)
        check_many_hits(driver, argv[1], work)
        print("PASSED: the report page in headless Chromium")
        return 0
    except Skip as why:
        print("SKIPPED: %s" % why)
        return 0
    except Failure as why:
        print("FAILED: %s" % why)
        return 1
    except Exception as why:  # a browser or driver error: a failure, with its story
        import traceback
        traceback.print_exc()
        print("FAILED: %s: %s" % (type(why).__name__, str(why).splitlines()[0] if str(why) else ""))
        return 1
    finally:
        signal.alarm(0)
        if driver is not None:
            try:
                driver.quit()
            except Exception:
                pass
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
