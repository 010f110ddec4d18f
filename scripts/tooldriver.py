# SPDX-License-Identifier: MIT
"""Drives card-dispenser-test on its own virtual X display the way an operator does.

Everything goes through the X server: xdotool moves the pointer and clicks at the places the
widgets occupy on the screen, the log pane is read back by selecting all of it and copying it to
the clipboard, which xclip reads, and xwd grabs the window for a screenshot.  Nothing calls into
the tool, so what passes here is what a person at the screen would see.

Every process started here is killed again by close(), and asks the kernel to kill it should
this driver die first, so a failing or interrupted run leaves nothing behind.

Python 3 standard library only; the end-to-end tests and scripts/headless-demo.py share it.
"""

import ctypes
import os
import re
import secrets
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib

# Places in the main window, in window coordinates: x, y, width, height.  The pages sit in the
# page stack at PAGE_ORIGIN, and their buttons are given in page coordinates.
PAGE_ORIGIN = (180, 63)
PAGE_BUTTONS = {
    "打开 ": (80, 100, 111, 29),
    "关闭": (220, 100, 111, 26),
    "发卡": (80, 170, 111, 29),
    "吞卡": (220, 170, 111, 29),
    "连续发卡10张": (370, 170, 131, 29),
}
# The burn-in page, also in page coordinates. Its radio buttons and check boxes are hit anywhere
# on their indicator or their text, which the middle of the widget always is.
BURN_IN_BUTTONS = {
    "开始": (537, 6, 95, 28),
    "停止": (642, 6, 95, 28),
    "回收": (202, 38, 58, 28),
    "出卡": (262, 38, 58, 28),
    "出错即停": (328, 38, 84, 28),
    "无法达标即停": (416, 38, 106, 28),
    "通信设置…": (225, 102, 84, 28),
    "表格": (20, 186, 62, 26),
    "图表": (88, 186, 62, 26),
    "故障": (156, 186, 62, 26),
    "历史": (224, 186, 62, 26),
    "继续": (497, 186, 66, 26),
    "生成报告": (569, 186, 84, 26),
    "保存图表": (659, 186, 78, 26),
}
# The burn-in page's list of earlier runs, and the height of one of its rows (14 px text with
# 3 px of padding above and below); the table and the chart take the same place. With a results
# server in config.ini, the list starts 32 px lower, below its scope.
RUN_LIST = (20, 214, 717, 122)
# The history's scope above the list: 本工位 or 全部工位, which opens the fleet over the page.
HISTORY_SCOPE = (20, 214, 110, 26)
# The fleet panel's first filter, its model, inside the panel's margin at the page's top left.
FLEET_FIRST_FILTER = (12, 12, 60, 16)
RUN_LIST_ROW_HEIGHT = 24
BURN_IN_COUNT = (94, 38, 96, 28)
# The page list: row i of it opens page i of the stack. Rows are PAGE_LIST_ROW_HEIGHT high from
# just inside the list's one-pixel border.
PAGE_LIST = (13, 66, 157, 495)
PAGE_LIST_ROW_HEIGHT = 26
PAGE_LIST_BORDER = 1
CLOSE_BUTTON = (913, 16, 16, 16)
LOG_PANE = (195, 448, 716, 113)
# A spot of the top bar clear of the title and of the close button, to grab it for a drag.
TOP_BAR_GRIP = (640, 24)

SCREEN_SIZE = (1280, 1024)
# Reads of the X server and the clipboard are quick; a hung helper must not hang the caller.
COMMAND_TIMEOUT = 20
STARTUP_TIMEOUT = 30

_PR_SET_PDEATHSIG = 1
_LIBC = ctypes.CDLL(None, use_errno=True)


def wait_for(check, timeout, what, interval=0.1):
    """Calls check until it returns something true and returns that; raises on the deadline."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = check()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise TimeoutError(f"no {what} within {timeout} s (last seen: {last!r})")
        time.sleep(interval)


def _die_with_parent():
    # Runs in the child before exec. A session of its own lets _stop end it with all it
    # started; the death signal ends it should this driver be killed before it can clean up.
    os.setsid()
    _LIBC.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


def _stop(process, grace=5):
    """Ends a process started here and the session it leads, gently first."""
    if process is None or process.poll() is not None:
        return
    for sig, wait in ((signal.SIGTERM, grace), (signal.SIGKILL, grace)):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=wait)
            return
        except subprocess.TimeoutExpired:
            continue


def _require(*programs):
    missing = [p for p in programs if shutil.which(p) is None]
    if missing:
        raise RuntimeError("missing programs: " + " ".join(missing)
                           + " (scripts/install-deps.sh installs them)")


class VirtualDisplay:
    """An Xvfb server on a free display number, reachable only with its own cookie."""

    def __init__(self, folder):
        _require("Xvfb", "xauth", "xdotool", "xclip", "xwd")
        self.folder = folder
        self.process = None
        self.number = None
        self.authority = os.path.join(folder, "Xauthority")

    def start(self):
        cookie = secrets.token_hex(16)
        # The server takes every cookie of its file whatever display the entry names; its
        # number is only known once it runs.
        server_authority = os.path.join(self.folder, "Xauthority.server")
        self._xauth(server_authority, ":0", cookie)
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.folder, "Xvfb.log"), "wb")
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-auth", server_authority,
                 "-screen", "0", "%dx%dx24" % SCREEN_SIZE, "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                preexec_fn=_die_with_parent)
        finally:
            os.close(write_end)
            log.close()
        try:
            self.number = int(self._read_number(read_end))
        finally:
            os.close(read_end)
        self._xauth(self.authority, ":%d" % self.number, cookie)
        return self

    def _read_number(self, fd):
        deadline = time.monotonic() + STARTUP_TIMEOUT
        text = b""
        while not text.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([fd], [], [], remaining)[0]:
                raise TimeoutError("Xvfb did not report its display number")
            chunk = os.read(fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb ended at start; see " + self.folder + "/Xvfb.log")
            text += chunk
        return text.decode()

    @staticmethod
    def _xauth(path, display, cookie):
        # xauth warns about a missing file before it creates one.
        with open(path, "ab"):
            pass
        os.chmod(path, 0o600)
        subprocess.run(["xauth", "-q", "-f", path, "add", display, ".", cookie],
                       check=True, timeout=COMMAND_TIMEOUT, stdin=subprocess.DEVNULL)

    def environment(self):
        return {"DISPLAY": ":%d" % self.number, "XAUTHORITY": self.authority}

    def run(self, *args, check=True):
        env = dict(os.environ, **self.environment())
        return subprocess.run(list(args), env=env, check=check, capture_output=True,
                              timeout=COMMAND_TIMEOUT, stdin=subprocess.DEVNULL)

    def close(self):
        _stop(self.process)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()


def tool_environment(display, runtime_dir, extra=None):
    """The environment of an operator's session on the display, plus the simulator's settings."""
    # A station logs in to a results server as itself: never with a test cluster's superuser.
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("VARNAK_SIM_", "QT_"))
           and k not in ("WAYLAND_DISPLAY", "PGUSER", "PGPASSWORD")}
    env.update(display.environment())
    env.update(QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=runtime_dir, LC_ALL="C.UTF-8")
    env.update(extra or {})
    return env


class ToolWindow:
    """One running card-dispenser-test and its main window on a VirtualDisplay."""

    def __init__(self, display, command, cwd, env, output_folder):
        self.display = display
        self.command = list(command)
        self.cwd = cwd
        self.env = env
        self.stdout_path = os.path.join(output_folder, "stdout.txt")
        self.stderr_path = os.path.join(output_folder, "stderr.txt")
        self.process = None
        self.window = None

    def start(self):
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(self.command, cwd=self.cwd, env=self.env,
                                            stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                            preexec_fn=_die_with_parent)
        self.window = wait_for(self._find_window, STARTUP_TIMEOUT, "window of the tool")
        return self

    def _find_window(self):
        if self.process.poll() is not None:
            raise RuntimeError("the tool ended at start with code %d:\n%s"
                               % (self.process.returncode, self.stderr()))
        found = self.display.run("xdotool", "search", "--onlyvisible", "--pid",
                                 str(self.process.pid), check=False)
        ids = found.stdout.split()
        return ids[0].decode() if ids else None

    def close(self):
        """Kills the tool if it still runs; for clean-up, not for the close button."""
        _stop(self.process)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    # -- what the operator sees -------------------------------------------------------------

    def position(self):
        shell = self.display.run("xdotool", "getwindowgeometry", "--shell", self.window)
        values = dict(line.split("=", 1) for line in shell.stdout.decode().split())
        return int(values["X"]), int(values["Y"])

    def pointer(self):
        """Where the pointer is, in screen coordinates."""
        shell = self.display.run("xdotool", "getmouselocation", "--shell")
        values = dict(line.split("=", 1) for line in shell.stdout.decode().split())
        return int(values["X"]), int(values["Y"])

    def stdout(self):
        with open(self.stdout_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def read_log(self):
        """The log pane's lines, copied out of the window through the clipboard.

        Returns None while the clipboard holds nothing readable.  A copy made just before
        may still be what the clipboard holds, so callers wait for the line they expect.
        """
        x, y, w, h = LOG_PANE
        self.click(x + w // 2, y + h // 2)
        # ctrl+End right after the copy drops the selection again, so the pane looks as before.
        self.display.run("xdotool", "key", "--clearmodifiers", "ctrl+a", "ctrl+c", "ctrl+End")
        copied = self.display.run("xclip", "-o", "-selection", "clipboard", "-t",
                                  "UTF8_STRING", check=False)
        if copied.returncode != 0:
            return None
        return copied.stdout.decode("utf-8", errors="replace").split("\n")

    def wait_for_log(self, last_line, timeout):
        """Waits until the log pane ends with last_line (a string or a compiled pattern)."""
        return self._wait_for_last_line(last_line, timeout)

    def _wait_for_last_line(self, last_line, timeout, before_each_read=None):
        seen = []

        def ends_with_it():
            if before_each_read:
                before_each_read()
            lines = self.read_log()
            seen[:] = lines or []
            return lines if lines and line_matches(last_line, lines[-1]) else None
        try:
            return wait_for(ends_with_it, timeout, "log ending with %r" % (last_line,),
                            interval=0.3)
        except TimeoutError as error:
            # What the pane did show tells a slow tool from a wrong one.
            raise TimeoutError("%s; it ended with %r" % (error, seen[-3:])) from None

    # -- what the operator does -------------------------------------------------------------

    def click(self, x, y, clicks=1):
        """A left click at window coordinates x, y; with clicks=2, a double-click."""
        left, top = self.position()
        target = (left + x, top + y)
        # One xdotool keeps the clicks of a double-click within its interval on a busy machine.
        click = ["click", "--repeat", str(clicks), "1"]
        # A move with --sync waits for the pointer to move, which it never does when it already
        # is there: xdotool then hangs for about fifteen seconds before it gives up.
        if self.pointer() == target:
            self.display.run("xdotool", *click)
        else:
            self.display.run("xdotool", "mousemove", "--sync", str(target[0]), str(target[1]),
                             *click)

    def press(self, text):
        """Clicks the card test page's button that shows text."""
        self._click_on_page(PAGE_BUTTONS[text])

    def press_burn_in(self, text):
        """Clicks the burn-in page's button, radio button or check box that shows text."""
        self._click_on_page(BURN_IN_BUTTONS[text])

    def set_burn_in_count(self, cards):
        """Types the number of cards into the burn-in page's count box over what it showed."""
        self._click_on_page(BURN_IN_COUNT)
        self.display.run("xdotool", "key", "--clearmodifiers", "ctrl+a")
        self.display.run("xdotool", "type", "--clearmodifiers", str(cards))

    def open_run(self, row, opened, timeout):
        """Double-clicks row of the burn-in page's history, which opens that run, until the log
        ends with opened (a string or a compiled pattern); returns the log's lines. The history
        is read in the background once shown, so the first double-click may find it empty."""
        x, y, w, _ = RUN_LIST
        place = (x, y + 1 + row * RUN_LIST_ROW_HEIGHT, w, RUN_LIST_ROW_HEIGHT)
        return self._wait_for_last_line(opened, timeout,
                                        lambda: self._click_on_page(place, clicks=2))

    def open_fleet(self):
        """Chooses 全部工位 in the history's scope, which opens the fleet panel over the page."""
        self._click_on_page(HISTORY_SCOPE)
        self.display.run("xdotool", "key", "--clearmodifiers", "Down", "Return")

    def type_in_fleet(self, *keys, text=""):
        """Clicks the fleet panel's first filter (reading the log pane took the keyboard), presses
        keys (xdotool's names) from there, then types text."""
        self._click_on_page(FLEET_FIRST_FILTER)
        if keys:
            self.display.run("xdotool", "key", "--clearmodifiers", *keys)
        if text:
            self.display.run("xdotool", "type", "--clearmodifiers", text)

    def kill(self):
        """Ends the tool as a crash or a power cut would: at once, whatever it is doing."""
        self.process.kill()
        self.process.wait()

    def open_page(self, row):
        """Clicks row of the page list, which shows that page in the page stack."""
        x, y, w, _ = PAGE_LIST
        top = y + PAGE_LIST_BORDER + row * PAGE_LIST_ROW_HEIGHT
        self.click(x + w // 2, top + PAGE_LIST_ROW_HEIGHT // 2)

    def _click_on_page(self, place, clicks=1):
        x, y, w, h = place
        self.click(PAGE_ORIGIN[0] + x + w // 2, PAGE_ORIGIN[1] + y + h // 2, clicks)

    def drag_top_bar(self, dx, dy):
        """Drags the window by its top bar; returns the position it should have now."""
        left, top = self.position()
        x, y = left + TOP_BAR_GRIP[0], top + TOP_BAR_GRIP[1]
        steps = 4
        args = ["xdotool", "mousemove", "--sync", str(x), str(y), "mousedown", "1"]
        for i in range(1, steps + 1):
            args += ["mousemove", "--sync", str(x + dx * i // steps), str(y + dy * i // steps)]
        args += ["mouseup", "1"]
        self.display.run(*args)
        return left + dx, top + dy

    def click_close_button(self):
        x, y, w, h = CLOSE_BUTTON
        self.click(x + w // 2, y + h // 2)

    def wait_exit(self, timeout):
        return self.process.wait(timeout=timeout)

    # -- pictures ---------------------------------------------------------------------------

    def screenshot(self, path):
        """Saves the whole window as a PNG; returns its pixels as (width, height, rgb bytes)."""
        grabbed = self.display.run("xwd", "-silent", "-id", self.window)
        width, height, rgb = xwd_to_rgb(grabbed.stdout)
        write_png(path, width, height, rgb)
        return width, height, rgb

    def wait_for_plain_log_pane(self, path, timeout):
        """Saves a screenshot once the log pane shows no selection highlight.

        The pane draws grey text on grey, so a coloured pixel there is the highlight of the
        select-all that read_log does; its removal is painted a moment after the key press.
        """
        def plain():
            shot = self.screenshot(path)
            return shot if not _has_colour(shot, LOG_PANE) else None
        return wait_for(plain, timeout, "log pane without a selection", interval=0.2)


def line_matches(expected, line):
    if isinstance(expected, re.Pattern):
        return expected.fullmatch(line) is not None
    return expected == line


def _has_colour(shot, rect, spread=40):
    width, _, rgb = shot
    x0, y0, w, h = rect
    for y in range(y0, y0 + h):
        row = rgb[(y * width + x0) * 3:(y * width + x0 + w) * 3]
        for i in range(0, len(row), 3):
            r, g, b = row[i], row[i + 1], row[i + 2]
            if max(r, g, b) - min(r, g, b) > spread:
                return True
    return False


# -- images -------------------------------------------------------------------------------------

def xwd_to_rgb(data):
    """Pixels of an xwd dump of a 24-bit TrueColor window, as packed RGB rows."""
    fields = struct.unpack(">25I", data[:100])
    (header_size, _version, pixmap_format, depth, width, height, _xoffset, byte_order,
     _unit, _bit_order, _pad, bits_per_pixel, bytes_per_line, _visual, red_mask, green_mask,
     blue_mask, _bits_per_rgb, _map_entries, ncolors) = fields[:20]
    if (pixmap_format, bits_per_pixel, red_mask, green_mask, blue_mask) != \
            (2, 32, 0xFF0000, 0xFF00, 0xFF) or depth not in (24, 32):
        raise ValueError("unexpected xwd layout: depth %d, %d bits per pixel"
                         % (depth, bits_per_pixel))
    offset = header_size + 12 * ncolors
    # Little-endian pixels lie in memory as blue, green, red, unused.
    blue, green, red = (0, 1, 2) if byte_order == 0 else (3, 2, 1)
    rgb = bytearray(width * height * 3)
    for y in range(height):
        row = data[offset + y * bytes_per_line:offset + y * bytes_per_line + width * 4]
        out = y * width * 3
        rgb[out:out + width * 3:3] = row[red::4]
        rgb[out + 1:out + width * 3:3] = row[green::4]
        rgb[out + 2:out + width * 3:3] = row[blue::4]
    return width, height, bytes(rgb)


def write_png(path, width, height, rgb):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    stride = width * 3
    raw = b"".join(b"\0" + rgb[y * stride:(y + 1) * stride] for y in range(height))
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def read_png(path):
    """Pixels of an 8-bit RGB or RGBA PNG, as (width, height, packed RGB rows)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        header = body if kind == b"IHDR" else header
        idat += body if kind == b"IDAT" else b""
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", header)
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError("%s: unexpected PNG layout" % path)
    channels = 3 if colour == 2 else 4
    stride = width * channels
    raw, previous, rgb = zlib.decompress(idat), bytearray(stride), bytearray()
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        previous = line
        for x in range(width):
            rgb += line[x * channels:x * channels + 3]
    return width, height, bytes(rgb)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG")
    return struct.unpack(">II", head[16:24])


def private_folder(prefix):
    """A fresh temporary folder; the caller removes it with shutil.rmtree."""
    return tempfile.mkdtemp(prefix=prefix)
