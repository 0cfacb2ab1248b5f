#!/usr/bin/env python3
"""Runs a program and relays its output until the program ends.

  output_relay.py PROGRAM [ARG...]

The program's standard output and error go through pipes of this relay, never
the caller's own. When the program exits, the relay takes what it wrote and
ends, so the caller's output closes, even when a process that the program
started lives on holding the relay's pipes: Wine starts its desktop and its
services on demand as children of whichever program needs them first, with
that program's standard error, and a reader waiting for the end of that
stream would wait for as long as they live. Exits with the program's status,
or 128 + N when signal N ended it.

As a module, `relay(argv, out, err, ...)` does the same with any two writers.
"""
import os
import selectors
import signal
import subprocess
import sys


def _drain(fd, write, reads=64):
    """Passes on what the pipe holds now (up to reads reads, so a writer that
    never pauses cannot hold the relay); False once the pipe has ended."""
    for _ in range(reads):
        try:
            data = os.read(fd, 65536)
        except BlockingIOError:
            return True
        if not data:
            return False
        write(data)
    return True


def relay(argv, out, err, started, stdin=None, cwd=None, env=None, new_session=False):
    """Runs argv with its output to out(bytes) and err(bytes); returns its
    exit status as a shell gives it. started(process) is called once it runs."""
    proc = subprocess.Popen(argv, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            cwd=cwd, env=env, start_new_session=new_session)
    started(proc)
    writers = {proc.stdout.fileno(): out, proc.stderr.fileno(): err}
    with selectors.DefaultSelector() as sel:
        for fd in writers:
            os.set_blocking(fd, False)
            sel.register(fd, selectors.EVENT_READ)
        # Until the program has ended: whatever arrives. Then: what the pipes
        # hold, which is all the program wrote, and no wait for their end.
        while sel.get_map() and proc.poll() is None:
            for key, _ in sel.select(timeout=0.2):
                if not _drain(key.fd, writers[key.fd]):
                    sel.unregister(key.fd)
        for fd in list(sel.get_map()):
            _drain(fd, writers[fd])
    proc.wait()
    proc.stdout.close()
    proc.stderr.close()
    return proc.returncode if proc.returncode >= 0 else 128 - proc.returncode


def _writer(stream):
    def write(data):
        stream.write(data)
        stream.flush()
    return write


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    # The relay stands for the program: what would end it, ends the program.
    children = []

    def forward(signum, _frame):
        for proc in children:
            proc.send_signal(signum)
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, forward)
    try:
        status = relay(sys.argv[1:], _writer(sys.stdout.buffer), _writer(sys.stderr.buffer),
                       children.append)
    except OSError as e:
        print(f"output_relay: {sys.argv[1]}: {e.strerror}", file=sys.stderr)
        status = 127
    sys.exit(status)


if __name__ == "__main__":
    main()
