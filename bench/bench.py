#!/usr/bin/python3
"""Runs the watermark jobs with our command and with its peers, side by side on the same files,
checks every output, and prints and writes the tables. bench/run.sh prepares everything and
calls this; see there for the one command.

Timing: every tool's run is timed from outside (wall clock around the whole run, including
process start-up) and measured for peak resident memory by GNU time (%M; for tools that run
once per file, the largest of those runs). Repeats are interleaved (repeat 1 of every tool,
then repeat 2, ...) so that load from other work on the machine spreads over all tools; the
tables give the best wall time of the repeats (with the median beside it), the CPU time (user +
system, which load from others disturbs far less) and the largest peak memory seen.
"""
import argparse
import datetime
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time

from PIL import Image, PngImagePlugin

# Outputs are checked, not trusted: lift Pillow's guards against huge text chunks (ImageMagick
# copies a 7 MB XMP block into one) so that a valid PNG is not taken for a failure.
PngImagePlugin.MAX_TEXT_CHUNK = 1 << 30
PngImagePlugin.MAX_TEXT_MEMORY = 1 << 30
Image.MAX_IMAGE_PIXELS = None

TEXT = "水印 Zandolex 2026"
FONT_FILE = "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc"
FONT_INDEX_SC = 2  # Noto Serif CJK SC inside the collection
IM_FONT = "Noto-Serif-CJK-SC"  # ImageMagick's name for that face (convert -list font)
PANGO_FONT = "Noto Serif CJK SC 100"  # with --dpi 72 a point is a pixel
SIZE = 100
MARK_SCALE = 30
KEEP_MARKER = "<!-- Everything below this line is kept when bench/run.sh rewrites this file. -->"

# Thread limits of the peers, used only for the one-thread-in-all table.
ONE_THREAD_ENV = {"MAGICK_THREAD_LIMIT": "1", "OMP_NUM_THREADS": "1", "VIPS_CONCURRENCY": "1"}


def log(msg):
    print(msg, file=sys.stderr, flush=True)


class Tool:
    """One way of doing a job. `kind` is 'batch' (one process for all files) or 'per-file'."""

    def __init__(self, name, is_peer, at_defaults=True, is_floor=False, ours=False):
        self.name = name
        self.is_peer = is_peer
        self.at_defaults = at_defaults
        self.is_floor = is_floor
        self.ours = ours


def out_name(tool_key, src):
    base = os.path.splitext(os.path.basename(src))[0]
    return base + (".jpg" if tool_key.startswith("ours") else ".png")


def commands(cfg, key, job, files, out_dir, scratch, one_thread):
    """(setup commands, main commands) for one run; every command is an argv list."""
    cli = os.path.join(cfg.bin_dir, "zandolex-cli")
    outs = [os.path.join(out_dir, out_name(key, f)) for f in files]
    setup, main = [], []
    if key in ("ours-j1", "ours-j2"):
        jobs = "1" if key == "ours-j1" else "2"
        what = ["--text", TEXT] if job == "a" else ["--image", cfg.mark]
        main.append([cli, *what, "--output-dir", out_dir, "--jobs", jobs, *files])
    elif key == "floor":
        main.append([os.path.join(cfg.bin_dir, "zx-bench-decode"), *files])
    elif key == "imagemagick":
        for f, o in zip(files, outs):
            if job == "a":
                main.append([cfg.im, f, "-font", IM_FONT, "-pointsize", str(SIZE), "-fill", "black",
                             "-gravity", "NorthWest", "-annotate", "+100+100", TEXT, "PNG32:" + o])
            else:
                main.append([cfg.im, f, "(", cfg.mark, "-resize", "120x60", ")", "-geometry",
                             "+100+100", "-composite", "PNG32:" + o])
    elif key == "graphicsmagick":
        for f, o in zip(files, outs):
            if job == "a":
                main.append(["gm", "convert", f, "-font", FONT_FILE, "-pointsize", str(SIZE), "-fill",
                             "black", "-gravity", "NorthWest", "-draw", f"text 100,100 '{TEXT}'",
                             "PNG32:" + o])
            else:
                main.append(["gm", "composite", "-geometry", "120x60+100+100", cfg.mark, f,
                             "PNG32:" + o])
    elif key == "vips":
        # The overlay does not depend on the picture: made once per run (and timed once), which
        # favours libvips over tools that draw per picture.
        if job == "a":
            mask, ov1, ov = (os.path.join(scratch, n) for n in ("mask.v", "ov1.v", "ov.v"))
            setup.append(["vips", "text", mask, TEXT, "--font", PANGO_FONT, "--dpi", "72"])
            setup.append(["vips", "linear", mask, ov1, "0 0 0 1", "0 0 0 0", "--uchar"])
            setup.append(["vips", "copy", ov1, ov, "--interpretation", "srgb"])
        else:
            ov = os.path.join(scratch, "mark30.v")
            setup.append(["vips", "resize", cfg.mark, ov, str(MARK_SCALE / 100)])
        for f, o in zip(files, outs):
            main.append(["vips", "composite2", f, ov, o, "over", "--x", "100", "--y", "100"])
    elif key in ("pillow", "pillow-1"):
        cmd = [cfg.python, os.path.join(cfg.bench_dir, "pillow_job.py")]
        if job == "a":
            cmd += ["--text", TEXT, "--font", FONT_FILE, "--font-index", str(FONT_INDEX_SC),
                    "--size", str(SIZE)]
        else:
            cmd += ["--image", cfg.mark, "--scale", str(MARK_SCALE)]
        if key == "pillow-1":
            cmd += ["--compress-level", "1"]
        main.append(cmd + ["--output-dir", out_dir, *files])
    elif key == "qt":
        what = ["--text", TEXT, "--font", "Noto Serif CJK SC", "--size", str(SIZE)] if job == "a" \
            else ["--image", cfg.mark, "--scale", str(MARK_SCALE)]
        main.append([os.path.join(cfg.bin_dir, "zx-bench-qt"), *what, "--output-dir", out_dir,
                     *files])
    else:
        raise ValueError(key)
    if one_thread:
        setup = [["taskset", "-c", "0", *c] for c in setup]
        main = [["taskset", "-c", "0", *c] for c in main]
    return setup, main, outs


TOOLS = {
    "ours-j1": Tool("ours --jobs 1", is_peer=False, ours=True),
    "ours-j2": Tool("ours --jobs 2", is_peer=False, ours=True),
    "imagemagick": Tool("ImageMagick convert", is_peer=True),
    "graphicsmagick": Tool("GraphicsMagick gm", is_peer=True),
    "vips": Tool("libvips CLI", is_peer=True),
    "pillow": Tool("Pillow (default level)", is_peer=True),
    "pillow-1": Tool("Pillow (compress_level=1)", is_peer=True, at_defaults=False),
    "qt": Tool("Qt QImageWriter", is_peer=True),
    "floor": Tool("decode floor (ours)", is_peer=False, is_floor=True),
}


def run_timed(argv, env, time_file, timeout):
    """Runs argv under GNU time; returns (ok, peak_kib, cpu_s, stderr tail, stdout). A run
    that outlives `timeout` seconds is killed with its whole process group and fails."""
    full = ["/usr/bin/time", "-f", "zxtime %M %U %S", "-o", time_file, *argv]
    p = subprocess.Popen(full, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         start_new_session=True)
    try:
        stdout, stderr = p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return False, 0, 0.0, f"killed after {timeout} s (hung or far too slow)", ""
    peak, cpu = 0, 0.0
    try:
        with open(time_file) as fh:
            for ln in fh:
                if ln.startswith("zxtime "):
                    _, m, u, s = ln.split()
                    peak, cpu = int(m), float(u) + float(s)
    except (OSError, ValueError):
        pass
    err = stderr.decode("utf-8", "replace").strip().splitlines()
    # A crash under GNU time shows as "Command terminated by signal N" on its output file.
    return (p.returncode == 0, peak, cpu, (err[-1] if err else f"status {p.returncode}"),
            stdout.decode("utf-8", "replace"))


def upright_size(path):
    with Image.open(path) as im:
        w, h = im.size
        try:
            orientation = im.getexif().get(0x0112, 1)
        except Exception:
            orientation = 1
    return (h, w) if orientation in (5, 6, 7, 8) else (w, h)


def verify_outputs(outs, expected):
    """Every output decodes fully to the source's size; returns (ok, message, bytes, modes)."""
    total, modes = 0, set()
    for o, (w, h) in zip(outs, expected):
        if not os.path.exists(o):
            return False, f"no output {os.path.basename(o)}", 0, modes
        try:
            with Image.open(o) as im:
                im.load()
                if im.format != "PNG":
                    return False, f"{os.path.basename(o)} is {im.format}, not PNG", 0, modes
                if im.size != (w, h):
                    return False, f"{os.path.basename(o)} is {im.size}, source {(w, h)}", 0, modes
                modes.add(im.mode)
        except Exception as e:
            return False, f"{os.path.basename(o)} does not decode: {e}", 0, modes
        total += os.path.getsize(o)
    return True, "", total, modes


def verify_floor(stdout, files, expected):
    seen = {}
    for line in stdout.splitlines():
        parts = line.split("\t")
        if len(parts) == 4 and parts[0] != "total":
            seen[parts[0]] = (int(parts[1]), int(parts[2]))
    for f, wh in zip(files, expected):
        if seen.get(f) != wh:
            return False, f"{os.path.basename(f)} decoded to {seen.get(f)}, expected {wh}"
    return True, ""


def run_tool(cfg, key, job, files, expected, one_thread, label):
    out_dir = os.path.join(cfg.work, "out", label, key)
    scratch = os.path.join(cfg.work, "scratch", label, key)
    for d in (out_dir, scratch):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    env = {k: v for k, v in os.environ.items() if k not in ONE_THREAD_ENV}
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    env.setdefault("XDG_RUNTIME_DIR", cfg.runtime_dir)
    if one_thread:
        env.update(ONE_THREAD_ENV)
    setup, main, outs = commands(cfg, key, job, files, out_dir, scratch, one_thread)
    time_file = os.path.join(scratch, "time.txt")
    peak, cpu_total, stdout_all = 0, 0.0, ""
    load = os.getloadavg()[0]
    start = time.perf_counter()
    for argv in setup + main:
        n_files = sum(1 for a in argv if a in files)
        ok, kib, cpu, err, out = run_timed(argv, env, time_file, 30 + 8 * n_files)
        peak = max(peak, kib)
        cpu_total += cpu
        stdout_all += out
        if not ok:
            return {"ok": False, "why": err[:120] if err.startswith("killed") else
                    f"exit status not 0: {err[:120]}"}
    wall = time.perf_counter() - start
    if key == "floor":
        ok, why = verify_floor(stdout_all, files, expected)
        total_bytes, modes = 0, set()
    else:
        ok, why, total_bytes, modes = verify_outputs(outs, expected)
    shutil.rmtree(out_dir, ignore_errors=True)
    shutil.rmtree(scratch, ignore_errors=True)
    if not ok:
        return {"ok": False, "why": why}
    return {"ok": True, "wall": wall, "cpu": cpu_total, "load": load, "peak_kib": peak,
            "bytes": total_bytes, "modes": ",".join(sorted(modes))}


def summarise(samples):
    """Best wall and CPU time, largest peak, bytes of a list of run results; a failure when any
    run failed. The best is taken because the noise on a shared machine only ever adds time."""
    bad = [s for s in samples if not s["ok"]]
    if bad or not samples:
        return {"ok": False, "why": bad[0]["why"] if bad else "not run"}
    return {"ok": True, "wall": min(s["wall"] for s in samples),
            "median": statistics.median(s["wall"] for s in samples),
            "cpu": min(s["cpu"] for s in samples),
            "walls": [s["wall"] for s in samples], "loads": [s["load"] for s in samples],
            "peak_kib": max(s["peak_kib"] for s in samples),
            "bytes": max(s["bytes"] for s in samples), "modes": samples[0]["modes"]}


def fmt_table(title, rows, megapixels, ref_key, note):
    lines = [f"### {title}", "", note, "",
             "| tool | wall s (best) | median | s / MP | CPU s | output MB | peak RSS MiB | time × ours "
             "| bytes × ours | runs (s) |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
    ref = rows.get(ref_key)
    for key, r in rows.items():
        name = TOOLS[key].name
        if not r["ok"]:
            lines.append(f"| {name} | failed: {r['why']} | | | | | | | | |")
            continue
        t_ratio = b_ratio = ""
        if ref and ref["ok"]:
            t_ratio = f"{r['wall'] / ref['wall']:.2f}"
            if r["bytes"] and ref["bytes"]:
                b_ratio = f"{r['bytes'] / ref['bytes']:.3f}"
        size = f"{r['bytes'] / 1e6:.2f}" if r["bytes"] else "—"
        runs = " ".join(f"{w:.2f}" for w in r["walls"])
        lines.append(f"| {name} | {r['wall']:.2f} | {r['median']:.2f} | "
                     f"{r['wall'] / megapixels:.4f} | {r['cpu']:.2f} | {size} | "
                     f"{r['peak_kib'] / 1024:.0f} | {t_ratio} | {b_ratio} | {runs} |")
    return "\n".join(lines) + "\n"


def machine_description():
    def cmd(argv):
        try:
            return subprocess.run(argv, stdout=subprocess.PIPE, text=True).stdout
        except OSError:
            return ""
    model = next((ln.split(":", 1)[1].strip() for ln in cmd(["lscpu"]).splitlines()
                  if ln.startswith("Model name")), "?")
    hyper = next((ln.split(":", 1)[1].strip() for ln in cmd(["lscpu"]).splitlines()
                  if ln.startswith("Hypervisor vendor")), "")
    mem = next((ln.split()[1] for ln in cmd(["free", "-m"]).splitlines()
                if ln.startswith("Mem:")), "?")
    os_name = "?"
    try:
        with open("/etc/os-release") as fh:
            for ln in fh:
                if ln.startswith("PRETTY_NAME="):
                    os_name = ln.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    cores = cmd(["nproc"]).strip()
    return (f"{model}{' (' + hyper + ' guest)' if hyper else ''}, {cores} cores (nproc), "
            f"{mem} MiB RAM (free -m), {os_name}")


def tool_versions(cfg):
    def first(argv):
        try:
            out = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                 text=True).stdout
            return out.strip().splitlines()[0] if out.strip() else "?"
        except OSError:
            return "missing"
    import PIL
    return [f"ImageMagick: {first([cfg.im, '-version'])}",
            f"GraphicsMagick: {first(['gm', 'version'])}",
            f"libvips: {first(['vips', '--version'])}",
            f"Pillow: {PIL.__version__} (python {sys.version.split()[0]})",
            f"Qt: {first(['qtpaths6', '--qt-version'])}"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--bench-dir", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--mark", required=True)
    ap.add_argument("--big", required=True, help="the 20-megapixel photo")
    ap.add_argument("--corpus", nargs="+", required=True)
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--one-thread-repeats", type=int, default=3,
                    help="repeats of ours and the floor in the one-thread table")
    ap.add_argument("--peer-one-thread-repeats", type=int, default=1)
    ap.add_argument("--results", required=True)
    ap.add_argument("--command", default="bash bench/run.sh")
    ap.add_argument("--profile", default="", help="a file with the profile summary to include")
    ap.add_argument("--corpus-note", default="")
    ap.add_argument("--build-note", default="")
    ap.add_argument("--samples", help="where every run's result is kept as it comes (JSON)")
    ap.add_argument("--report-only", action="store_true",
                    help="write the report from --samples without running anything")
    cfg = ap.parse_args()
    cfg.im = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"
    cfg.python = sys.executable
    cfg.runtime_dir = os.path.join(cfg.work, "runtime")
    os.makedirs(cfg.runtime_dir, mode=0o700, exist_ok=True)

    files = cfg.corpus
    expected = [upright_size(f) for f in files]
    megapixels = sum(w * h for w, h in expected) / 1e6
    big_expected = [upright_size(cfg.big)]
    big_mp = big_expected[0][0] * big_expected[0][1] / 1e6
    started = datetime.datetime.now(datetime.timezone.utc)
    log(f"corpus: {len(files)} files, {megapixels:.1f} MP; 20-MP photo {big_expected[0]}")

    default_keys = ["ours-j1", "ours-j2", "imagemagick", "graphicsmagick", "vips", "pillow",
                    "pillow-1", "qt", "floor"]
    one_thread_keys = ["ours-j1", "imagemagick", "graphicsmagick", "vips", "pillow", "pillow-1",
                       "qt", "floor"]
    big_keys = ["ours-j1", "imagemagick", "graphicsmagick", "vips", "pillow", "pillow-1", "qt",
                "floor"]
    jobs = ["a", "b"]
    samples = {}  # (table, job, key) -> [result]
    if cfg.report_only:
        with open(cfg.samples) as fh:
            saved = json.load(fh)
        started = datetime.datetime.fromisoformat(saved["started"])
        samples = {tuple(k.split("|")): v for k, v in saved["samples"].items()}

    def record(table, job, key, fl, exp, one_thread):
        label = f"{table}-{job}"
        r = run_tool(cfg, key, job, fl, exp, one_thread, label)
        samples.setdefault((table, job, key), []).append(r)
        if cfg.samples:  # kept as they come, so a late failure loses no measurement
            with open(cfg.samples, "w") as fh:
                json.dump({"started": started.isoformat(),
                           "samples": {"|".join(k): v for k, v in samples.items()}}, fh)
        status = f"{r['wall']:.2f} s, {r['peak_kib'] / 1024:.0f} MB" if r["ok"] else \
            f"FAILED: {r['why']}"
        log(f"  [{table} job {job}] {TOOLS[key].name}: {status}")

    for rep in range(0 if cfg.report_only else cfg.repeats):
        log(f"repeat {rep + 1} of {cfg.repeats}: defaults, the 20-MP photo")
        for job in jobs:
            for key in default_keys:
                if key == "floor" and job == "b":
                    continue  # the floor does not depend on the job
                record("default", job, key, files, expected, False)
            for key in big_keys:
                if key == "floor" and job == "b":
                    continue
                record("big", job, key, [cfg.big], big_expected, False)
    one_thread_rounds = max(cfg.one_thread_repeats, cfg.peer_one_thread_repeats)
    for rep in range(0 if cfg.report_only else one_thread_rounds):
        log(f"repeat {rep + 1}: one thread in all")
        for job in jobs:
            for key in one_thread_keys:
                if key == "floor" and job == "b":
                    continue
                n = cfg.one_thread_repeats if not TOOLS[key].is_peer else cfg.peer_one_thread_repeats
                if rep < n:
                    record("one", job, key, files, expected, True)

    def rows(table, job, keys):
        out = {}
        for key in keys:
            src_job = "a" if key == "floor" else job
            out[key] = summarise(samples.get((table, src_job, key), []))
        return out

    tables = {(t, j): rows(t, j, keys) for t, keys in
              (("default", default_keys), ("one", one_thread_keys), ("big", big_keys))
              for j in jobs}

    # Targets.
    targets = []

    def check(label, ok, figure):
        targets.append((label, "met" if ok else "not met", figure))

    mib = 1024 * 1024
    for job in jobs:
        d, one = tables[("default", job)], tables[("one", job)]
        ours = d["ours-j1"]
        jname = "job (a) text" if job == "a" else "job (b) image"
        if not ours["ok"]:
            targets.append((f"{jname}: every target", "not measured", f"ours failed: {ours['why']}"))
            continue
        peers = {k: r for k, r in d.items() if TOOLS[k].is_peer and TOOLS[k].at_defaults and r["ok"]}
        if peers:
            fastest = min(peers, key=lambda k: peers[k]["wall"])
            ratio = peers[fastest]["wall"] / ours["wall"]
            check(f"{jname}: ≥ 4 × faster than the fastest peer at its defaults (--jobs 1)",
                  ratio >= 4, f"{ratio:.2f} × ({TOOLS[fastest].name} {peers[fastest]['wall']:.2f} s"
                  f" vs ours {ours['wall']:.2f} s; CPU time "
                  f"{peers[fastest]['cpu'] / ours['cpu']:.2f} ×)")
        im = d.get("imagemagick")
        if im and im["ok"]:
            ratio = im["wall"] / ours["wall"]
            check(f"{jname}: ≥ 10 × faster than ImageMagick", ratio >= 10,
                  f"{ratio:.2f} × ({im['wall']:.2f} s vs {ours['wall']:.2f} s; CPU time "
                  f"{im['cpu'] / ours['cpu']:.2f} ×)")
        pil = d.get("pillow")
        if pil and pil["ok"]:
            ratio = ours["bytes"] / pil["bytes"]
            check(f"{jname}: output ≤ 1.15 × Pillow's default", ratio <= 1.15,
                  f"{ratio:.3f} × ({ours['bytes'] / 1e6:.2f} MB vs {pil['bytes'] / 1e6:.2f} MB)")
        floor = tables[("default", "a")]["floor"]
        if floor["ok"]:
            ratio = ours["wall"] / floor["wall"]
            check(f"{jname}: --jobs 1 within 2 × the decode floor (one thread)", ratio <= 2,
                  f"{ratio:.2f} × ({ours['wall']:.2f} s vs floor {floor['wall']:.2f} s; CPU time "
                  f"{ours['cpu'] / floor['cpu']:.2f} ×)")
        j2, o1 = d.get("ours-j2"), one.get("ours-j1")
        if j2 and j2["ok"] and o1 and o1["ok"]:
            ratio = o1["wall"] / j2["wall"]
            check(f"{jname}: --jobs 2 ≥ 1.8 × sooner than one thread in all", ratio >= 1.8,
                  f"{ratio:.2f} × ({j2['wall']:.2f} s vs {o1['wall']:.2f} s pinned to one core)")
        big = tables[("big", job)]["ours-j1"]
        if big["ok"]:
            w, h = big_expected[0]
            limit = 1.5 * w * h * 4 + 40 * mib
            peak = big["peak_kib"] * 1024
            check(f"{jname}: peak RSS on the 20-MP photo ≤ 1.5 × W × H × 4 + 40 MiB", peak <= limit,
                  f"{peak / mib:.0f} MiB vs limit {limit / mib:.0f} MiB ({w} × {h})")

    # Report.
    note_default = (f"Corpus: {len(files)} files, {megapixels:.1f} MP. Every tool at its own "
                    "default thread settings; ours --jobs 1 (threads inside one picture allowed). "
                    f"Wall: best of {cfg.repeats} interleaved runs (median beside it, every run "
                    "listed); CPU s: user + system, best of the runs; peak RSS: largest of the "
                    "runs (per-file tools: largest over files). Ratios are tool / ours --jobs 1, "
                    "on the best wall time.")
    note_one = ("Everything pinned to CPU 0 with `taskset -c 0`; peers also with "
                "MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1; ours --jobs 1. "
                f"Best of {cfg.one_thread_repeats} runs for ours and the floor, "
                f"{cfg.peer_one_thread_repeats} for peers.")
    note_big = (f"One {big_expected[0][0]} × {big_expected[0][1]} photo ({big_mp:.1f} MP), "
                f"defaults as in the first table; best of {cfg.repeats} runs.")
    body = []
    for job in jobs:
        jt = (f'job (a): text "{TEXT}", 宋体 (peers: Noto Serif CJK SC), 100 px, black, at (100, 100)'
              if job == "a" else
              "job (b): the 400 × 200 mark with alpha at 30 % (120 × 60), at (100, 100)")
        body.append(fmt_table(f"Corpus, {jt}, defaults", tables[("default", job)], megapixels,
                              "ours-j1", note_default))
        body.append(fmt_table(f"Corpus, {jt}, one thread in all", tables[("one", job)],
                              megapixels, "ours-j1", note_one))
        body.append(fmt_table(f"One 20-MP photo, {jt}", tables[("big", job)], big_mp, "ours-j1",
                              note_big))
    loads = [s["load"] for v in samples.values() for s in v if s.get("ok")]
    load_range = f"{min(loads):.1f} to {max(loads):.1f}" if loads else "?"
    tgt = ["| target | verdict | figure |", "|---|---|---|"]
    tgt += [f"| {a} | {b} | {c} |" for a, b, c in targets]
    profile = ""
    if cfg.profile and os.path.exists(cfg.profile):
        with open(cfg.profile) as fh:
            profile = fh.read()

    text = ["# Benchmark results", "",
            f"Generated by `{cfg.command}` on {started:%Y-%m-%d %H:%M} UTC "
            f"(finished {datetime.datetime.now(datetime.timezone.utc):%H:%M} UTC).", "",
            f"Machine: {machine_description()}. The machine is shared: other builds ran on it "
            "during the measurement (1-minute load average at the start of runs: "
            f"{load_range}), so figures carry noise; repeats are interleaved, the best run is "
            "shown with the median beside it, and CPU time is given as the figure that others' "
            "load disturbs least.", "",
            "Tools: " + "; ".join(tool_versions(cfg)) + ".", ""]
    if cfg.build_note:
        text += [cfg.build_note, ""]
    if cfg.corpus_note:
        text += [cfg.corpus_note, ""]
    text += ["How each tool does the job:", "",
             "- ours: `zandolex-cli --text TEXT` or `--image mark.png`, window defaults, "
             "`--output-dir`, `--jobs 1` or `--jobs 2`, all files in one process.",
             "- ImageMagick: `convert IN -font Noto-Serif-CJK-SC -pointsize 100 -fill black "
             "-gravity NorthWest -annotate +100+100 TEXT PNG32:OUT`, or `convert IN ( mark.png "
             "-resize 120x60 ) -geometry +100+100 -composite PNG32:OUT`; one process per file.",
             "- GraphicsMagick: `gm convert IN -font NotoSerifCJK-Regular.ttc -pointsize 100 "
             "-fill black -gravity NorthWest -draw \"text 100,100 'TEXT'\" PNG32:OUT` (gm takes "
             "the collection's first face, the JP variant: same glyph count and cost), or "
             "`gm composite -geometry 120x60+100+100 mark.png IN PNG32:OUT`; one process per file.",
             "- libvips: the overlay once per run (`vips text` at --dpi 72 + `vips linear` + "
             "`vips copy --interpretation srgb`, or `vips resize mark.png 0.3`), then one "
             "`vips composite2 IN overlay OUT.png over --x 100 --y 100` per file (pngsave at its "
             "defaults through the .png suffix).",
             "- Pillow: one python process: Image.open, convert('RGBA'), ImageDraw.text with "
             "Noto Serif CJK SC (truetype index 2) or alpha_composite of the LANCZOS-resized mark, "
             "save PNG at the default compress_level, and again with compress_level=1.",
             "- Qt: bench/qt_writer.cpp, one process: QImageReader, ARGB32 premultiplied, "
             "QPainter text or drawImage, QImageWriter PNG at its default.",
             "- decode floor: bench/decode_floor.cpp, our DecodeImageBytes on one thread over "
             "the same files (process wall time, file reading included).",
             "",
             "Every output of every run was decoded in full with Pillow and checked to be a PNG "
             "of the source's upright size; a tool whose run or check failed is shown as failed "
             "and not timed. All outputs were RGBA unless the table says otherwise.", "",
             "## Targets", ""] + tgt + ["", "## Tables", ""] + body
    modes = {r.get("modes") for t in tables.values() for r in t.values() if r["ok"]}
    modes.discard("")
    if modes - {"RGBA"}:
        text += ["", f"Output modes seen: {sorted(modes)}."]
    if profile:
        text += ["", "## Where the time goes in ours", "", profile]
    generated = "\n".join(text).rstrip() + "\n"

    kept = ""
    if os.path.exists(cfg.results):
        with open(cfg.results) as fh:
            old = fh.read()
        if KEEP_MARKER in old:
            kept = old[old.index(KEEP_MARKER) + len(KEEP_MARKER):]
    with open(cfg.results, "w") as fh:
        fh.write(generated + "\n" + KEEP_MARKER + (kept if kept else "\n"))
    print(generated)
    log(f"written {cfg.results}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
