#!/usr/bin/env python3
"""The studio measured from a client, as the browser's editor uses it.

1. An edit's round trip: 500 `move` operations, one request each, timed from request to answer.
2. The demo in real time for SECONDS with its scope window, while a client fetches the scope's
   picture each time the window has a new one: pictures a second, and the tone's lateness (the
   studio's last `stats` event) against `vento run --windows --stats` of the same graph without a
   studio.

Usage: studio_bench.py [SECONDS]   (from the repository; builds nothing: run ./vento once first)"""
import http.client
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VENTO = os.path.join(ROOT, "build", "win64", "bin", "vento.exe")
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0


def call(port, token, method, path, body=None, connection=None):
    """One request; on `connection` when given (kept open, as a browser keeps its connections)."""
    c = connection or http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    c.request(method, path, body=None if body is None else json.dumps(body), headers={"X-Vento-Token": token})
    r = c.getresponse()
    data = r.read()
    if not connection:
        c.close()
    return r.status, data


def main():
    work = tempfile.mkdtemp(prefix="vento_studio_bench_")
    shutil.copy(os.path.join(ROOT, "examples", "demo.xml"), work)
    subprocess.run([WINE_RUN, VENTO, "register", "-q"], cwd=work, check=True)
    studio = subprocess.Popen([WINE_RUN, VENTO, "studio", "demo.xml", "--port", "0"], cwd=work, stdout=subprocess.PIPE,
                              text=True, start_new_session=True)
    address = studio.stdout.readline().strip().split("http://", 1)[1]
    port, token = int(address.split(":")[1].split("/")[0]), address.split("token=", 1)[1]

    revision = json.loads(call(port, token, "GET", "/api/graph")[1])["revision"]
    times = []
    kept = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    for i in range(500):
        start = time.perf_counter()
        status, data = call(port, token, "POST", "/api/ops", {"revision": revision, "ops": [{"op": "move", "name": "fft", "x": i, "y": 0}]}, kept)
        times.append((time.perf_counter() - start) * 1000)
        revision = json.loads(data)["revision"]
    times.sort()
    print(f"edit round trip (move), 500 requests: median {statistics.median(times):.2f} ms, "
          f"p99 {times[int(len(times) * 0.99) - 1]:.2f} ms, max {times[-1]:.2f} ms")

    # The demo in real time, a client pulling the scope's pictures as they come.
    pictures, stats, done = set(), [], threading.Event()

    def listen():
        pictureConnection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=SECONDS + 60)
        c.request("GET", "/api/events?token=" + token)
        event = None
        for raw in c.getresponse():
            line = raw.decode().rstrip("\r\n")
            if line.startswith("event: "):
                event = line[7:]
            elif line.startswith("data: "):
                data = json.loads(line[6:])
                if event == "window" and data["instance"] == "scope":
                    if call(port, token, "GET", "/api/windows/scope.png", connection=pictureConnection)[0] == 200:
                        pictures.add(data["generation"])
                elif event == "stats":
                    stats.append(data)
                elif event == "run" and data.get("state") == "stopped":
                    done.set()
                    return

    threading.Thread(target=listen, daemon=True).start()
    time.sleep(0.5)
    call(port, token, "POST", "/api/run", {"mode": "realtime", "seconds": SECONDS})
    done.wait(SECONDS + 60)
    tone = next((m for m in (stats[-1]["modules"] if stats else []) if m["name"] == "tone"), {})
    late = tone.get("lateness", {})
    print(f"studio, demo in real time for {SECONDS:g} s with the scope's pictures pulled: {len(pictures) / SECONDS:.1f} pictures/s; "
          f"tone's blocks late: mean {late.get('meanMs', 0):.3f} ms, p99 {late.get('p99Ms', 0):.3f} ms, "
          f"within 1 ms {100 * late.get('withinOneMs', 0):.1f}%")
    os.killpg(studio.pid, signal.SIGINT)
    studio.wait(30)

    plain = subprocess.run([WINE_RUN, VENTO, "run", "demo.xml", "--seconds", str(SECONDS), "--windows", "--stats", "-q"], cwd=work,
                           capture_output=True, text=True)
    row = next((l for l in plain.stdout.splitlines() if l.strip().startswith("tone ")), "")
    figures = re.findall(r"[0-9.]+%?", row.split("|", 1)[1]) if "|" in row else []
    print(f"vento run without the studio, the same {SECONDS:g} s: tone's blocks late: mean {figures[0] if figures else '?'} ms, "
          f"p99 {figures[1] if len(figures) > 1 else '?'} ms, within 1 ms {figures[3] if len(figures) > 3 else '?'}")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
