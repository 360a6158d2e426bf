#!/usr/bin/env python3
"""End-to-end benchmark of the compile run against the floor.

For each size (multiples of a base of 2,000 projects in the master table,
300 included projects six levels deep and 3,000 ProtectedFiles of 150 MB in
all) it lays out a Citect installation with tools/citect_layout.py, then
runs, side by side on the same layout:

  veilbox  the native program with a compiler that ends at once; its wall
           time, its peak memory (the child's maximum resident set) and its
           phase marks (VEILBOX_TRACE_TIMINGS)
  floor    copying the same ProtectedFiles once: cp -r of the projects'
           directory tree

and, when the Windows build is there, the same under Wine:

  veilbox.exe  under Wine, on the same layout seen as drive C: of the
               benchmark's Wine prefix, with a compiler that ends at once
  floor        copying the same tree with Wine's own xcopy

Each is run once to warm the caches and then --runs times, alternating;
medians are reported. After every Veilbox run the tree is checked for plain
files left behind. The layout is removed before the next size is laid out.
All of this is done on disk (--disk) and in memory (--tmpfs).

Writes docs/performance.md with the tables and a PNG plot (matplotlib), and
prints the tables.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BASE = {"projects": 2000, "includes": 300, "files": 3000, "size_mb": 150, "depth": 6}
PHASES = [("collection", "collect"), ("decryption", "decrypt"), ("compiler", "compile"),
          ("clean-up", "cleanup")]
# Memory allowed besides one largest ProtectedFile per decryption worker:
# the program, its libraries and the run's small structures.
FIXED_MEMORY_MB = 32


def decrypt_workers():
    """The decryption threads a run uses: one per processor, at most 8,
    unless VEILBOX_DECRYPT_WORKERS sets the count."""
    setting = os.environ.get("VEILBOX_DECRYPT_WORKERS", "")
    if setting.isdigit() and int(setting) >= 1:
        return min(int(setting), 64)
    return max(1, min(os.cpu_count() or 1, 8))


def memory_bound(s):
    return decrypt_workers() * s["largest_mb"] + FIXED_MEMORY_MB
MB = 1 << 20
WORK = {"dir": ".", "settle": 0.0}  # the scratch directory and --settle of this run
WINE = {}  # "wine": the Wine runner, when veilbox.exe is measured too


def run_child(argv, env=None):
    """Runs a program; returns (exit code, wall seconds, CPU seconds (user
    and system), peak RSS bytes, stderr text). Dirty pages of earlier steps
    are written out first, so that no run pays for another's writes.

    The peak is taken by /usr/bin/time: a child forked from this Python
    process would count the interpreter's pages in its own maximum."""
    os.sync()
    if WORK["settle"]:
        time.sleep(WORK["settle"])
    rss_file = os.path.join(WORK["dir"], "peak-rss.txt")
    start = time.monotonic_ns()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = (time.monotonic_ns() - start) / 1e9
    proc.returncode = os.waitstatus_to_exitcode(status)
    cpu = usage.ru_utime + usage.ru_stime
    with open(rss_file) as f:
        rss = int(f.read().split()[-1]) * 1024
    return proc.returncode, wall, cpu, rss, err.decode("latin-1")


def leftover_plain_files(projects_dir):
    left = []
    for dirpath, _, names in os.walk(projects_dir):
        for name in names:
            low = name.lower()
            if not (low.endswith(".veilbox") or low.endswith(".dbf")):
                left.append(os.path.join(dirpath, name))
    return left


def read_phases(trace, wall):
    marks = {}
    try:
        with open(trace) as f:
            for line in f:
                label, value = line.split()
                marks.setdefault(label, int(value))
    except (OSError, ValueError):
        return None
    phases = {}
    for name, key in PHASES:
        begin, end = marks.get(key + "-begin"), marks.get(key + "-end")
        phases[name] = (end - begin) / 1e9 if begin is not None and end is not None else None
    known = sum(v for v in phases.values() if v is not None)
    phases["other"] = max(0.0, wall - known)
    return phases


def veilbox_run(veilbox, layout, trace):
    env = dict(os.environ, VEILBOX_PREFIX=layout["prefix"], VEILBOX_TRACE_TIMINGS=trace)
    if os.path.exists(trace):
        os.remove(trace)
    code, wall, cpu, rss, err = run_child([veilbox, layout["project"]], env)
    left = leftover_plain_files(layout["projects_dir"])
    return {"code": code, "wall": wall, "cpu": cpu, "rss": rss, "stderr": err,
            "phases": read_phases(trace, wall), "left": left}


def floor_run(layout, work):
    target = os.path.join(work, "floor-copy")
    shutil.rmtree(target, ignore_errors=True)
    code, wall, cpu, _, err = run_child(["cp", "-r", layout["projects_dir"], target])
    if code != 0:
        raise SystemExit("cp failed: " + err)
    shutil.rmtree(target)
    return {"wall": wall, "cpu": cpu}


class Wine:
    """The benchmark's Wine prefix (the tests' one, build/wine) with one
    wineserver kept running, so that no run pays for starting it."""

    def __init__(self, exe_dir, work):
        self.exe_dir = exe_dir
        self.env = dict(os.environ)
        for key in [k for k in self.env if k.startswith("VEILBOX_")]:
            del self.env[key]
        self.env.update(WINEPREFIX=os.path.join(ROOT, "build", "wine"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")
        self.log = os.path.join(work, "wine.log")
        subprocess.run(["bash", "-c", "source scripts/wine-env.sh && veilbox_wine_setup"],
                       cwd=ROOT, env=self.env, check=True)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self.drive_c = os.path.join(self.env["WINEPREFIX"], "drive_c")

    def wine(self, argv):
        with open(self.log, "ab") as log:
            return subprocess.run(["wine"] + argv, env=self.env, stdout=log, stderr=log,
                                  stdin=subprocess.DEVNULL).returncode

    def use(self, layout):
        """Makes the layout the prefix's C:\\Citect, its settings file and
        registry the prefix's, and puts a Windows compiler in."""
        link = os.path.join(self.drive_c, "Citect")
        if os.path.islink(link):
            os.remove(link)
        elif os.path.exists(link):
            shutil.rmtree(link)
        os.symlink(os.path.join(layout["prefix"], "drive_c", "Citect"), link)
        with open(os.path.join(layout["prefix"], "windows", "Citect.ini")) as f:
            ini = f.read()
        # No completion box: nobody is there to answer it.
        ini = ini.replace("COMPILEOKMESSAGE=1", "COMPILEOKMESSAGE=0")
        with open(os.path.join(self.drive_c, "windows", "Citect.ini"), "w", newline="\r\n") as f:
            f.write(ini)
        # The native runs keep the layout's compiler; Wine's is a Windows
        # program of its own beside it.
        with open(os.path.join(layout["prefix"], "registry.reg")) as f:
            reg_text = f.read().replace("CtCompile.exe", "CtCompileWin.exe")
        reg = os.path.join(WORK["dir"], "wine-registry.reg")
        with open(reg, "w") as f:
            f.write(reg_text)
        for view in ("/reg:64", "/reg:32"):  # whichever the build is
            self.wine(["reg", "import", reg, view])
        compiler = os.path.join(layout["prefix"], "drive_c", "Citect", "Bin", "CtCompileWin.exe")
        shutil.copyfile(os.path.join(self.exe_dir, "testing", "fake-compiler.exe"), compiler)

    def close(self):
        link = os.path.join(self.drive_c, "Citect")
        if os.path.islink(link):
            os.remove(link)
        subprocess.run(["wineserver", "-k"], env=self.env)
        subprocess.run(["wineserver", "-w"], env=self.env)


def wine_veilbox_run(wine, layout):
    code, wall, cpu, rss, err = run_child(
        ["wine", os.path.join(wine.exe_dir, "veilbox.exe"), layout["project"]], wine.env)
    return {"code": code, "wall": wall, "cpu": cpu, "rss": rss, "phases": None,
            "left": leftover_plain_files(layout["projects_dir"])}


def wine_floor_run(wine, layout, work):
    target = os.path.join(work, "floor-copy")
    shutil.rmtree(target, ignore_errors=True)
    code, wall, cpu, _, err = run_child(
        ["wine", "xcopy", "/E", "/I", "/Q", "/H", "C:\\Citect\\User",
         "Z:" + target.replace("/", "\\")], wine.env)
    if code != 0:
        raise SystemExit("xcopy failed (%d): %s" % (code, err[:300]))
    shutil.rmtree(target)
    return {"wall": wall, "cpu": cpu}


def lay_out_shape(args, tag, work, projects, includes, depth, files, size_kb, extra=()):
    prefix = os.path.join(work, "layout-" + tag)
    shutil.rmtree(prefix, ignore_errors=True)
    need = size_kb * 1024 * 3.5
    free = shutil.disk_usage(work).free
    if free < need:
        raise SystemExit("not enough disk for %s: %.1f GB free, %.1f GB needed"
                         % (tag, free / 1e9, need / 1e9))
    cmd = [sys.executable, os.path.join(ROOT, "tools", "citect_layout.py"), prefix,
           "--projects", str(projects), "--includes", str(includes), "--depth", str(depth),
           "--files", str(files), "--size", "%dK" % size_kb,
           "--seed", str(args.seed), "--protect", args.protect] + list(extra)
    start = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(prefix, "layout.json")) as f:
        layout = json.load(f)
    layout["generation_seconds"] = time.monotonic() - start
    return layout


def lay_out(args, multiple, work):
    return lay_out_shape(args, "%gx" % multiple, work, round(BASE["projects"] * multiple),
                         round(BASE["includes"] * multiple), BASE["depth"],
                         round(BASE["files"] * multiple),
                         round(BASE["size_mb"] * multiple * 1024))


def measure(args, multiple, work, layout=None, floor=None, use_wine=True):
    """Lays out the plant at multiple (or takes layout) and measures Veilbox
    against the floor (cp -r of the projects, or the function floor)."""
    layout = layout or lay_out(args, multiple, work)
    floor = floor or (lambda: floor_run(layout, work))
    print("%gx: %d projects, %d included, %d ProtectedFiles, %.1f MB (largest %.2f MB), laid out"
          " in %.1f s" % (multiple, layout["projects"], layout["included_projects"],
                          layout["files"], layout["protected_bytes"] / MB,
                          layout["largest_protected_file"] / MB,
                          layout["generation_seconds"]), flush=True)
    trace = os.path.join(work, "trace.txt")
    result = {"multiple": multiple, "layout": layout, "veilbox": [], "floor": [],
              "veilbox_error": None}
    run_veilbox = not args.floor_only
    if run_veilbox:
        # The warm-up run has a compiler that counts the plain files it
        # can see: every ProtectedFile must have one while it runs.
        compiler = os.path.join(layout["prefix"], "drive_c", "Citect", "Bin", "CtCompile.exe")
        seen_file = os.path.join(work, "plain-files-seen.txt")
        if os.path.exists(seen_file):
            os.remove(seen_file)
        with open(compiler, "rb") as f:
            original = f.read()
        with open(compiler, "w") as f:
            f.write("#!/bin/sh\nfind '%s' -type f ! -name '*.Veilbox' ! -name '*.dbf'"
                    " ! -name '~Veilbox.lock' | wc -l"
                    " > '%s'\n" % (layout["projects_dir"], seen_file))
        try:
            warm = veilbox_run(args.veilbox, layout, trace)
        finally:
            with open(compiler, "wb") as f:
                f.write(original)
        try:
            with open(seen_file) as f:
                seen = int(f.read().strip() or -1)
        except (OSError, ValueError):
            seen = -1
        result["warm_stderr"] = warm["stderr"]
        if warm["code"] != 0 or warm["left"] or seen != layout["files"]:
            result["veilbox_error"] = (
                "exit code %d, the compiler saw %d of %d plain files, %d left afterwards;"
                " stderr: %s" % (warm["code"], seen, layout["files"], len(warm["left"]),
                                 warm["stderr"].strip()[:500]))
            print("  veilbox did not complete: " + result["veilbox_error"], flush=True)
            run_veilbox = False
    floor()  # warm-up
    wine = WINE.get("wine") if use_wine else None
    result["wine"] = {"veilbox": [], "floor": []} if wine else None
    if wine:
        wine.use(layout)
        warm = wine_veilbox_run(wine, layout)
        if warm["code"] != 0 or warm["left"]:
            raise SystemExit("veilbox.exe run failed: code %d, %d plain files left"
                             % (warm["code"], len(warm["left"])))
        wine_floor_run(wine, layout, work)
    for _ in range(args.runs):
        if run_veilbox:
            r = veilbox_run(args.veilbox, layout, trace)
            if r["code"] != 0 or r["left"]:
                raise SystemExit("veilbox run failed: code %d, %d plain files left"
                                 % (r["code"], len(r["left"])))
            del r["stderr"], r["left"]
            result["veilbox"].append(r)
        result["floor"].append(floor())
        if wine:
            r = wine_veilbox_run(wine, layout)
            if r["code"] != 0 or r["left"]:
                raise SystemExit("veilbox.exe run failed: code %d, %d plain files left"
                                 % (r["code"], len(r["left"])))
            del r["left"]
            result["wine"]["veilbox"].append(r)
            result["wine"]["floor"].append(wine_floor_run(wine, layout, work))
    if not args.keep:
        shutil.rmtree(layout["prefix"])
    return result


# The one-directory shape: every ProtectedFile in the compiled project's
# own directory, no includes; 50 KB a file on average, as in the plant.
def measure_one_dir(args, files, work):
    layout = lay_out_shape(args, "onedir-%d" % files, work, 2, 0, 0, files, files * 50)
    return measure(args, files, work, layout)


def scan_floor_run(layout):
    program = os.path.join(ROOT, "build", "release", "bench", "dbf_scan_floor")
    table = os.path.join(layout["projects_dir"], "master.dbf")
    code, wall, cpu, _, err = run_child([program, table, layout["project"]])
    if code != 0:
        raise SystemExit("dbf_scan_floor failed: " + err)
    return {"wall": wall, "cpu": cpu}


# The master-table shape: a master.dbf of many projects (directories only
# for the compiled project and its 30 includes), 300 ProtectedFiles of
# 15 MB; the floor is shapelib's scan of the whole table.
def measure_master(args, projects, work):
    layout = lay_out_shape(args, "master-%d" % projects, work, projects, 30, 3, 300, 15 * 1024,
                           ["--tree-dirs-only"])
    return measure(args, projects, work, layout, lambda: scan_floor_run(layout), use_wine=False)


def shape_table(summaries, what):
    rows = ["| %s | ProtectedFiles | MB | Veilbox s | floor s | ratio | Veilbox CPU s | peak MB"
            " | collection | decryption | compiler | clean-up | other |" % what,
            "|" + "---|" * 13]
    for s in summaries:
        if s["veilbox"] is None:
            continue
        rows.append("| %d | %d | %.0f | %.3f | %.3f | %.3f | %.2f | %.1f | %s |" % (
            s["multiple"], s["files"], s["mb"], s["veilbox"], s["floor"], s["ratio"],
            s["veilbox_cpu"], s["peak_mb"],
            " | ".join(pct(s["shares"][p]) for p in [p for p, _ in PHASES] + ["other"])))
    return "\n".join(rows)


def summarize(result):
    layout = result["layout"]
    s = {"multiple": result["multiple"], "projects": layout["projects"],
         "includes": layout["included_projects"], "files": layout["files"],
         "mb": layout["protected_bytes"] / MB,
         "largest_mb": layout["largest_protected_file"] / MB,
         "floor": statistics.median(r["wall"] for r in result["floor"]),
         "floor_cpu": statistics.median(r["cpu"] for r in result["floor"]), "veilbox": None}
    runs = result["veilbox"]
    if runs:
        s["veilbox"] = statistics.median(r["wall"] for r in runs)
        s["ratio"] = s["veilbox"] / s["floor"]
        s["veilbox_cpu"] = statistics.median(r["cpu"] for r in runs)
        s["cpu_ratio"] = s["veilbox_cpu"] / s["floor_cpu"] if s["floor_cpu"] else None
        s["peak_mb"] = max(r["rss"] for r in runs) / MB
        s["shares"] = {}
        for name in [p for p, _ in PHASES] + ["other"]:
            values = [r["phases"][name] for r in runs if r["phases"] and
                      r["phases"].get(name) is not None]
            s["shares"][name] = (statistics.median(values) / s["veilbox"]
                                 if values and s["veilbox"] else None)
    wine = result.get("wine")
    s["wine"] = None
    if wine and wine["veilbox"]:
        w = {"veilbox": statistics.median(r["wall"] for r in wine["veilbox"]),
             "floor": statistics.median(r["wall"] for r in wine["floor"]),
             "peak_mb": max(r["rss"] for r in wine["veilbox"]) / MB}
        w["ratio"] = w["veilbox"] / w["floor"]
        s["wine"] = w
    return s


def pct(x):
    return "n/a" if x is None else "%.0f %%" % (100 * x)


def table(summaries):
    columns = ["size", "projects", "included", "ProtectedFiles", "MB", "Veilbox s", "floor s",
               "ratio", "Veilbox CPU s", "floor CPU s", "CPU ratio", "peak MB", "%d x largest + %d MB" % (decrypt_workers(), FIXED_MEMORY_MB)] + [
                   p for p, _ in PHASES] + ["other"]
    rows = ["| " + " | ".join(columns) + " |", "|" + "---|" * len(columns)]
    for s in summaries:
        cells = ["%gx" % s["multiple"], str(s["projects"]), str(s["includes"]), str(s["files"]),
                 "%.0f" % s["mb"]]
        bound = "%.1f" % memory_bound(s)
        if s["veilbox"] is None:
            cells += ["n/a", "%.2f" % s["floor"], "n/a", "n/a", "%.2f" % s["floor_cpu"], "n/a",
                      "n/a", bound] + ["n/a"] * 5
        else:
            cells += ["%.2f" % s["veilbox"], "%.2f" % s["floor"], "%.2f" % s["ratio"],
                      "%.2f" % s["veilbox_cpu"], "%.2f" % s["floor_cpu"],
                      "n/a" if s["cpu_ratio"] is None else "%.2f" % s["cpu_ratio"],
                      "%.1f" % s["peak_mb"], bound]
            cells += [pct(s["shares"][p]) for p, _ in PHASES] + [pct(s["shares"]["other"])]
        rows.append("| " + " | ".join(cells) + " |")
    return "\n".join(rows)


def wine_table(summaries):
    rows = ["| size | veilbox.exe s | xcopy s | ratio | peak MB (Wine process) |",
            "|---|---|---|---|---|"]
    for s in summaries:
        w = s.get("wine")
        if w:
            rows.append("| %gx | %.2f | %.2f | %.2f | %.1f |" % (
                s["multiple"], w["veilbox"], w["floor"], w["ratio"], w["peak_mb"]))
    return "\n".join(rows) if len(rows) > 2 else ""


def goals(summaries, limit):
    lines = []
    measured = [s for s in summaries if s["veilbox"] is not None]
    if not measured:
        return ["Veilbox could not be measured in this run (see above); only the floor was."]
    worst = max(measured, key=lambda s: s["ratio"])
    lines.append("- Whole run at most %.1f x the floor at every size: worst %.2f x at %gx: %s"
                 " (CPU time: %s)."
                 % (limit, worst["ratio"], worst["multiple"], "met" if worst["ratio"] <= limit
                    else "NOT met", ", ".join("%.2f x" % s["cpu_ratio"] for s in measured
                                              if s["cpu_ratio"] is not None)))
    by = {s["multiple"]: s for s in measured}
    if 1 in by and 8 in by:
        growth = by[8]["veilbox"] / by[1]["veilbox"]
        cpu_growth = by[8]["veilbox_cpu"] / by[1]["veilbox_cpu"]
        lines.append("- 8x within 8.5 times the 1x time: %.2f x wall (%s), %.2f x CPU."
                     % (growth, "met" if growth <= 8.5 else "NOT met", cpu_growth))
    over = [s for s in measured if s["peak_mb"] > memory_bound(s)]
    lines.append("- Peak memory at most %d workers x the largest ProtectedFile + %d MB: %s"
                 " (peak %s MB)."
                 % (decrypt_workers(), FIXED_MEMORY_MB, "met" if not over else "NOT met at " +
                    ", ".join("%gx" % s["multiple"] for s in over),
                    " / ".join("%.1f" % s["peak_mb"] for s in measured)))
    wine = [s for s in measured if s.get("wine")]
    if wine:
        lines.append("- Under Wine, veilbox.exe against xcopy: %s."
                     % ", ".join("%.2f x at %gx" % (s["wine"]["ratio"], s["multiple"])
                                 for s in wine))
    return lines


def plot_shapes(axes, shapes):
    """The one-directory shape's time against its file count, and the
    master-table shape against its floor."""
    onedir = [s for s in map(summarize, shapes["onedir"]) if s["veilbox"] is not None]
    ax = axes[0]
    if onedir:
        xs = [s["files"] for s in onedir]
        ax.plot(xs, [s["floor"] for s in onedir], "o-", label="floor (cp -r)")
        ax.plot(xs, [s["veilbox"] for s in onedir], "s-", label="Veilbox")
        base = onedir[0]["veilbox"] / onedir[0]["files"]
        ax.plot(xs, [base * x for x in xs], "--", color="lightgray",
                label="linear from %d" % onedir[0]["files"])
        ax.set_xticks(xs)
        ax.legend(fontsize="small")
    ax.set_xlabel("ProtectedFiles in one directory")
    ax.set_ylabel("median wall time (s)")
    ax.set_title("%s: one big directory" % shapes["medium"])
    master = [s for s in map(summarize, shapes["master"]) if s["veilbox"] is not None]
    ax = axes[1]
    if master:
        labels, values = [], []
        for s in master:
            labels += ["scan of %d records\n(shapelib)" % s["multiple"],
                       "Veilbox run\n(%d projects)" % s["multiple"]]
            values += [s["floor"], s["veilbox"]]
        ax.bar(labels, values, color=["tab:blue", "tab:orange"] * len(master))
    ax.set_ylabel("median wall time (s)")
    ax.set_title("%s: a big master table" % shapes["medium"])
    axes[2].axis("off")


def plot(by_medium, path, shapes=None):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    with_shapes = bool(shapes and (shapes["onedir"] or shapes["master"]))
    rows = len(by_medium) + with_shapes
    fig, all_axes = plt.subplots(rows, 3, figsize=(15, 4.5 * rows), squeeze=False)
    if with_shapes:
        plot_shapes(all_axes[-1], shapes)
    for axes, (medium, summaries) in zip(all_axes, by_medium.items()):
        xs = [s["multiple"] for s in summaries]
        ax = axes[0]
        ax.plot(xs, [s["floor"] for s in summaries], "o-", label="floor (cp -r)")
        measured = [s for s in summaries if s["veilbox"] is not None]
        if measured:
            mx = [s["multiple"] for s in measured]
            ax.plot(mx, [s["veilbox"] for s in measured], "s-", label="Veilbox")
            base = measured[0]["veilbox"] / measured[0]["multiple"]
            ax.plot(mx, [base * m for m in mx], "--", color="lightgray",
                    label="linear from %gx" % measured[0]["multiple"])
        wine = [s for s in summaries if s.get("wine")]
        if wine:
            wx = [s["multiple"] for s in wine]
            ax.plot(wx, [s["wine"]["floor"] for s in wine], "o:", label="floor under Wine (xcopy)")
            ax.plot(wx, [s["wine"]["veilbox"] for s in wine], "s:", label="veilbox.exe under Wine")
        ax.set_xlabel("layout size (x base)")
        ax.set_ylabel("median wall time (s)")
        ax.set_xticks(xs)
        ax.set_title("%s: whole run against the floor" % medium)
        ax.legend(fontsize="small")

        ax = axes[1]
        names = [p for p, _ in PHASES] + ["other"]
        bottom = [0.0] * len(measured)
        for name in names:
            values = [100 * (s["shares"][name] or 0) for s in measured]
            ax.bar([str(s["multiple"]) + "x" for s in measured], values, bottom=bottom, label=name)
            bottom = [b + v for b, v in zip(bottom, values)]
        ax.set_ylabel("share of Veilbox's time (%)")
        ax.set_title("%s: where the time goes (native)" % medium)
        ax.legend(fontsize="small")

        ax = axes[2]
        ax.plot(xs, [memory_bound(s) for s in summaries], ":", color="gray",
                label="%d x largest file + %d MB" % (decrypt_workers(), FIXED_MEMORY_MB))
        if measured:
            ax.plot([s["multiple"] for s in measured], [s["peak_mb"] for s in measured], "s-",
                    label="Veilbox peak")
        ax.set_xlabel("layout size (x base)")
        ax.set_ylabel("MB")
        ax.set_xticks(xs)
        ax.set_ylim(bottom=0)
        ax.set_title("%s: peak memory (native)" % medium)
        ax.legend(fontsize="small")
    fig.tight_layout()
    fig.savefig(path, dpi=80)


def commit():
    def git(*a):
        return subprocess.run(["git"] + list(a), cwd=ROOT, capture_output=True,
                              text=True).stdout.strip()
    head = git("log", "-1", "--format=%h (%s)")
    return head + (" with changes not yet committed" if git("status", "--porcelain", "--",
                                                             ".", ":!docs") else "")


def cipher_bench(args):
    """The decryption and `veilbox-protect check` against basenc, when the
    benchmark program is built."""
    program = os.path.join(ROOT, "build", "release", "bench", "protected_file_bench")
    if not os.path.exists(program):
        return None
    out = subprocess.run([program, str(args.cipher_mb)], capture_output=True, text=True)
    return out.stdout.strip() if out.returncode == 0 else None


def print_summary(s):
    print("  floor %.2f s, Veilbox %s%s" % (
        s["floor"], "n/a" if s["veilbox"] is None else
        "%.2f s (%.2f x), peak %.1f MB" % (s["veilbox"], s["ratio"], s["peak_mb"]),
        "" if not s["wine"] else "; under Wine: xcopy %.2f s, veilbox.exe %.2f s"
        " (%.2f x)" % (s["wine"]["floor"], s["wine"]["veilbox"], s["wine"]["ratio"])),
        flush=True)


def shape_text(shapes):
    """The one-directory and master-table sections."""
    text = []
    onedir = [summarize(r) for r in shapes["onedir"]]
    if onedir:
        text += ["", "## One big directory (%s)" % shapes["medium"], "",
                 "Every ProtectedFile in the compiled project's own directory, no includes,"
                 " 50 KB a file on average; the floor is `cp -r` of the projects.", "",
                 shape_table(onedir, "ProtectedFiles in one directory"), ""]
        wt = wine_table(onedir)
        if wt:
            text += ["`veilbox.exe` under Wine (size = ProtectedFiles):", "", wt, ""]
        measured = [s for s in onedir if s["veilbox"] is not None]
        if len(measured) >= 2:
            lo, hi = measured[0], measured[-1]
            growth = hi["veilbox"] / lo["veilbox"]
            allowed = 8.5 * hi["files"] / lo["files"] / 8
            text.append("- %d within %.1f times the time of %d (linear, as 8.5 for 8x):"
                        " %.2f x: %s (CPU time %.2f x)." % (
                            hi["files"], allowed, lo["files"], growth,
                            "met" if growth <= allowed else "NOT met",
                            hi["veilbox_cpu"] / lo["veilbox_cpu"]))
    master = [summarize(r) for r in shapes["master"]]
    if master:
        text += ["", "## A big master table (%s)" % shapes["medium"], "",
                 "A `master.dbf` of this many projects (the compiled one and its 30 includes,"
                 " three levels deep, at random places in it; 300 ProtectedFiles of 15 MB)."
                 " The floor is shapelib's C scan of the whole table"
                 " (`build/release/bench/dbf_scan_floor`).", "",
                 shape_table(master, "projects in master.dbf"), ""]
        for s in master:
            if s["veilbox"] is not None:
                text.append("- Whole run at least 10 x faster than the scan: %.1f x faster: %s." % (
                    s["floor"] / s["veilbox"], "met" if s["floor"] / s["veilbox"] >= 10
                    else "NOT met"))
    return text


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--sizes", default="1,2", help="multiples of the base layout (fractions for a quick check)")
    ap.add_argument("--runs", type=int, default=3, help="timed runs of each program per size")
    ap.add_argument("--veilbox", default=os.path.join(ROOT, "build", "release", "veilbox"))
    ap.add_argument("--protect", default=os.path.join(ROOT, "build", "release",
                                                      "veilbox-protect"))
    ap.add_argument("--windows", default=os.path.join(ROOT, "build", "windows"),
                    help="the Windows build (veilbox.exe, testing/fake-compiler.exe)")
    ap.add_argument("--no-wine", action="store_true", help="measure the native program only")
    ap.add_argument("--disk", default=os.path.join(ROOT, "build", "bench-work"),
                    help="scratch directory on disk")
    ap.add_argument("--tmpfs", default="/dev/shm/veilbox-bench-%d" % os.getpid(),
                    help="scratch directory in memory")
    ap.add_argument("--media", default="disk,tmpfs", help="where to measure: disk, tmpfs or both")
    ap.add_argument("--one-dir", default="1000,8000",
                    help="ProtectedFiles of the one-directory shape, measured on the first"
                         " medium ('' skips it)")
    ap.add_argument("--master-projects", type=int, default=1000000,
                    help="projects in master.dbf of the master-table shape, measured on the"
                         " first medium (0 skips it)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--floor-only", action="store_true", help="measure the floor alone")
    ap.add_argument("--keep", action="store_true", help="keep the layouts")
    ap.add_argument("--settle", type=float, default=0.0,
                    help="seconds to wait before each run, after writing out dirty pages (ext4"
                         " without a journal passes over inodes deleted in the last minute"
                         " whenever it creates a file)")
    ap.add_argument("--cipher-mb", type=int, default=100,
                    help="size of the ProtectedFile for the decryption figures (0: skip)")
    ap.add_argument("--note", default="", help="a line for the report on what was measured")
    ap.add_argument("--out", default=os.path.join(ROOT, "docs", "performance"),
                    help="writes OUT.md, OUT.png and OUT.json")
    args = ap.parse_args()

    args.disk = os.path.abspath(args.disk)
    args.tmpfs = os.path.abspath(args.tmpfs)
    WORK["settle"] = args.settle
    load_start = os.getloadavg()
    exe = os.path.join(args.windows, "veilbox.exe")
    if not args.no_wine and not args.floor_only and os.path.exists(exe):
        os.makedirs(args.disk, exist_ok=True)
        WINE["wine"] = Wine(args.windows, args.disk)
    results = {}
    shapes = {"onedir": [], "master": [], "medium": None}
    try:
        for medium in args.media.split(","):
            work = args.disk if medium == "disk" else args.tmpfs
            os.makedirs(work, exist_ok=True)
            WORK["dir"] = work
            results[medium] = []
            print("== %s (%s)" % (medium, work), flush=True)
            for multiple in [float(m) for m in args.sizes.split(",") if m]:
                results[medium].append(measure(args, multiple, work))
                print_summary(summarize(results[medium][-1]))
            if medium == args.media.split(",")[0]:
                for files in [int(n) for n in args.one_dir.split(",") if n]:
                    shapes["onedir"].append(measure_one_dir(args, files, work))
                    print_summary(summarize(shapes["onedir"][-1]))
                if args.master_projects and os.path.exists(os.path.join(
                        ROOT, "build", "release", "bench", "dbf_scan_floor")):
                    shapes["master"].append(measure_master(args, args.master_projects, work))
                    print_summary(summarize(shapes["master"][-1]))
                shapes["medium"] = medium
            if medium != "disk" and not args.keep:
                shutil.rmtree(work, ignore_errors=True)
    finally:
        if WINE.get("wine"):
            WINE["wine"].close()
    cipher = cipher_bench(args) if args.cipher_mb else None
    load_end = os.getloadavg()

    by_medium = {m: [summarize(r) for r in rs] for m, rs in results.items()}
    cpu = ""
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "")
    except OSError:
        pass
    text = ["# Performance", "",
            "Figures of commit %s, measured on %s by `bash bench/compile_run_bench.sh`." % (
                commit(), time.strftime("%Y-%m-%d")),
            "",
            "Machine: %s, %d cores, shared with other work while it ran (load average %.1f at"
            " the start, %.1f at the end): absolute times are loaded; the ratios, measured side"
            " by side in one run, are the figures to go by." % (
                cpu or "unknown", os.cpu_count() or 0, load_start[0], load_end[0]),
            "",
            "The compile run: median of %d runs after one warm-up run each; Veilbox and its floor"
            " alternate on the same layout. Base (1x): 2,000 projects in the master table, 300"
            " included projects six levels deep, 3,000 ProtectedFiles of 150 MB in all. The"
            " floor copies the project tree once (`cp -r` natively, Wine's `xcopy` under Wine)."
            " The native program decrypts on %d worker threads. Under Wine the completion"
            " message is off (COMPILEOKMESSAGE=0: nobody answers the box), and the peak memory"
            " is that of the Wine process." % (args.runs, decrypt_workers()),
            ] + (["", args.note] if args.note else [])
    goal = {"disk": 1.0, "tmpfs": 1.5}
    for medium, summaries in by_medium.items():
        text += ["", "## %s" % ("On disk" if medium == "disk" else "In memory (tmpfs)"), "",
                 "Native (`veilbox` over the POSIX stand-in):", "", table(summaries), ""]
        wt = wine_table(summaries)
        if wt:
            text += ["`veilbox.exe` under Wine:", "", wt, ""]
        text += ["Goals:", ""] + goals(summaries, goal.get(medium, 1.5))
    text += shape_text(shapes)
    if cipher:
        text += ["", "## Decryption and `veilbox-protect check`", "",
                 "`build/release/bench/protected_file_bench %d`:" % args.cipher_mb, "", "```",
                 cipher, "```"]
    text += ["", "![Compile run against the floor](%s.png)" % os.path.basename(args.out), ""]
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    with open(args.out + ".md", "w") as f:
        f.write("\n".join(text))
    for rs in list(results.values()) + [shapes["onedir"], shapes["master"]]:  # where this machine kept the layouts is no figure
        for r in rs:
            for key in ("prefix", "projects_dir"):
                r["layout"].pop(key, None)
    with open(args.out + ".json", "w") as f:
        json.dump({"summaries": by_medium, "results": results, "shapes": shapes,
                   "cipher": cipher}, f, indent=1,
                  default=str)
    plot(by_medium, args.out + ".png", shapes)
    print()
    print("\n".join(text))


if __name__ == "__main__":
    main()
