"""Running a test peer as a subprocess of this interpreter that signals readiness with a file
"ready" in its directory, and ending it: shared by the peers written in the project."""

import os
import signal
import subprocess
import sys
import time

PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def start_peer(program, directory, seconds=10.0):
    """Runs `python3 program directory`, its stderr in directory/stderr; the process once
    directory/ready exists, or None when it ended first or did not get there in time."""
    with open(os.path.join(directory, "stderr"), "wb") as err:
        proc = subprocess.Popen([PYTHON, os.path.abspath(program), directory],
                                stdout=subprocess.DEVNULL, stderr=err)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(os.path.join(directory, "ready")):
            return proc
        if proc.poll() is not None:
            break
        time.sleep(0.02)
    stop_peer(proc)
    return None


def stop_peer(proc):
    """SIGTERM, then SIGKILL after 5 s; this process only, by its own handle."""
    if proc and proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
