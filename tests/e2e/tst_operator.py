# SPDX-License-Identifier: MIT
"""The real card-dispenser-test on its own X display, used through mouse and keyboard only.

Each test starts the built executable in a fresh working folder (the simulator staged as
lib/libvarnak_c.so, as scripts/run.sh does), clicks its page list and buttons and types into it
where they are on the screen, reads the log pane back through the clipboard, checks the standard
and the debug output and the burn-in records left in results/, drags the window by its top bar
and closes it with its close button.

CTest passes the executable in CDT_TOOL and the simulator in CDT_SIMULATOR. The fleet's scenario
runs beside a throw-away PostgreSQL cluster (tests/support/with-postgres.sh) with two stations'
logins on it, and the command-line runner, CDT_BURNIN, as the second station.
"""

import csv
import glob
import io
import os
import re
import signal
import sqlite3
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts"))
# No bytecode cache beside the sources.
sys.dont_write_bytecode = True
import tooldriver  # noqa: E402

CARD_NUMBER = re.compile(r">>>发卡卡号：(62\d{17})")
# What getChannelStatus prints for one status query that finds the channel empty.
EMPTY_CHANNEL_QUERY = ["get status 1", "get status 2", "get status ret cp35",
                       "get status ret 0"]
ONE_CARD = [">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0", ">>>读卡信息：0", CARD_NUMBER,
            ">>>下电：0", ">>>吐卡给客户：0", ">>>请取走您的卡片"]
ISSUE_DONE = ">>>发卡测试完成"

BURN_IN_ROW = 1
ISSUE_ROW = 0
BURN_IN_CARDS = 20
BURN_IN_START = ">>>老化测试开始：回收 %d 张" % BURN_IN_CARDS
BURN_IN_CARD = re.compile(r">>>老化 第 (\d+) 张：(\d+|-) (通过|失败) \d+\.\d{3} 秒(，.+)?")
BURN_IN_STOPPED = re.compile(r">>>老化测试结束（已停止）：已完成 (\d+) 张  通过 (\d+)  失败 (\d+)  .+")
RECORD_FILES = re.compile(r">>>记录文件：(/.+\.csv)，(/.+\.log)")
RECORD_NAME = re.compile(r"burnin-\d{8}-\d{6}(-\d+)?\.csv")
STAMPED = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.+)")
STEP = re.compile(r"第 (\d+) 张 \S+：-?\d+（\d+\.\d{3} 秒）")
# Each library call takes this long: twenty cards then take about seven seconds, far longer than
# the few presses made while a run goes on.
SLOW_CALL_MS = "50"

# The customer takes and inserts cards at once, so only the tool's own waits take time.
QUICK_CUSTOMER = {"VARNAK_SIM_TAKE_MS": "100", "VARNAK_SIM_INSERT_MS": "100"}

LINE_TIMEOUT = 30
# Nine waits for the customer of at least three seconds each, with a wide margin.
TEN_CARDS_TIMEOUT = 180
# A window closed during a test must end well before that test would have ended by itself.
EXIT_TIMEOUT = 10


def luhn_valid(number):
    digits = [int(d) for d in reversed(number)]
    total = sum(digits[0::2]) + sum(sum(divmod(2 * d, 10)) for d in digits[1::2])
    return total % 10 == 0


def burn_in_cards(lines):
    return [line for line in lines if BURN_IN_CARD.fullmatch(line)]


class OperatorTest(unittest.TestCase):
    def setUp(self):
        self.folder = tooldriver.private_folder("cdt-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.workdir = os.path.join(self.folder, "work")
        self.runtime = os.path.join(self.folder, "runtime")
        self.trace = os.path.join(self.folder, "trace.txt")
        os.mkdir(self.workdir)
        os.mkdir(self.runtime, 0o700)
        self.display = tooldriver.VirtualDisplay(self.folder)
        self.addCleanup(self.display.close)
        self.display.start()

    def start_tool(self, library=True, **simulator):
        staged = os.path.join(self.workdir, "lib", "libvarnak_c.so")
        if library and not os.path.lexists(staged):
            os.mkdir(os.path.join(self.workdir, "lib"))
            os.symlink(os.environ["CDT_SIMULATOR"], staged)
        settings = dict(QUICK_CUSTOMER, VARNAK_SIM_TRACE=self.trace, **simulator)
        env = tooldriver.tool_environment(self.display, self.runtime, settings)
        tool = tooldriver.ToolWindow(self.display, [os.environ["CDT_TOOL"]], self.workdir, env,
                                     self.folder)
        self.addCleanup(self.report, tool)
        self.addCleanup(tool.close)
        return tool.start()

    def report(self, tool):
        # CTest shows this only for a failed test.
        for name, text in (("standard output", tool.stdout()), ("debug output", tool.stderr()),
                           ("simulator trace", self.read_trace())):
            print("---- %s ----\n%s" % (name, text), file=sys.stderr)

    def read_trace(self):
        if not os.path.exists(self.trace):
            return ""
        with open(self.trace, encoding="utf-8") as f:
            return f.read()

    # -- checks ---------------------------------------------------------------------------------

    def expect_log(self, tool, expected, timeout=LINE_TIMEOUT):
        """Waits for the log pane to reach len(expected) lines, then compares each line."""
        def reached():
            lines = tool.read_log()
            if lines and len(lines) >= len(expected) and \
                    tooldriver.line_matches(expected[-1], lines[-1]):
                return lines
            return None
        lines = tooldriver.wait_for(reached, timeout, "log line %d %r"
                                    % (len(expected), expected[-1]), interval=0.3)
        self.assertEqual(len(lines), len(expected), "\n".join(lines))
        for number, (line, want) in enumerate(zip(lines, expected), 1):
            self.assertTrue(tooldriver.line_matches(want, line),
                            "log line %d is %r, expected %r" % (number, line, want))
        return lines

    def wait_for_lines(self, tool, check, what):
        """Reads the log pane until check holds for its lines, and returns them."""
        def holds():
            lines = tool.read_log()
            return lines if lines and check(lines) else None
        return tooldriver.wait_for(holds, LINE_TIMEOUT, what, interval=0.3)

    def expect_stopped(self, end_line, rows):
        """Checks a stopped run's end line against the run's CSV rows."""
        match = BURN_IN_STOPPED.fullmatch(end_line)
        self.assertTrue(match, end_line)
        results = [row[4] for row in rows]
        self.assertEqual([int(n) for n in match.groups()],
                         [len(rows), results.count("通过"), results.count("失败")])
        self.assertLess(len(rows), BURN_IN_CARDS)

    def csv_rows(self, csv_path):
        with open(csv_path, "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"), data[:16])
        self.assertEqual(data.count(b"\n"), data.count(b"\r\n"))
        return list(csv.reader(io.StringIO(data.decode("utf-8-sig"), newline="")))[1:]

    def wait_for_csv_rows(self, count):
        """Waits until the newest run's CSV holds count cards."""
        def written():
            paths = sorted(glob.glob(os.path.join(self.workdir, "results", "burnin-*.csv")),
                           key=os.path.getmtime)
            return paths and len(self.csv_rows(paths[-1])) >= count
        tooldriver.wait_for(written, LINE_TIMEOUT, "%d cards in the record" % count,
                            interval=0.3)

    def expect_records(self, files_line, shown):
        """Checks the CSV and the step log that files_line names against the card lines the pane
        showed (the failed and repeated cards), and returns the CSV's rows."""
        match = RECORD_FILES.fullmatch(files_line)
        self.assertTrue(match, files_line)
        csv_path, log_path = match.groups()
        self.assertEqual(os.path.dirname(os.path.realpath(csv_path)),
                         os.path.realpath(os.path.join(self.workdir, "results")))
        self.assertTrue(RECORD_NAME.fullmatch(os.path.basename(csv_path)), csv_path)
        self.assertEqual(log_path, csv_path[:-len("csv")] + "log")

        rows = self.csv_rows(csv_path)
        cards = [(row[0], row[3] or "-", row[4]) for row in rows]
        worth_a_look = [card for card, row in zip(cards, rows)
                        if row[4] != "通过" or row[-1] == "是"]
        self.assertEqual([BURN_IN_CARD.fullmatch(card).group(1, 2, 3) for card in shown],
                         worth_a_look)

        with open(log_path, encoding="utf-8") as f:
            stamped = [STAMPED.fullmatch(line) for line in f.read().splitlines()]
        self.assertTrue(all(stamped), stamped)
        texts = [m.group(1) for m in stamped]
        self.assertEqual(texts[0], BURN_IN_START[len(">>>"):])
        self.assertTrue(BURN_IN_STOPPED.fullmatch(">>>" + texts[-1]), texts[-1])
        self.assertEqual([BURN_IN_CARD.fullmatch(">>>" + t).group(1, 2, 3)
                          for t in texts if t.startswith("老化 第")], cards)
        stepped = {int(m.group(1)) for m in map(STEP.fullmatch, texts) if m}
        self.assertEqual(stepped, set(range(1, len(rows) + 1)))
        return rows

    def expect_loaded(self, tool):
        self.assertIn("start load so\nload success\n", tool.stderr())

    def expect_status_queries(self, tool, count):
        self.assertEqual(tool.stdout().splitlines(), EMPTY_CHANNEL_QUERY * count)

    def drag_and_close(self, tool):
        before = tool.position()
        expected = tool.drag_top_bar(70, 45)
        tooldriver.wait_for(lambda: tool.position() == expected, LINE_TIMEOUT,
                            "window moved from %s to %s" % (before, expected))
        tool.click_close_button()
        self.assertEqual(tool.wait_exit(EXIT_TIMEOUT), 0)

    def expect_library_unloaded_last(self):
        # The simulator writes this line when it is unloaded: no call came later, and no two
        # calls were ever inside the library at once.
        self.assertEqual(self.read_trace().splitlines()[-1], "overlaps 0")

    # -- scenarios ------------------------------------------------------------------------------

    def test_one_card(self):
        tool = self.start_tool()
        self.expect_loaded(tool)
        opened = [">>>打开设备：0"]
        tool.press("打开 ")
        self.expect_log(tool, opened)
        tool.press("发卡")
        issued = opened + [">>>测试发卡 1 次"] + ONE_CARD + [ISSUE_DONE]
        self.expect_log(tool, issued)
        tool.press("关闭")
        self.expect_log(tool, issued + [">>>关闭设备"])
        self.expect_status_queries(tool, 1)
        self.drag_and_close(tool)
        self.expect_library_unloaded_last()

    def test_empty_box(self):
        tool = self.start_tool(VARNAK_SIM_CARDS="0")
        tool.press("发卡")
        self.expect_log(tool, [">>>测试发卡 1 次", ">>>选卡发卡：-10",
                               ">>>卡箱内无卡，请放置好卡片后，再进行测试！！！"])
        self.expect_status_queries(tool, 1)
        self.drag_and_close(tool)
        self.expect_library_unloaded_last()

    def test_capture_with_insertion(self):
        tool = self.start_tool()
        tool.press("吞卡")
        self.expect_log(tool, [">>>请在前端插入卡片:", ">>>前端进卡：0", ">>>吞卡：0",
                               ">>>吞卡测试完成"])
        self.expect_status_queries(tool, 1)
        self.drag_and_close(tool)
        self.assertIn('deviceEnterCard(10) = 0', self.read_trace())
        self.assertIn('deviceMoveCard("cp35", 5) = 0', self.read_trace())
        self.expect_library_unloaded_last()

    def test_ten_cards(self):
        tool = self.start_tool()
        tool.press("连续发卡10张")
        lines = self.expect_log(tool, [">>>测试发卡 10 次"] + ONE_CARD * 10 + [ISSUE_DONE],
                                TEN_CARDS_TIMEOUT)
        numbers = [m.group(1) for m in map(CARD_NUMBER.fullmatch, lines) if m]
        self.assertEqual(len(set(numbers)), 10, numbers)
        self.assertTrue(all(map(luhn_valid, numbers)), numbers)
        # One query before each card and one that finds each of the first nine cards taken.
        self.expect_status_queries(tool, 10 + 9)
        debug = tool.stderr()
        self.assertEqual(len(re.findall(r"^nCardStatus = +0$", debug, re.M)), 9, debug)
        self.assertEqual(len(re.findall(r"^getChannelStatus ret +0$", debug, re.M)), 9, debug)
        self.drag_and_close(tool)
        self.expect_library_unloaded_last()

    def test_no_library(self):
        tool = self.start_tool(library=False)
        self.assertIn("start load so\nopen so failed\nload libvarnak_c.so failed\n",
                      tool.stderr())
        for count, button in enumerate(("打开 ", "发卡", "吞卡", "连续发卡10张", "关闭"), 1):
            tool.press(button)
            self.expect_log(tool, [">>not found sdk"] * count)
        self.assertEqual(tool.stdout(), "")
        self.drag_and_close(tool)

    def test_open_during_a_slow_insertion(self):
        # Nobody inserts a card: the capture test waits the whole ten seconds in the library.
        tool = self.start_tool(VARNAK_SIM_INSERT_MS="off")
        tool.press("吞卡")
        self.expect_log(tool, [">>>请在前端插入卡片:"])
        tool.press("打开 ")
        # The window answers while the call runs: it follows a drag and hands the pane over to
        # the clipboard, and the press waits for the test instead of writing ahead of it.
        expected = tool.drag_top_bar(70, 45)
        tooldriver.wait_for(lambda: tool.position() == expected, 5, "window moved")
        self.assertEqual(tool.read_log(), [">>>请在前端插入卡片:"])
        self.assertNotIn("deviceEnterCard(10) =", self.read_trace())
        self.expect_log(tool, [">>>请在前端插入卡片:", ">>>前端进卡：-16", ">>>打开设备：0"])
        trace = self.read_trace()
        self.assertLess(trace.index("deviceEnterCard(10) = -16"), trace.rindex("openDevice("))
        self.drag_and_close(tool)
        self.expect_library_unloaded_last()

    def test_close_while_a_test_runs(self):
        # The customer never takes the card: the run waits about a minute for them.
        tool = self.start_tool(VARNAK_SIM_TAKE_MS="off")
        tool.press("连续发卡10张")
        self.expect_log(tool, [">>>测试发卡 10 次"] + ONE_CARD)
        tool.press("吞卡")  # queued behind the running test, and dropped on close
        tool.click_close_button()
        self.assertEqual(tool.wait_exit(EXIT_TIMEOUT), 0)
        self.assertNotIn("deviceEnterCard", self.read_trace())
        self.expect_library_unloaded_last()

    def test_burn_in_stop_and_queue(self):
        tool = self.start_tool(VARNAK_SIM_LATENCY_MS=SLOW_CALL_MS)
        tool.open_page(BURN_IN_ROW)
        tool.set_burn_in_count(BURN_IN_CARDS)
        tool.press_burn_in("回收")
        tool.press_burn_in("开始")
        self.wait_for_csv_rows(3)
        tool.press_burn_in("停止")
        first = tool.wait_for_log(RECORD_FILES, LINE_TIMEOUT)
        cards = burn_in_cards(first)
        self.assertEqual(first[:-2], [BURN_IN_START] + cards)
        self.expect_stopped(first[-2], self.expect_records(first[-1], cards))

        # A card issued during the next run waits for that run to end.
        tool.press_burn_in("开始")
        self.wait_for_lines(tool, lambda lines: lines.count(BURN_IN_START) == 2,
                            "second start line")
        tool.open_page(ISSUE_ROW)
        tool.press("发卡")
        tool.open_page(BURN_IN_ROW)
        tool.press_burn_in("停止")
        second = tool.wait_for_log(ISSUE_DONE, LINE_TIMEOUT)[len(first):]
        # The queued card waited for the whole run, its end lines included.
        cards = burn_in_cards(second)
        self.assertEqual(second[:len(cards) + 1], [BURN_IN_START] + cards)
        self.expect_stopped(second[len(cards) + 1],
                            self.expect_records(second[len(cards) + 2], cards))
        issued = second[len(cards) + 3:]
        expected = [">>>测试发卡 1 次"] + ONE_CARD + [ISSUE_DONE]
        self.assertEqual(len(issued), len(expected), second)
        for line, want in zip(issued, expected):
            self.assertTrue(tooldriver.line_matches(want, line), second)

        self.expect_status_queries(tool, 1)
        self.drag_and_close(tool)
        self.expect_library_unloaded_last()

    def test_burn_in_chart_and_history(self):
        tool = self.start_tool(VARNAK_SIM_FAIL_PERCENT="10", VARNAK_SIM_SEED="3",
                               VARNAK_SIM_CARDS="100")
        tool.open_page(BURN_IN_ROW)
        tool.set_burn_in_count(12)
        tool.press_burn_in("开始")
        lines = tool.wait_for_log(RECORD_FILES, LINE_TIMEOUT)
        csv_path = RECORD_FILES.fullmatch(lines[-1]).group(1)

        tool.press_burn_in("图表")
        tool.press_burn_in("保存图表")
        saved = re.compile(r">>>图表已保存：(/.+\.png)")
        png = saved.fullmatch(tool.wait_for_log(saved, LINE_TIMEOUT)[-1]).group(1)
        self.assertEqual(png, csv_path[:-len("csv")] + "png")
        width, height, rgb = tooldriver.read_png(png)
        self.assertEqual((width, height), tooldriver.RUN_LIST[2:])
        # The colour of the cards' bars: the picture is the chart, not an empty widget.
        self.assertIn(bytes([0x4F, 0xA3, 0xE0]), [rgb[i:i + 3] for i in range(0, len(rgb), 3)])

        tool.press_burn_in("历史")
        opened = re.compile(r">>>老化测试记录：(/.+\.csv)：已完成 12 张  .+")
        lines = tool.open_run(0, opened, LINE_TIMEOUT)
        self.assertEqual(opened.fullmatch(lines[-1]).group(1), csv_path)
        self.drag_and_close(tool)
        self.expect_library_unloaded_last()

    # -- the station database ---------------------------------------------------------------------

    def database(self):
        connection = sqlite3.connect(os.path.join(self.workdir, "results", "results.sqlite"))
        self.addCleanup(connection.close)
        return connection

    def continue_newest_run(self, tool, planned, report=False, **simulator):
        """Restarts the tool, continues the newest run from the history and waits for its end;
        with report, writes the run's report first, as it stands."""
        tool = self.start_tool(**simulator)
        tool.open_page(BURN_IN_ROW)
        tool.press_burn_in("历史")
        # Opening the run shows that the list holds it, and selects it.
        tool.open_run(0, re.compile(r">>>老化测试记录：.+（(中断|未完成)）"), LINE_TIMEOUT)
        tool.press_burn_in("历史")
        if report:
            tool.press_burn_in("生成报告")
            written = re.compile(r">>>报告已生成：(/.+\.pdf)")
            pdf = written.fullmatch(tool.wait_for_log(written, LINE_TIMEOUT)[-1]).group(1)
            self.assertTrue(os.path.getsize(pdf) > 0, pdf)
        tool.press_burn_in("继续")
        resumed = re.compile(r">>>老化测试继续：回收 %d 张，从第 (\d+) 张起" % planned)
        tool.wait_for_log(RECORD_FILES, LINE_TIMEOUT * 2)
        lines = tool.read_log()
        first = int(next(m for m in map(resumed.fullmatch, lines) if m).group(1))
        return tool, lines, first

    def expect_one_row_per_card(self, connection, run_id, planned):
        indexes = [i for (i,) in connection.execute(
            "SELECT card_index FROM cards WHERE run_id = ? ORDER BY card_index", (run_id,))]
        self.assertEqual(indexes, list(range(1, planned + 1)))
        (csv_path,) = connection.execute(
            "SELECT csv_path FROM runs WHERE run_id = ?", (run_id,)).fetchone()
        csv_path = os.path.join(self.workdir, "results", csv_path)
        rows = self.csv_rows(csv_path)
        self.assertEqual([int(row[0]) for row in rows], indexes)
        numbers = [n or "" for (n,) in connection.execute(
            "SELECT card_number FROM cards WHERE run_id = ? ORDER BY card_index", (run_id,))]
        self.assertEqual([row[3].lstrip("'") for row in rows], numbers)

    def test_killed_run_continued(self):
        planned = 60
        tool = self.start_tool(VARNAK_SIM_LATENCY_MS="20", VARNAK_SIM_CARDS="1000")
        tool.open_page(BURN_IN_ROW)
        tool.set_burn_in_count(planned)
        tool.press_burn_in("回收")
        tool.press_burn_in("开始")
        self.wait_for_csv_rows(10)
        tool.kill()

        connection = self.database()
        self.assertEqual(connection.execute("PRAGMA integrity_check").fetchone(), ("ok",))
        ((run_id, done),) = connection.execute(
            "SELECT run_id, (SELECT COUNT(*) FROM cards c WHERE c.run_id = r.run_id) FROM runs r")
        # Every card the CSV shows was in the database first.
        self.assertGreaterEqual(done, 10)
        kinds = [k for (k,) in connection.execute(
            "SELECT kind FROM run_events WHERE run_id = ? ORDER BY seq", (run_id,))]
        self.assertEqual(kinds, ["start"])

        # A killed run is judged from its record all the same.
        tool, lines, first = self.continue_newest_run(tool, planned, report=True,
                                                      VARNAK_SIM_CARDS="1000")
        self.assertGreater(first, done)
        self.assertTrue(lines[-2].startswith(">>>老化测试结束（完成）：已完成 %d 张" % planned),
                        lines[-2])
        self.expect_one_row_per_card(connection, run_id, planned)
        kinds = [k for (k,) in connection.execute(
            "SELECT kind FROM run_events WHERE run_id = ? ORDER BY seq", (run_id,))]
        # Each stretch that ends writes its verdict before its end.
        self.assertEqual(kinds, ["start", "continue", "verdict", "end"])
        self.drag_and_close(tool)

    def start_runner(self, *arguments, **simulator):
        """Starts the command-line runner in the tool's working folder with the same device."""
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VARNAK_SIM_TRACE=self.trace,
                   **QUICK_CUSTOMER, **simulator)
        runner = subprocess.Popen([os.environ["CDT_BURNIN"], *arguments], cwd=self.workdir,
                                  env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  text=True)
        self.addCleanup(lambda: runner.poll() is None and runner.kill())
        return runner

    def test_one_device_one_runner(self):
        # The window's burn-in holds the device: the command line is refused at once.
        tool = self.start_tool(VARNAK_SIM_LATENCY_MS="20", VARNAK_SIM_CARDS="1000")
        tool.open_page(BURN_IN_ROW)
        tool.set_burn_in_count(500)
        tool.press_burn_in("开始")
        self.wait_for_csv_rows(2)
        runner = self.start_runner("--cards", "5")
        out, err = runner.communicate(timeout=LINE_TIMEOUT)
        self.assertEqual(runner.returncode, 3, err)
        self.assertIn("设备正被另一进程使用：card-dispenser-test", err)
        tool.press_burn_in("停止")
        tool.wait_for_log(RECORD_FILES, LINE_TIMEOUT)

        # The command line holds it: the window's buttons name it and call nothing.
        runner = self.start_runner("--cards", "2000", VARNAK_SIM_LATENCY_MS="20",
                                   VARNAK_SIM_CARDS="5000")
        tooldriver.wait_for(lambda: len(glob.glob(os.path.join(
            self.workdir, "results", "burnin-*.csv"))) == 2, LINE_TIMEOUT, "the runner's record")
        tool.press_burn_in("开始")
        busy = "设备正被另一进程使用：card-dispenser-burnin（进程 %d" % runner.pid
        self.wait_for_lines(tool, lambda lines: busy in lines[-1], "burn-in refused")
        tool.open_page(ISSUE_ROW)
        tool.press("发卡")
        lines = self.wait_for_lines(tool, lambda lines: lines[-1].startswith(">>>" + busy),
                                    "发卡 refused")
        self.assertFalse(any(line.startswith(">>>测试发卡") for line in lines), lines)
        runner.send_signal(signal.SIGINT)
        runner.communicate(timeout=LINE_TIMEOUT)
        self.assertEqual(runner.returncode, 4)
        self.drag_and_close(tool)

    def test_empty_box_continued_after_refills(self):
        planned = 12
        tool = self.start_tool(VARNAK_SIM_CARDS="5")
        tool.open_page(BURN_IN_ROW)
        tool.set_burn_in_count(planned)
        tool.press_burn_in("回收")
        tool.press_burn_in("开始")
        self.assertTrue(tool.wait_for_log(RECORD_FILES, LINE_TIMEOUT)[-2].startswith(
            ">>>老化测试结束（卡箱内无卡）：已完成 5 张"))
        tool.click_close_button()
        self.assertEqual(tool.wait_exit(EXIT_TIMEOUT), 0)

        # Each refill is a new simulator with a full box of five.
        for done in (10, 12):
            tool, lines, first = self.continue_newest_run(tool, planned, VARNAK_SIM_CARDS="5")
            self.assertEqual(first, done - 4 if done == 10 else 11)
            self.assertTrue(lines[-2].startswith(">>>老化测试结束（%s）：已完成 %d 张" % (
                "卡箱内无卡" if done == 10 else "完成", done)), lines[-2])
            tool.click_close_button()
            self.assertEqual(tool.wait_exit(EXIT_TIMEOUT), 0)

        connection = self.database()
        ((run_id,),) = connection.execute("SELECT run_id FROM runs")
        self.expect_one_row_per_card(connection, run_id, planned)
        events = connection.execute(
            "SELECT seq, kind, reason FROM run_events WHERE run_id = ? ORDER BY seq", (run_id,))
        undecided = "undecided"  # a run without limits is never judged
        grace = "hang_grace=10"  # each stretch records the deadlines its calls were held to
        self.assertEqual(list(events), [(1, "start", grace), (2, "verdict", undecided),
                                        (3, "end", "卡箱内无卡"), (4, "continue", grace),
                                        (5, "verdict", undecided), (6, "end", "卡箱内无卡"),
                                        (7, "continue", grace), (8, "verdict", undecided),
                                        (9, "end", "完成")])

    # -- the shared results server ----------------------------------------------------------------

    def psql(self, sql, database="burnin"):
        """Runs sql as the throw-away cluster's superuser (tests/support/with-postgres.sh)."""
        done = subprocess.run(["psql", "-X", "-q", "-At", "-h", "127.0.0.1", "-v",
                               "ON_ERROR_STOP=1", "-d", database, "-c", sql],
                              capture_output=True, text=True, timeout=LINE_TIMEOUT)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout.strip()

    def results_server(self, stations):
        """The schema on the cluster and a login of each station's name, as an administrator
        lays them down; each station's password in a password file of its own."""
        self.psql("CREATE DATABASE burnin", database="postgres")
        schema = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sql",
                              "server.sql")
        done = subprocess.run(["psql", "-X", "-q", "-h", "127.0.0.1", "-v", "ON_ERROR_STOP=1",
                               "-d", "burnin", "-f", schema], capture_output=True, text=True,
                              timeout=LINE_TIMEOUT)
        self.assertEqual(done.returncode, 0, done.stderr)
        folders = {}
        for station in stations:
            self.psql("CREATE ROLE %s LOGIN PASSWORD 'pw-%s' IN ROLE burnin_station"
                      % (station, station))
            folder = self.workdir if not folders else os.path.join(self.folder, station)
            os.makedirs(os.path.join(folder, "lib"), exist_ok=True)
            staged = os.path.join(folder, "lib", "libvarnak_c.so")
            if not os.path.lexists(staged):
                os.symlink(os.environ["CDT_SIMULATOR"], staged)
            passfile = os.path.join(folder, "pgpass")
            with open(os.open(passfile, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
                f.write("127.0.0.1:%s:burnin:%s:pw-%s\n"
                        % (os.environ["PGPORT"], station, station))
            with open(os.path.join(folder, "config.ini"), "w", encoding="utf-8") as f:
                f.write("[results]\nstation=%s\nserver=host=127.0.0.1 port=%s dbname=burnin "
                        "user=%s\n" % (station, os.environ["PGPORT"], station))
            folders[station] = folder
        return folders

    def run_station(self, folder, *arguments, **simulator):
        """The command-line runner in a station's folder, as that station's login; its exit
        status, standard output and standard error."""
        env = {k: v for k, v in os.environ.items() if k not in ("PGUSER", "PGPASSWORD")}
        env.update(QT_QPA_PLATFORM="offscreen", PGPASSFILE=os.path.join(folder, "pgpass"),
                   **QUICK_CUSTOMER, **simulator)
        done = subprocess.run([os.environ["CDT_BURNIN"], *arguments], cwd=folder, env=env,
                              capture_output=True, text=True, timeout=TEN_CARDS_TIMEOUT)
        return done.returncode, done.stdout, done.stderr

    def test_fleet_on_the_server(self):
        # One unit burnt in on two stations, each forwarding as itself.
        folders = self.results_server(["kiosk1", "kiosk2"])
        unit = ["--serial", "SN-E2E-1", "--model", "M1"]
        for station, cards in (("kiosk1", 7), ("kiosk2", 5)):
            status, _, err = self.run_station(folders[station], "--cards", str(cards), *unit,
                                              VARNAK_SIM_FAIL_EVERY_getICInfo="3")
            self.assertEqual(status, 0, err)
            # The run forwarded its own as it went: nothing is left for the timer's upload.
            status, out, err = self.run_station(folders[station], "--upload")
            self.assertEqual(status, 0, err)
            self.assertIn("上传完成：本次上传 0 张，待上传 0 张", out + err)
        failed = self.psql("SELECT count(*) FROM cards WHERE NOT passed")
        self.assertEqual(self.psql("SELECT string_agg(station || ':' || n, ' ' ORDER BY station) "
                                   "FROM (SELECT station, count(*) AS n FROM runs "
                                   "JOIN cards USING (run_id) GROUP BY station) AS s"),
                         "kiosk1:7 kiosk2:5")

        tool = self.start_tool(PGPASSFILE=os.path.join(folders["kiosk1"], "pgpass"))
        tool.open_page(BURN_IN_ROW)
        tool.press_burn_in("历史")
        tool.open_fleet()
        tool.wait_for_log(">>>全部工位：第 1/1 页，共 2 次运行", LINE_TIMEOUT)
        # From the model's filter: the station's, then the serial's.
        tool.type_in_fleet("Tab", "Tab", text="SN-E2E-1")
        tool.type_in_fleet("Tab", "Tab", "Return")
        self.wait_for_lines(tool, lambda lines: ">>>单元 SN-E2E-1：2 次运行，累计 12 次" in lines,
                            "the unit's history")
        tool.type_in_fleet(text="M1")
        tool.type_in_fleet("Return")
        modes = re.compile(r">>>型号 M1：(\d+) 种失效模式，共 (\d+) 次")
        lines = self.wait_for_lines(tool, lambda lines: any(modes.fullmatch(l) for l in lines),
                                    "the model's failure modes")
        kinds, failures = next(modes.fullmatch(l) for l in lines if modes.fullmatch(l)).groups()
        # Every third chip read, one mode: cards 3 and 6 on the first station, 3 on the second.
        self.assertEqual((kinds, failures, failed), ("1", "3", "3"))
        self.drag_and_close(tool)


if __name__ == "__main__":
    # CTest ends a test that runs too long with SIGTERM: unwind, so the clean-ups still run.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    unittest.main()
