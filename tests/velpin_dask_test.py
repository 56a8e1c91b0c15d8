"""velpin-dask end to end on a local cluster of 2 workers: a generated collection of loose movies,
zips and WARC files, named by a manifest out of byte order, in partitions of 7 gives, part after
part, the bytes of one velpin-cli scan with the same options, and a run stopped partway then run
again with another -j gives the same parts.
velpin_dask_test.py VELPIN-DASK VELPIN-CLI"""

import argparse
import gzip
import hashlib
import io
import json
import os
import runpy
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

DASK, CLI = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what, file=sys.stderr)


def movie(n):
    """An FWS movie: a 15-bit frame rectangle, a background, n bytes of binary data, a frame."""
    bits = "01111" + "".join(format(v, "015b") for v in (0, 11000, 0, 8000))
    bits += "0" * (-len(bits) % 8)
    rect = int(bits, 2).to_bytes(len(bits) // 8, "big")
    tags = (struct.pack("<H", 9 << 6 | 3) + bytes([n % 256, 0, 0])
            + struct.pack("<HI", 87 << 6 | 0x3F, n + 6) + bytes(6 + n)
            + struct.pack("<H", 1 << 6) + b"\0\0")
    body = rect + struct.pack("<HH", 24 << 8, 1) + tags
    return b"FWS" + bytes([10]) + struct.pack("<I", 8 + len(body)) + body


def warc(members):
    out = b""
    for name, data in members:
        out += (b"WARC/1.1\r\nWARC-Type: resource\r\nWARC-Target-URI: http://example.com/"
                + name.encode() + b"\r\nContent-Length: " + str(len(data)).encode()
                + b"\r\n\r\n" + data + b"\r\n\r\n")
    return out


def build(root):
    paths = []
    for n in range(40):
        data = movie(n * 13)
        if n % 9 == 4:
            data = data[: len(data) - 5]  # cut: a failed load
        elif n % 9 == 7:
            data = b"CWS" + data[3:8] + zlib.compress(data[8:])
        path = os.path.join(root, "loose", "m%02d.swf" % n)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        paths.append(path)
    for k in range(3):
        members = [("g%d/%d.swf" % (k, i), movie(100 * k + i)) for i in range(5)]
        path = os.path.join(root, "games%d.zip" % k)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
            for name, data in members + [("readme.txt", b"hi")]:
                archive.writestr(name, data)
        paths.append(path)
        records = warc(members)
        path = os.path.join(root, "crawl%d.warc" % k + (".gz" if k else ""))
        with open(path, "wb") as out:
            out.write(gzip.compress(records, mtime=0) if k else records)
        paths.append(path)
    paths.append(os.path.join(root, "missing.swf"))  # unreadable: exit status 3
    return sorted(paths, key=os.fsencode)


def parts(folder):
    names = sorted(n for n in os.listdir(folder) if n.startswith("part-"))
    return names, b"".join(open(os.path.join(folder, n), "rb").read() for n in names)


# A scanner that fails to read on its first try, and meanwhile looks for its part.
FAKE_SCANNER = """#!/bin/sh
while [ $# -gt 0 ]; do [ "$1" = --summary-json ] && summary=$2; shift; done
cat > /dev/null
[ -e "$DIR/part-00003.jsonl" ] && echo seen >> "$DIR/../seen"
echo '{"path": "x"}'
if [ ! -e "$DIR/../tried" ]; then touch "$DIR/../tried"; s=3; else s=0; fi
echo '{"scanner": "velpin-cli 0", "files": 1, "rows": 1, "loaded": 1, "failed": 0, "unreadable": '$((s / 3))'}' > "$summary"
exit $s
"""


def task_alone(root):
    """One task in this process: retried after an unreadable input, and its part never there
    before it is whole."""
    fake = os.path.join(root, "fake-velpin-cli")
    with open(fake, "w") as out:
        out.write(FAKE_SCANNER)
    os.chmod(fake, 0o755)
    folder = os.path.join(root, "task")
    os.makedirs(folder)
    os.environ["DIR"] = folder
    task = runpy.run_path(DASK, run_name="velpin_dask_test")["scan_partition"]
    totals = task(3, b"x\0", "key", fake, [], folder, root, 1, "velpin-cli 0", 60)
    check((totals["status"], totals["attempts"], totals["unreadable"]) == (0, 2, 0),
          "a task is retried after exit status 3: %s" % totals)
    check(not os.path.exists(os.path.join(root, "seen")), "a part appears only when whole")
    check(open(os.path.join(folder, "part-00003.jsonl")).read() == '{"path": "x"}\n',
          "the part holds the rows")
    try:
        task(4, b"x\0", "key", fake, [], folder, root, 0, "velpin-cli 1", 60)
        check(False, "a worker's scanner of another version fails the task")
    except RuntimeError as error:
        check("velpin-cli 0, not velpin-cli 1" in str(error), "another scanner: %s" % error)
    check(not os.path.exists(os.path.join(folder, "part-00004.jsonl")), "and leaves no part")


def paths_in_order(root):
    """The paths of the manifests, each line one, then the paths given."""
    manifest = os.path.join(root, "few")
    with open(manifest, "w") as out:
        out.write("a\n\nb\r\n")
    read_paths = runpy.run_path(DASK, run_name="velpin_dask_test")["read_paths"]
    zeros = os.path.join(root, "few0")
    with open(zeros, "wb") as out:
        out.write(b"d\0\0./a\0B\0")
    given = read_paths(argparse.Namespace(files_from=[manifest], files0_from=[zeros],
                                          paths=["c", "b"]))
    check(given == ["./a", "B", "b", "c", "d"],
          "the paths of both kinds of manifest and those given, in byte order, each once: %s"
          % given)


def no_scanner(root):
    """Without a velpin-cli, it says so at once, before a cluster starts."""
    alone = os.path.join(root, "alone")
    os.makedirs(alone)
    copy = os.path.join(alone, "velpin-dask")
    with open(DASK, "rb") as source, open(copy, "wb") as out:
        out.write(source.read())
    started = time.monotonic()
    run = subprocess.run([sys.executable, copy, "x.swf"], capture_output=True,
                         env=dict(os.environ, PATH=alone))
    check(run.returncode == 1 and b"no velpin-cli" in run.stderr
          and time.monotonic() - started < 5, "no scanner: %s" % run.stderr)


def main():
    with tempfile.TemporaryDirectory(prefix="velpin-dask-test-") as root:
        task_alone(root)
        paths_in_order(root)
        no_scanner(root)
        manifest = os.path.join(root, "manifest")
        paths = build(root)
        with open(manifest, "w") as out:
            out.write("".join(p + "\n" for p in reversed(paths)))
        folder = os.path.join(root, "out")
        options = ["--inflate", "--lenient", "--deps", "--nested", "--hash", "sha256"]
        common = [DASK, "--workers", "2", "--partition-size", "7", "--retries", "1", *options,
                  "--out", folder, "--files-from", manifest]
        one = subprocess.run([CLI, "scan", *options, "--files-from", manifest],
                             capture_output=True)
        check(one.returncode == 3, "one scan exits 3, for the missing input")

        for usage in (["--partition-size", "0", "x"], ["--hash", "sha512", "x"], [],
                      ["--no-such-option", "x"], ["--summary-json", "s.json", "x"]):
            run = subprocess.run([DASK] + usage, capture_output=True)
            check(run.returncode == 2 and run.stderr.count(b"\n") == 1,
                  "bad usage %s exits 2 with one line" % usage)

        # Stopped as soon as a part is there: the parts made stay.
        first = subprocess.Popen(common, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 120
        while first.poll() is None and time.monotonic() < deadline and not (
                os.path.isdir(folder) and any(n.startswith("part-") for n in os.listdir(folder))):
            time.sleep(0.02)
        first.send_signal(signal.SIGTERM)
        first.wait(60)
        check(first.returncode in (3, 128 + signal.SIGINT), "a stopped run exits 130: %s"
              % first.returncode)
        kept, _ = parts(folder)

        # What a stop at a worse moment leaves: a temporary file, a part gone, a stale part.
        open(os.path.join(folder, ".part-00001.host.1.tmp"), "wb").close()
        if kept:
            os.unlink(os.path.join(folder, kept[0]))
        open(os.path.join(folder, "part-00099.jsonl"), "wb").close()
        stamps = {n: os.stat(os.path.join(folder, n)).st_mtime_ns for n in kept[1:]}

        second = subprocess.run(common + ["-j", "2"], capture_output=True)
        check(second.returncode == 3, "the run exits 3, as the scan does")
        names, joined = parts(folder)
        check(names == ["part-%05d.jsonl" % i for i in range((len(paths) + 6) // 7)],
              "one part per partition: %s" % names)
        check(joined == one.stdout, "the parts in order are one scan's output, byte for byte")
        unreadable = {n for n in names if b"missing.swf" in open(os.path.join(folder, n), "rb")
                      .read()}
        check(all(os.stat(os.path.join(folder, n)).st_mtime_ns == stamps[n]
                  for n in stamps if n not in unreadable), "finished parts are not redone")
        check(all(os.stat(os.path.join(folder, n)).st_mtime_ns != stamps[n]
                  for n in stamps if n in unreadable), "a part with an unreadable input is")
        with open(os.path.join(folder, "_SUCCESS")) as success:
            totals = json.load(success)
        rows = one.stdout.count(b"\n")
        loaded = one.stdout.count(b'"result": 0,')
        check({k: totals[k] for k in ("inputs", "rows", "loaded", "failed", "unreadable")}
              == {"inputs": len(paths), "rows": rows, "loaded": loaded,
                  "failed": rows - loaded, "unreadable": 1}, "the totals: %s" % totals)
        check(totals["runs"] == 2 and [(p["name"], p["sha256"]) for p in totals["parts"]]
              == [(n, hashlib.sha256(open(os.path.join(folder, n), "rb").read()).hexdigest())
                  for n in names], "both runs, and each part's digest: %s" % totals)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
