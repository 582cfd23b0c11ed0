#!/usr/bin/env python3
"""`axlumora view` on a real X server (Xvfb): what the window shows equals the headless
snapshot of the same state in the fit, scrolled normal and stretch modes and under a
window/level table; synthetic mouse, wheel and key input reaches the control's events with the
right coordinates, scrolls, selects cursors and windows the image.

Usage: viewer_xvfb_test.py AXLUMORA_HOST. Exits 77 (skipped) only where no X server can run."""
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import images  # noqa: E402

SKIP = 77
HOST = sys.argv[1]
WIDTH, HEIGHT = 256, 160
STATE = re.compile(r"state mode=(\w+) area=(\d+),(\d+) client=(-?\d+),(-?\d+),(\d+),(\d+) scroll=(\d+),(\d+) "
                   r"cursor=(-?\d+) shape=(\d+) hot=(\d+),(\d+) wl=(\S+),(\S+) at=(.*)$")
failures = []


def skip(message):
    print("SKIP: " + message)
    sys.exit(SKIP)


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


def sample(x, y):
    return (x * 256 + y * 100) & 0xFFFF


def start_xvfb():
    for tool in ("Xvfb", "xwd", "xdotool"):
        if not shutil.which(tool):
            skip(tool + " is not installed, so no X server can be started for the viewer")
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp"], pass_fds=(write_end,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.time() + 20
    while not number.endswith(b"\n") and time.time() < deadline:
        ready, _, _ = select.select([read_end], [], [], 0.5)
        if ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip():
        server.kill()
        skip("Xvfb could not start an X server")
    return server, ":" + number.decode().strip()


class Viewer:
    """The viewer process; its standard output (states and events) is collected by a thread."""

    def __init__(self, args, env):
        self.process = subprocess.Popen([HOST, "view"] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, env=env)
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def mark(self):
        with self.lock:
            return len(self.lines)

    def wait_line(self, predicate, since=0, timeout=15):
        deadline = time.time() + timeout
        while time.time() < deadline:
            with self.lock:
                for line in self.lines[since:]:
                    if predicate(line):
                        return line
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        return None

    def state(self, since=0, timeout=15, **wanted):
        """The first state line after `since` whose fields have the wanted values."""
        def matches(line):
            m = STATE.match(line)
            return m and all(str(fields(m)[k]) == str(v) for k, v in wanted.items())
        line = self.wait_line(matches, since, timeout)
        return fields(STATE.match(line)) if line else None

    def latest_state(self):
        with self.lock:
            for line in reversed(self.lines):
                m = STATE.match(line)
                if m:
                    return fields(m)
        return None

    def event(self, text, since=0):
        return self.wait_line(lambda line: line == "event " + text, since, timeout=10) is not None


def fields(m):
    g = m.groups()
    return dict(mode=g[0], area=(int(g[1]), int(g[2])), left=int(g[3]), top=int(g[4]), width=int(g[5]),
                height=int(g[6]), h=int(g[7]), v=int(g[8]), cursor=int(g[9]), shape=int(g[10]),
                hot=(int(g[11]), int(g[12])), level=g[13], wl=(float(g[13]), float(g[14])), at=g[15])


def screen(env):
    dump = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True, check=True).stdout
    return images.read_xwd(dump)


def client_pixels(env, state):
    return images.crop(screen(env), state["left"], state["top"], state["width"], state["height"])


def headless(workdir, name, lines):
    """Runs a script on the headless backend and returns its snapshot."""
    script = os.path.join(workdir, name + ".txt")
    png = os.path.join(workdir, name + ".png")
    with open(script, "w") as out:
        out.write("\n".join(lines + ["snapshot \"%s\"" % png]) + "\n")
    env = dict(os.environ)
    env.pop("AXLUMORA_FORM_BACKEND", None)
    result = subprocess.run([HOST, "run", script], capture_output=True, text=True, env=env)
    if result.returncode != 0:
        raise RuntimeError("headless script %s failed: %s%s" % (name, result.stdout, result.stderr))
    with open(png, "rb") as f:
        return images.read_png(f.read())


def compare(workdir, name, grab, expected, timeout=8):
    """The window must come to show `expected`; a paint may still be on its way, so the screen is
    grabbed again until it does or the time is up. Returns what was shown last."""
    deadline = time.time() + timeout
    while True:
        shown = grab()
        if shown == expected:
            return shown
        if time.time() > deadline:
            break
        time.sleep(0.2)
    images.write_png(os.path.join(workdir, name + "-shown.png"), shown)
    size = (len(shown[0]) if shown else 0, len(shown))
    want = (len(expected[0]) if expected else 0, len(expected))
    diff = sum(a != b for ra, rb in zip(shown, expected) for a, b in zip(ra, rb))
    check(False, "%s: the window shows %s, the headless snapshot is %s, %d pixels differ (see %s)"
          % (name, size, want, diff, workdir))
    return shown


def settle(viewer, seconds=0.4):
    """Lets the viewer paint and its state line catch up."""
    time.sleep(seconds)


def xdo(env, *args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=env, check=True)


def window_level_table(level, width, entries=4096):
    last = entries - 1
    width = max(width, 1.0 / last)
    low = level - width / 2
    table = bytearray()
    for i in range(entries):
        t = min(max((i / last - low) / width, 0.0), 1.0)
        grey = int(t * 255.0 + 0.5)
        table += struct.pack("<I", grey | (grey << 8) | (grey << 16))
    return bytes(table)


def main():
    if subprocess.run([HOST, "view", "--help"], capture_output=True).returncode != 0:
        skip("this host was built without Qt, so it has no viewer")
    server, display = start_xvfb()
    workdir = tempfile.mkdtemp(prefix="axlumora-view-")
    raw = os.path.join(workdir, "frame.raw")
    with open(raw, "wb") as out:
        out.write(b"".join(struct.pack("<H", sample(x, y)) for y in range(HEIGHT) for x in range(WIDTH)))
    load = 'LoadFnRAW "%s" "" %d %d 255' % (raw, WIDTH, HEIGHT)
    env = dict(os.environ, DISPLAY=display)
    env.pop("QT_QPA_PLATFORM", None)
    viewer = Viewer([raw, "--raw", str(WIDTH), str(HEIGHT), "--size", "200", "150", "--trace", "--events"], env)
    try:
        run(viewer, env, workdir, load)
    finally:
        if viewer.process.poll() is None:
            viewer.process.kill()
        viewer.process.wait()
        server.kill()
        server.wait()
    if failures:
        print("%d failures; output of the viewer:" % len(failures))
        print("\n".join(viewer.lines[-60:]))
        sys.exit(1)
    shutil.rmtree(workdir, ignore_errors=True)
    print("viewer test passed")


def run(viewer, env, workdir, load):
    # Fit: the control shrinks to the image's proportions inside the area.
    state = viewer.state(mode="fit")
    if not state:
        check(False, "the viewer showed no window: " + " | ".join(viewer.lines[-10:]))
        return
    settle(viewer)
    state = viewer.latest_state()
    aw, ah = state["area"]
    check(state["width"] == aw and state["height"] == round(aw * HEIGHT / WIDTH),
          "fit: client %dx%d in area %dx%d" % (state["width"], state["height"], aw, ah))
    compare(workdir, "fit", lambda: client_pixels(env, state),
            headless(workdir, "fit", ["resize %d %d" % (aw, ah), "PAINTSIZEMODE = 3", load]))

    # A click gives the control focus and reaches it in client coordinates.
    mark = viewer.mark()
    xdo(env, "mousemove", state["left"] + 20, state["top"] + 30, "click", 1)
    check(viewer.event("OnMouseDown(Button=0, Shift=8, x=20, y=30)", mark), "left press at 20,30")
    check(viewer.event("OnMouseUp(Button=0, Shift=0, x=20, y=30)", mark), "left release at 20,30")
    check(viewer.event("OnClick()", mark), "OnClick after the click")

    # Normal: scroll bars appear; the wheel scrolls three lines a notch, a click in the
    # horizontal bar's track a page.
    mark = viewer.mark()
    xdo(env, "key", "n")
    check(viewer.event("OnKeyPress(110)", mark), "the key n reaches OnKeyPress")
    state = viewer.state(mark, mode="normal")
    check(state is not None and state["width"] < aw and state["height"] < ah, "normal: scroll bars shown")
    if not state:
        return
    xdo(env, "mousemove", state["left"] + 10, state["top"] + 10, "click", 5)
    state = viewer.state(mark, v=24)
    check(state is not None, "one wheel notch down scrolls to 24")
    if not state:
        return
    cw, ch = state["width"], state["height"]
    xdo(env, "mousemove", state["left"] + cw - 30, state["top"] + ch + 6, "click", 1)
    page = min(cw, WIDTH - cw)
    state = viewer.state(mark, h=page, v=24)
    check(state is not None, "a click in the track scrolls a page to %d" % page)
    if not state:
        return
    compare(workdir, "normal-scrolled", lambda: client_pixels(env, state),
            headless(workdir, "normal", ["resize %d %d" % (cw, ch), "PAINTSIZEMODE = 0", load,
                                         "scroll h %d" % page, "scroll v 24"]))
    # Mouse coordinates are the paint box's: client plus scroll position. The status line reads
    # the sample under the mouse.
    mark = viewer.mark()
    xdo(env, "mousemove", state["left"] + 10, state["top"] + 12)
    x, y = 10 + page, 12 + 24
    check(viewer.event("OnMouseMove(Shift=0, x=%d, y=%d)" % (x, y), mark), "move at the scrolled position")
    # The raw loader's default method stores each frame value times 16.
    stored = (sample(x, y) * 16) & 0xFFFF
    check(viewer.state(mark, at="%d,%d = %d" % (x, y, stored)) is not None, "the read-out of the sample")

    # Cursors: the Cursor property's shapes show as Qt bitmap cursors, 0 as the arrow.
    for number in (5, 6, 7, 8):
        mark = viewer.mark()
        xdo(env, "key", "c")
        check(viewer.state(mark, cursor=number, shape=24) is not None, "cursor %d is a bitmap cursor" % number)

    # Stretch: the whole area is the destination.
    mark = viewer.mark()
    xdo(env, "key", "s")
    state = viewer.state(mark, mode="stretch")
    check(state is not None and (state["width"], state["height"]) == state["area"], "stretch fills the area")
    if not state:
        return
    aw, ah = state["area"]
    stretch = ["resize %d %d" % (aw, ah), "PAINTSIZEMODE = 3", load, "ForceRepaint", "PAINTSIZEMODE = 1",
               "resize %d %d" % (aw, ah), "SetDstRect 0 0 %d %d" % (aw, ah), "Repaint"]
    before = compare(workdir, "stretch", lambda: client_pixels(env, state), headless(workdir, "stretch", stretch))

    # Window/level: dragging with the right button changes the paint table only.
    mark = viewer.mark()
    xdo(env, "mousemove", state["left"] + 40, state["top"] + 60, "mousedown", 3)
    xdo(env, "mousemove", state["left"] + 10, state["top"] + 80)
    xdo(env, "mouseup", 3)
    check(viewer.event("OnMouseDown(Button=1, Shift=16, x=40, y=60)", mark), "right press at 40,60")
    line = viewer.wait_line(lambda text: bool(STATE.match(text)) and fields(STATE.match(text))["wl"] != (0.5, 1.0),
                            mark)
    check(line is not None, "the drag changed the window")
    if not line:
        return
    state = fields(STATE.match(line))
    level, width = state["wl"]
    check(width < 1.0 and level < 0.5, "the drag narrowed and lowered the window: %s" % (state["wl"],))
    with open(os.path.join(workdir, "lut.bin"), "wb") as out:
        out.write(window_level_table(level, width))
    shown = compare(workdir, "window-level", lambda: client_pixels(env, state),
            headless(workdir, "windowlevel", stretch + ['buffer lut < "%s"' % os.path.join(workdir, "lut.bin"),
                                                        "SetPaintLUT &lut 4096", "Repaint"]))
    check(shown != before, "the window/level change shows")

    xdo(env, "key", "q")
    try:
        viewer.process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        check(False, "q did not close the viewer")
        return
    check(viewer.process.returncode == 0, "the viewer exits with 0, not %s" % viewer.process.returncode)
    check(viewer.event("OnDestroy()"), "OnDestroy when the viewer closes")


if __name__ == "__main__":
    main()
