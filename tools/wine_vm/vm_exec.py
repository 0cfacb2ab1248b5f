#!/usr/bin/env python3
"""Runs commands inside the Wine virtual machine as if they ran here.

  vm_exec.py serve PORT TOKEN_FILE [--cached-tree]
                                      in the guest: takes commands on PORT;
                                      with the tree mounted through the
                                      guest's page cache, keeps it in step
  vm_exec.py run STATE_DIR -- CMD...  on the host: runs CMD in the guest
  vm_exec.py ready STATE_DIR SECONDS  on the host: waits until the guest takes
                                      commands; exits 1 when it does not

The guest mounts the project's tree where the host has it, so a command sees
the same paths there. `run` sends the command with its working folder and the
environment a test sets (TAMSEL_*, QUARLO_*, WINE*, GTEST_*, the locale; the
guest keeps its own PATH, HOME and display), passes on its standard output
and error as they come, and exits with its status. A `run` that ends before
its command (ctest's time limit, Ctrl-C) ends the command and what it
started. STATE_DIR holds what tools/wine_vm.sh start wrote: the forwarded
port and the token that every command must carry.

The exchange on one connection: the host sends a line of JSON {token, argv,
cwd, env}; the guest answers with frames of one byte of kind (1 standard
output, 2 standard error, 3 exit status as a decimal text) and four bytes of
length, big-endian, then the data.
"""
import json
import os
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from output_relay import relay  # noqa: E402

STDOUT, STDERR, STATUS = 1, 2, 3
FORWARDED = ("TAMSEL_", "QUARLO_", "WINE", "GTEST_", "LANG", "LC_", "TZ")
GUEST_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"


def frame(kind, data):
    return struct.pack(">BI", kind, len(data)) + data


def read_exact(sock, n):
    data = b""
    while len(data) < n:
        part = sock.recv(n - len(data))
        if not part:
            raise ConnectionError("the guest closed the connection")
        data += part
    return data


def read_frames(sock):
    """Yields (kind, data) until the connection ends."""
    while True:
        try:
            kind, length = struct.unpack(">BI", read_exact(sock, 5))
        except ConnectionError:
            return
        yield kind, read_exact(sock, length)


def forwarded_env(environ):
    # TAMSEL_WINE stays behind: in the guest, Wine runs natively.
    return {k: v for k, v in environ.items() if k.startswith(FORWARDED) and k != "TAMSEL_WINE"}


class Command(socketserver.StreamRequestHandler):
    """One command of the host, in the guest."""

    def handle(self):
        try:
            request = json.loads(self.rfile.readline())
        except ValueError:
            return
        if request.get("token") != self.server.token:
            return
        env = {"PATH": GUEST_PATH, "HOME": "/root", "LANG": "C.UTF-8"}
        env.update(request["env"])
        lock = threading.Lock()
        sock = self.request

        def send(kind):
            def write(data):
                with lock:
                    try:
                        sock.sendall(frame(kind, data))
                    except OSError:
                        pass  # the host is gone; the watch below ends the command
            return write

        def watch(proc):
            # The host sends nothing after its request: the end of the
            # connection is the host giving up, and ends the command.
            def gone():
                try:
                    while sock.recv(1):
                        pass
                except OSError:
                    pass  # closed here, after the command, or reset by the host
                if proc.poll() is None:
                    os.killpg(proc.pid, signal.SIGKILL)
            threading.Thread(target=gone, daemon=True).start()

        # A tree mounted with the guest's page cache (cache=loose) never asks
        # the host whether a file changed: what the host rebuilt since is read
        # anew once the cached names and files are dropped; and what the
        # command wrote reaches the host before its status does.
        if self.server.cached_tree:
            with open("/proc/sys/vm/drop_caches", "w") as f:
                f.write("2")
        try:
            status = relay(request["argv"], send(STDOUT), send(STDERR), watch,
                           stdin=subprocess.DEVNULL, cwd=request["cwd"], env=env,
                           new_session=True)
        except OSError as e:
            send(STDERR)(f"vm_exec: {request['argv'][0]} in {request['cwd']}: {e.strerror}\n".encode())
            status = 127
        if self.server.cached_tree:
            os.sync()
        send(STATUS)(str(status).encode())


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(port, token_file, cached_tree):
    with open(token_file) as f:
        token = f.read().strip()
    with Server(("0.0.0.0", int(port)), Command) as server:
        server.token = token
        server.cached_tree = cached_tree
        server.serve_forever()


def connect(state):
    with open(os.path.join(state, "port")) as f:
        port = int(f.read())
    with open(os.path.join(state, "token")) as f:
        token = f.read().strip()
    return socket.create_connection(("127.0.0.1", port), timeout=10), token


def run(state, argv):
    sock, token = connect(state)
    sock.settimeout(None)
    request = {"token": token, "argv": argv, "cwd": os.getcwd(), "env": forwarded_env(os.environ)}
    sock.sendall(json.dumps(request).encode() + b"\n")
    outputs = {STDOUT: sys.stdout.buffer, STDERR: sys.stderr.buffer}
    for kind, data in read_frames(sock):
        if kind == STATUS:
            return int(data)
        outputs[kind].write(data)
        outputs[kind].flush()
    print("vm_exec: the guest ended the command without its status (did the guest stop?)",
          file=sys.stderr)
    return 125


def ready(state, seconds):
    deadline = time.monotonic() + float(seconds)
    while True:
        try:
            sock, token = connect(state)
            with sock:
                request = {"token": token, "argv": ["true"], "cwd": "/", "env": {}}
                sock.sendall(json.dumps(request).encode() + b"\n")
                if [int(d) for k, d in read_frames(sock) if k == STATUS] == [0]:
                    return 0
        except (OSError, ValueError):
            pass
        if time.monotonic() >= deadline:
            return 1
        time.sleep(1)


def main():
    args = sys.argv[1:]
    if args[:1] == ["serve"] and len(args) in (3, 4) and args[3:] in ([], ["--cached-tree"]):
        serve(args[1], args[2], args[3:] == ["--cached-tree"])
    elif args[:1] == ["run"] and len(args) >= 4 and args[2] == "--":
        try:
            sys.exit(run(args[1], args[3:]))
        except OSError as e:
            sys.exit(f"vm_exec: cannot reach the Wine virtual machine: {e}")
    elif args[:1] == ["ready"] and len(args) == 3:
        sys.exit(ready(args[1], args[2]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
