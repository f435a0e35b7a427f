"""The Windows editor under wine and a real X server: DUV.dll opened by the
project's Windows host (host/win), driven with xdotool, observed through the
host's output and the X server's picture.

Run by tools/run-wine-tests.sh, which provides DISPLAY (an Xvfb), WINEPREFIX,
DUV_WINE (wine64), DUV_WIN_HOST (duv-win-host.exe) and DUV_WIN_DLL (DUV.dll).
"""
import os
import queue
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


class HostProcess:
    def __init__(self):
        self.proc = subprocess.Popen(
            [os.environ["DUV_WINE"], os.environ["DUV_WIN_HOST"], os.environ["DUV_WIN_DLL"]],
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


if __name__ == "__main__":
    unittest.main(verbosity=2)
