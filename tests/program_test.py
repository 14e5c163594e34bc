#!/usr/bin/env python3
# The built programs as a user runs them: what reaches the terminal, options,
# exit codes, closed standard streams, two runs at once and runs killed midway.
# Linux only. Arguments: the unpack program, the repack program and the version
# they answer with; any after those go to unittest (a test name, -v).
import collections
import fcntl
import os
import random
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

UNPACK, REPACK, VERSION = sys.argv[1:4]


# An archive laid out here by hand, so that the programs' own layout code is
# checked against a second writer. Entries are (name, data) or (name, data,
# declared length); positions in the directory count from 1.
def archive(entries):
    parts = [b"ZRK.DAT 1.00" + struct.pack("<i", len(entries) - 1)]
    position = 17 + 32 * len(entries)
    for name, content, *declared in entries:
        kind = 0 if name.upper().endswith(b"PCM") else 1
        length = declared[0] if declared else len(content)
        parts.append(struct.pack("<19sB3i", name, kind, len(content), length, position))
        position += len(content)
    return b"".join(parts + [content for _, content, *_ in entries])


# Enough entries that the log outgrows a pipe of one page while entries remain,
# with one long enough to be stopped in among them.
BIG = (b"D3\\BIG.BIN", random.Random(0).randbytes(1 << 20) * 64, 7)
MANY = [(b"D%d\\F%03d.BIN" % (i % 7, i), random.Random(i).randbytes(100 + i * 13), i)
        for i in range(400)]
MANY.insert(200, BIG)
MANY_ARCHIVE = archive(MANY)


def read(*path):
    with open(os.path.join(*path), "rb") as file:
        return file.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(data)


# Everything below `parent`: a relative path gives a file's bytes, or "/" for a folder.
def tree(parent):
    items = {}
    for folder, folders, files in os.walk(parent):
        for name in folders + files:
            path = os.path.join(folder, name)
            items[os.path.relpath(path, parent)] = "/" if name in folders else read(path)
    return items


# Runs `program` in `folder` to its end. `before` runs in the child before the
# program starts (to close or replace a standard stream). `as_nobody` takes
# root's power to read and write anything away; the program then runs as a
# copy beside the folder, since the build may lie in a folder closed to the
# user nobody.
def run(program, folder, *args, before=None, as_nobody=False):
    nobody = {}
    if as_nobody:
        program = shutil.copy(program, os.path.dirname(os.path.normpath(folder)))
        nobody = dict(user=65534, group=65534, extra_groups=[]) if os.geteuid() == 0 else {}
    return subprocess.run([program, *args], cwd=folder, stdin=subprocess.DEVNULL,
                          capture_output=True, encoding="utf-8", errors="backslashreplace",
                          preexec_fn=before, **nobody)


def remove(parent):
    for folder, _, _ in os.walk(parent):
        os.chmod(folder, 0o755)  # what a row made read-only
    shutil.rmtree(parent)


# A row of the terminal table: a run in a folder holding `file` (ZRK.DAT for
# Unpack, the manifest for Repack) and Output/E<ESC>[31m.BIN. `out` is all of
# standard output, or its start up to "..."; "<work>" in `err` stands for the
# work folder. `locked` lists paths below the work folder that a row
# makes read-only (a folder) or unreadable (a file); such a row runs as a user
# without root's power over them. `before` runs in the child before the program;
# `files` are more files below the parent folder.
Row = collections.namedtuple("Row", "program args file code out err locked before files",
                             defaults=[(), None, {}])


class Programs(unittest.TestCase):
    # A fresh parent folder holding "work" and `files` (paths below the parent),
    # in /dev/shm where there is one, so that a check sees whatever a run
    # writes beside the work folder. It goes after the test.
    def folder(self, files):
        shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
        parent = os.path.realpath(tempfile.mkdtemp(prefix="zrk-test-", dir=shm))
        self.addCleanup(remove, parent)
        os.chmod(parent, 0o755)  # open to nobody too
        os.mkdir(os.path.join(parent, "work"))
        for path, data in files.items():
            write(os.path.join(parent, path), data)
        return parent

    def test_answer_on_the_terminal(self):
        unpacked = "Reading metadata...\nWriting manifest file...\n"
        meta = "Reading metadata from manifest...\n"
        two = archive([(b"T\x7f\xc9\x81.BIN", b"x", 2**31 - 1), (b"E\x1b[31m.BIN", b"e")])
        listed = "         1 2147483647 T\\127É\\129.BIN\n"  # two's first entry, as -t lists it
        long_name = "A" * 300
        small_files = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (10, 10))
        save_as = "the manifest is read in Windows-1252: save it in that code page"
        look = "; run unpack in the folder that holds it, or name that folder with -C DIR\n"
        cut = "E\x1b[31m_NAME_OF_22.B"  # what the name field keeps of two names
        shown = cut.replace("\x1b", "\\27")
        warned = "".join(f"warning: manifest.txt line {n}: the name \"{shown}{end}\" is 21 bytes "
                         f"long and is stored cut to 19: \"{shown}\"\n"
                         for n, end in ((1, "IN"), (2, "AK")))
        warned += (f"warning: manifest.txt line 2: \"{shown}AK\" is stored under the same name "
                   f"as line 1, \"{shown}\"; unpacking the new archive gives one file for both, "
                   "holding the later entry\n")

        def refused(name, complaint):
            listing = " [-t]" if name == "unpack" else ""
            return f"{name}: {complaint}\nusage: {name} [-h] [--version]{listing} [-C DIR]\n"

        for row in [
            Row(UNPACK, [], two, 0, unpacked + "Unpacking T\\127É\\129.BIN...\n"
                "Unpacking E\\27[31m.BIN...\nDone!\n", ""),
            Row(REPACK, [], "CAFÉ\x7f.BIN,1\r\n".encode(), 1, meta, "error: manifest.txt line 1: "
                "<work>Output/CAFÃ‰\\127.BIN is missing or not a plain file; the line looks like "
                f"UTF-8, but {save_as}\n"),
            Row(REPACK, [], f"{cut}IN,1\r\n{cut}AK,1\r\n".encode(), 0, f"{meta}Writing metadata"
                f"...\nRepacking {shown}IN...\nRepacking {shown}AK...\nDone!\n", warned,
                files={f"work/Output/{cut}IN": b"1", f"work/Output/{cut}AK": b"2"}),
            Row(REPACK, [], b"\xef\xbb\xbfE\x1b[31m.BIN,1\r\n", 1, meta, "error: manifest.txt "
                f"line 1 begins with a UTF-8 byte order mark, but {save_as}, without the mark\n"),
            Row(REPACK, [], long_name.encode() + b",1\r\n", 1, meta, "error: manifest.txt line 1: "
                f"cannot look at <work>Output/{long_name}: File name too long\n"),
            Row(REPACK, [], b"E\x1b[31m.BIN,1\r\n", 1, meta,
                "error: cannot open <work>Output/manifest.txt: Permission denied\n",
                locked=["Output/manifest.txt"]),
            Row(REPACK, [], b"E\x1b[31m.BIN,1\r\n", 1, meta,
                "error: cannot create <work>ZRK.NEW: Permission denied\n", locked=[""]),
            Row(UNPACK, [], two, 1, unpacked,
                "error: cannot create <work>Output/manifest.txt: Permission denied\n", locked=["Output"]),
            Row(UNPACK, [], two, 1, unpacked, "error: cannot write <work>Output/manifest.txt: "
                "File too large\n", before=small_files),
            Row(REPACK, [], b"E\x1b[31m.BIN,1\r\n", 1, meta,
                "error: cannot write <work>ZRK.NEW: File too large\n", before=small_files),
            Row(UNPACK, ["--list"], two, 0, listed + "         1          1 E\\27[31m.BIN\n", "",
                locked=[""]),
            Row(UNPACK, ["-t"], two[:-1], 1, listed, "error: <work>ZRK.DAT is damaged: entry 2 "
                "\"E\\27[31m.BIN\" has its 1 bytes at positions 82 to 82, but the file holds "
                "positions 1 to 81\n"),
            Row(UNPACK, ["-tC", "Output"], two, 1, "", f"unpack: no ZRK.DAT in <work>Output/{look}"),
            Row(UNPACK, ["-C", "Output"], two, 1, "ZRK.DAT not found!\n",
                f"unpack: no ZRK.DAT in <work>Output/{look}"),
            Row(REPACK, ["-C", "Output"], b"A,1", 1, "Manifest file not found!\n",
                f"repack: no Output/manifest.txt in <work>Output/{look.replace('unpack', 'repack')}"),
            Row(UNPACK, [], archive([(b"..\\UP", b"u"), (b"A\x7f", b"a")]), 1, unpacked +
                "Unpacking ..\\UP...\nUnable to write ..\\UP!\nUnpacking A\\127...\nDone!\n",
                "unpack: 1 of 2 entries not written; the first, \"..\\UP\": its name cannot "
                "stand for a file inside Output\n"),
            Row(UNPACK, [], archive([(b"F\\A", b"a"), (b"F\\B", b"b")]), 1, unpacked +
                "Unpacking F\\A...\nUnable to write F\\A!\nUnpacking F\\B...\nUnable to write "
                "F\\B!\nDone!\n", "unpack: 2 of 2 entries not written; the first, \"F\\A\": a file "
                "is in the way of a folder\n", files={"work/Output/F": b"f"}),
            Row(UNPACK, ["--help"], two, 0,
                "usage: unpack [-h] [--version] [-t] [-C DIR]\n\nTakes...", ""),
            Row(UNPACK, ["--version"], two, 0, f"unpack {VERSION}\n", ""),
            Row(UNPACK, ["--verbose\x1b"], two, 2, "",
                refused("unpack", "unknown option '--verbose\\27'")),
            Row(REPACK, ["-ht"], b"A,1", 2, "", refused("repack", "unknown option '-t'")),
            Row(REPACK, ["--list"], b"A,1", 2, "",
                refused("repack", "unknown option '--list'")),
            Row(UNPACK, ["ZRK.DAT"], two, 2, "", refused("unpack", "unexpected argument "
                "'ZRK.DAT'; unpack works on ZRK.DAT in the folder it runs in, or in the one given "
                "with -C DIR")),
            Row(REPACK, ["--directory"], b"A,1", 2, "",
                refused("repack", "option --directory needs a folder")),
            Row(UNPACK, ["-C", "X\x1b"], two, 2, "",
                "unpack: cannot work in 'X\\27': No such file or directory\n"),
        ]:
            with self.subTest(program=os.path.basename(row.program), args=row.args, err=row.err):
                file = "work/ZRK.DAT" if row.program == UNPACK else "work/Output/manifest.txt"
                parent = self.folder({"work/Output/E\x1b[31m.BIN": b"e", file: row.file,
                                      **row.files})
                work = os.path.join(parent, "work", "")
                for path in row.locked:
                    os.chmod(work + path, 0o555 if os.path.isdir(work + path) else 0)
                before = tree(parent) if row.args else None
                # A command line, --list too, runs beside a run that holds the lock.
                held = os.open(work, os.O_RDONLY | os.O_DIRECTORY)
                if row.args:
                    fcntl.flock(held, fcntl.LOCK_EX)
                ran = run(row.program, work, *row.args, before=row.before,
                          as_nobody=bool(row.locked))
                os.close(held)
                self.assertEqual(ran.returncode, row.code)
                start = row.out.endswith("...")
                self.assertEqual(ran.stdout[:len(row.out) - 3] + "..." if start else ran.stdout,
                                 row.out)
                self.assertEqual(ran.stderr, row.err.replace("<work>", work))
                if row.args:  # it touches nothing; a run as nobody is a copy beside it
                    copy = os.path.basename(row.program) if row.locked else None
                    left = {k: v for k, v in tree(parent).items() if k != copy}
                    self.assertEqual(left, before)

    # An answer that standard output cannot take is a failure.
    def test_an_answer_lost_on_a_full_device_fails(self):
        with open("/dev/full", "w") as full:
            self.assertEqual(subprocess.run([UNPACK, "--version"], stdout=full).returncode, 1)

    # Both programs in turn, started in `start` below a fresh parent folder whose
    # work folder holds `data` as ZRK.DAT: the files they leave and their logs.
    def both_runs(self, data, start, args, before=None):
        parent = self.folder({"work/ZRK.DAT": data})
        folder = os.path.join(parent, start)
        ran = [run(program, folder, *args, before=before) for program in (UNPACK, REPACK)]
        self.assertEqual([each.returncode for each in ran], [0, 0], ran)
        return tree(parent), ran[0].stdout + ran[1].stdout

    # Sent into the work folder by -C, the programs do what they do when started
    # there; with a standard stream closed, or output to a pipe no one reads any
    # more, they lose nothing but the log.
    def test_work_alike_from_another_folder_and_with_a_closed_stream(self):
        data = archive([(b"A.PCM", b"abc"), (b"SUB\\B.BIN", b"de", 7)])
        files, log = self.both_runs(data, "work", [])
        self.assertEqual(files.get("work/ZRK.NEW"), data)
        for args in (["-C", "work"], ["--directory=work"]):
            self.assertEqual(self.both_runs(data, ".", args), (files, log), args)
        for stream in (0, 1, 2):
            files_left, _ = self.both_runs(data, "work", [], before=lambda: os.close(stream))
            self.assertEqual(files_left, files, f"stream {stream} closed")
        reader, writer = os.pipe()
        os.close(reader)
        files_left, _ = self.both_runs(data, "work", [], before=lambda: os.dup2(writer, 1))
        os.close(writer)
        self.assertEqual(files_left, files, "output to a pipe without a reader")

    # Starts `program` in the work folder below `parent` and stops it once it has
    # logged `line`. Meanwhile `other` must refuse to run there, and in `twin`,
    # whose Output is a link to the same folder, and touch nothing. Then kills it.
    def interrupt(self, program, other, parent, line, twin):
        work = os.path.join(parent, "work")
        log_end, child_end = os.pipe()
        # A pipe of one page: the run cannot get far ahead of its reader.
        fcntl.fcntl(child_end, fcntl.F_SETPIPE_SZ, 4096)
        child = subprocess.Popen([program], cwd=work, stdin=subprocess.DEVNULL, stdout=child_end)
        os.close(child_end)
        with open(log_end, "rb") as log:
            try:
                lines = iter(log.readline, b"")
                self.assertIn(line + b"\n", lines, f"{program} ended before {line}")
                self.assertGreater(child.pid, 0)
                os.kill(child.pid, signal.SIGSTOP)  # unreaped until Popen reaps it: ours
                # WNOWAIT leaves a child that ended to Popen to reap.
                state = os.waitid(os.P_PID, child.pid, os.WSTOPPED | os.WEXITED | os.WNOWAIT)
                self.assertEqual(state.si_code, os.CLD_STOPPED, f"{program} ended unstopped")
                during = tree(parent)
                for folder in (work, twin):
                    refused = run(other, folder)
                    self.assertEqual((refused.returncode, refused.stderr),
                                     (1, "error: Output is in use by another Unpack or Repack\n"))
                self.assertEqual(tree(parent), during)
            finally:
                if child.pid > 0 and child.poll() is None:  # stopped or running, still unreaped
                    os.kill(child.pid, signal.SIGKILL)
                child.wait()

    # Killed inside a large entry, Unpack leaves each file old or new and whole,
    # and no temporary; Repack killed while it writes ZRK.NEW leaves none. A
    # second run gives what an uninterrupted one gives.
    def test_a_killed_run_leaves_only_whole_files_and_a_rerun_finishes(self):
        whole = self.folder({"work/ZRK.DAT": MANY_ARCHIVE})
        self.assertEqual(run(UNPACK, os.path.join(whole, "work")).returncode, 0)
        new = tree(whole)
        old = {path: b"old" for path, data in new.items()
               if path.startswith("work/Output/") and data != "/"}
        parent = self.folder({"work/ZRK.DAT": MANY_ARCHIVE, **old})
        work = os.path.join(parent, "work")
        twin = os.path.join(self.folder({"work/ZRK.DAT": MANY_ARCHIVE}), "work")
        os.symlink(os.path.join(work, "Output"), os.path.join(twin, "Output"))
        self.interrupt(UNPACK, REPACK, parent, b"Unpacking " + BIG[0] + b"...", twin)
        for path, data in tree(parent).items():
            self.assertIn(data, (new.get(path), old.get(path)), path)
        self.assertEqual(run(UNPACK, work).returncode, 0)
        self.assertEqual(tree(parent), new)

        write(os.path.join(work, "ZRK.NEW"), b"an earlier one")
        self.interrupt(REPACK, UNPACK, parent, b"Repacking " + BIG[0] + b"...", twin)
        self.assertEqual(tree(parent), new)
        self.assertEqual(run(REPACK, work).returncode, 0)
        self.assertEqual(read(work, "ZRK.NEW"), MANY_ARCHIVE)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[4:])
