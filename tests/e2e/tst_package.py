# SPDX-License-Identifier: MIT
"""The tool as it is installed: `cmake --install`, the .tar.gz and the .deb that CPack makes.

The .deb is not installed on this machine: it is unpacked into a temporary root and its start
script is run from there by a user who cannot write the install folder (nobody, when the test
runs as root), which is how an operator meets a package installed under /opt.  What this cannot
show is that apt finds the dependencies on a machine that has none of them; it checks that each
one names a package apt knows.

CTest passes the build folder in CDT_BUILD_DIR and the cmake and cpack programs in CDT_CMAKE
and CDT_CPACK.
"""

import configparser
import gzip
import os
import pwd
import re
import shutil
import signal
import stat
import subprocess
import sys
import tarfile
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts"))
# No bytecode cache beside the sources.
sys.dont_write_bytecode = True
import tooldriver  # noqa: E402

NAME = "card-dispenser-test"
SYSTEM_FOLDER = "/opt/" + NAME
START_SCRIPT = NAME + ".sh"
BURNIN = "card-dispenser-burnin"
MAN_PAGE = "share/man/man1/%s.1" % BURNIN
# The relocatable folder, as `cmake --install` makes it and the .tar.gz holds it.
HOST = "card-dispenser-devicehost"
FOLDER_FILES = {"bin/" + NAME, "bin/" + BURNIN, "bin/" + HOST, MAN_PAGE, "lib/libvarnak_c.so", START_SCRIPT,
                "LICENSE", "share/doc/%s/server.sql" % NAME,
                "share/systemd/user/card-dispenser-burnin-upload@.service",
                "share/systemd/user/card-dispenser-burnin-upload@.timer"}
EXECUTABLES = {"bin/" + NAME, "bin/" + BURNIN, "bin/" + HOST, START_SCRIPT}
DEB_EXTRAS = {"usr/share/applications/%s.desktop" % NAME,
              "usr/share/icons/hicolor/256x256/apps/%s.png" % NAME,
              "usr/share/man/man1/%s.1.gz" % BURNIN,
              "usr/lib/systemd/user/card-dispenser-burnin-upload@.service",
              "usr/lib/systemd/user/card-dispenser-burnin-upload@.timer"}
COMMANDS = {NAME: SYSTEM_FOLDER + "/" + START_SCRIPT, BURNIN: SYSTEM_FOLDER + "/bin/" + BURNIN}
RUNTIME_DEPENDENCIES = {"libqt6widgets6", "libqt6gui6", "libqt6core6", "qt6-qpa-plugins",
                        "libqt6sql6", "libqt6sql6-sqlite", "libcjson1"}
ISSUE_DONE = ">>>发卡测试完成"

PACKAGE_TIMEOUT = 600
LINE_TIMEOUT = 30
EXIT_TIMEOUT = 10


def run(*args, **kwargs):
    return subprocess.run(list(args), check=True, capture_output=True, text=True,
                          timeout=PACKAGE_TIMEOUT, stdin=subprocess.DEVNULL, **kwargs)


def files_under(folder):
    found = set()
    for parent, _, names in os.walk(folder):
        for name in names:
            found.add(os.path.relpath(os.path.join(parent, name), folder))
    return found


def is_executable(path):
    return os.stat(path).st_mode & stat.S_IXOTH != 0


class ToolRunMixin:
    """Starts an installed start script on a fresh virtual display, as some user."""

    def make_folder(self):
        self.folder = tooldriver.private_folder("cdt-package-")
        # Another user must reach the unpacked files and the home made for them below.
        os.chmod(self.folder, 0o755)
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.display = tooldriver.VirtualDisplay(self.folder)
        self.addCleanup(self.display.close)
        self.display.start()

    def start(self, script, user=None, **env):
        runtime = tempfile.mkdtemp(prefix="run-", dir=self.folder)
        command = [script]
        if user:
            for path in (runtime, self.display.authority):
                os.chown(path, user.pw_uid, user.pw_gid)
            command = ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid,
                       "--clear-groups", "--"] + command
        environment = tooldriver.tool_environment(self.display, runtime, env)
        environment.pop("XDG_DATA_HOME", None)
        environment.update(env)
        output = tempfile.mkdtemp(prefix="output-", dir=self.folder)
        # Started from elsewhere: the script itself must pick the working folder.
        tool = tooldriver.ToolWindow(self.display, command, "/", environment, output)
        self.addCleanup(tool.close)
        return tool.start()

    def working_folder(self, tool):
        return os.readlink("/proc/%d/cwd" % tool.process.pid)

    def close(self, tool):
        tool.click_close_button()
        self.assertEqual(tool.wait_exit(EXIT_TIMEOUT), 0, tool.stderr())

    def issue_one_card(self, tool):
        tool.press("发卡")
        lines = tool.wait_for_log(ISSUE_DONE, LINE_TIMEOUT)
        self.assertEqual(lines[0], ">>>测试发卡 1 次")

    def assert_burnin_runs(self, program, install):
        """The command-line runner in a folder of its own, without a display."""
        work = tempfile.mkdtemp(prefix="burnin-", dir=self.folder)
        os.mkdir(os.path.join(work, "lib"))
        os.symlink(os.path.join(install, "lib/libvarnak_c.so"),
                   os.path.join(work, "lib/libvarnak_c.so"))
        environment = {key: value for key, value in os.environ.items()
                       if key not in ("DISPLAY", "QT_QPA_PLATFORM")}
        environment["VARNAK_SIM_TAKE_MS"] = "0"
        done = subprocess.run([program, "--cards", "3", "--json"], cwd=work, env=environment,
                              capture_output=True, text=True, timeout=PACKAGE_TIMEOUT,
                              stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn('"done":3', done.stdout)


class InstallFolderTest(ToolRunMixin, unittest.TestCase):
    def test_cmake_install_makes_a_relocatable_folder(self):
        self.make_folder()
        prefix = os.path.join(self.folder, "anywhere", NAME)
        run(os.environ["CDT_CMAKE"], "--install", os.environ["CDT_BUILD_DIR"],
            "--prefix", prefix)
        self.assertEqual(files_under(prefix), FOLDER_FILES)
        for path in EXECUTABLES:
            self.assertTrue(is_executable(os.path.join(prefix, path)), path)

        # A folder the user can write is the working folder itself.
        tool = self.start(os.path.join(prefix, START_SCRIPT))
        self.assertEqual(self.working_folder(tool), prefix)
        self.assertIn("start load so\nload success\n", tool.stderr())
        self.issue_one_card(tool)
        self.close(tool)

        self.assert_burnin_runs(os.path.join(prefix, "bin", BURNIN), prefix)
        with open(os.path.join(prefix, MAN_PAGE), encoding="utf-8") as page:
            self.assertIn("Exit status", page.read())


class PackagesTest(ToolRunMixin, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.packages = tooldriver.private_folder("cdt-packages-")
        try:
            run(os.environ["CDT_CPACK"], "-G", "TGZ;DEB", "-B", cls.packages, "--config",
                os.path.join(os.environ["CDT_BUILD_DIR"], "CPackConfig.cmake"))
        except BaseException:
            shutil.rmtree(cls.packages, ignore_errors=True)
            raise
        names = os.listdir(cls.packages)
        cls.deb = os.path.join(cls.packages, next(n for n in names if n.endswith(".deb")))
        cls.tarball = os.path.join(cls.packages,
                                   next(n for n in names if n.endswith(".tar.gz")))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.packages, ignore_errors=True)

    def test_tarball_holds_the_folder(self):
        with tarfile.open(self.tarball) as archive:
            members = {m.name: m for m in archive.getmembers() if m.isfile()}
        top = {name.split("/", 1)[0] for name in members}
        self.assertEqual(len(top), 1, top)
        prefix = top.pop() + "/"
        self.assertEqual({name[len(prefix):] for name in members}, FOLDER_FILES)
        for path in EXECUTABLES:
            self.assertTrue(members[prefix + path].mode & stat.S_IXOTH, path)

    def test_deb_fields(self):
        fields = run("dpkg-deb", "-f", self.deb, "Package", "Architecture",
                     "Depends").stdout
        self.assertIn("Package: %s\n" % NAME, fields)
        depends = re.search(r"^Depends: (.*)$", fields, re.M).group(1)
        groups = [[re.sub(r"\s*\(.*\)", "", alt).strip() for alt in group.split("|")]
                  for group in depends.split(",")]
        self.assertLessEqual(RUNTIME_DEPENDENCIES, {alt for group in groups for alt in group})
        for group in groups:
            known = subprocess.run(["apt-cache", "show", "--no-all-versions", group[0]],
                                   capture_output=True, timeout=PACKAGE_TIMEOUT)
            self.assertEqual(known.returncode, 0, "apt knows no package %s" % group[0])

    def test_deb_contents(self):
        self.make_folder()
        root = self.unpack_deb()
        installed = {SYSTEM_FOLDER[1:] + "/" + path for path in FOLDER_FILES}
        commands = {"usr/bin/" + command for command in COMMANDS}
        self.assertEqual(files_under(root) - commands, installed | DEB_EXTRAS)
        for command, target in COMMANDS.items():
            self.assertEqual(os.readlink(os.path.join(root, "usr/bin", command)), target)
        with gzip.open(os.path.join(root, "usr/share/man/man1/%s.1.gz" % BURNIN), "rt",
                       encoding="utf-8") as page:
            self.assertIn("Exit status", page.read())
        self.assert_burnin_runs(root + COMMANDS[BURNIN], root + SYSTEM_FOLDER)

        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(root, "usr/share/applications/%s.desktop" % NAME),
                   encoding="utf-8")
        desktop = entry["Desktop Entry"]
        self.assertEqual(desktop["Type"], "Application")
        self.assertEqual(desktop["Exec"], SYSTEM_FOLDER + "/" + START_SCRIPT)
        self.assertTrue(is_executable(root + desktop["Exec"]))
        icon = "usr/share/icons/hicolor/256x256/apps/%s.png" % desktop["Icon"]
        self.assertEqual(tooldriver.png_size(os.path.join(root, icon)), (256, 256))

    def test_deb_start_script_uses_a_folder_of_the_users_own(self):
        self.make_folder()
        root = self.unpack_deb()
        install = root + SYSTEM_FOLDER
        user, home = self.other_user()
        script = os.path.join(install, START_SCRIPT)

        tool = self.start(script, user, HOME=home)
        work = os.path.join(home, ".local/share", NAME)
        self.assertEqual(self.working_folder(tool), work)
        self.assertEqual(os.readlink(os.path.join(work, "lib/libvarnak_c.so")),
                         install + "/lib/libvarnak_c.so")
        self.assertIn("start load so\nload success\n", tool.stderr())
        self.issue_one_card(tool)
        self.close(tool)

        # A library the user put there (a vendor's) is used as it is, under XDG_DATA_HOME too.
        data_home = os.path.join(home, "data")
        work = os.path.join(data_home, NAME)
        own = os.path.join(work, "lib/libvarnak_c.so")
        os.makedirs(os.path.dirname(own))
        shutil.copy(install + "/lib/libvarnak_c.so", own)
        self.chown_tree(home, user)
        tool = self.start(script, user, HOME=home, XDG_DATA_HOME=data_home)
        self.assertEqual(self.working_folder(tool), work)
        self.assertIn("load success\n", tool.stderr())
        self.close(tool)
        self.assertFalse(os.path.islink(own))

    # -- helpers --------------------------------------------------------------------------------

    def unpack_deb(self):
        root = os.path.join(self.folder, "root")
        run("dpkg-deb", "-x", self.deb, root)
        return root

    def other_user(self):
        """A user who cannot write the unpacked install, and a home for them."""
        home = os.path.join(self.folder, "home")
        os.mkdir(home)
        if os.geteuid() != 0:
            install = os.path.join(self.folder, "root") + SYSTEM_FOLDER
            os.chmod(install, 0o555)
            self.addCleanup(os.chmod, install, 0o755)
            return None, home
        user = pwd.getpwnam("nobody")
        self.chown_tree(home, user)
        return user, home

    @staticmethod
    def chown_tree(folder, user):
        if user is None:
            return
        for parent, dirs, files in os.walk(folder):
            for name in [parent] + [os.path.join(parent, n) for n in dirs + files]:
                os.chown(name, user.pw_uid, user.pw_gid)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    unittest.main()
