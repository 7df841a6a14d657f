#!/usr/bin/env python3
"""vento studio end to end: the built vento.exe started under Wine, spoken to over HTTP as the
browser's editor speaks to it.

The demo graph is built from an empty studio by operations, saved, and compared with what
`vento save examples/demo.xml` writes (modules, settings, panel values, connections; the canvas
places and the graph window's own placement aside); it runs offline while the events stream
statistics; the scope's picture is read back by ImageMagick; the Filter's "High Cut" moved through
its real panel shows in the saved <panel>; undo and redo; and every refusal with its status.

Usage: studio_e2e.py VENTO_EXE EXAMPLES_FOLDER WINE_RUN"""
import http.client
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ET

VENTO, EXAMPLES, WINE_RUN = sys.argv[1:4]
failures = []


def check(what, condition, detail=""):
    print(("ok: " if condition else "FAILED: ") + what + ("" if condition else f" ({detail})"), flush=True)
    if not condition:
        failures.append(what)


def windows(path):
    return "Z:" + os.path.abspath(path)


def vento(*args, cwd):
    return subprocess.run([WINE_RUN, VENTO, *args], cwd=cwd, capture_output=True, text=True, timeout=300)


def described(file):
    """A graph file as modules (type, settings, panel values by control) and connections."""
    root = ET.parse(file).getroot()
    placement = {"Top", "Left", "Width", "Height"}  # a window's own place, which the studio keeps open
    modules = {}
    for m in root.iter("module"):
        settings = {s.get("name"): (float(s.get("value")) if s.tag == "float" else s.get("value"))
                    for s in m if s.tag in ("float", "string") and s.get("name") not in placement}
        panel = {}
        for c in m.iter("control"):
            action = next(a for a in ("position", "select", "click") if c.get(a) is not None)
            panel[c.get("id") or c.get("label")] = (action, int(c.get(action)))
        modules[m.get("name")] = (m.get("type"), settings, panel)
    connections = sorted((c.get("from"), c.get("to")) for c in root.iter("connect"))
    return modules, connections


class Studio:
    def __init__(self, cwd):
        self.process = subprocess.Popen([WINE_RUN, VENTO, "studio", "--port", "0"], cwd=cwd, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, start_new_session=True)
        line = self.process.stdout.readline().strip()
        check("the first line is the studio's address", line.startswith("studio: http://127.0.0.1:") and "/?token=" in line, line)
        address = line.split("http://", 1)[1]
        self.port = int(address.split(":")[1].split("/")[0])
        self.token = address.split("token=", 1)[1]
        # The rest of its output, read as it comes: a Wine helper the studio starts (the desktop
        # process, say) may hold the pipes open after vento has ended, so the end is the process's.
        self.output = {"out": [], "err": []}
        self.readers = [threading.Thread(target=lambda f=f, k=k: self.output[k].extend(f), daemon=True)
                        for f, k in ((self.process.stdout, "out"), (self.process.stderr, "err"))]
        for r in self.readers:
            r.start()

    def call(self, method, path, body=None, headers=None, token=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        h = {"X-Vento-Token": self.token} if token else {}
        h.update(headers or {})
        data = body if isinstance(body, (bytes, str)) or body is None else json.dumps(body)
        connection.request(method, path, body=data, headers=h)
        response = connection.getresponse()
        payload = response.read()
        connection.close()
        if response.getheader("Content-Type", "").startswith("application/json"):
            return response.status, json.loads(payload)
        return response.status, payload

    def graph(self):
        return self.call("GET", "/api/graph")[1]

    def ops(self, *ops, revision=None):
        return self.call("POST", "/api/ops", {"revision": self.graph()["revision"] if revision is None else revision, "ops": list(ops)})

    def close(self):
        os.killpg(self.process.pid, signal.SIGINT)  # Ctrl+C, as a person ends it
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            check("Ctrl+C closes the studio", False, "still running after 30 s: " + "".join(self.output["err"])[-1000:])
            return
        for r in self.readers:
            r.join(timeout=5)
        out, err = "".join(self.output["out"]), "".join(self.output["err"])
        check("Ctrl+C closes the studio", "studio: closed" in out and self.process.returncode == 0,
              f"exit {self.process.returncode}: {out} {err[-500:]}")


class Events(threading.Thread):
    """The event stream, collected as (event, data) pairs."""

    def __init__(self, studio):
        super().__init__(daemon=True)
        self.studio, self.seen = studio, []

    def run(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.studio.port, timeout=120)
        connection.request("GET", "/api/events?token=" + self.studio.token)
        response = connection.getresponse()
        event = None
        for raw in response:
            line = raw.decode().rstrip("\r\n")
            if line.startswith("event: "):
                event = line[7:]
            elif line.startswith("data: ") and event:
                self.seen.append((event, json.loads(line[6:])))

    def wait_for(self, event, condition=lambda data: True, seconds=60):
        end = time.time() + seconds
        while time.time() < end:
            if any(e == event and condition(d) for e, d in self.seen):
                return True
            time.sleep(0.1)
        return False


def main():
    work = tempfile.mkdtemp(prefix="vento_studio_")
    try:
        check("register", vento("register", "-q", cwd=work).returncode == 0)
        reference = os.path.join(work, "reference.xml")
        shutil.copy(os.path.join(EXAMPLES, "demo.xml"), reference)
        check("vento save of the demo", vento("save", "reference.xml", cwd=work).returncode == 0)
        studio = Studio(work)
        events = Events(studio)
        events.start()

        status, catalogue = studio.call("GET", "/api/catalogue")
        types = {m["type"]: m for m in catalogue["modules"]}
        check("the catalogue holds every module", status == 200 and len(types) == 17, sorted(types))
        cut = next((c for c in types["Filter"]["controls"] if c["id"] == 5003), {})
        check("a control has its kind, label, range and place", cut.get("kind") == "trackbar" and cut.get("label") == "High Cut"
              and "low" in cut and cut["rect"]["right"] > cut["rect"]["left"], cut)

        # The demo, from an empty studio, in one all-or-nothing request.
        status, built = studio.ops(
            {"op": "add", "type": "SignalW", "name": "tone", "x": 0, "y": 0},
            {"op": "add", "type": "FFT", "name": "fft", "x": 200, "y": 0},
            {"op": "add", "type": "Filter", "name": "band", "x": 400, "y": 0},
            {"op": "add", "type": "iFFT", "name": "ifft", "x": 600, "y": 0},
            {"op": "add", "type": "GraphWindow", "name": "scope", "x": 800, "y": 0},
            {"op": "add", "type": "WAV", "name": "file", "x": 1000, "y": 0},
            {"op": "set", "module": "tone", "name": "Amp", "value": 0.8},
            {"op": "set", "module": "tone", "name": "Shape", "value": 4},
            {"op": "set", "module": "file", "name": "FileName", "value": "filtered.wav"},
            {"op": "control", "module": "band", "label": "High Cut", "value": 30},
            {"op": "control", "module": "band", "id": 5001, "value": 10},
            {"op": "control", "module": "band", "label": "Ramp", "value": 2},
            {"op": "control", "module": "file", "id": 208, "value": 1},
            {"op": "connect", "from": "tone.Default", "to": "fft.Default"},
            {"op": "connect", "from": "fft.Default", "to": "band.Default"},
            {"op": "connect", "from": "band.Default", "to": "ifft.Default"},
            {"op": "connect", "from": "ifft.Default", "to": "scope.Default"},
            {"op": "connect", "from": "scope.Default", "to": "file.Input"})
        check("the operations build the demo", status == 200 and len(built.get("modules", [])) == 6, built)
        check("a new revision is told as an event", events.wait_for("graph", lambda d: d["revision"] == built.get("revision")))
        check("the graph tells which modules show a window", [m["name"] for m in built.get("modules", []) if "window" in m] == ["scope"], built)
        status, _ = studio.call("POST", "/api/save", {"file": windows(os.path.join(work, "built.xml"))})
        check("save", status == 200)
        check("the saved demo is what vento save writes", described(os.path.join(work, "built.xml")) == described(reference),
              f"{described(os.path.join(work, 'built.xml'))} != {described(reference)}")

        # Undo and redo, as one history for every client.
        revision = studio.graph()["revision"]
        studio.ops({"op": "move", "name": "fft", "x": 250, "y": 50})
        status, undone = studio.call("POST", "/api/undo")
        fft = next(m for m in undone["modules"] if m["name"] == "fft")
        check("undo takes the move back", status == 200 and (fft["x"], fft["y"]) == (200, 0) and undone["revision"] == revision + 2, fft)
        status, redone = studio.call("POST", "/api/redo")
        fft = next(m for m in redone["modules"] if m["name"] == "fft")
        check("redo makes it again", status == 200 and (fft["x"], fft["y"]) == (250, 50), fft)

        # A run offline, watched through the events.
        status, _ = studio.call("POST", "/api/run", {"mode": "offline", "blocks": 300})
        check("run offline", status == 200)
        check("the run ends by its blocks", events.wait_for("run", lambda d: d.get("state") == "stopped" and "300" in d.get("reason", "")))
        check("statistics come while it runs", events.wait_for("stats", lambda d: any(m["name"] == "tone" and m["blocks"] > 0 for m in d["modules"])))
        check("the scope's window has new pictures", events.wait_for("window", lambda d: d["instance"] == "scope"))
        status, png = studio.call("GET", "/api/windows/scope.png")
        picture = os.path.join(work, "scope.png")
        with open(picture, "wb") as f:
            f.write(png if isinstance(png, bytes) else b"")
        identified = subprocess.run(["identify", "-format", "%m %w %h", picture], capture_output=True, text=True)
        check("ImageMagick reads the scope's picture", status == 200 and identified.stdout.startswith("PNG "), identified.stdout + identified.stderr)

        # The Filter's real panel: High Cut moved, and the saved <panel> says so.
        status, panel = studio.call("POST", "/api/panel/band", {"id": 5003, "value": 45})
        high = next((c for c in panel.get("controls", []) if c["id"] == 5003), {})
        check("the panel answers its state after the change", status == 200 and high.get("position") == 45, panel)
        studio.call("POST", "/api/save", {})
        saved = ET.parse(os.path.join(work, "built.xml")).getroot()
        positions = {c.get("id") or c.get("label"): c.get("position") for c in saved.iter("control")}
        check("the saved panel holds the new High Cut", positions.get("5003") == "45" or positions.get("High Cut") == "45", positions)

        # Refusals, each with its status and one line.
        current = studio.graph()["revision"]
        refusals = [
            ("no token", studio.call("GET", "/api/graph", token=False), 403),
            ("another Host", studio.call("GET", "/api/graph", headers={"Host": f"example.com:{studio.port}"}), 403),
            ("a POST from another site", studio.call("POST", "/api/undo", headers={"Origin": "http://example.com"}), 403),
            ("a body over 1 MiB", studio.call("POST", "/api/ops", b"x" * (1024 * 1024 + 1)), 413),
            ("malformed JSON", studio.call("POST", "/api/ops", "{\"revision\": "), 400),
            ("a field of the wrong type", studio.call("POST", "/api/ops", {"revision": "one", "ops": []}), 400),
            ("a revision that is not the current one", studio.ops({"op": "move", "name": "fft", "x": 0, "y": 0}, revision=current - 1), 409),
            ("an unknown type", studio.ops({"op": "add", "type": "NoSuchModule"}), 422),
            ("an unknown pin", studio.ops({"op": "connect", "from": "tone.Nowhere", "to": "fft.Default"}), 422),
            ("a second source on a single input", studio.ops({"op": "connect", "from": "tone.Default", "to": "ifft.Default"}), 422),
            ("an unknown call", studio.call("GET", "/api/nothing"), 404),
        ]
        studio.call("POST", "/api/run", {"mode": "realtime", "seconds": 60})
        refusals.append(("wiring while running", studio.ops({"op": "disconnect", "from": "tone.Default", "to": "fft.Default"}), 422))
        refusals.append(("a second run", studio.call("POST", "/api/run", {"mode": "offline"}), 409))
        studio.call("POST", "/api/stop")
        for what, (status, body), expected in refusals:
            line = body.get("error", "") if isinstance(body, dict) else ""
            check(f"{what}: {expected}", status == expected and line and "\n" not in line, f"{status} {body}")
        check("no refusal changed the graph", studio.graph()["revision"] == current, studio.graph()["revision"])
        check("every call refused the same one-line way", all(isinstance(b, dict) for _, (s, b), _ in refusals))
        studio.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
