#!/usr/bin/env python3
"""Lays out a Citect installation of a given size for the POSIX build.

The output directory is a stand-in machine (the VEILBOX_PREFIX of the native
build):

  registry.reg                 HKLM\\Software\\Talvoren\\Veilbox: CitectDir,
                               CompExe, AttachName, CitectVer
  windows/Citect.ini           [CTEDIT] USER, BIN, COMPILEOKMESSAGE=1
  drive_c/Citect/Bin/          the compiler (a copy of --compiler)
  drive_c/Citect/User/         master.dbf and one directory per project
  layout.json                  what was laid out (read by the benchmark)

The project to compile includes --includes projects through Include.dbf
tables, --depth levels deep; --files ProtectedFiles of about --size bytes
in all are spread over the compiled project and its includes. Their plain
sources are realistic Cicode text, the same for the same --seed, and are
encrypted with veilbox-protect (--protect); the plain files are removed
afterwards. The other projects of the master table get empty directories.

Standard library only.
"""

import argparse
import json
import os
import random
import shutil
import struct
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

CITECT_DIR = "C:\\Citect"
USER_DIR = CITECT_DIR + "\\User"
BIN_DIR = CITECT_DIR + "\\Bin"
COMPILER_NAME = "CtCompile.exe"
NAME_LEN = 64
PATH_LEN = 254
HEADER_LINES_SIZE = 700  # rough size of a ProtectedFile's five header lines


# --- dBase III Plus ---------------------------------------------------------

def dbf_bytes(fields, records):
    """A dBase III Plus table: fields is [(name, length)], all of type C;
    records is [(deleted, [values])]. Values are left-aligned and padded
    with blanks; a value longer than its field is an error."""
    record_len = 1 + sum(length for _, length in fields)
    header_len = 32 + 32 * len(fields) + 1
    out = bytearray()
    # version 3, last update 2026-01-01, record count, header and record
    # length, 20 reserved bytes
    out += struct.pack("<BBBBIHH20x", 0x03, 126, 1, 1, len(records), header_len, record_len)
    for name, length in fields:
        raw = name.encode("latin-1")
        if len(raw) > 10 or not 0 < length < 256:
            raise ValueError("bad field " + name)
        # name (11 bytes, NUL padded), type, data address, length,
        # decimal count, 14 reserved bytes
        out += struct.pack("<11scIBB14x", raw, b"C", 0, length, 0)
    out += b"\x0d"
    for deleted, values in records:
        out += b"*" if deleted else b" "
        for (name, length), value in zip(fields, values):
            raw = value.encode("latin-1")
            if len(raw) > length:
                raise ValueError("value too long for %s: %r" % (name, value))
            out += raw.ljust(length, b" ")
    out += b"\x1a"
    return bytes(out)


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# --- names --------------------------------------------------------------------

AREAS = ["Boiler", "Pumps", "Filter", "Dosing", "Intake", "Reservoir", "Clarifier", "Sludge",
         "Blower", "Chiller", "Conveyor", "Kiln", "Silo", "Mixer", "Press", "Packing", "Dryer",
         "Compressor", "Substation", "Feeder", "Turbine", "Scrubber", "Tank", "Valves"]
UNITS = ["Line", "Unit", "Train", "Area", "Cell", "Stage", "Block", "Zone"]
FILE_WORDS = ["Alarms", "Trends", "Control", "Startup", "Shutdown", "Interlock", "Reports",
              "Recipes", "Sequencer", "Utils", "Comms", "Security", "Events", "Display", "Pid",
              "Totals", "Maint", "Batch", "Logging", "Popup"]


def project_name(rng, index):
    return "%s_%s%02d_%05d" % (rng.choice(AREAS), rng.choice(UNITS), rng.randrange(1, 40), index)


# --- Cicode text --------------------------------------------------------------

TYPES = ["INT", "REAL", "STRING", "OBJECT"]
SUFFIXES = ["_PV", "_SP", "_RUN", "_FLT", "_AUTO", "_CMD", "_OUT", "_HI", "_LO", "_ACK"]
CALLS = ['Message("{a}", "{b} failed", 48)', 'TagWrite({t}, {n})', 'TrnFlush("{a}")',
         'ErrSet(1)', 'Sleep({n})', 'DspPopupMenu(0, "{b}")', 'AlarmAck(0, {n})',
         'SleepMS({n}0)', 'PageDisplay("{a}_{b}")', 'ReRead(1)', 'LogWrite(0, "{a}")']


def cicode_function(rng, n):
    area = rng.choice(AREAS)
    verb = rng.choice(["Start", "Stop", "Check", "Reset", "Read", "Log", "Calc", "Show", "Ack"])
    name = "%s%s%d" % (area, verb, n)
    tag = "%s%02d" % (area.upper()[:4], rng.randrange(100))
    params = ", ".join("%s %s%s" % (t, t[0].lower(), rng.choice(["Tag", "Mode", "Value", "Page",
                                                                  "Count", "Name"]))
                       for t in rng.sample(TYPES[:3], rng.randrange(1, 4)))
    lines = [
        "//\tFUNCTION:\t%s" % name,
        "//\tDESCRIPTION:\t%s %s for %s" % (verb, rng.choice(["sequence", "interlock", "status",
                                                            "report", "alarm"]), area.lower()),
        "//\tAUTHOR:\t\t%s" % rng.choice(["J. Okafor", "M. Lindqvist", "R. Tanaka", "P. Novak",
                                           "A. Moreau", "S. Ivanova"]),
        "//",
        "%sFUNCTION" % rng.choice(["", "PRIVATE ", "PUBLIC "]),
        "%s(%s)" % (name, params),
    ]
    for _ in range(rng.randrange(1, 5)):
        t = rng.choice(TYPES[:3])
        lines.append("\t%s %s%s%s;" % (t, t[0].lower(), rng.choice(["Result", "Status", "Old",
                                                                     "Count", "Limit"]),
                                       rng.choice(["", " = 0" if t != "STRING" else ' = ""'])))
    lines.append("")
    for _ in range(rng.randrange(2, 9)):
        suffix = rng.choice(SUFFIXES)
        call = rng.choice(CALLS).format(a=area, b=verb, t='"%s%s"' % (tag, suffix),
                                        n=rng.randrange(1, 500))
        kind = rng.randrange(4)
        if kind == 0:
            lines += ['\tIF TagRead("%s%s") = "1" THEN' % (tag, suffix),
                      "\t\t%s;" % call, "\tELSE",
                      '\t\tiStatus = %d;' % rng.randrange(-3, 300), "\tEND"]
        elif kind == 1:
            lines += ["\tFOR iCount = 0 TO %d DO" % rng.randrange(2, 64),
                      "\t\t%s;" % call, "\tEND"]
        elif kind == 2:
            lines += ["\t// %s the %s before the next step" % (rng.choice(["Wait for", "Check",
                                                                            "Latch", "Clear"]),
                                                              suffix[1:].lower()),
                      "\t%s;" % call]
        else:
            lines += ['\t%s%s = %s%s * %d.%d;' % (tag, suffix, tag, rng.choice(SUFFIXES),
                                                 rng.randrange(10), rng.randrange(100))]
    lines += ["\tRETURN %s;" % rng.choice(["0", "iStatus", "-1", "iResult"]), "END", "", ""]
    return "\r\n".join(lines) + "\r\n"


def variable_block(rng, n):
    area = rng.choice(AREAS)
    lines = ["// Variable tags of %s %d" % (area.lower(), n)]
    for _ in range(rng.randrange(4, 16)):
        t = rng.choice(["INT", "REAL", "STRING"])
        lines.append("%s %s%s_%02d%s = %s;" % (
            rng.choice(["GLOBAL", "MODULE"]), t, area, rng.randrange(100), rng.choice(SUFFIXES),
            '"%s"' % rng.choice(FILE_WORDS) if t == "STRING" else str(rng.randrange(1000))))
    return "\r\n".join(lines) + "\r\n\r\n"


def make_pool(rng, count=3000):
    return [variable_block(rng, i) if i % 7 == 0 else cicode_function(rng, i)
            for i in range(count)]


def make_source(rng, pool, file_name, project, plain_size):
    head = ("//\tFILE:\t\t%s\r\n//\tPROJECT:\t%s\r\n//\tCopyright (c) Talvoren Automation."
            " All rights reserved.\r\n//\r\n\r\n") % (file_name, project)
    parts = [head]
    size = len(head)
    while size < plain_size:
        block = pool[rng.randrange(len(pool))]
        parts.append(block)
        size += len(block)
    return "".join(parts).encode("latin-1")


# --- the layout ---------------------------------------------------------------

def level_sizes(total, depth):
    """Projects per include level 1..depth: growing geometrically, summing to
    total, at least one on every level."""
    if total == 0:
        return []
    if total < depth:
        raise SystemExit("--includes must be at least --depth")
    lo, hi = 1.0, float(total)
    for _ in range(100):
        b = (lo + hi) / 2
        if sum(b ** level for level in range(1, depth + 1)) > total:
            hi = b
        else:
            lo = b
    sizes = [max(1, int(lo ** level)) for level in range(1, depth + 1)]
    sizes[-1] += total - sum(sizes)
    return sizes


def file_sizes(rng, count, total):
    """ProtectedFile sizes: spread like real sources (many small, few large),
    no file above 10 times the mean, summing to about total."""
    if count <= 0:
        return []
    weights = [min(rng.lognormvariate(0.0, 0.9), 10.0) for _ in range(count)]
    scale = total / sum(weights)
    return [max(HEADER_LINES_SIZE + 64, int(w * scale)) for w in weights]


def parse_size(text):
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    if text and text[-1].upper() in units:
        return int(float(text[:-1]) * units[text[-1].upper()])
    return int(text)


def native(prefix, windows_path):
    drive, rest = windows_path.split(":", 1)
    return os.path.join(prefix, "drive_" + drive.lower(), *[p for p in rest.split("\\") if p])


def reg_quote(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def encrypt(protect, key, paths, jobs):
    batches = [paths[i:i + 200] for i in range(0, len(paths), 200)]

    def run(batch):
        cmd = [protect, "encrypt", "--force"] + (["--key", key] if key is not None else []) + batch
        done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if done.returncode != 0:
            raise SystemExit("veilbox-protect failed (%d): %s" % (done.returncode,
                                                                   done.stderr.decode(errors="replace")))

    with ThreadPoolExecutor(max_workers=jobs) as pool:
        list(pool.map(run, batches))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out", help="directory to lay out (must not exist or be empty)")
    ap.add_argument("--projects", type=int, default=2000, help="projects in master.dbf")
    ap.add_argument("--includes", type=int, default=300,
                    help="projects that the compiled project includes, directly or not")
    ap.add_argument("--depth", type=int, default=6, help="levels of includes")
    ap.add_argument("--repeats", type=int, default=None,
                    help="extra include records naming a project already included elsewhere "
                         "(default: one in twenty includes)")
    ap.add_argument("--files", type=int, default=3000, help="number of ProtectedFiles")
    ap.add_argument("--size", default="150M", help="total size of the ProtectedFiles (K, M, G)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--protect", required=True, help="the veilbox-protect program")
    ap.add_argument("--key", default=None, help="body key for veilbox-protect")
    ap.add_argument("--compiler", default="/bin/true",
                    help="program copied in as the compiler (default: one that ends at once)")
    ap.add_argument("--tree-dirs-only", action="store_true",
                    help="make directories for the compiled project and its includes only, not"
                         " for every project of master.dbf (for tables of a million projects)")
    ap.add_argument("--jobs", type=int, default=2, help="veilbox-protect runs at a time")
    args = ap.parse_args(argv)

    if not os.access(args.protect, os.X_OK):
        raise SystemExit("cannot run veilbox-protect: " + args.protect)
    if args.projects < args.includes + 1:
        raise SystemExit("--projects must exceed --includes")
    if os.path.exists(args.out) and os.listdir(args.out):
        raise SystemExit(args.out + " is not empty")
    rng = random.Random(args.seed)
    prefix = os.path.abspath(args.out)

    # Names: every project unique; the compiled one and its includes at
    # random places in the master table.
    names = [project_name(rng, i) for i in range(args.projects)]
    order = list(range(args.projects))
    rng.shuffle(order)
    root = names[order[0]]
    levels = [[root]]
    taken = 1
    for size in level_sizes(args.includes, args.depth):
        levels.append([names[order[taken + k]] for k in range(size)])
        taken += size
    tree = {name: [] for level in levels for name in level}
    for parent_level, level in zip(levels, levels[1:]):
        for k, child in enumerate(level):
            tree[parent_level[k % len(parent_level)]].append(child)
    # Repeats: a leaf project named again by another include table.
    leaves = levels[-1]
    inner = [name for level in levels[:-1] for name in level]
    repeats = args.includes // 20 if args.repeats is None else args.repeats
    for _ in range(repeats):
        tree[rng.choice(inner)].append(rng.choice(leaves))

    # master.dbf: one in a hundred of the projects outside the tree deleted.
    in_tree = set(tree)
    master = []
    for i, name in enumerate(names):
        deleted = name not in in_tree and rng.randrange(100) == 0
        master.append((deleted, [name, USER_DIR + "\\" + name]))
        if name in in_tree or not args.tree_dirs_only:
            os.makedirs(native(prefix, USER_DIR + "\\" + name), exist_ok=True)
    write_file(native(prefix, USER_DIR + "\\master.dbf"),
               dbf_bytes([("NAME", NAME_LEN), ("PATH", PATH_LEN)], master))

    # Include.dbf of every project that includes others; one in ten also
    # holds a deleted record of a project long gone.
    for name, children in tree.items():
        if not children:
            continue
        records = [(False, [child]) for child in children]
        if rng.randrange(10) == 0:
            retired = "Retired_%05d" % rng.randrange(99999)
            records.insert(rng.randrange(len(records) + 1), (True, [retired]))
        write_file(native(prefix, USER_DIR + "\\" + name + "\\Include.dbf"),
                   dbf_bytes([("NAME", NAME_LEN)], records))

    # ProtectedFiles: plain sources first, then encrypted.
    projects = list(tree)
    total = parse_size(args.size)
    sizes = file_sizes(rng, args.files, total)
    pool = make_pool(random.Random(args.seed * 7919 + 1))
    plain_paths = []
    per_project = {name: 0 for name in projects}
    for i, size in enumerate(sizes):
        project = projects[i % len(projects)] if i < len(projects) else rng.choice(projects)
        per_project[project] += 1
        file_name = "%s%03d.ci" % (rng.choice(FILE_WORDS), per_project[project])
        path = native(prefix, USER_DIR + "\\" + project + "\\" + file_name)
        plain = make_source(rng, pool, file_name, project, max(0, (size - HEADER_LINES_SIZE) // 2))
        write_file(path, plain)
        plain_paths.append(path)
    encrypt(args.protect, args.key, plain_paths, args.jobs)
    protected_sizes = []
    for path in plain_paths:
        if os.path.exists(path):
            os.remove(path)
        protected_sizes.append(os.path.getsize(path + ".Veilbox"))

    # The compiler, the registry and Citect.ini.
    compiler = native(prefix, BIN_DIR + "\\" + COMPILER_NAME)
    os.makedirs(os.path.dirname(compiler), exist_ok=True)
    shutil.copy(args.compiler, compiler)
    os.chmod(compiler, 0o755)
    values = [("CitectDir", CITECT_DIR), ("CompExe", BIN_DIR + "\\" + COMPILER_NAME),
              ("AttachName", COMPILER_NAME), ("CitectVer", "7.20")]
    write_file(os.path.join(prefix, "registry.reg"), (
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n"
        + "".join("%s=%s\r\n" % (reg_quote(k), reg_quote(v)) for k, v in values)
        + "\r\n").encode("latin-1"))
    write_file(os.path.join(prefix, "windows", "Citect.ini"), (
        "[CTEDIT]\r\nUSER=%s\r\nBIN=%s\r\nCOMPILEOKMESSAGE=1\r\n\r\n"
        "[GENERAL]\r\nBackup=0\r\n" % (USER_DIR, BIN_DIR)).encode("latin-1"))

    layout = {
        "prefix": prefix,
        "project": root,
        "projects": args.projects,
        "included_projects": args.includes,
        "include_repeats": repeats,
        "depth": args.depth,
        "files": len(protected_sizes),
        "protected_bytes": sum(protected_sizes),
        "largest_protected_file": max(protected_sizes, default=0),
        "projects_dir": native(prefix, USER_DIR),
        "seed": args.seed,
    }
    with open(os.path.join(prefix, "layout.json"), "w") as f:
        json.dump(layout, f, indent=1)
    json.dump(layout, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()
