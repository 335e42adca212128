#!/usr/bin/python3
"""A pupil answers from headless Chromium through the real ombra-gateway, in
a lesson run by the teacher's own lesson code in a fresh classroom folder:
sign in, answer, change the answer, the one-answer lock, a new question, a
lost connection with an answer given meanwhile, a reload that keeps the seat,
a second browser that asks for the seat and gets it when the first lets it
go, and the end. Each step is checked in the seat's files and on the
teacher's graph.

With --teacher WINDOW PID GATEWAY_WINDOW FBDIR the real teacher's program
runs the gateway in its own window (started by check_browser_teacher.sh):
the pages open the address of the QR code read off the screen, and the
teacher approves a take-over in the gateway's window.

Usage: check_browser.py BUILD_DIR [--teacher WINDOW PID GATEWAY_WINDOW FBDIR PORT]
Exits 77 (skipped) when Chromium, its driver or Selenium is missing."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from build_programs import gateway_port, program

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import TimeoutException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions as ec
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("browser: Selenium is not installed; skipped")
    sys.exit(77)

BUILD = os.path.abspath(sys.argv[1])
# With --teacher the real teacher's program runs in the current directory
# instead of the lesson driver, and serves the pages itself.
TEACHER = sys.argv[3:8] if len(sys.argv) >= 8 and sys.argv[2] == "--teacher" else None
GATEWAY = program(BUILD, "gateway", "ombra-gateway")
DRIVER = program(BUILD, "tests", "gateway", "lesson_driver")
CODE = "246813"
SEAT = 7


def find(*names):
    for name in names:
        path = shutil.which(name)
        if path:
            return path
    return None


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def wait_until(predicate, what, timeout=10.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise Failure("timed out: " + what)


class Lesson:
    """The teacher's lesson in a child process, one command a line."""

    def __init__(self, folder):
        self.process = subprocess.Popen(DRIVER, cwd=folder, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        check(self.process.stdout.readline().strip() == "ready", "the lesson did not start")

    def do(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().strip()

    def graph(self):
        line = self.do("tick")
        check(line.startswith("graph "), "no graph: " + line)
        captions, total = line[len("graph "):].split("|")
        return [c for c in captions.split(",") if c], int(total)


def xdotool(*arguments):
    subprocess.run(["xdotool"] + [str(a) for a in arguments], check=True)


def read_qr_code(fbdir):
    """The text of the QR code on the virtual screen (Xvfb keeps it in XWD
    form in fbdir), read with zbarimg from a grey copy."""
    with open(os.path.join(fbdir, "Xvfb_screen0"), "rb") as f:
        data = f.read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits, line, ncolors = header[7], header[11], header[12], header[19]
    check(bits == 32, "a 32-bit screen")
    pixels = data[header_size + 12 * ncolors:]
    green = 1 if byte_order == 0 else 2  # B G R x, or x R G B
    grey = bytes(pixels[y * line + 4 * x + green] for y in range(height) for x in range(width))
    image = os.path.join(fbdir, "screen.pgm")
    with open(image, "wb") as f:
        f.write(b"P5 %d %d 255\n" % (width, height) + grey)
    found = subprocess.run(["zbarimg", "--raw", "-q", image], capture_output=True, text=True)
    return found.stdout.strip()


def teacher_lesson(browser, folder, seat_file):
    """The real teacher's program: the QR code, 再集計, a locked answer, a
    take-over approved in the gateway's window, the close."""
    window, pid, gateway_window, fbdir, port = TEACHER
    address = wait_until(lambda: read_qr_code(fbdir), "the QR code on the screen")
    check("#k=" in address and address.endswith(address.split("#k=")[1]), "the key in " + address)
    # The address as a tablet reaches it here.
    url = "http://127.0.0.1:%s/#k=%s" % (port, address.split("#k=")[1])
    page = browser(url)
    wait = WebDriverWait(page, 10)
    shown = lambda i: page.find_element(By.ID, "b%d" % i).is_displayed()
    check(not page.find_element(By.ID, "code").is_displayed(), "a code field after the QR code")
    check("#k=" not in page.current_url, "the key left in the address bar")
    page.find_element(By.ID, "seat").send_keys("5")
    page.find_element(By.ID, "signin-ok").click()
    wait.until(ec.text_to_be_present_in_element((By.ID, "seatline"), "5"))
    wait_until(lambda: seat_file("txt", 5) == b" 0 \r\n", "sign-in resets the answer file")
    # 再集計 in the control bar, the bottom 82 pixels of the 694-pixel client area.
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], check=True,
                              capture_output=True, text=True).stdout
    height = int(dict(l.split("=") for l in geometry.split())["HEIGHT"])
    top = height - 694
    xdotool("mousemove", "--window", window, 712 + 49, top + 612 + 50, "click", 1)
    wait_until(lambda: seat_file("ini", 5).startswith(b" 2 "), "再集計 publishes mode 2")
    wait.until(lambda d: shown(0) and shown(1))
    page.find_element(By.ID, "b0").click()
    wait_until(lambda: seat_file("txt", 5) == b" 1 \r\n", "the answer from the page")
    wait_until(lambda: seat_file("ini", 5).count(b"\r\n") == 2, "the one-answer lock")
    wait.until(lambda d: not shown(0))

    # Another tablet asks for seat 5; the teacher approves in the gateway's
    # window with the keyboard (許可する(&A)).
    other = browser(url)
    other.find_element(By.ID, "seat").send_keys("5")
    other.find_element(By.ID, "signin-ok").click()
    WebDriverWait(other, 10).until(ec.visibility_of_element_located((By.ID, "takeover")))
    other.find_element(By.ID, "takeover").click()
    WebDriverWait(other, 10).until(
        ec.text_to_be_present_in_element((By.ID, "signin-msg"), "5 番、申し出 1"))
    wait.until(ec.text_to_be_present_in_element((By.ID, "notice"), "引き継ぎを申し出"))
    check(page.find_element(By.ID, "answer").is_displayed(), "the seat moved without consent")
    # The teacher chooses the request (Alt+Q to the list, Space), then
    # approves it: nothing is chosen for the teacher.
    time.sleep(0.5)  # the window redraws within 100 ms of a change
    xdotool("windowfocus", "--sync", gateway_window)
    xdotool("key", "alt+q", "space", "alt+a")
    WebDriverWait(other, 10).until(ec.text_to_be_present_in_element((By.ID, "seatline"), "5"))
    wait.until(ec.text_to_be_present_in_element((By.ID, "signin-msg"), "先生の許可で"))
    check(seat_file("txt", 5) == b" 1 \r\n", "the take-over kept the answer")

    # 終了(&X), the last item of ﾌｧｲﾙ(&F).
    xdotool("windowfocus", "--sync", window)
    xdotool("key", "alt+f", "x")
    WebDriverWait(other, 10).until(ec.visibility_of_element_located((By.ID, "end")))
    record = wait_until(lambda: os.path.exists(os.path.join(folder, "Kiroku.csv")) and open(
        os.path.join(folder, "Kiroku.csv"), "rb").read(), "the record")
    check(b" 5 \x94\xd4 , 1 " in record, "seat 5's answer in Kiroku.csv")


def main():
    chromium = find("chromium", "chromium-browser", "google-chrome")
    chromedriver = find("chromedriver")
    if not chromium or not chromedriver:
        print("browser: Chromium or chromedriver is missing; skipped")
        return 77

    folder = os.getcwd() if TEACHER else tempfile.mkdtemp(prefix="ombra-browser-")
    data = os.path.join(folder, "Data")

    def seat_file(ext, seat=SEAT):
        with open(os.path.join(data, "LVQ%d.%s" % (seat, ext)), "rb") as f:
            return f.read()

    def answer_is(value):
        return seat_file("txt") == (" %d \r\n" % value).encode()

    browsers = []

    def browser(url):
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                         "--disable-dev-shm-usage", "--window-size=390,844"):
            options.add_argument(argument)
        b = webdriver.Chrome(service=Service(chromedriver), options=options)
        browsers.append(b)
        b.get(url)
        return b

    lesson = None if TEACHER else Lesson(folder)
    gateway = None
    try:
        if TEACHER:
            teacher_lesson(browser, folder, seat_file)
            print("browser: every step with the teacher's program passed")
            return 0
        gateway = subprocess.Popen(GATEWAY + ["--port", "0", "--code", CODE], cwd=folder,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        first = gateway.stdout.readline()
        port = gateway_port(first)
        check(port is not None, "the gateway did not start: " + first)
        url = "http://127.0.0.1:%d/" % port
        page = browser(url)
        wait = WebDriverWait(page, 10)
        shown = lambda i: page.find_element(By.ID, "b%d" % i).is_displayed()

        # Sign in: refused with the pupil's program's message, then accepted.
        page.find_element(By.ID, "seat").send_keys("51")
        page.find_element(By.ID, "code").send_keys(CODE)
        page.find_element(By.ID, "signin-ok").click()
        wait.until(ec.text_to_be_present_in_element((By.ID, "signin-msg"), "１～５０の数字"))
        page.find_element(By.ID, "seat").send_keys(str(SEAT))
        page.find_element(By.ID, "signin-ok").click()
        wait.until(ec.text_to_be_present_in_element((By.ID, "seatline"), str(SEAT)))
        wait_until(lambda: answer_is(0), "sign-in resets the answer file")
        # The lesson starts paused: nothing to press.
        check(not any(shown(i) for i in range(5)), "buttons shown while paused")
        # Without a time limit the page shows no time.
        check(not page.find_element(By.ID, "time").is_displayed(), "a time without a limit")

        # 再集計 with ○×, several answers allowed.
        check(lesson.do("check 0").startswith("ok"), "check 0")
        check(lesson.do("start") == "ok 2", "start")
        wait.until(lambda d: shown(0) and shown(1))
        check(page.find_element(By.ID, "b0").text == "○", "label ○")
        check(not shown(2), "a third button in mode 2")
        page.find_element(By.ID, "b1").click()
        wait_until(lambda: answer_is(2), "answer × written")
        bars, total = lesson.graph()
        check(total == 1 and "1人" in bars, "the graph after ×: %s %d" % (bars, total))
        page.find_element(By.ID, "b0").click()
        wait_until(lambda: answer_is(1), "answer changed to ○")
        bars, total = lesson.graph()
        check(total == 1 and bars.count("1人") == 1, "the graph after ○: %s" % bars)

        # One answer only: the first click locks the seat.
        lesson.do("check 1")
        check(lesson.do("start") == "ok 2", "start with the lock")
        wait_until(lambda: answer_is(0), "publication resets the answer")
        wait.until(lambda d: shown(0))
        page.find_element(By.ID, "b1").click()
        wait_until(lambda: answer_is(2), "locked answer written")
        wait_until(lambda: seat_file("ini").count(b"\r\n") == 2, "the lock's short command file")
        wait.until(lambda d: not shown(0) and not shown(1))
        bars, total = lesson.graph()
        check(total == 1, "the graph counts the locked answer")

        # A new question with three labels.
        lesson.do("check 0")
        lesson.do("set 7")
        check(lesson.do("start") == "ok 3", "start はい/いいえ/どちらでもない")
        wait.until(lambda d: shown(2))
        check(page.find_element(By.ID, "b2").text == "どちらでもない", "third label")
        check(answer_is(0), "new question resets the answer")

        # The connection drops; an answer given meanwhile goes when it is back.
        page.set_network_conditions(offline=True, latency=0, throughput=0)
        wait.until(ec.visibility_of_element_located((By.ID, "conn")))
        page.find_element(By.ID, "b2").click()
        wait.until(ec.text_to_be_present_in_element((By.ID, "status"), "つながったら"))
        check(answer_is(0), "an answer written while offline")
        page.delete_network_conditions()
        wait_until(lambda: answer_is(3), "the waiting answer sent after reconnecting", 20)
        wait.until(ec.invisibility_of_element_located((By.ID, "conn")))

        # Offline again, and the teacher moves on: the waiting answer is dropped.
        page.set_network_conditions(offline=True, latency=0, throughput=0)
        wait.until(ec.visibility_of_element_located((By.ID, "conn")))
        page.find_element(By.ID, "b0").click()
        lesson.do("set 1")
        check(lesson.do("start") == "ok 2", "start ○× again")
        page.delete_network_conditions()
        wait.until(ec.text_to_be_present_in_element((By.ID, "notice"), "届いていません"))
        check(answer_is(0), "a dropped answer was written")
        check(not shown(2), "the new question's buttons")

        # A reload keeps the seat through the token in the page.
        page.refresh()
        wait.until(lambda d: shown(0))
        check(str(SEAT) in page.find_element(By.ID, "seatline").text, "seat after reload")
        page.find_element(By.ID, "b1").click()
        wait_until(lambda: answer_is(2), "answer after reload")

        # Another tablet: the seat is held; it asks for it, and gets it when
        # the first page lets it go.
        other = browser(url)
        other.find_element(By.ID, "seat").send_keys(str(SEAT))
        other.find_element(By.ID, "code").send_keys(CODE)
        other.find_element(By.ID, "signin-ok").click()
        WebDriverWait(other, 10).until(ec.visibility_of_element_located((By.ID, "takeover")))
        check(answer_is(2), "a refused sign-in touched the seat")
        other.find_element(By.ID, "takeover").click()
        WebDriverWait(other, 10).until(
            ec.text_to_be_present_in_element((By.ID, "signin-msg"), "先生の許可"))
        wait.until(ec.text_to_be_present_in_element((By.ID, "notice"), "引き継ぎを申し出"))
        check(shown(0), "the seat moved without consent")
        page.find_element(By.ID, "release").click()
        page.switch_to.alert.accept()
        wait.until(ec.text_to_be_present_in_element((By.ID, "signin-msg"), "空けました"))
        # The freed seat is nobody's: the waiting page is told and signs in.
        WebDriverWait(other, 10).until(
            ec.text_to_be_present_in_element((By.ID, "signin-msg"), "空きました"))
        check(not other.find_element(By.ID, "b0").is_displayed(), "the seat was handed on")
        other.find_element(By.ID, "signin-ok").click()
        WebDriverWait(other, 10).until(lambda d: d.find_element(By.ID, "b0").is_displayed())
        check(str(SEAT) in other.find_element(By.ID, "seatline").text, "the seat on the other page")
        check(answer_is(2), "the take-over kept the answer")
        other.find_element(By.ID, "b0").click()
        wait_until(lambda: answer_is(1), "answer from the new tablet")

        # The teacher closes: the page shows the end.
        check(lesson.do("close") == "closed", "close")
        WebDriverWait(other, 10).until(ec.visibility_of_element_located((By.ID, "end")))
        print("browser: every step passed")
        return 0
    except (Failure, TimeoutException) as failure:
        print("browser: %s %s" % (type(failure).__name__, failure))
        import traceback
        traceback.print_exc()
        for b in browsers:
            try:
                print("page:", b.find_element(By.TAG_NAME, "body").text)
                for entry in b.get_log("browser"):
                    print("console:", entry.get("message"))
            except Exception:  # the page itself may be gone
                pass
        return 1
    finally:
        for b in browsers:
            b.quit()
        if gateway:
            gateway.terminate()
            gateway.wait(10)
        if lesson:
            if lesson.process.poll() is None:
                lesson.process.kill()
            lesson.process.wait()
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
