#!/usr/bin/env python3
"""How Wine comes to run: the way tools/wine_session.sh chooses, the output
relay that ends with its program (tools/output_relay.py), and the commands
that tools/wine_vm/vm_exec.py carries, here served on this machine.

  wine_vm_test.py REPORT     writes this test's own JUnit report to REPORT
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
tools = os.path.abspath(os.path.join(here, "..", "..", "tools"))
sys.path.insert(0, os.path.join(here, "..", "support"))
from junit_report import junit_report  # noqa: E402

# name, environment, expected answer of `wine_session.sh how`
HOW = [
    ("a kernel that runs 32-bit programs runs Wine natively", {"TAMSEL_I386_LOADER": "/bin/true"},
     "native"),
    ("one that does not: a virtual machine, emulated without KVM",
     {"TAMSEL_I386_LOADER": "/bin/false", "TAMSEL_KVM_DEVICE": "/nonexistent"}, "vm-tcg"),
    ("a device that is no KVM is no KVM",
     {"TAMSEL_I386_LOADER": "/bin/false", "TAMSEL_KVM_DEVICE": "/dev/null"}, "vm-tcg"),
    ("KVM chosen", {"TAMSEL_I386_LOADER": "/bin/false", "TAMSEL_VM_ACCEL": "kvm"}, "vm-kvm"),
    ("the virtual machine chosen where Wine would run natively",
     {"TAMSEL_I386_LOADER": "/bin/true", "TAMSEL_WINE": "vm", "TAMSEL_KVM_DEVICE": "/dev/null"},
     "vm-tcg"),
]

# name, shell command run through the relay, expected (status, output), and
# the seconds it may take at most
RELAY = [
    ("passes output and status", "echo out; echo err >&2; exit 3", (3, "out\nerr\n"), 5),
    ("ends with its program, not with a child that holds the output",
     "echo before; (sleep 60 &); echo after", (0, "before\nafter\n"), 5),
    ("what the program wrote just before it ended arrives",
     "head -c 300000 /dev/zero | tr '\\0' x; echo", (0, "x" * 300000 + "\n"), 5),
    ("a program ended by a signal gives 128 and its number", "kill -TERM $$", (143, ""), 5),
]


def how(work, env):
    run = subprocess.run([os.path.join(work, "tools", "wine_session.sh"), "how"],
                         env=dict(os.environ, **env), capture_output=True, text=True, timeout=30)
    return run.stdout.strip()


def check_how(work, name, env, want):
    got = how(work, env)
    return None if got == want else f"expected {want}, got {got!r}"


def check_relay(_work, name, command, want, seconds):
    start = time.monotonic()
    run = subprocess.run([sys.executable, os.path.join(tools, "output_relay.py"), "sh", "-c", command],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    took = time.monotonic() - start
    got = (run.returncode, run.stdout.decode())
    if got != want:
        return f"expected {want!r:.200}, got {got!r:.200}"
    return None if took < seconds else f"took {took:.1f} s"


# name, tries of apt-get update that fail before one succeeds, expected
# (status, tries made, pauses slept)
APT_UPDATE = [
    ("a first try that succeeds is the only one", 0, (0, 1, "")),
    ("a mirror caught mid-sync: tried again after a pause that doubles", 2, (0, 3, "15 30 ")),
    ("three failures: a warning, and the install that follows decides", 9, (0, 3, "15 30 ")),
]


def check_apt_update(_work, name, failures, want):
    """apt_update with a stand-in apt-get and sleep, counting both."""
    script = f"""
        . {os.path.join(tools, "apt_update.sh")}
        tries=0 slept=
        fake() {{ tries=$((tries + 1)); [ "$1 $2" = "apt-get update" ] && [ $tries -gt {failures} ]; }}
        sleep() {{ slept="$slept$1 "; }}
        apt_update fake 2>/dev/null
        echo "$? $tries $slept"
    """
    out = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=30).stdout
    status, tries, slept = out.rstrip("\n").split(" ", 2)
    got = (int(status), int(tries), slept)
    return None if got == want else f"expected {want}, got {got}"


class Served:
    """vm_exec.py serving on this machine, as the guest does."""

    def __init__(self, work):
        self.state = os.path.join(work, "state")
        os.makedirs(self.state)
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        for name, text in (("port", str(port)), ("token", "secret")):
            with open(os.path.join(self.state, name), "w") as f:
                f.write(text)
        self.server = subprocess.Popen([sys.executable, self.exec_py(), "serve", str(port),
                                        os.path.join(self.state, "token")])
        subprocess.run([sys.executable, self.exec_py(), "ready", self.state, "20"], check=True)

    @staticmethod
    def exec_py():
        return os.path.join(tools, "wine_vm", "vm_exec.py")

    def run(self, command, cwd, env=None, **kwargs):
        return subprocess.Popen([sys.executable, self.exec_py(), "run", self.state, "--", "sh", "-c",
                                 command], cwd=cwd, env=dict(os.environ, **(env or {})),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)

    def close(self):
        self.server.kill()
        self.server.wait()


# name, command, environment, expected (status, standard output, error)
EXEC = [
    ("output, error and status come back apart", "echo out; echo err >&2; exit 7", {},
     (7, "out\n", "err\n")),
    ("the working folder is the caller's", "pwd", {}, (0, "{cwd}\n", "")),
    ("a test's environment goes, the rest stays",
     'echo "$TAMSEL_MODULE,$WINEDEBUG,${UNRELATED:-unset},${TAMSEL_WINE:-unset}"',
     {"TAMSEL_MODULE": "m.dll", "WINEDEBUG": "-all", "UNRELATED": "x", "TAMSEL_WINE": "vm"},
     (0, "m.dll,-all,unset,unset\n", "")),
    ("a command that is not there", "exec /nonexistent", {}, (127, "", None)),
]


def check_exec(served, work, name, command, env, want):
    run = served.run(command, work, env)
    out, err = run.communicate(timeout=30)
    status, want_out, want_err = want
    got = (run.returncode, out.decode(), err.decode() if want_err is not None else None)
    want = (status, want_out.format(cwd=work), want_err)
    return None if got == want else f"expected {want}, got {got}"


def check_wrong_token(served, work):
    with open(os.path.join(served.state, "token"), "w") as f:
        f.write("guess")
    try:
        run = served.run("echo ran", work)
        out, _ = run.communicate(timeout=30)
    finally:
        with open(os.path.join(served.state, "token"), "w") as f:
            f.write("secret")
    return None if run.returncode == 125 and not out else f"ran: {run.returncode} {out!r}"


def check_caller_gone(served, work):
    """A caller that ends (a time limit) ends its command with what it started."""
    marker = os.path.join(work, "alive")
    run = served.run(f"(sleep 30; touch {marker}) & echo started; wait", work)
    run.stdout.readline()
    run.send_signal(signal.SIGKILL)
    run.wait()
    time.sleep(1)
    left = subprocess.run(["pgrep", "-f", f"touch {marker}"], capture_output=True, text=True)
    return None if not left.stdout else f"still running: {left.stdout}"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    report = junit_report("wine_vm")
    record = report.check
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "tools"))
        for name in ("wine_session.sh", "wine_vm.sh", "apt_update.sh"):
            shutil.copy(os.path.join(tools, name), os.path.join(work, "tools"))
        for case in HOW:
            record("how: " + case[0], check_how(work, *case))
        for case in APT_UPDATE:
            record("apt_update: " + case[0], check_apt_update(work, *case))
        for case in RELAY:
            record("relay: " + case[0], check_relay(work, *case))
        served = Served(work)
        try:
            for case in EXEC:
                record("vm_exec: " + case[0], check_exec(served, work, *case))
            record("vm_exec: a command without the token does not run", check_wrong_token(served, work))
            record("vm_exec: a caller that ends ends its command", check_caller_gone(served, work))
        finally:
            served.close()
    return report.finish(sys.argv[1])


if __name__ == "__main__":
    sys.exit(main())
