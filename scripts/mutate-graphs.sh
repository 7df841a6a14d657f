#!/usr/bin/env bash
# Mutated graph files through `vento run`, under Wine, each under a timeout: every one must either
# run or end with one clear error line, never crash or hang.
#
#   scripts/mutate-graphs.sh [--32] [COUNT] [SEED] [MAX_SECONDS]
#
# (default 1000 graphs, seed 1, no time limit; needs the win64 build; --32, or VENTO_BITS=32, runs
# the 32-bit build in its own prefix instead, in build/mutate32). With MAX_SECONDS no new graph
# is started after that long. VENTO_WINEPREFIX may name a Wine prefix of its own, so that its
# wineserver (stopped at the end) is nobody else's.
#
# The graphs are the examples with random edits: bytes changed, cut or repeated, values and names
# replaced by awkward ones (negative, huge, not numbers, empty, long), elements dropped or doubled.
# Each runs offline for 20 blocks in build/mutate/work, under a timeout of 120 s (a graph whose source
# never sends stops after 10 s of graph time, which takes a while when the machine is busy). A run passes when it exits 0, or exits 1
# with its last stderr line "vento: ..." (warnings and the modules' message boxes may come first).
# Anything else (a crash, a hang, an exit without its line) is kept in build/mutate/failures with
# its output. Prints a summary and exits 1 if any failed.
set -euo pipefail
long_run=mutate source "$(dirname "$0")/long-run.sh"
count="${1:-1000}"
seed="${2:-1}"
max_seconds="${3:-0}"
vento_persistent_wineserver
mkdir -p "$out/work/examples" "$out/failures"
cp examples/picture.bmp "$out/work/examples/"
timeout -k 5 120 "$VENTO_WINE" "$vento_exe" register -q </dev/null

VENTO_WINE="$VENTO_WINE" python3 - "$count" "$seed" "$max_seconds" "$vento_exe" "$out" examples/*.xml <<'EOF'
import os, random, re, subprocess, sys, time

count, seed, max_seconds, exe, out = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), sys.argv[4], sys.argv[5]
seeds = [open(f, "rb").read() for f in sys.argv[6:]]
rng = random.Random(seed)
wine = os.environ["VENTO_WINE"]
awkward = [b"-1", b"0", b"-5", b"1e39", b"-1e39", b"1e-45", b"nan", b"inf", b"", b" ", b"x", b"0x10",
           b"2147483648", b"-2147483649", b"99999", b"1.5", b"a.b", b".", b"..", b"&amp;", b"\xc3\xa9",
           b"A" * 300, b"examples/picture.bmp", b"missing.wav", b"C:\\no\\such\\file.bmp", b"Default"]
names = [b"module", b"connect", b"float", b"string", b"panel", b"control", b"graph", b"int", b"x"]

def mutate(text):
    data = bytearray(text)
    for _ in range(rng.randint(1, 3)):
        kind = rng.randrange(7)
        if kind == 0 and data:  # change bytes
            for _ in range(rng.randint(1, 4)):
                data[rng.randrange(len(data))] = rng.randrange(256)
        elif kind == 1 and data:  # cut a span
            a = rng.randrange(len(data)); data[a:a + rng.randint(1, 40)] = b""
        elif kind == 2 and data:  # repeat a span
            a = rng.randrange(len(data)); b = a + rng.randint(1, 80); data[b:b] = data[a:b]
        else:
            spans = [m.span(1) for m in re.finditer(rb'="([^"]*)"', data)]
            lines = data.split(b"\n")
            if kind == 3 and spans:  # an awkward attribute value
                a, b = rng.choice(spans); data[a:b] = rng.choice(awkward)
            elif kind == 4:  # an element name
                tags = [m.span(1) for m in re.finditer(rb"<([a-z]+)", data)]
                if tags: a, b = rng.choice(tags); data[a:b] = rng.choice(names)
            elif kind == 5 and len(lines) > 2:  # drop a line
                del lines[rng.randrange(1, len(lines) - 1)]; data = bytearray(b"\n".join(lines))
            elif len(lines) > 2:  # double a line
                i = rng.randrange(1, len(lines) - 1); lines.insert(i, lines[i]); data = bytearray(b"\n".join(lines))
    return bytes(data)

ran = errors = failed = 0
work = os.path.join(out, "work")
started = time.time()
done = 0
for n in range(count):
    if max_seconds and time.time() - started > max_seconds:
        break
    done += 1
    text = mutate(rng.choice(seeds))
    graph = os.path.join(work, "g.xml")
    open(graph, "wb").write(text)
    r = subprocess.run(["timeout", "-k", "5", "120", wine, exe, "run", "g.xml", "--offline", "--blocks", "20", "-q"],
                       cwd=work, stdin=subprocess.DEVNULL, capture_output=True)
    code, err = r.returncode, r.stderr.decode("latin-1")
    if code in (124, 137):
        code = "hang"
    lines = [l for l in err.replace("\r", "").split("\n") if l]
    if code == 0:
        ran += 1
    elif code == 1 and lines and lines[-1].startswith("vento: ") and all(l.startswith("vento: ") for l in lines):
        errors += 1
    else:
        failed += 1
        keep = os.path.join(out, "failures", "%05d" % n)
        os.makedirs(keep)
        open(os.path.join(keep, "g.xml"), "wb").write(text)
        open(os.path.join(keep, "result.txt"), "w").write("exit %s\n%s" % (code, err))
        print("FAIL case %d: exit %s: %s" % (n, code, lines[-1] if lines else "(no stderr)"), flush=True)
    if (n + 1) % 100 == 0:
        print("mutate-graphs: %d of %d (%d ran, %d errors, %d failed, %.0f s)" % (n + 1, count, ran, errors, failed, time.time() - started), flush=True)
print("mutate-graphs: %d mutated graphs, seed %d: %d ran, %d gave a one-line error, %d failed (%.0f s)" % (done, seed, ran, errors, failed, time.time() - started))
sys.exit(1 if failed else 0)
EOF
