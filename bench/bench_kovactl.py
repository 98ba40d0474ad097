#!/usr/bin/env python3
"""kovactl for test rigs: how long one command takes from start to exit, and how close a
session of pipelined getters comes to the wire time of its frames.

start:   `kovactl --simulate status rssi`, start to exit, over --runs runs (goal: median at
         most 150 ms).
session: `kovactl --port DEV session` against `kova-module-sim --paced` (115,200-baud wire
         time), --getters status and gpio getters written at once, from the first request
         written until the last answer read; `least_s` is the wire time of the bytes the module
         wrote for them (ACKs and replies, as the simulator prints them), which is more than
         the tool writes, since each reply is at least as long as its request and the ACKs
         are the same (goal: ratio at most 1.1).
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import threading
import time

LINE_BYTES_PER_S = 11520  # 115200 baud, 8N1
GETTERS = [["status", "rssi"], ["status", "imei"], ["status", "sim"], ["status", "vin"],
           ["status", "registration"], ["gpio", "get", "5"]]


def start_to_exit(kovactl, runs):
    times = []
    for _ in range(runs):
        began = time.perf_counter()
        done = subprocess.run([kovactl, "--simulate", "status", "rssi"], capture_output=True,
                              check=False)
        times.append(time.perf_counter() - began)
        if done.returncode != 0:
            sys.exit("kovactl failed: %s" % done.stderr.decode())
    return times


class ModuleBytes:
    """The wire bytes of every frame the simulator writes, from its --verbose lines."""

    def __init__(self, stream):
        self.lock = threading.Lock()
        self.bytes = 0
        self.device = stream.readline().decode().strip()
        threading.Thread(target=self.read, args=(stream,), daemon=True).start()

    def read(self, stream):
        for line in stream:
            text = line.decode()
            if text.startswith("-> "):
                wire = text.rsplit(":", 1)[1].split()
                with self.lock:
                    self.bytes += len(wire)

    def count(self):
        with self.lock:
            return self.bytes


def settled_count(counter):
    """The byte count once the simulator's lines stopped coming."""
    last = -1
    while counter.count() != last:
        last = counter.count()
        time.sleep(0.3)
    return last


def session(kovactl, sim, getters):
    module = subprocess.Popen([sim, "--paced", "--verbose"], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE)
    counter = ModuleBytes(module.stdout)
    ctl = subprocess.Popen([kovactl, "--port", counter.device, "session"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        ctl.stdin.write(b'{"id": "warm-up", "args": ["status", "rssi"]}\n')
        ctl.stdin.flush()
        ctl.stdout.readline()
        before = settled_count(counter)
        requests = "".join(json.dumps({"id": n, "args": GETTERS[n % len(GETTERS)]}) + "\n"
                           for n in range(getters)).encode()
        # More than the session takes in flight: the rest waits in the pipe, so write aside.
        writer = threading.Thread(target=lambda: (ctl.stdin.write(requests), ctl.stdin.flush()))
        began = time.perf_counter()
        writer.start()
        failed = 0
        for _ in range(getters):
            answer = json.loads(ctl.stdout.readline())
            failed += answer["code"] != 0
        took = time.perf_counter() - began
        writer.join()
        module_bytes = settled_count(counter) - before
    finally:
        ctl.kill()
        module.kill()
        ctl.wait()
        module.wait()
    return took, module_bytes, failed


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build-bench", help="the build folder")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--getters", type=int, default=1000)
    args = parser.parse_args()
    kovactl = os.path.join(args.build, "kovactl", "kovactl")
    sim = os.path.join(args.build, "sim", "kova-module-sim")

    times = start_to_exit(kovactl, args.runs)
    print("start: median %.1f ms, least %.1f ms, most %.1f ms over %d runs" %
          (statistics.median(times) * 1000, min(times) * 1000, max(times) * 1000, len(times)))

    took, module_bytes, failed = session(kovactl, sim, args.getters)
    least = module_bytes / LINE_BYTES_PER_S
    print("session: %d getters in %.3f s, module_bytes %d, least_s %.3f, ratio %.3f, failed %d" %
          (args.getters, took, module_bytes, least, took / least, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
