#!/usr/bin/python3
"""Runs the real program on each desktop it must work on, headless, and
drives one short show: the explorer shows with the pictures given on the
command line, Slideshow opens the player, the timer steps it, Enter steps
it, Esc ends the program. Fails on a crash or a missing step; screenshots
go to build/desktop-checks/ where the compositor can take them.

  sway (wlroots)   keys by wtype, titles by swaymsg, screenshots by grim
  mutter (GNOME)   no way to send keys: Slideshow pressed and titles read
                   through the accessibility interface, the timer steps
  KWin (KDE)       the same as mutter
  Xvfb + openbox   keys and titles by xdotool, screenshots by import

The Wayland compositors refuse root, or need a user's session: they and the
program run as an unprivileged user made for the check.

  check-compositors.py [--program build/kavelo] [NAME...]
"""
import argparse
import json
import os
import pathlib
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
USER = "kavelocheck"
PACKAGES = ["sway", "wtype", "grim", "mutter", "kwin-wayland", "python3-pyatspi",
            "at-spi2-core", "dbus-daemon", "xvfb", "xauth", "xdotool", "openbox",
            "imagemagick", "qt6-wayland"]


class Failure(Exception):
    pass


def poll(what, probe, seconds=30.0):
    """The first true answer of probe within the time, else a failure."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        answer = probe()
        if answer:
            return answer
        time.sleep(0.25)
    raise Failure(f"{what}: not within {seconds:.0f} s")


class Session:
    """One compositor and the program in it, run as the check's user."""

    keys = False
    shots = False

    def __init__(self, work: pathlib.Path, out: pathlib.Path):
        self.work = work
        self.out = out
        self.runtime = work / f"run-{self.name}"
        # A home of its own: what one desktop leaves there (dconf, kwinrc,
        # the program's settings) must not change the next one's run.
        self.home = work / f"home-{self.name}"
        user = pwd.getpwnam(USER)
        for folder in (self.runtime, self.home):
            # A second try starts afresh.
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir(mode=0o700)
            os.chown(folder, user.pw_uid, user.pw_gid)
        self.env = {"PATH": "/usr/bin:/bin", "HOME": str(self.home),
                    "XDG_RUNTIME_DIR": str(self.runtime), "LANG": "C.UTF-8"}
        self.processes = []
        self.program = None

    def spawn(self, command, log, **extra):
        env = dict(self.env, **extra)
        wrapped = ["runuser", "-u", USER, "--", "env", "-i"]
        wrapped += [f"{k}={v}" for k, v in env.items()] + command
        process = subprocess.Popen(wrapped, stdout=log, stderr=subprocess.STDOUT,
                                   cwd=self.work, start_new_session=True)
        self.processes.append(process)
        return process

    def run(self, command, **extra):
        env = dict(self.env, **extra)
        wrapped = ["runuser", "-u", USER, "--", "env", "-i"]
        wrapped += [f"{k}={v}" for k, v in env.items()] + command
        return subprocess.run(wrapped, capture_output=True, text=True, cwd=self.work,
                              timeout=30)

    def start_program(self, pictures):
        self.log = open(self.out / f"{self.name}-kavelo.log", "w")
        self.program = self.spawn([str(self.work / "kavelo")] + pictures, self.log,
                                  **self.program_env())

    def shot(self, name):
        pass

    def alive(self):
        code = self.program.poll()
        if code is not None:
            raise Failure(f"the program ended early with status {code}")
        return True

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for process in self.processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)


class Sway(Session):
    name = "sway"
    keys = shots = True

    def start(self):
        config = self.work / "sway.conf"
        # Tabbed: each window gets the whole output, as a maximized one would.
        # No XWayland: the program must run natively, and an X server of
        # sway's would linger on a display the openbox session may pick.
        config.write_text("output HEADLESS-1 resolution 1920x1080\nworkspace_layout tabbed\n"
                          "xwayland disable\n")
        self.spawn(["sway", "-c", str(config)], open(self.out / "sway.log", "w"),
                   WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        socket = poll("sway's socket", lambda: sorted(self.runtime.glob("sway-ipc.*.sock")))
        self.env["SWAYSOCK"] = str(socket[0])
        self.env["WAYLAND_DISPLAY"] = poll("sway's display", self.display)
        # The headless seat has no keyboard: each wtype brings one and takes
        # it away again, and a key sent along with a keyboard that appeared
        # the same moment reaches no client (it has not bound the keyboard
        # yet). A wtype that only waits keeps a keyboard on the seat for the
        # whole session, so clients bind it once, before any key.
        self.spawn(["wtype", "-s", "86400000"], open(self.out / "sway-wtype.log", "w"))
        poll("a keyboard on sway's seat", lambda: '"keyboard"' in
             self.run(["swaymsg", "-t", "get_inputs", "-r"]).stdout)

    def display(self):
        found = [p.name for p in self.runtime.glob("wayland-*") if not p.name.endswith(".lock")]
        return found[0] if found else None

    def program_env(self):
        return {"QT_QPA_PLATFORM": "wayland"}

    def windows(self):
        tree = json.loads(self.run(["swaymsg", "-t", "get_tree"]).stdout or "{}")
        found = []

        def walk(node):
            if node.get("pid") and node.get("name"):
                rect = node["rect"]
                found.append((node["name"], f"{rect['width']} x {rect['height']}"))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)

        walk(tree)
        return found

    def key(self, name):
        command = ["wtype", "-M", "alt", "s", "-m", "alt"] if name == "alt+s" else \
            ["wtype", "-k", name]
        if self.run(command).returncode != 0:
            raise Failure(f"wtype could not send {name}")

    def shot(self, name):
        target = self.home / name
        self.run(["grim", str(target)])
        if target.exists():
            shutil.copy(target, self.out / name)


class AccessibleSession(Session):
    """Titles and the Slideshow button through AT-SPI, on a session bus of
    the compositor's own."""

    def program_env(self):
        return {"QT_QPA_PLATFORM": "wayland", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def start_on_bus(self, command):
        bus_file = self.runtime / "bus"
        script = f'echo "$DBUS_SESSION_BUS_ADDRESS" > {bus_file}; exec {command}'
        self.spawn(["dbus-run-session", "--", "bash", "-c", script],
                   open(self.out / f"{self.name}.log", "w"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = poll(
            f"{self.name}'s bus", lambda: bus_file.exists() and bus_file.read_text().strip())
        self.env["WAYLAND_DISPLAY"] = poll(f"{self.name}'s display", self.display)

    def display(self):
        found = [p.name for p in self.runtime.glob("wayland-*") if not p.name.endswith(".lock")]
        return found[0] if found else None

    def windows(self):
        answer = self.run([str(self.work / "atspi-probe.py"), "titles"])
        return [tuple(line.split("\t")) for line in answer.stdout.splitlines() if "\t" in line]

    def press(self, button):
        if self.run([str(self.work / "atspi-probe.py"), "press", button]).returncode != 0:
            raise Failure(f"no button {button} to press")


class Mutter(AccessibleSession):
    name = "mutter"

    def start(self):
        self.start_on_bus("mutter --headless --wayland --no-x11 --virtual-monitor 1920x1080")


class KWin(AccessibleSession):
    name = "kwin"

    def start(self):
        # The installed binary carries a file capability (cap_sys_resource),
        # which a container without it refuses to execute; a copy carries none.
        shutil.copy("/usr/bin/kwin_wayland", self.work / "kwin_wayland")
        self.start_on_bus(f"{self.work}/kwin_wayland --virtual --width 1920 --height 1080 "
                          "--no-lockscreen --no-global-shortcuts")


class Openbox(Session):
    name = "openbox"
    keys = shots = True

    def start(self):
        log = open(self.out / "openbox.log", "w")
        # Xvfb picks a free display itself and names it on the pipe: others
        # may run Xvfb too. It runs as root, open to the check's user (-ac).
        reader, writer = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0",
                                   "1920x1080x24", "-nolisten", "tcp", "-ac"], pass_fds=(writer,),
                                  stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        self.processes.insert(0, server)
        os.close(writer)
        with os.fdopen(reader) as pipe:
            self.env["DISPLAY"] = ":" + pipe.readline().strip()
        poll("Xvfb", lambda: self.run(["xdotool", "getdisplaygeometry"]).returncode == 0)
        # On a session bus of its own, as a desktop session has one: without
        # it Qt's accessibility asks libdbus to launch a bus through the X
        # server, which at times held the program's first window back past
        # the check's wait.
        bus_file = self.runtime / "bus-address"
        script = f'echo "$DBUS_SESSION_BUS_ADDRESS" > {bus_file}; exec openbox'
        self.spawn(["dbus-run-session", "--", "bash", "-c", script], log)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = poll(
            "openbox's bus", lambda: bus_file.exists() and bus_file.read_text().strip())

    def program_env(self):
        return {"QT_QPA_PLATFORM": "xcb"}

    def windows(self):
        # One call for all: the program's windows with their names and sizes.
        script = ('for w in $(xdotool search --onlyvisible --name "Kavelo - Explorer|Forwards$"); do '
                  'eval "$(xdotool getwindowgeometry --shell $w)"; '
                  'echo "$(xdotool getwindowname $w)	$WIDTH x $HEIGHT	$w"; done')
        answer = self.run(["bash", "-c", script]).stdout
        return [tuple(line.split("\t")) for line in answer.splitlines() if line.count("\t") == 2]

    def key(self, name):
        if name == "alt+s":
            explorer = [w for w in self.windows() if w[0] == "Kavelo - Explorer"]
            if explorer:
                self.run(["xdotool", "windowactivate", "--sync", explorer[0][2]])
        self.run(["xdotool", "key", name])

    def shot(self, name):
        target = self.home / name
        self.run(["import", "-window", "root", str(target)])
        if target.exists():
            shutil.copy(target, self.out / name)


def scenario(session, pictures):
    """The short show; prints what it saw."""
    session.start_program(pictures)
    explorer = poll("the explorer", lambda: session.alive() and [
        w for w in session.windows() if w[0] == "Kavelo - Explorer"], 60)
    print(f"  explorer shows, {explorer[0][1]}")

    def player():
        return [w for w in session.windows() if w[0].endswith(" Forwards")]

    # A key may still be lost while the compositor hands the client a new
    # keymap: each key is tried again until its effect shows.
    def pressed(key, effect, what, seconds=5):
        for attempt in range(1, 4):
            session.key(key)
            try:
                poll(what, effect, seconds)
                return attempt
            except Failure:
                continue
        raise Failure(f"{what}: none of 3 presses of {key} did it")

    if session.keys:
        tries = pressed("alt+s", lambda: session.alive() and player(),
                        "the player's first picture", 10)
    else:
        session.press("Slideshow")
        tries = 1
    first = poll("the player's first picture", lambda: session.alive() and player(), 30)
    print(f"  Slideshow: the player shows {first[0][0]}, {first[0][1]}")
    seen = {first[0][0]}
    poll("two steps by the timer", lambda: session.alive() and (
        seen.update(w[0] for w in player()) or len(seen) >= 3), 30)
    print(f"  the timer stepped through {len(seen)} pictures")
    session.shot(f"{session.name}-show.png")
    if not session.keys:
        session.stop()
        print("  no way to send keys here: ended by the check")
        return

    def paused():
        titles = set()
        for _ in range(6):
            session.alive()
            titles.update(w[0] for w in player())
            time.sleep(0.3)
        return len(titles) == 1

    tries += pressed("space", paused, "a pause by Space")
    before = player()[0][0]
    tries += pressed("Return", lambda: session.alive() and [
        w for w in player() if w[0] != before], "a step by Enter")
    print(f"  Space paused, Enter stepped to {player()[0][0]}")
    tries += pressed("Escape", lambda: session.program.poll() is not None, "the end by Esc")
    if session.program.returncode != 0:
        raise Failure(f"Esc ended the program with status {session.program.returncode}")
    print(f"  Esc ended the program ({tries} key presses for 4 keys)")


def ensure_user():
    try:
        pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        USER], check=True)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default=str(ROOT / "build" / "kavelo"))
    # openbox first: a desktop started after the Wayland ones has been seen,
    # now and then, to show no window at all, as if something of theirs
    # lingered on the X side.
    parser.add_argument("names", nargs="*", default=["openbox", "sway", "mutter", "kwin"])
    options = parser.parse_args()
    if os.geteuid() != 0:
        print("check-compositors: run as root; it makes a user for the compositors",
              file=sys.stderr)
        return 2
    subprocess.run([str(ROOT / "scripts" / "setup.sh"), "--packages-only"] + PACKAGES,
                   check=True)
    out = ROOT / "build" / "desktop-checks"
    out.mkdir(parents=True, exist_ok=True)
    sessions = {"sway": Sway, "mutter": Mutter, "kwin": KWin, "openbox": Openbox}
    failed = []
    with tempfile.TemporaryDirectory(prefix="kavelo-compositors-") as folder:
        work = pathlib.Path(folder)
        work.chmod(0o755)
        ensure_user()
        shutil.copy(options.program, work / "kavelo")
        shutil.copy(ROOT / "scripts" / "atspi-probe.py", work / "atspi-probe.py")
        pictures = []
        for index in range(1, 5):
            path = work / f"slide{index}.jpg"
            subprocess.run(["convert", "-size", "800x600", f"xc:rgb({index * 50},90,140)",
                            "-fill", "white", "-pointsize", "200", "-gravity", "center",
                            "-annotate", "+0+0", str(index), str(path)], check=True)
            pictures.append(str(path))
        for name in options.names:
            # A second try on a fresh desktop before a failure counts: the
            # check fails on a program that misbehaves, not on a desktop
            # that came up badly once on a loaded machine.
            for attempt in (1, 2):
                print(f"--- {name}" + (" (second try)" if attempt == 2 else ""))
                session = sessions[name](work, out)
                try:
                    session.start()
                    scenario(session, pictures)
                    break
                except (Failure, subprocess.TimeoutExpired) as fault:
                    print(f"FAIL: {name}: {fault}", file=sys.stderr)
                    session.shot(f"{name}-failure.png")
                    if attempt == 2:
                        failed.append(name)
                finally:
                    session.stop()
    print(f"{len(options.names) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
