# SPDX-License-Identifier: MIT
"""Shows the tool at work where there is no screen: scripts/run.sh calls this without a display.

The tool runs from the current folder, as scripts/run.sh would run it, on a virtual display.
This presses "发卡" once, waits for the run to end, saves a screenshot of the whole window with
the log of that card, prints its path and the log lines, and closes the tool by its close
button.  The exit code is the tool's.
"""

import argparse
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# No bytecode cache beside the sources.
sys.dont_write_bytecode = True
import tooldriver  # noqa: E402

RUN_TIMEOUT = 120
EXIT_TIMEOUT = 30

# Lines after which a one-card run goes no further: its completion, its two messages that ask
# the operator to act, and a failed step that stops it (an empty box adds a line of its own).
_FINAL_LINES = (">>>发卡测试完成", ">>>卡箱内无卡，请放置好卡片后，再进行测试！！！",
                ">>>请取走卡片，再进行测试！！！", ">>not found sdk")
_STOPPING_STEP = re.compile(r">>>(打开设备|选卡发卡|移卡|上电|读卡信息|吐卡给客户)：(-?\d+)")


def run_has_ended(lines):
    if not lines:
        return False
    last = lines[-1]
    if last in _FINAL_LINES:
        return True
    step = _STOPPING_STEP.fullmatch(last)
    return bool(step) and step.group(2) != "0" and step.group(0) != ">>>选卡发卡：-10"


def ended_log(tool):
    lines = tool.read_log()
    return lines if run_has_ended(lines) else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default="build/card-dispenser-test",
                        help="the executable (default: %(default)s)")
    parser.add_argument("--screenshot", default="build/screenshot.png",
                        help="where to save the PNG (default: %(default)s)")
    parser.add_argument("--no-press", action="store_true",
                        help="only show the window; for a vendor library, which would issue a "
                             "real card")
    args = parser.parse_args()
    tool_path = os.path.abspath(args.tool)
    screenshot = os.path.abspath(args.screenshot)

    folder = tooldriver.private_folder("cdt-headless-")
    try:
        with tooldriver.VirtualDisplay(folder) as display:
            runtime = os.path.join(folder, "runtime")
            os.mkdir(runtime, 0o700)
            env = tooldriver.tool_environment(display, runtime,
                                              {k: v for k, v in os.environ.items()
                                               if k.startswith("VARNAK_SIM_")})
            with tooldriver.ToolWindow(display, [tool_path], os.getcwd(), env, folder) as tool:
                lines = []
                if not args.no_press:
                    tool.press("发卡")
                    lines = tooldriver.wait_for(lambda: ended_log(tool), RUN_TIMEOUT,
                                                "end of the card run", interval=0.3)
                tool.wait_for_plain_log_pane(screenshot, RUN_TIMEOUT)
                tool.click_close_button()
                code = tool.wait_exit(EXIT_TIMEOUT)
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    print("No display: the tool ran on a virtual one.")
    print("Screenshot: " + screenshot)
    if lines:
        print("Log after one press of 发卡:")
        for line in lines:
            print("  " + line)
    return code


if __name__ == "__main__":
    sys.exit(main())
