"""Reads the same dBase tables with TDBase3Plus and with readers that others
wrote (shapelib, dbfread), and fails on any difference in the records, their
values or their deletion flags.

The tables are written by shapelib's C writer and by the Python dbf module,
each with deleted records among the present ones.

usage: python3 dbase_differential.py PATH_OF_DBASE_PEER
Exit code 77 means a peer library is missing and the test is skipped.
"""

import os
import random
import subprocess
import sys
import tempfile

SKIP = 77

try:
    import dbf
    import dbfread
except ImportError as error:
    print("SKIP: the dBase peers for Python are missing (%s); install python3-dbf "
          "and python3-dbfread" % error)
    sys.exit(SKIP)


def run_peer(peer, *args):
    out = subprocess.run([peer, *args], check=True, stdout=subprocess.PIPE).stdout
    lines = out.decode("ascii").splitlines()
    records = []
    for line in lines[1:]:
        flag, *values = line.split("|")
        records.append((flag == "*", [bytes.fromhex(v) for v in values]))
    return lines[0].split(" ") if lines[0] else [], records


def write_with_dbf(path):
    rng = random.Random(7)
    table = dbf.Table(path, "name C(16); path C(64); level N(5,0); note C(10)",
                      dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    words = ["Plant", "example", "include", "Lib", "  spaced", "", "x" * 16]
    for i in range(300):
        name = rng.choice(words) + (str(i) if i % 3 else "")
        name = name[:16]
        path = "C:\\Citect\\User\\" + "".join(rng.choice("abcXYZ_09\xe9")
                                               for _ in range(rng.randrange(0, 50)))
        table.append((name, path, rng.randrange(-999, 9999), "n" * (i % 11)))
    for i, record in enumerate(table):
        if i % 5 == 2 or i % 17 == 0:
            dbf.delete(record)
    table.close()


def compare(label, path, peer):
    failures = []
    names, shp = run_peer(peer, "dump-shapelib", path)
    # Ask for the fields in lower case: the lookup ignores the case.
    _, vbx = run_peer(peer, "dump-veilbox", path, *[n.lower() for n in names])

    if len(vbx) != len(shp):
        failures.append("%d records through TDBase3Plus, %d through shapelib"
                        % (len(vbx), len(shp)))
    for i, (mine, theirs) in enumerate(zip(vbx, shp)):
        # shapelib trims leading blanks as well; TDBase3Plus keeps them.
        mine_as_shapelib = (mine[0], [v.lstrip(b" ") for v in mine[1]])
        if mine_as_shapelib != theirs:
            failures.append("record %d: TDBase3Plus %r, shapelib %r" % (i, mine, theirs))

    peer_table = dbfread.DBF(path, raw=True, load=True, ignore_missing_memofile=True)
    field_names = [f.name for f in peer_table.fields]
    if [n.upper() for n in field_names] != [n.upper() for n in names]:
        failures.append("fields %r (dbfread) and %r (shapelib)" % (field_names, names))
    for deleted, peer_records in ((False, peer_table.records), (True, peer_table.deleted)):
        theirs = [[rec[n].rstrip(b" ") for n in field_names] for rec in peer_records]
        mine = [values for flag, values in vbx if flag == deleted]
        if mine != theirs:
            failures.append("%s records differ from dbfread: %r / %r"
                            % ("deleted" if deleted else "present", mine[:3], theirs[:3]))

    deleted = sum(1 for flag, _ in vbx if flag)
    print("%s: %d records, %d deleted, %d fields: %s"
          % (label, len(vbx), deleted, len(names), "differ" if failures else "same"))
    if len(vbx) < 100 or deleted == 0:
        failures.append("the table is too small to show anything")
    for failure in failures[:10]:
        print("  " + failure)
    return not failures


def main():
    peer = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        by_shapelib = os.path.join(work, "shapelib.dbf")
        subprocess.run([peer, "write-shapelib", by_shapelib], check=True)
        by_dbf = os.path.join(work, "dbf.dbf")
        write_with_dbf(by_dbf)
        ok = compare("written by shapelib", by_shapelib, peer)
        ok = compare("written by python dbf", by_dbf, peer) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
