#!/usr/bin/env python3
"""The Windows installer under Wine, in a Wine prefix of its own.

For this user (the default) and then for all users (/AllUsers): a silent
install; exactly the zip's files in the install folder; the uninstall entry,
Explorer's entries and the shortcuts, and nothing that makes Keystrel the
opener of a file type; the context-menu command line, taken from the
registry and run on a file as Explorer runs it (it encrypts the file once
the build has Vaultine.dll); a second start handed over to the first; a
silent uninstall through the entry's QuietUninstallString that leaves
nothing behind.

With --in-use, in a prefix of its own: installing and uninstalling while
Keystrel runs. A running window is asked to close, waited for, and the
install or uninstall completes; a program that does not close (keystrel-cli
reading a text) stops both with nothing changed and status 32, silently and
at the installer's windows (a stand-in user answers its message box: Cancel,
or Retry once the program has ended). The windows need a display: Xvfb,
where it is installed.

With --upgrade, in a prefix of its own: an older version installed (its
installer made here by CPack from this build's configuration: version
0.9.0, the zip's files and two that this version no longer ships, and a
desktop shortcut), then this installer run over it: exactly this version's
files, entry and shortcuts remain. The desktop shortcut comes only when
chosen. At the installer's windows (with Xvfb), the pages are the welcome
page, the licence in the system's language (English, Chinese), the choice
of the desktop shortcut, the folder, then the install, each with Keystrel's
header picture.

Usage: check_installer.py SETUP.exe ZIP SHELLVERB.exe
       check_installer.py --in-use SETUP.exe ZIP INSTALLER_USER.exe
       check_installer.py --upgrade SETUP.exe ZIP INSTALLER_USER.exe CPACK CPACK_CONFIG
"""
import contextlib
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

HEADER = b"has been encrypt\0"
VERBS = [("*", "Keystrel.Encrypt", "用 Keystrel 加密", "--encrypt"),
         ("*", "Keystrel.Decrypt", "用 Keystrel 解密", "--decrypt"),
         ("Directory", "Keystrel.Encrypt", "用 Keystrel 加密", "--encrypt"),
         ("Directory", "Keystrel.Decrypt", "用 Keystrel 解密", "--decrypt")]
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Keystrel"
# Only against a hung program: every wait below ends as soon as it is met.
PATIENCE_S = 180

ENV = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8",
           # No Mono or Gecko (they cannot be fetched here), and no menu
           # entries on this Linux desktop for the shortcuts Wine sees made.
           WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
           KEYSTREL_LOG_TO_STDERR="1", QT_QPA_PLATFORM="offscreen")


class Failure(Exception):
    pass


STARTED = time.monotonic()


def say(line):
    print("%5.1f s  %s" % (time.monotonic() - STARTED, line), flush=True)


def check(condition, what):
    if not condition:
        raise Failure(what)


def wine(*args, timeout=PATIENCE_S):
    """Runs a program under Wine to its end. Its output goes through a file:
    a program it starts and leaves running would hold a pipe open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(["wine", *args], env=ENV, stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())


def windows_variable(name):
    return wine("cmd", "/c", "echo", "%" + name + "%").stdout.decode().strip()


def unix_path(windows):
    out = subprocess.run(["winepath", "-u", windows], env=ENV, capture_output=True, check=True)
    return out.stdout.decode().strip()


def windows_path(unix):
    # Every prefix maps Z: to the Linux root; winepath itself now and then
    # fails while the prefix's server is busy.
    return "Z:" + os.path.abspath(unix).replace("/", "\\")


def key_exists(key):
    return wine("reg", "query", key).returncode == 0


def unescape(text):
    return re.sub(r'\\(.)', r'\1', text)


def exported(key):
    """The key and its subkeys as `reg export` writes them: {key: {name: value}}."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "export.reg")
        if wine("reg", "export", key, windows_path(path), "/y").returncode != 0:
            return {}
        text = open(path, "rb").read().decode("utf-16")
    keys, values = {}, None
    for line in text.replace("\\\r\n", "").splitlines():
        if line.startswith("[") and line.endswith("]"):
            values = keys.setdefault(line[1:-1], {})
        elif values is not None and "=" in line:
            match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
            if match:
                name = "" if match.group(1) == "@" else unescape(match.group(1)[1:-1])
                data = match.group(2)
                values[name] = unescape(data[1:-1]) if data.startswith('"') else data
    return keys


def values_of(root, key):
    return exported(root + "\\" + key).get(root + "\\" + key, {})


def wait_for(condition, what):
    deadline = time.monotonic() + PATIENCE_S
    while not condition():
        check(time.monotonic() < deadline, "gave up waiting: " + what)
        time.sleep(0.2)


def read(path):
    try:
        with open(path, "rb") as file:
            return file.read()
    except OSError:
        return b""


def installed_files(folder):
    found = set()
    for top, _, files in os.walk(folder):
        for name in files:
            found.add(os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/"))
    return found


def check_files(folder, archive):
    with zipfile.ZipFile(archive) as zipped:
        names = {name.split("/", 1)[1] for name in zipped.namelist() if not name.endswith("/")}
    installed = installed_files(folder)
    check(installed == names | {"Uninstall.exe"},
          "installed files differ from the zip's: missing %s, more %s"
          % (sorted(names - installed), sorted(installed - names - {"Uninstall.exe"})))


def check_entries(root, program, version):
    folder = program.rsplit("\\", 1)[0]
    entry = values_of(root, UNINSTALL_KEY)
    uninstaller = '"%s\\Uninstall.exe"' % folder
    expected = {"DisplayName": "Keystrel", "DisplayVersion": version, "Publisher": "Keystrel developers",
                "DisplayIcon": program + ",0", "InstallLocation": folder, "UninstallString": uninstaller,
                "QuietUninstallString": uninstaller + " /S", "NoModify": "dword:00000001",
                "NoRepair": "dword:00000001"}
    for name, value in expected.items():
        check(entry.get(name) == value, "%s\\%s: %s is %r, not %r" % (root, UNINSTALL_KEY, name, entry.get(name), value))
    size_kb = int(entry.get("EstimatedSize", "dword:0").split(":")[1], 16)
    actual_kb = sum(os.path.getsize(os.path.join(top, name)) for top, _, names in os.walk(unix_path(folder))
                    for name in names) // 1024
    check(abs(size_kb - actual_kb) <= actual_kb // 20 + 8, "EstimatedSize %d KiB, the files %d KiB" % (size_kb, actual_kb))

    for class_name, verb, text, option in VERBS:
        key = "%s\\Software\\Classes\\%s\\shell\\%s" % (root, class_name, verb)
        keys = exported(key)
        expected = {"": text, "MUIVerb": text, "Icon": program + ",0", "MultiSelectModel": "Player"}
        check(keys.get(key) == expected, "%s is %r, not %r" % (key, keys.get(key), expected))
        command = '"%s" %s -- "%%1"' % (program, option)
        check(keys.get(key + "\\command") == {"": command}, "%s\\command is %r" % (key, keys.get(key + "\\command")))
        check(not key_exists("%s\\Software\\Classes\\Directory\\Background\\shell\\%s" % (root, verb)),
              "an entry on the empty background of a folder")
    say("ok: the uninstall entry and Explorer's four entries under %s (files and folders, not the background)" % root)


def check_no_file_type(root):
    """Keystrel appears in the classes only in its four verbs: no file type,
    no ProgID, no OpenWithProgids, no default."""
    allowed = {"%s\\Software\\Classes\\%s\\shell\\%s%s" % (root, class_name, verb, sub)
               for class_name, verb, _, _ in VERBS for sub in ("", "\\command")}
    for key, values in exported(root + "\\Software\\Classes").items():
        mentions = "keystrel" in key.lower() or any("keystrel" in (n + v).lower() for n, v in values.items())
        check(not mentions or key in allowed, "Keystrel named in %s: %r" % (key, values))
    say("ok: no file type, ProgID or OpenWithProgids under %s\\Software\\Classes names Keystrel" % root)


def check_shortcut(path, program):
    check(program.encode("ascii") in read(path), "%s does not start %s" % (path, program))


def check_installed_folder_start(folder, work):
    """The verbs' command line on a file, from the registry as Explorer runs it."""
    shellverb = work["shellverb"]
    item = os.path.join(work["dir"], "报告 一.txt")
    original = b"Keystrel on Windows\n"
    with open(item, "wb") as file:
        file.write(original)
    item_windows = windows_path(item)
    as_logged = item_windows.replace("\\", "/")
    first_log, second_log = os.path.join(work["dir"], "first.log"), os.path.join(work["dir"], "second.log")

    started = wine(shellverb, "start", "*", "Keystrel.Encrypt", item_windows, windows_path(first_log))
    check(started.stdout.decode().splitlines()[-1:] == ["started"], "the encrypt command did not start: %r" % started)
    has_engine = os.path.exists(os.path.join(unix_path(folder), "Plugin", "Vaultine.dll"))
    if has_engine:
        wait_for(lambda: read(item).startswith(HEADER), "the file to be encrypted")
        say("ok: the encrypt entry's command line encrypted the file")
    else:
        unhandled = "没有接受拖放的插件，未处理：" + as_logged
        wait_for(lambda: unhandled in read(first_log).decode("utf-8", "replace"), "the path to reach the window")
        say("SKIPPED: the encrypt entry's command line on a file does not encrypt it here: this build has no "
              "Vaultine.dll (a build without the engine). Checked instead that the path reached the window.")
    log = read(first_log).decode("utf-8", "replace")
    check("插件目录：%s\\Plugin" % folder in log and "跳过插件目录" not in log,
          "the installed Plugin folder was not trusted:\n" + log)
    say("ok: the installed Plugin folder passes the security-descriptor check")

    second = wine(shellverb, "run", "*", "Keystrel.Decrypt", item_windows, windows_path(second_log))
    check(second.stdout.decode().splitlines()[-1:] == ["exit 0"], "the second start: %r" % second.stdout)
    check("已交给正在运行的窗口：1 个路径" in read(second_log).decode("utf-8", "replace"),
          "the second start did not hand over: " + read(second_log).decode("utf-8", "replace"))
    if has_engine:
        wait_for(lambda: read(item) == original, "the running window to decrypt the file")
    else:
        wait_for(lambda: read(first_log).decode("utf-8", "replace").count(unhandled) == 2,
                 "the handed-over path to reach the window")
    say("ok: a second start (the decrypt entry) handed over to the running window and ended with 0")
    subprocess.run(["wineserver", "-k"], env=ENV)


def uninstall(root, folder):
    command = values_of(root, UNINSTALL_KEY)["QuietUninstallString"]
    match = re.match(r'^"([^"]+)" (/S)$', command)
    check(match, "QuietUninstallString %r" % command)
    check(wine(match.group(1), match.group(2)).returncode == 0, "the uninstaller failed")
    # It runs on from a copy in the temporary folder; the entry goes last.
    wait_for(lambda: not key_exists(root + "\\" + UNINSTALL_KEY), "the uninstaller to remove its entry")
    check(not os.path.exists(unix_path(folder)), "the install folder is still there")
    for class_name, verb, _, _ in VERBS:
        check(not key_exists("%s\\Software\\Classes\\%s\\shell\\%s" % (root, class_name, verb)),
              "Explorer's entry %s\\%s is still there" % (class_name, verb))
    check(not key_exists("HKCU\\Software\\Keystrel"), "HKCU\\Software\\Keystrel is still there")


FILES_IN_USE = 32  # ERROR_SHARING_VIOLATION, what the installer returns then
CHANNEL_KEY = r"HKCU\Software\Keystrel\Channel"


def start_display():
    """An X display of this run's own for Wine's windows; None without Xvfb."""
    xvfb = shutil.which("Xvfb")
    if not xvfb:
        return None
    read_end, write_end = os.pipe()
    server = subprocess.Popen([xvfb, "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        number = numbers.readline().strip()
    check(number, "Xvfb did not start")
    ENV["DISPLAY"] = ":" + number
    return server


@contextlib.contextmanager
def wine_session(prefix):
    """A work folder and a display of the run's own; after it Wine's server
    ends and both go."""
    work = tempfile.mkdtemp(prefix=prefix)
    display = start_display()
    try:
        yield work, display
    finally:
        subprocess.run(["wineserver", "-k"], env=ENV, capture_output=True)
        if display:
            display.terminate()
            display.wait()
        shutil.rmtree(work, ignore_errors=True)


def channel_announced():
    return "REG_SZ" in wine("reg", "query", CHANNEL_KEY).stdout.decode("utf-8", "replace")


def start_window(program, log):
    """The installed Keystrel's window, once it serves its one-window channel."""
    window = subprocess.Popen(["wine", program], env=ENV, stdout=subprocess.DEVNULL, stderr=open(log, "wb"))
    wait_for(channel_announced, "the window to announce its channel")
    return window


def start_holder(folder, user):
    """keystrel-cli reading a text that never ends: it keeps its files in use
    and has no window to be asked to close."""
    cli = folder + "\\keystrel-cli.exe"
    holder = subprocess.Popen(["wine", cli, "encrypt-string"], env=ENV, stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(wine(user, "busy", cli).stdout.decode().split() == ["busy"], "keystrel-cli did not start")
    return holder


def end(process, what):
    if process.stdin:
        process.stdin.close()
    try:
        process.wait(timeout=PATIENCE_S)
    except subprocess.TimeoutExpired:
        raise Failure(what + " did not end")


def snapshot(root, folder, shortcuts):
    """What an install leaves: the files with their contents, the entries, the shortcuts."""
    files = {}
    for top, _, names in os.walk(unix_path(folder)):
        for name in names:
            path = os.path.join(top, name)
            files[os.path.relpath(path, unix_path(folder))] = hashlib.sha256(read(path)).hexdigest()
    return {"files": files, "entry": exported(root + "\\" + UNINSTALL_KEY),
            "classes": {key: values for key, values in exported(root + "\\Software\\Classes").items()
                        if "keystrel" in key.lower()},
            "shortcuts": [os.path.exists(path) for path in shortcuts]}


def drive(user, program, *arguments, answer):
    """Runs the program at its windows as the stand-in user; `answer` is asked
    for each message box. Its boxes' texts and its status."""
    driver = subprocess.Popen(["wine", user, "run", program, *arguments], env=ENV, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    boxes, pressed = [], []
    for raw in driver.stdout:
        line = raw.decode("utf-8", "replace").strip()
        if line.startswith("pressed "):
            pressed.append(line[8:])
        elif line.startswith("box "):
            boxes.append(line[4:])
            driver.stdin.write((answer(line[4:]) + "\n").encode())
            driver.stdin.flush()
        elif line.startswith("exit "):
            driver.wait(timeout=PATIENCE_S)
            return boxes, int(line[5:])
        elif line.startswith(("welcome ", "text ", "header ")):
            pass  # what a page shows: the --upgrade run looks at it
        elif line:
            raise Failure("the stand-in user: %s (pressed: %s; boxes: %s)" % (line, pressed, boxes))
    raise Failure("the stand-in user ended without the program's status")


def check_unchanged(before, after, what):
    for part in before:
        check(before[part] == after[part], "%s changed %s" % (what, part))


def run_in_use(setup, archive, user):
    version = re.search(r"Keystrel-(.+)-win64\.zip$", archive).group(1)
    with wine_session("keystrel-inuse.") as (work, display):
        subprocess.run(["wineboot", "-i"], env=ENV, capture_output=True, check=True, timeout=PATIENCE_S)
        roaming = windows_variable("APPDATA")
        shortcuts = [unix_path(roaming + "\\Microsoft\\Windows\\" + place + "\\Keystrel.lnk")
                     for place in ("Start Menu\\Programs", "SendTo")]
        root = "HKEY_CURRENT_USER"
        check(wine(setup, "/S").returncode == 0, "the silent install failed")
        folder = windows_variable("LOCALAPPDATA") + "\\Programs\\Keystrel"
        program = folder + "\\Keystrel.exe"
        window_log = os.path.join(work, "window.log")

        window = start_window(program, window_log)
        check(wine(setup, "/S").returncode == 0, "the silent install over a running window failed")
        check(window.poll() is not None, "the window still runs after the install")
        check("另一个程序请求关闭窗口" in read(window_log).decode("utf-8", "replace"), "the window was not asked to close")
        check_files(unix_path(folder), archive)
        check_entries(root, program, version)
        say("ok: a silent install over a running window asked it to close, waited for it and replaced every file")

        # The uninstaller's own run, which QuietUninstallString starts from
        # a copy of it and does not wait for: its status tells.
        uninstaller = os.path.join(work, "un", "Uninstall.exe")
        os.makedirs(os.path.dirname(uninstaller))
        shutil.copy(os.path.join(unix_path(folder), "Uninstall.exe"), uninstaller)
        in_place = "_?=" + folder

        holder = start_holder(folder, user)
        before = snapshot(root, folder, shortcuts)
        check(wine(setup, "/S").returncode == FILES_IN_USE, "a silent install over a program in use did not stop with 32")
        check_unchanged(before, snapshot(root, folder, shortcuts), "a stopped install")
        check(wine(windows_path(uninstaller), "/S", in_place).returncode == FILES_IN_USE,
              "a silent uninstall of a program in use did not stop with 32")
        check_unchanged(before, snapshot(root, folder, shortcuts), "a stopped uninstall")
        say("ok: with keystrel-cli running, the silent install and uninstall stop with 32 and change nothing")

        if display:
            boxes, status = drive(user, windows_path(uninstaller), in_place, answer=lambda text: "cancel")
            check(len(boxes) == 1 and folder + "\\" in boxes[0], "the message box: %r" % boxes)
            check(status == FILES_IN_USE, "a cancelled uninstall ended with %d" % status)
            check_unchanged(before, snapshot(root, folder, shortcuts), "a cancelled uninstall")
            say("ok: at the uninstaller's windows, the box names the file in use; Cancel changes nothing")

            def close_then_retry(text):
                end(holder, "keystrel-cli")
                return "retry"
            boxes, status = drive(user, windows_path(uninstaller), in_place, answer=close_then_retry)
            check(len(boxes) == 1 and status == 0, "retried uninstall: boxes %r, status %d" % (boxes, status))
            check(not os.path.exists(os.path.join(unix_path(folder), "Keystrel.exe")), "Keystrel.exe is still there")
            check(not key_exists(root + "\\" + UNINSTALL_KEY), "the uninstall entry is still there")
            check(not any(os.path.exists(path) for path in shortcuts), "a shortcut is still there")
            say("ok: Retry once keystrel-cli has ended uninstalls everything")

            check(wine(setup, "/S").returncode == 0, "the silent install failed")
            window = start_window(program, window_log)
            boxes, status = drive(user, setup, answer=lambda text: "cancel")
            check(boxes == [] and status == 0, "the install at its windows: boxes %r, status %d" % (boxes, status))
            check(window.poll() is not None, "the window still runs after the install")
            check_files(unix_path(folder), archive)
            say("ok: at the installer's windows, a running window is closed and waited for, with no box")
        else:
            end(holder, "keystrel-cli")
            say("SKIPPED: the installer's windows (no Xvfb here for Wine to show them on); the silent runs took "
                "the same steps")

        window = start_window(program, window_log)
        uninstall(root, folder)
        check(window.poll() is not None, "the window still runs after the uninstall")
        check(not any(os.path.exists(path) for path in shortcuts), "a shortcut is still there")
        say("ok: the silent uninstall through QuietUninstallString closed the running window and removed everything")


# What the older version had that this one no longer ships.
RETIRED = ["Qt5Retired.dll", "retired/notes.txt"]
OLDER_VERSION = "0.9.0"


def older_installer(archive, cpack, config, work):
    """An installer of version 0.9.0 made by CPack with this build's
    configuration, from the zip's files and the retired ones."""
    folder = os.path.join(work, "older")
    with zipfile.ZipFile(archive) as zipped:
        zipped.extractall(os.path.join(work, "unzipped"))
    top = os.path.basename(archive)[:-len(".zip")]
    shutil.move(os.path.join(work, "unzipped", top), folder)
    for name in RETIRED:
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as file:
            file.write(b"shipped by Keystrel 0.9.0 alone\n")
    out = os.path.join(work, "older-setup")
    made = subprocess.run([cpack, "-G", "NSIS", "--config", config, "-B", out,
                           "-D", "CPACK_PACKAGE_VERSION=" + OLDER_VERSION,
                           "-D", "CPACK_PACKAGE_FILE_NAME=Keystrel-%s-win64-setup" % OLDER_VERSION,
                           "-D", "CPACK_INSTALLED_DIRECTORIES=%s;." % folder,
                           "-D", "CPACK_KEYSTREL_PROGRAM_FOLDER=" + folder],
                          capture_output=True, text=True)
    setup = os.path.join(out, "Keystrel-%s-win64-setup.exe" % OLDER_VERSION)
    check(made.returncode == 0 and os.path.exists(setup), "CPack did not make the older installer:\n" + made.stdout
          + made.stderr)
    return setup


def pages_of(user, setup, language):
    """The installer's pages as the stand-in user goes through them."""
    ENV["LC_ALL"] = language
    try:
        driver = subprocess.run(["wine", user, "run", setup], env=ENV, capture_output=True, timeout=PATIENCE_S)
    finally:
        ENV["LC_ALL"] = "C.UTF-8"
    lines = driver.stdout.decode("utf-8", "replace").splitlines()
    check(lines[-1:] == ["exit 0"], "the install at its windows: %r" % lines)
    return lines


def run_upgrade(setup, archive, user, cpack, config):
    version = re.search(r"Keystrel-(.+)-win64\.zip$", archive).group(1)
    with wine_session("keystrel-upgrade.") as (work, display):
        older = older_installer(archive, cpack, config, work)
        say("ok: CPack made the older version's installer (%s)" % OLDER_VERSION)
        subprocess.run(["wineboot", "-i"], env=ENV, capture_output=True, check=True, timeout=PATIENCE_S)
        roaming = windows_variable("APPDATA")
        start_menu = unix_path(roaming + "\\Microsoft\\Windows\\Start Menu\\Programs\\Keystrel.lnk")
        desktop = unix_path(windows_variable("USERPROFILE") + "\\Desktop\\Keystrel.lnk")
        folder = windows_variable("LOCALAPPDATA") + "\\Programs\\Keystrel"
        program = folder + "\\Keystrel.exe"

        check(wine(older, "/S", "/DesktopShortcut").returncode == 0, "the older version's silent install failed")
        check(all(os.path.exists(os.path.join(unix_path(folder), name)) for name in RETIRED),
              "the older version's own files were not installed")
        check(values_of("HKEY_CURRENT_USER", UNINSTALL_KEY).get("DisplayVersion") == OLDER_VERSION,
              "the older version's entry")
        check_shortcut(desktop, program)
        say("ok: the older version is installed, with its own files and a desktop shortcut")

        check(wine(setup, "/S").returncode == 0, "the silent install over the older version failed")
        check_files(unix_path(folder), archive)
        check_entries("HKEY_CURRENT_USER", program, version)
        check_shortcut(start_menu, program)
        check(not os.path.exists(desktop), "the older version's desktop shortcut stayed, though not chosen now")
        say("ok: installed over the older version, exactly this version's files, entry and shortcuts remain")

        check(wine(setup, "/S", "/DesktopShortcut").returncode == 0, "the silent install with /DesktopShortcut failed")
        check_shortcut(desktop, program)
        check_files(unix_path(folder), archive)
        uninstall("HKEY_CURRENT_USER", folder)
        check(not os.path.exists(desktop) and not os.path.exists(start_menu), "a shortcut is still there")
        say("ok: /DesktopShortcut makes the desktop shortcut, and the uninstaller removes it")

        if display:
            for language, licence in (("C.UTF-8", "The Keystrel developers have not published"),
                                      ("zh_CN.UTF-8", "Keystrel 的开发者尚未以任何许可证发布")):
                lines = pages_of(user, setup, language)
                pressed = [line for line in lines if line.startswith("pressed ")]
                check(len(pressed) == 5, "not the pages welcome, licence, components, folder (Install), "
                      "finish: %r" % lines)
                check(any(line.startswith("text ") and licence in line for line in lines),
                      "the licence page in %s does not show %r: %r" % (language, licence, lines))
                headers = [line for line in lines if line.startswith("header ")]
                check(headers and all(re.match(r"^header \d+x\d+ keystrel$", line) for line in headers),
                      "the pages' header picture is not Keystrel's: %r" % headers)
                check(lines[0].startswith("welcome "), "the first page is not the welcome page: %r" % lines)
                say("ok: at the installer's windows in %s: %d pages, the licence in that language, "
                    "Keystrel's header" % (language, len(pressed)))
                uninstall("HKEY_CURRENT_USER", folder)
        else:
            say("SKIPPED: the installer's pages (no Xvfb here for Wine to show them on)")


def run(setup, archive, shellverb):
    version = re.search(r"Keystrel-(.+)-win64\.zip$", archive).group(1)
    work = {"dir": tempfile.mkdtemp(prefix="keystrel-install."), "shellverb": shellverb}
    try:
        subprocess.run(["wineboot", "-i"], env=ENV, capture_output=True, check=True, timeout=PATIENCE_S)
        roaming = windows_variable("APPDATA")
        start_menu = unix_path(roaming + "\\Microsoft\\Windows\\Start Menu\\Programs\\Keystrel.lnk")
        send_to = unix_path(roaming + "\\Microsoft\\Windows\\SendTo\\Keystrel.lnk")

        # For this user, without administrator rights.
        check(wine(setup, "/S").returncode == 0, "the silent install failed")
        folder = windows_variable("LOCALAPPDATA") + "\\Programs\\Keystrel"
        program = folder + "\\Keystrel.exe"
        check_files(unix_path(folder), archive)
        say("ok: silent install into %s: the zip's files and Uninstall.exe" % folder)
        check_entries("HKEY_CURRENT_USER", program, version)
        check(not key_exists("HKLM\\" + UNINSTALL_KEY), "a machine-wide entry for a per-user install")
        check_no_file_type("HKEY_CURRENT_USER")
        check_shortcut(start_menu, program)
        check_shortcut(send_to, program)
        say("ok: the Start-menu and Send To shortcuts start the installed Keystrel.exe")
        check_installed_folder_start(folder, work)
        uninstall("HKEY_CURRENT_USER", folder)
        check(not os.path.exists(start_menu) and not os.path.exists(send_to), "a shortcut is still there")
        say("ok: the silent uninstall removed the files, the keys and the shortcuts")

        # For all users, as administrator (Wine runs programs as one).
        check(wine(setup, "/S", "/AllUsers").returncode == 0, "the silent install for all users failed")
        folder = windows_variable("ProgramFiles") + "\\Keystrel"
        program = folder + "\\Keystrel.exe"
        check_files(unix_path(folder), archive)
        check_entries("HKEY_LOCAL_MACHINE", program, version)
        check(not key_exists("HKCU\\" + UNINSTALL_KEY), "a per-user entry for a machine-wide install")
        check_no_file_type("HKEY_LOCAL_MACHINE")
        common = unix_path(windows_variable("ProgramData") + "\\Microsoft\\Windows\\Start Menu\\Programs\\Keystrel.lnk")
        check_shortcut(common, program)
        check(not os.path.exists(send_to), "Send To is the user's own: not made for all users")
        say("ok: /AllUsers installs into %s with the machine's keys and Start menu" % folder)
        uninstall("HKEY_LOCAL_MACHINE", folder)
        check(not os.path.exists(common), "the Start-menu shortcut for all users is still there")
        say("ok: its silent uninstall removed everything")
    finally:
        subprocess.run(["wineserver", "-k"], env=ENV, capture_output=True)
        shutil.rmtree(work["dir"], ignore_errors=True)


def main():
    mode = sys.argv[1] if sys.argv[1:2] in (["--in-use"], ["--upgrade"]) else ""
    arguments = sys.argv[2:] if mode else sys.argv[1:]
    if len(arguments) != (5 if mode == "--upgrade" else 3):
        print(__doc__)
        return 2
    setup, archive, helper = arguments[:3]
    if not os.path.exists(setup):
        print("no installer at %s: build the windows_installer target (scripts/build-windows.sh does)" % setup)
        return 1
    prefix = tempfile.mkdtemp(prefix="keystrel-installer-wine.")
    ENV["WINEPREFIX"] = prefix
    try:
        if mode == "--upgrade":
            run_upgrade(setup, archive, helper, *arguments[3:])
        else:
            (run_in_use if mode == "--in-use" else run)(setup, archive, helper)
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
