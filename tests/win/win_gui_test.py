"""The Windows editor under wine and a real X server: DUV.dll opened by the
project's Windows host (host/win), driven with xdotool, observed through the
host's output and the X server's picture.

Run by tools/run-wine-tests.sh, which provides DISPLAY (an Xvfb), WINEPREFIX,
DUV_WINE (wine64), DUV_WIN_HOST (duv-win-host.exe) and DUV_WIN_DLL (DUV.dll).
"""
import os
import queue
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

from PIL import Image, ImageGrab

EDITOR_W, EDITOR_H = 716, 227
# Editor coordinates (effect/DUVEditorLayout.h): the top of the first outer
# wheel's ring (only the outer wheel is hit there) and the wet rocker's centre.
OUTER_WHEEL_1_RING = (26 + 72, 62 + 12)
WET_ROCKER_CENTRE = (613 + 51, 113)
WET = 0
# The version label (it asks before opening the maker's page) and the manual link.
VERSION_LABEL = (567, 14)
MANUAL_LINK = (17, 17)


class HostProcess:
    def __init__(self, dll=None):
        self.proc = subprocess.Popen(
            [os.environ["DUV_WINE"], os.environ["DUV_WIN_HOST"], dll or os.environ["DUV_WIN_DLL"]],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            text=True, bufsize=1)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def expect(self, prefix, timeout=20.0):
        """Lines up to and including the first starting with prefix."""
        deadline = time.monotonic() + timeout
        got = []
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"no '{prefix}' line within {timeout} s; got {got}")
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise AssertionError(f"host ended before '{prefix}'; got {got}")
            got.append(line)
            self.seen.append(line)
            if line.startswith(prefix):
                return got

    def drain(self, seconds):
        got = []
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=0.05)
            except queue.Empty:
                continue
            if line is None:
                break
            got.append(line)
        self.seen.extend(got)
        return got

    def send(self, command):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()

    def ask(self, command, answer):
        self.send(command)
        return self.expect(answer)[-1]

    def close(self):
        try:
            self.send("quit")
            self.proc.wait(timeout=20)
        except Exception:
            self.proc.kill()
            self.proc.wait()


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


def windows_named(pattern):
    """X windows whose name matches pattern (a regular expression)."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                           capture_output=True, text=True)
    return found.stdout.split()


def wait_for(pred, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = pred()
        if value:
            return value
        time.sleep(0.05)
    return pred()


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def windows_path(path):
    """The wine drive path of a Unix path."""
    return "Z:" + path.replace("/", "\\")


class EditorWindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.host = HostProcess()
        start = cls.host.expect("ready", timeout=60)
        cls.child = next(l for l in start if l.startswith("child"))
        origin = next(l for l in start if l.startswith("origin")).split()
        cls.ox, cls.oy = int(origin[1]), int(origin[2])
        time.sleep(0.5)  # a few timer ticks: the first full paint

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    def at(self, x, y):
        return self.ox + x, self.oy + y

    def param(self, index):
        return float(self.host.ask(f"param {index}", f"param {index} ").split()[2])

    def test_1_child_window_of_the_registered_class_fills_the_host_window(self):
        self.assertEqual(self.child, f"child IPluginWndClass IPlugin 0 0 {EDITOR_W} {EDITOR_H}")

    def test_2_window_picture_equals_the_offscreen_surface(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "surface.ppm")
            line = self.host.ask(f"snapshot {path}", "snapshot")
            self.assertEqual(line, f"snapshot {path} {EDITOR_W} {EDITOR_H}")
            time.sleep(0.3)
            surface = Image.open(path).convert("RGB")
            screen = ImageGrab.grab(xdisplay=os.environ["DISPLAY"]).convert("RGB")
            shown = screen.crop((self.ox, self.oy, self.ox + EDITOR_W, self.oy + EDITOR_H))
            differing = sum(1 for a, b in zip(surface.getdata(), shown.getdata()) if a != b)
            self.assertEqual(differing, 0, "pixels differ between the window and the surface")

    def test_3_dragging_a_wheel_changes_its_parameter_through_the_host(self):
        before = [self.param(i) for i in range(11)]
        x, y = self.at(*OUTER_WHEEL_1_RING)
        xdotool("mousemove", x, y)
        xdotool("mousedown", 1)
        for step in range(1, 9):
            xdotool("mousemove", x, y - 4 * step)
            time.sleep(0.03)
        xdotool("mouseup", 1)
        lines = self.host.drain(0.6)
        begins = [l for l in lines if l.startswith("beginEdit")]
        ends = [l for l in lines if l.startswith("endEdit")]
        automates = [l.split() for l in lines if l.startswith("automate")]
        self.assertTrue(begins and ends and automates, lines)
        index = int(begins[0].split()[1])
        self.assertEqual(ends[-1], f"endEdit {index}")
        self.assertTrue(all(int(a[1]) == index for a in automates), automates)
        after = self.param(index)
        self.assertNotEqual(after, before[index])
        self.assertAlmostEqual(after, float(automates[-1][2]), places=5)
        changed = [i for i in range(11) if i != index and self.param(i) != before[i]]
        self.assertEqual(changed, [])

    def test_4_right_click_opens_the_entry_and_return_commits_a_typed_value(self):
        x, y = self.at(*WET_ROCKER_CENTRE)
        xdotool("mousemove", x, y)
        xdotool("click", 3)
        popup = self.host.ask("popup", "popup")
        self.assertTrue(popup.startswith("popup Edit "), popup)
        # Focus the text box, replace its text, commit with Return.
        xdotool("click", 1)
        time.sleep(0.2)
        xdotool("key", "End")
        for _ in range(10):
            xdotool("key", "BackSpace")
        xdotool("type", "0.25")
        xdotool("key", "Return")
        lines = self.host.drain(0.8)
        self.assertIn(f"automate {WET} 0.250000", lines)
        self.assertEqual(self.host.ask("popup", "popup"), "popup none")
        self.assertAlmostEqual(self.param(WET), 0.25, places=6)

    def test_5_version_label_asks_first_no_opens_nothing_yes_opens_the_page(self):
        # The maker's page needs a Yes first. A stand-in for the web browser
        # (registered for https in the throw-away prefix) writes the address
        # it is given to a marker file.
        with tempfile.TemporaryDirectory() as tmp, StandIn("https", tmp) as marker:
            xdotool("mousemove", *self.at(*VERSION_LABEL))
            xdotool("click", 1)
            boxes = wait_for(lambda: windows_named("^Pelko$"))
            self.assertTrue(boxes, "no confirmation box")
            # Wine gives the modal box the keyboard focus itself (there is
            # no window manager to ask); "n" is the No button's key.
            xdotool("key", "n")
            self.assertTrue(wait_for(lambda: not windows_named("^Pelko$")), "the box stayed")
            self.assertEqual(self.host.ask("popup", "popup"), "popup none")  # the editor answers
            # Yes opens the page; the No before it opened nothing (the
            # marker holds exactly one address).
            x, y = self.at(*VERSION_LABEL)
            xdotool("mousemove", x + 3, y + 1)
            xdotool("click", 1)
            self.assertTrue(wait_for(lambda: windows_named("^Pelko$")), "no confirmation box")
            xdotool("key", "y")
            self.assertTrue(wait_for(lambda: read_bytes(marker) is not None, timeout=20), "nothing opened")
            self.assertTrue(wait_for(lambda: read_bytes(marker).strip() == b"https://pelko.audio/duv"),
                            read_bytes(marker))
            self.assertTrue(wait_for(lambda: not windows_named("^Pelko$")), "an error box came up")


def wine_reg(*args):
    return subprocess.run([os.environ["DUV_WINE"], "reg", *args], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=60)


class StandIn:
    """Registers, for one test, a batch file as the open command of a URL
    protocol or a document class in the wine prefix; it appends its argument
    (an address) or copies it (a document) to the marker file it yields.
    The previous command is put back afterwards."""

    def __init__(self, key, folder, copy=False):
        self.key = "HKCR\\" + key + "\\shell\\open\\command"
        self.marker = os.path.join(folder, "opened")
        self.batch = os.path.join(folder, "stand-in.bat")
        self.copy = copy
        self.previous = None

    def __enter__(self):
        with open(self.batch, "w", newline="\r\n") as f:
            if self.copy:
                f.write(f'@copy /y "%~1" "{windows_path(self.marker)}" >nul\n')
            else:
                f.write(f'@echo %~1>>"{windows_path(self.marker)}"\n')
        query = wine_reg("query", self.key, "/ve")
        for line in query.stdout.splitlines():
            if "REG_SZ" in line:
                self.previous = line.split("REG_SZ", 1)[1].strip()
        wine_reg("add", self.key, "/ve", "/d", f'"{windows_path(self.batch)}" "%1"', "/f")
        return self.marker

    def __exit__(self, *exc):
        if self.previous is not None:
            wine_reg("add", self.key, "/ve", "/d", self.previous, "/f")
        else:
            wine_reg("delete", self.key, "/f")
        return False


class ManualLinkTest(unittest.TestCase):
    """The manual link opens the document beside the module at once, through
    the shell's "open" verb: a stand-in program registered for .pdf in the
    (throw-away) wine prefix copies what it is given to a marker file."""

    def test_manual_link_opens_the_document_beside_the_module(self):
        with tempfile.TemporaryDirectory() as tmp:
            shutil.copy(os.environ["DUV_WIN_DLL"], tmp)
            with open(os.path.join(tmp, "Pelko-DUV.pdf"), "wb") as f:
                f.write(b"%PDF-1.4 stand-in manual")
            wine_reg("add", "HKCR\\.pdf", "/ve", "/d", "DUVTestManual", "/f")
            try:
                with StandIn("DUVTestManual", tmp, copy=True) as marker:
                    host = HostProcess(os.path.join(tmp, os.path.basename(os.environ["DUV_WIN_DLL"])))
                    try:
                        start = host.expect("ready", timeout=60)
                        origin = next(l for l in start if l.startswith("origin")).split()
                        ox, oy = int(origin[1]), int(origin[2])
                        time.sleep(0.3)
                        xdotool("mousemove", ox + MANUAL_LINK[0], oy + MANUAL_LINK[1])
                        xdotool("click", 1)
                        self.assertTrue(wait_for(lambda: read_bytes(marker) == b"%PDF-1.4 stand-in manual",
                                                 timeout=20), "the manual was not opened")
                        self.assertEqual(windows_named("^Pelko$"), [], "no box for the manual")
                    finally:
                        host.close()
            finally:
                wine_reg("delete", "HKCR\\.pdf", "/f")


if __name__ == "__main__":
    unittest.main(verbosity=2)
