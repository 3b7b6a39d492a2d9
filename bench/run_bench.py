#!/usr/bin/env python3
"""Runs the uninstall benchmarks; scripts/bench builds the programs and calls this.

Every measured run starts from a freshly built, identical tree.  The runs of
the sides being compared alternate (A, B, A, B, ...) and medians are reported.

  files     releasing the shared component "Data" (N files) by the real
            QFUNINST.DLL, against Rust's std::fs::remove_dir_all (rmtree.exe,
            under Wine's 64-bit loader), Wine's `cmd /c rd /s /q` and native
            `rm -rf`
  keys      removing the per-user tree (K keys) by the pass, against
            RegDeleteTreeA, both timed inside one Wine process
  logic     the pass on the simulated Windows (Google Benchmark), natively
  floor     (--floor) the pass against qffloor.exe, which makes the pass's calls
            per entry and nothing else, with and without its checks, and
            remove_dir_all
  record    (--run-record) the pass keeping its run record against the pass
            without one
  lock      (--plan-lock) the pass held to the reviewed plan of the very tree
            (qfpreview.exe --json, made before each timed run) against the
            pass without a plan
  smoke     (--smoke) every side of every table above run once at the smallest
            size, the Rust peer only when it is given: shows that each still
            runs, and measures nothing
"""

import argparse
import datetime
import functools
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# N -> (directory fan-out per level below RootDir, files in each last-level directory).
# Must match kFileShapes in logic_bench.cpp.
FILE_SHAPES = {
    1000: ((2, 5, 5), 20),
    10000: ((5, 10, 10), 20),
    50000: ((10, 10, 25), 20),
}
# K -> fan-out of the four levels below the version key.  Must match kKeyShapes.
KEY_SHAPES = {
    1000: (10, 4, 4, 5),
    10000: (10, 10, 9, 10),
}
KEY_VALUES = 3
FILE_DATA = b"Quillforge shared data\r\n" * 3

# Time left for the work after the file runs of the largest size, in seconds
# of the whole run (build and boot included); further rd runs at the largest
# size are made only while they fit.
BUDGET_SECONDS = 560

# The files table's sides besides the pass: (key in the results, column
# heading).  Each has a run_<key>(n) method that builds the tree, removes it
# and returns seconds; the pass/<side> ratios come from the same rounds.
FILE_PEERS = [("rust", "remove_dir_all"), ("rd", "rd /s /q")]

# Sections of bench/README.md that --record fills, between these marks.
RECORD_BEGIN = "<!-- %s: begin (written by scripts/bench --record %s) -->"
RECORD_END = "<!-- %s: end -->"


class Bench:
    def __init__(self, args):
        self.args = args
        # The run's start, build and prefix boot included, when the caller says.
        self.start = time.monotonic() - (time.time() - args.started if args.started else 0)
        self.win32 = args.win32_dir
        self.area = args.area            # Linux directory behind the drive
        self.drive = args.drive          # its Windows drive, "Q:"
        self.env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)    # no program here opens a window
        # The 64-bit Wine of the Rust peer: its loader, its server (always
        # started by scripts/bench first) and its prefix.
        self.env64 = dict(self.env, WINEPREFIX=args.prefix64, WINELOADER=args.wine64,
                          WINESERVER=args.wineserver64, WINEARCH="win64")
        # A 32-bit prefix beside the (64-bit) one, with the same drive: 32-bit
        # Windows, for --wow64.
        self.env32 = dict(self.env, WINEPREFIX=args.prefix32 or "", WINEARCH="win32")
        self.log = open(os.path.join(args.out_dir, "bench.log"), "w")
        # Rounds of the tables that take turns run by run.
        self.rounds = args.reps if args.smoke else max(5, args.reps)

    def elapsed(self):
        return time.monotonic() - self.start

    def note(self, text):
        print(text, file=sys.stderr, flush=True)
        print(text, file=self.log, flush=True)

    # ---- processes ----

    def wine(self, *argv, wine64=False, env=None):
        """Runs a Windows program (a 64-bit one with wine64; in another
        prefix with env); returns its key=value lines as lists, and the wall
        time."""
        loader, env = (self.args.wine64, self.env64) if wine64 else ("wine", env or self.env)
        # Output goes through a file, not a pipe: helper processes that Wine
        # starts (services) inherit the handles and would hold a pipe open.
        with tempfile.TemporaryFile("w+") as output:
            t0 = time.perf_counter()
            done = subprocess.run([loader, *argv], env=env, stdin=subprocess.DEVNULL,
                                  stdout=output, stderr=subprocess.STDOUT)
            wall = time.perf_counter() - t0
            output.seek(0)
            text = output.read()
        print("$ wine " + " ".join(argv), file=self.log)
        print(text, file=self.log, flush=True)
        if done.returncode != 0:
            raise RuntimeError("wine %s failed (%d): %s" % (" ".join(argv), done.returncode,
                                                            text.strip()))
        values = {}
        for line in text.splitlines():
            if "=" in line:
                key, _, value = line.strip().partition("=")
                values.setdefault(key, []).append(value)
        return values, wall

    def exe(self, name):
        return os.path.join(self.win32, name)

    # ---- file trees ----

    def shared_dir(self):
        return os.path.join(self.area, "QFBench", "Shared")

    def build_tree(self, n):
        dims, files = FILE_SHAPES[n]
        shared = self.shared_dir()
        if os.path.exists(shared):
            shutil.rmtree(shared)
        root = os.path.join(shared, "Data")

        def level(path, depth):
            if depth == len(dims):
                os.makedirs(path)
                for f in range(files):
                    with open(os.path.join(path, "file%03d.dat" % f), "wb") as out:
                        out.write(FILE_DATA)
                return
            for i in range(dims[depth]):
                level(os.path.join(path, "d%02d" % i), depth + 1)

        level(root, 0)

    def check_removed(self, who):
        if os.path.exists(self.shared_dir()):
            raise RuntimeError("%s left files behind in %s" % (who, self.shared_dir()))

    def win_path(self, *parts):
        return self.drive + "\\" + "\\".join(parts)

    def run_pass(self, n):
        self.build_tree(n)
        values, _ = self.wine(self.exe("qfbench.exe"), "files-pass",
                              self.win_path("QFBench", "Shared", "Data"))
        self.check_removed("the pass")
        return float(values["pass_seconds"][0])

    def run_rust(self, n):
        """remove_dir_all on the shared area's directory, timed inside rmtree.exe;
        None without the peer."""
        if not self.args.rmtree:
            return None
        self.build_tree(n)
        values, _ = self.wine(self.args.rmtree, self.win_path("QFBench", "Shared"), wine64=True)
        self.check_removed("remove_dir_all")
        return float(values["rust_seconds"][0])

    def run_rd(self, n):
        self.build_tree(n)
        values, _ = self.wine(self.exe("qfbench.exe"), "launch", "2",
                              "cmd /c rd /s /q " + self.win_path("QFBench", "Shared"))
        self.check_removed("rd /s /q")
        return float(values["net_seconds"][0]), float(values["empty_seconds"][0])

    def run_rm(self, n):
        self.build_tree(n)
        t0 = time.perf_counter()
        subprocess.run(["rm", "-rf", self.shared_dir()], check=True)
        seconds = time.perf_counter() - t0
        self.check_removed("rm -rf")
        return seconds

    def run_host(self, n):
        """The host stand-in's whole run, less a run of it that calls nothing."""
        self.build_tree(n)
        self.wine(self.exe("qfbench.exe"), "files-setup", self.win_path("QFBench", "Shared", "Data"))
        _, empty = self.wine(self.exe("qfhost.exe"), "--calls", "")
        _, wall = self.wine(self.exe("qfhost.exe"))
        self.check_removed("qfhost")
        return wall, wall - empty

    def files(self, sizes):
        # The sizes take turns within each round, so that a change of the
        # machine's load over the run weighs on every size alike and the
        # cost per item stays comparable between sizes.
        largest = sizes[-1]
        results = {n: {"pass": [], "rust": [], "rd": [], "rm": [], "host": [], "host_net": [],
                       "empty_launch": []} for n in sizes}
        for rep in range(self.args.reps):
            for n in sizes:
                runs = results[n]
                runs["pass"].append(self.run_pass(n))
                runs["rust"].append(self.run_rust(n))
                # rd is by far the slowest run: at the largest size it is only
                # repeated while the budget allows, always right after a pass run.
                # A skipped run stays as None, so runs of one round stay paired.
                last_rd = max([x for x in runs["rd"] if x is not None], default=0)
                rd = None
                if (n != largest or rep == 0 or self.args.quick or
                        self.elapsed() + 1.2 * last_rd < BUDGET_SECONDS):
                    rd, empty = self.run_rd(n)
                    runs["empty_launch"].append(empty)
                runs["rd"].append(rd)
                rd_text = seconds(rd)
                runs["rm"].append(self.run_rm(n))
                wall, net = self.run_host(n)
                runs["host"].append(wall)
                runs["host_net"].append(net)
                self.note("files N=%d round %d: pass %.3fs  rust %s  rd %s  rm %.3fs  "
                          "qfhost %.3fs (net %.3fs)  [%.0fs]"
                          % (n, rep + 1, runs["pass"][-1], seconds(runs["rust"][-1]), rd_text,
                             runs["rm"][-1], wall, net, self.elapsed()))
        return results

    # ---- the floor ----

    def run_floor(self, n, check):
        """qffloor.exe on the shared area's directory, timed inside the process."""
        self.build_tree(n)
        values, _ = self.wine(self.exe("qffloor.exe"), *(["--check"] if check else []),
                              self.win_path("QFBench", "Shared"))
        self.check_removed("qffloor")
        return float(values["floor_seconds"][0])

    def floor(self, sizes):
        """The pass, the floor with the pass's checks, the floor without them and
        remove_dir_all, taking turns run by run; ratios to remove_dir_all are
        medians of the ratios of runs made back to back."""
        sides = [("pass", self.run_pass), ("checked", lambda n: self.run_floor(n, True)),
                 ("unchecked", lambda n: self.run_floor(n, False)), ("rust", self.run_rust)]
        rows = {n: {key: [] for key, _ in sides} for n in sizes}
        for rep in range(self.rounds):
            for n in sizes:
                for key, run in sides:
                    rows[n][key].append(run(n))
                self.note("floor N=%d round %d: %s  [%.0fs]" % (n, rep + 1, "  ".join(
                    "%s %s" % (key, seconds(rows[n][key][-1])) for key, _ in sides), self.elapsed()))
        lines = ["**Floor.** The same tree removed by the pass (UninstInitialize, timed in "
                 "qfbench.exe), by qffloor.exe (bench/floor.cpp: the pass's calls per entry and "
                 "nothing else, timed inside the process) with the pass's checks (a directory's id "
                 "and attributes, every entry's final path) and without them, and by "
                 "remove_dir_all; the four take turns run by run. Times are medians; a ratio is "
                 "the median of the ratios of runs made back to back.", "",
                 "| N | pass s | floor, checked s | floor, unchecked s | remove_dir_all s "
                 "| **pass/rust** | checked/rust | unchecked/rust | pass/checked | runs |",
                 "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
        for n in sizes:
            r = rows[n]
            lines.append("| %d | %.3f | %.3f | %.3f | %.3f | **%.2fx** | %.2fx | %.2fx | %.2fx | %d each |"
                         % (n, med(r["pass"]), med(r["checked"]), med(r["unchecked"]), med(r["rust"]),
                            paired(r["pass"], r["rust"]), paired(r["checked"], r["rust"]),
                            paired(r["unchecked"], r["rust"]), paired(r["pass"], r["checked"]),
                            len(r["pass"])))
        largest = rows[sizes[-1]]
        lines.append("")
        for key in ("pass", "checked", "unchecked"):
            lines.append("%s/rust=%.2f" % (key, paired(largest[key], largest["rust"])))
        return run_line(self, self.args.command) + "\n\n" + "\n".join(lines) + "\n"

    # ---- the run record ----

    def run_recorded(self, n, keep, win32=None, env=None):
        """The pass timed in qfbench.exe, keeping its record (keep) or not; a
        record must come out whole, and goes before the next run.  win32: a
        directory with qfbench.exe beside another build of the library; env:
        another prefix's."""
        self.build_tree(n)
        records = os.path.join(self.area, "QFBench", "Records")
        shutil.rmtree(records, ignore_errors=True)
        os.makedirs(records)
        values, _ = self.wine(os.path.join(win32 or self.win32, "qfbench.exe"), "files-pass",
                              self.win_path("QFBench", "Shared", "Data"),
                              *([self.win_path("QFBench", "Records")] if keep else []), env=env)
        self.check_removed("the pass")
        made = os.listdir(records)
        if len(made) != (1 if keep else 0):
            raise RuntimeError("records after a pass %s it: %s" % ("keeping" if keep else "without", made))
        if keep:
            with open(os.path.join(records, made[0]), "rb") as f:
                lines = f.read().splitlines()
            if len(lines) < n or not lines[-1].startswith(b'{"line":"end","complete":true,'):
                raise RuntimeError("record %s is not whole (%d lines)" % (made[0], len(lines)))
        return float(values["pass_seconds"][0])

    def take_turns(self, label, sides, sizes):
        """Runs each (key, run) of sides once per size and round, in turn;
        gives the seconds of each side by size."""
        rows = {n: {key: [] for key, _ in sides} for n in sizes}
        for rep in range(self.rounds):
            for n in sizes:
                for key, run in sides:
                    rows[n][key].append(run(n))
                self.note("%s N=%d round %d: %s  [%.0fs]" % (label, n, rep + 1, "  ".join(
                    "%s %s" % (key, seconds(rows[n][key][-1])) for key, _ in sides), self.elapsed()))
        return rows

    def run_record(self, sizes):
        """The pass with its record and without, taking turns run by run; the
        ratio is the median of the ratios of runs made back to back."""
        previous = self.args.previous_dir
        sides = [("off", lambda n: self.run_recorded(n, False)),
                 ("on", lambda n: self.run_recorded(n, True))]
        if previous:
            sides.append(("previous", lambda n: self.run_recorded(n, False, previous)))
        rows = self.take_turns("record", sides, sizes)
        lines = ["**Run record.** The pass (UninstInitialize, timed in qfbench.exe) on the same tree "
                 "with the UninstallRecord policy naming a directory on the same drive (on) and "
                 "without the policy (off); the two take turns run by run. Times are medians; the "
                 "ratio is the median of the ratios of runs made back to back." +
                 (" \"previous\" is the library built from %s, without the record, in the "
                  "same rotation." % previous if previous else ""), "",
                 "| N | off s | on s | **on/off** | previous s | off/previous | runs |",
                 "|---:|---:|---:|---:|---:|---:|---|"]
        for n in sizes:
            r = rows[n]
            lines.append("| %d | %.3f | %.3f | **%.3fx** | %.3f | %.3fx | %d each |"
                         % (n, med(r["off"]), med(r["on"]), paired(r["on"], r["off"]),
                            med(r.get("previous", [])), paired(r["off"], r.get("previous", [])),
                            len(r["on"])))
        largest = rows[sizes[-1]]
        lines += ["", "on/off=%.3f" % paired(largest["on"], largest["off"])]
        return run_line(self, self.args.command) + "\n\n" + "\n".join(lines) + "\n"

    def run_locked(self, n):
        """The pass timed in qfbench.exe, held to the plan qfpreview.exe --json
        made of this very tree just before (not timed); everything goes."""
        self.build_tree(n)
        root = self.win_path("QFBench", "Shared", "Data")
        self.wine(self.exe("qfbench.exe"), "files-setup", root)
        plans = os.path.join(self.area, "QFBench", "Plans")
        os.makedirs(plans, exist_ok=True)
        with open(os.path.join(plans, "plan.json"), "wb") as plan:
            subprocess.run(["wine", self.exe("qfpreview.exe"), "--json"], env=self.env, check=True,
                           stdin=subprocess.DEVNULL, stdout=plan, stderr=subprocess.DEVNULL)
        values, _ = self.wine(self.exe("qfbench.exe"), "files-locked", root,
                              self.win_path("QFBench", "Plans", "plan.json"))
        self.check_removed("the locked pass")
        return float(values["pass_seconds"][0])

    def plan_lock(self, sizes):
        """The pass held to a reviewed plan and without one, taking turns run
        by run; the ratio is the median of the ratios of runs made back to back."""
        return self.paired_table(
            "lock", [("off", lambda n: self.run_recorded(n, False)), ("locked", self.run_locked)], sizes,
            "**Reviewed plan.** The pass (UninstInitialize, timed in qfbench.exe) on the same "
            "tree held to the plan qfpreview.exe --json made of it just before (UninstallPlan; "
            "locked: reading the plan, and each entry's identity checked against it) and "
            "without a plan (off); the two take turns run by run. Times are medians; the "
            "ratio is the median of the ratios of runs made back to back.",
            ("off", "locked"), ("locked", "off", "locked/off"))

    def wow64(self, sizes):
        """The pass in the 64-bit prefix, where the library runs under WOW64,
        against the same pass in a 32-bit prefix, taking turns run by run."""
        return self.paired_table(
            "wow64", [("win64", lambda n: self.run_recorded(n, False)),
                      ("win32", lambda n: self.run_recorded(n, False, env=self.env32))], sizes,
            "**WOW64.** The pass (UninstInitialize, timed in qfbench.exe, no record) on the "
            "same tree in a 64-bit prefix, where the 32-bit library runs under WOW64, and in "
            "a 32-bit prefix; the two take turns run by run. Times are medians; the ratio is "
            "the median of the ratios of runs made back to back.",
            ("64-bit", "32-bit"), ("win64", "win32", "64/32"))

    def paired_table(self, label, sides, sizes, intro, heads, ratio):
        """Runs the two `sides` taking turns and gives their table under `intro`:
        each side's median time (columns headed `heads`), then `ratio` (the
        numerator's key, the denominator's, the column's head) as the median
        of the ratios of runs made back to back, and on the last line its value
        at the largest size."""
        rows = self.take_turns(label, sides, sizes)
        (a, _), (b, _) = sides
        top, bottom, head = ratio
        lines = [intro, "", "| N | %s s | %s s | **%s** | runs |" % (heads[0], heads[1], head),
                 "|---:|---:|---:|---:|---|"]
        for n in sizes:
            r = rows[n]
            lines.append("| %d | %.3f | %.3f | **%.3fx** | %d each |"
                         % (n, med(r[a]), med(r[b]), paired(r[top], r[bottom]), len(r[top])))
        largest = rows[sizes[-1]]
        lines += ["", "%s/%s=%.3f" % (top, bottom, paired(largest[top], largest[bottom]))]
        return run_line(self, self.args.command) + "\n\n" + "\n".join(lines) + "\n"

    # ---- the preview ----

    def preview(self, sizes):
        """qfpreview.exe --json against the uninstall of the same tree: each a whole
        run started from Linux (one Wine start), less its run on the same machine
        without the installation; they take turns on identical trees."""
        def timed(*argv):  # the preview's JSON is large: it goes nowhere
            t0 = time.perf_counter()
            subprocess.run(["wine", *argv], env=self.env, check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return time.perf_counter() - t0

        rows = {n: {"preview": [], "uninstall": []} for n in sizes}
        root = self.win_path("QFBench", "Shared", "Data")
        for rep in range(self.args.reps):
            for n in sizes:
                self.build_tree(n)
                self.wine(self.exe("qfbench.exe"), "files-setup", root)
                preview = timed(self.exe("qfpreview.exe"), "--json")
                uninstall = timed(self.exe("qfhost.exe"))
                self.check_removed("qfhost")
                rows[n]["preview"].append(preview - timed(self.exe("qfpreview.exe"), "--json"))
                rows[n]["uninstall"].append(uninstall - timed(self.exe("qfhost.exe"), "--calls", ""))
                self.note("preview N=%d round %d: preview %.3fs  uninstall %.3fs (net)"
                          % (n, rep + 1, rows[n]["preview"][-1], rows[n]["uninstall"][-1]))
        lines = ["| N | preview s | uninstall s | **preview/uninstall** | runs |",
                 "|---:|---:|---:|---:|---|"]
        for n in sizes:
            p, u = rows[n]["preview"], rows[n]["uninstall"]
            lines.append("| %d | %.3f | %.3f | **%.2fx** | %d each |"
                         % (n, med(p), med(u), med([a / b for a, b in zip(p, u)]), len(p)))
        largest = rows[sizes[-1]]
        lines.append("\n    preview/uninstall=%.2f\n" % med(
            [a / b for a, b in zip(largest["preview"], largest["uninstall"])]))
        return "\n".join(lines) + "\n"

    # ---- registry ----

    def keys(self, sizes):
        results = {}
        for k in sizes:
            fan = KEY_SHAPES[k]
            values, _ = self.wine(self.exe("qfbench.exe"), "keys-variants", *map(str, fan),
                                  str(KEY_VALUES), str(self.args.key_reps))
            runs = {"keys": int(values["keys"][0])}
            for side in ("pass", "tree", "current", "relative"):
                runs[side] = [float(v) for v in values[side + "_seconds"]]
            self.note("keys K=%d (%d keys): %s  [%.0fs]"
                      % (k, runs["keys"], "  ".join(
                          side + " " + " ".join("%.3f" % s for s in runs[side])
                          for side in ("pass", "tree", "current", "relative")), self.elapsed()))
            results[k] = runs
        return results

    # ---- wineserver requests ----

    def traced(self, argv, parts, wine64=False, all_threads=False):
        """Runs a Windows program (a 64-bit one with wine64) under a wineserver
        that traces every request, and counts the requests that the program's
        main thread made inside each of `parts` (between "qfbench: <part>
        begins" and "ends" marks; the last such span when there are several).
        With all_threads, every thread's requests in the span count: those of
        the processes that the program starts too."""
        trace_path = os.path.join(self.args.out_dir, "requests.trace")
        loader, env = (self.args.wine64, self.env64) if wine64 else ("wine", self.env)
        server = self.args.wineserver64 if wine64 else "wineserver"
        quiet = dict(stdin=subprocess.DEVNULL, env=env)
        subprocess.run([server, "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       **quiet)
        with open(trace_path, "w") as trace:
            # Server and program write through one file description, so the
            # marks fall between the requests where they were made.
            subprocess.run([server, "-p", "-d1"], stdout=trace, stderr=trace, check=True,
                           **quiet)
            subprocess.run([loader, *argv], stdout=trace, stderr=trace, check=True,
                           stdin=subprocess.DEVNULL, env=dict(env, WINEDEBUG="+debugstr"))
        subprocess.run([server, "-k"], **quiet)
        subprocess.run([server, "-p"], check=True, **quiet)
        counts = {}
        with open(trace_path, errors="replace") as trace:
            lines = trace.read().splitlines()
        os.remove(trace_path)  # large, and of no use once counted
        for part in parts:
            begins = [i for i, l in enumerate(lines) if "qfbench: %s begins" % part in l]
            if not begins:
                raise RuntimeError("no mark of %s in %s" % (part, trace_path))
            start = begins[-1]
            end = next(i for i in range(start, len(lines)) if "qfbench: %s ends" % part in lines[i])
            thread = lines[start].split(":", 1)[0]
            tally = {}
            for line in lines[start:end]:
                m = re.match(r"^([0-9a-f]+): (\w+)\( ", line)
                # open_mapping belongs to the end mark itself.
                if m and (all_threads or m.group(1) == thread) and m.group(2) != "open_mapping":
                    tally[m.group(2)] = tally.get(m.group(2), 0) + 1
            counts[part] = tally
        return counts

    def requests(self, file_sizes, key_sizes):
        rows = []
        for n in file_sizes:
            dims, files = FILE_SHAPES[n]
            items = n + sum(functools.reduce(lambda a, b: a * b, dims[:i + 1], 1)
                            for i in range(len(dims))) + 1
            self.build_tree(n)
            counts = self.traced([self.exe("qfbench.exe"), "files-pass",
                                  self.win_path("QFBench", "Shared", "Data")], ["pass"])
            self.check_removed("the pass")
            rows.append(("files: pass", n, items, counts["pass"]))
            if self.args.rmtree:
                self.build_tree(n)
                counts = self.traced([self.args.rmtree, self.win_path("QFBench", "Shared")],
                                     ["rust"], wine64=True)
                self.check_removed("remove_dir_all")
                rows.append(("files: remove_dir_all", n, items, counts["rust"]))
            for check in (True, False):
                self.build_tree(n)
                counts = self.traced([self.exe("qffloor.exe"), *(["--check"] if check else []),
                                      self.win_path("QFBench", "Shared")], ["floor"])
                self.check_removed("qffloor")
                rows.append(("files: floor, %s" % ("checked" if check else "unchecked"), n, items,
                             counts["floor"]))
            # rd runs in a process of its own: every request made while it
            # runs, less those of an empty `cmd /c rem` launched the same way.
            self.build_tree(n)
            counts = self.traced([self.exe("qfbench.exe"), "launch", "1",
                                  "cmd /c rd /s /q " + self.win_path("QFBench", "Shared")],
                                 ["launch", "empty launch"], all_threads=True)
            self.check_removed("rd /s /q")
            net = {name: count - counts["empty launch"].get(name, 0)
                   for name, count in counts["launch"].items()}
            rows.append(("files: rd /s /q (net of an empty cmd)", n, items,
                         {name: count for name, count in net.items() if count}))
            self.note("requests: files N=%d done [%.0fs]" % (n, self.elapsed()))
        sides = [("pass", "keys: pass"), ("RegDeleteTreeA", "keys: RegDeleteTreeA"),
                 ("current copy", "keys: copy as now"), ("relative copy", "keys: copy, relative opens")]
        for k in key_sizes:
            counts = self.traced([self.exe("qfbench.exe"), "keys-variants",
                                  *map(str, KEY_SHAPES[k]), str(KEY_VALUES), "1"],
                                 [part for part, _ in sides])
            total = 1
            level = 1
            for fan in KEY_SHAPES[k]:
                level *= fan
                total += level
            for part, label in sides:
                rows.append((label, k, total, counts[part]))
            self.note("requests: keys K=%d done [%.0fs]" % (k, self.elapsed()))
        return rows

    # ---- simulated platform ----

    def logic(self, file_sizes, key_sizes):
        names = ["release_files/%d" % n for n in file_sizes] + ["user_tree/%d" % k for k in key_sizes]
        pattern = "^(" + "|".join(names) + ")$"
        out = os.path.join(self.args.out_dir, "logic_bench.json")
        subprocess.run([self.args.logic_bench, "--benchmark_filter=" + pattern,
                        # More repetitions than the Wine runs: they are
                        # cheap, and one iteration of the largest is short.
                        "--benchmark_repetitions=%d" % self.rounds,
                        "--benchmark_min_time=%s" % ("0.01" if self.args.smoke else "0.3"),
                        "--benchmark_out=" + out, "--benchmark_out_format=json"],
                       check=True, stdout=self.log, stderr=self.log)
        with open(out) as f:
            data = json.load(f)
        results = {}
        for b in data["benchmarks"]:
            if b.get("aggregate_name") != "median":
                continue
            name = b["run_name"]
            kind, _, size = name.partition("/")
            # CPU time per iteration (the simulation is one thread), in the
            # benchmark's unit.
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
            results[(kind, int(size))] = {"seconds": b["cpu_time"] * scale,
                                          "items": b["items"]}
        self.note("logic: " + ", ".join("%s/%d %.4fs" % (k[0], k[1], v["seconds"])
                                        for k, v in sorted(results.items())))
        return results


def seconds(value):
    """A run's time as the notes show it; "-" for a run not made."""
    return "-" if value is None else "%.3fs" % value


def med(values):
    values = [x for x in values if x is not None]
    return statistics.median(values) if values else float("nan")


def runs_of(values):
    return sum(1 for x in values if x is not None)


def paired(a, b):
    """Median of a[i] / b[i] over the runs both sides made: each pair ran
    back to back, so a change of the machine's load between pairs cancels."""
    return med([x / y for x, y in zip(a, b) if x is not None and y is not None])


def us(seconds, items):
    return 1e6 * seconds / items


def growth(per_item, base):
    return "%+.0f%%" % (100.0 * (per_item / base - 1.0))


def run_line(bench, command):
    """When, how, on what and under which load a table was made."""
    now = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    wine_version = subprocess.run(["wine", "--version"], capture_output=True, text=True,
                                  env=bench.env).stdout.strip()
    # QF_BENCH_COMMIT names the commit of a tree exported from git (no .git of its own).
    head = os.environ.get("QF_BENCH_COMMIT") or subprocess.run(
        ["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True).stdout.strip() \
        or "unknown"
    changed = subprocess.run(["git", "status", "--porcelain", "--", "src"], capture_output=True,
                             text=True).stdout.strip()
    return ("Run %s with `%s` on commit %s%s; %s, %d cores, load average %s at the end."
            % (now, command, head, " with uncommitted changes in src/" if changed else "",
               wine_version, os.cpu_count() or 0, " ".join("%.1f" % x for x in os.getloadavg())))


def report(bench, files, keys, logic, command):
    lines = []
    add = lines.append
    add(run_line(bench, command))
    add("")
    area = "tmpfs" if bench.args.tmpfs else "the prefix's drive_c"
    add("**Files.** Releasing the shared component \"Data\" whose tree holds N files, 20 to a "
        "directory, three directory levels below its RootDir, on %s. " % area +
        "Timed inside the process: *pass* is UninstInitialize alone, timed with "
        "QueryPerformanceCounter by qfbench.exe around its call into the real QFUNINST.DLL; "
        "*remove_dir_all* is Rust's std::fs::remove_dir_all (the race-free peer, bench/rmtree.rs, "
        "a 64-bit program under Wine's 64-bit loader with a server of its own) on the shared "
        "area's directory, timed with Instant around the call; *rd* is `cmd /c rd /s /q` launched by qfbench.exe, from CreateProcess to exit, less the "
        "median launch of an empty `cmd /c rem`; *rm* is native `rm -rf` (wall clock, the floor); "
        "*qfhost* is the host stand-in's whole run started from Linux (one Wine start), less "
        "its run with no calls. Times are medians; a ratio is the median of the ratios of runs made "
        "back to back. Runs are counted in the last column.")
    add("")
    peers = "".join(" %s s | %s files/s | **pass/%s** |" % (label, label.split()[0], key)
                    for key, label in FILE_PEERS)
    add("| N | pass s | pass files/s |%s rm -rf s | rm files/s | qfhost net s | runs pass/%s/rm/host |"
        % (peers, "/".join(key for key, _ in FILE_PEERS)))
    add("|---:|---:|---:|%s---:|---:|---:|---|" % ("---:|---:|---:|" * len(FILE_PEERS)))
    for n, r in files.items():
        p, m, h = med(r["pass"]), med(r["rm"]), med(r["host_net"])
        cells = "".join(" %.3f | %.0f | **%.2fx** |" % (med(r[key]), n / med(r[key]),
                                                         paired(r["pass"], r[key]))
                        for key, _ in FILE_PEERS)
        add("| %d | %.3f | %.0f |%s %.3f | %.0f | %.3f | %s |"
            % (n, p, n / p, cells, m, n / m, h,
               "/".join(str(runs_of(r[key])) for key in ["pass"] + [k for k, _ in FILE_PEERS]
                        + ["rm", "host"])))
    add("")
    add("**Registry.** The per-user tree `HKCU\\Software\\Halvern\\Quillforge\\3.0` with K keys "
        "over four levels, %d values in each, removed by the pass (UninstInitialize) and by "
        "RegDeleteTreeA on an identical tree; both timed inside one qfbench.exe process with "
        "QueryPerformanceCounter, runs alternating. The two *copy* columns are the same removal "
        "written straight against advapi32 in qfbench.exe: *as now* opens every key and, for its "
        "deletion, its parent by the full path, as the pass does; *relative opens* deletes the "
        "same keys in the same order, opening each key below its parent's open handle. "
        "Times are medians; a ratio is the median of the ratios of runs made back to back."
        % KEY_VALUES)
    add("")
    add("| K | keys | pass s | pass keys/s | RegDeleteTreeA s | RegDeleteTreeA keys/s "
        "| **pass/RegDeleteTree** | copy as now s | copy, relative opens s | relative/RegDeleteTree "
        "| runs |")
    add("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for k, r in keys.items():
        p, t, c, rel = med(r["pass"]), med(r["tree"]), med(r["current"]), med(r["relative"])
        add("| %d | %d | %.3f | %.0f | %.3f | %.0f | **%.2fx** | %.3f | %.3f | %.2fx | %d each |"
            % (k, r["keys"], p, r["keys"] / p, t, r["keys"] / t, paired(r["pass"], r["tree"]),
               c, rel, paired(r["relative"], r["tree"]),
               len(r["pass"])))
    add("")
    add("**Growth.** Cost per item (µs) at each size, and its change from the smallest size: "
        "the median run, and the best run, which other programs' load on the machine moves "
        "far less. *sim* is the same pass on the simulated Windows (Google Benchmark, native "
        "Release build, CPU time, median): the logic's own cost, without the platform's.")
    add("")
    add("| what | size | pass | Δ | pass, best | Δ | rd /s /q or RegDeleteTreeA | Δ "
        "| same, best | Δ | rm -rf | Δ | sim | Δ |")
    add("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")

    def best(values):
        return min([x for x in values if x is not None], default=float("nan"))

    def cells(row, base):
        return " | ".join("%.1f | %s" % (v, growth(v, b)) if v == v else " | "
                          for v, b in zip(row, base))

    base = None
    for n, r in files.items():
        sim = logic.get(("release_files", n))
        row = (us(med(r["pass"]), n), us(best(r["pass"]), n), us(med(r["rd"]), n),
               us(best(r["rd"]), n), us(med(r["rm"]), n),
               us(sim["seconds"], n) if sim else float("nan"))
        base = base or row
        add("| files | %d | %s |" % (n, cells(row, base)))
    base = None
    for k, r in keys.items():
        count = r["keys"]
        sim = logic.get(("user_tree", k))
        row = (us(med(r["pass"]), count), us(best(r["pass"]), count), us(med(r["tree"]), count),
               us(best(r["tree"]), count), float("nan"),
               us(sim["seconds"], sim["items"]) if sim else float("nan"))
        base = base or row
        add("| keys | %d | %s |" % (count, cells(row, base)))
    add("")
    largest_n = list(files)[-1]
    largest_k = list(keys)[-1]
    for key, _ in FILE_PEERS:
        add("files/%s=%.2f" % (key, paired(files[largest_n]["pass"], files[largest_n][key])))
    add("keys/RegDeleteTree=%.2f" % paired(keys[largest_k]["pass"], keys[largest_k]["tree"]))
    return "\n".join(lines) + "\n"


def requests_report(bench, rows, command):
    lines = [run_line(bench, command), "",
             "**Requests.** Wineserver requests made by the timed part alone, counted by a "
             "tracing wineserver; per item = requests / (files + directories) or / keys. "
             "Unlike the times, these counts do not depend on the machine's load.", "",
             "| what | size | items | requests | per item | by request |",
             "|---|---:|---:|---:|---:|---|"]
    for label, size, items, tally in rows:
        total = sum(tally.values())
        # The main kinds; a net count (rd) may show small negative ones.
        top = sorted(tally.items(), key=lambda kv: -kv[1])
        by = ", ".join("%s %d" % kv for kv in top[:6] if kv[1] > 0) + (", ..." if len(top) > 6 else "")
        lines.append("| %s | %d | %d | %d | %.2f | %s |" % (label, size, items, total,
                                                         total / items, by))
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="the smallest sizes only")
    parser.add_argument("--reps", type=int, default=3, help="runs of each side per size")
    parser.add_argument("--key-reps", type=int, default=5,
                        help="runs of each registry side per size (they are quick)")
    parser.add_argument("--win32-dir", required=True)
    parser.add_argument("--logic-bench", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--area", required=True, help="Linux directory behind --drive")
    parser.add_argument("--drive", default="Q:")
    parser.add_argument("--tmpfs", action="store_true", help="the area is on tmpfs")
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--command", default="scripts/bench")
    parser.add_argument("--started", type=float, help="the run's start (seconds since the epoch)")
    parser.add_argument("--requests", action="store_true",
                        help="count wineserver requests per item instead of timing")
    parser.add_argument("--preview", action="store_true",
                        help="time qfpreview.exe against the uninstall of the same trees instead")
    parser.add_argument("--floor", action="store_true",
                        help="time the pass against qffloor.exe (its calls alone) instead")
    parser.add_argument("--run-record", action="store_true",
                        help="time the pass keeping its run record against the pass without")
    parser.add_argument("--previous-dir",
                        help="with --run-record: qfbench.exe beside another build of the library, "
                             "timed without the record in the same rotation")
    parser.add_argument("--plan-lock", action="store_true",
                        help="time the pass held to a reviewed plan against the pass without")
    parser.add_argument("--wow64", action="store_true",
                        help="time the pass in --prefix (64-bit) against --prefix32 (32-bit)")
    parser.add_argument("--prefix32", help="with --wow64: a 32-bit prefix with the same --drive")
    parser.add_argument("--record", choices=("before", "after"),
                        help="time, then count requests, and write both into that section of "
                             "--readme")
    parser.add_argument("--readme", help="the file that --record writes into")
    parser.add_argument("--smoke", action="store_true",
                        help="every side of every table once at the smallest size, into "
                             "smoke.md; measures nothing")
    parser.add_argument("--wine64", help="Wine's 64-bit loader, for rmtree.exe")
    parser.add_argument("--wineserver64", help="its server (started already)")
    parser.add_argument("--prefix64", help="its prefix, with the same --drive")
    parser.add_argument("--rmtree", help="rmtree.exe (bench/rmtree.rs); only --smoke runs without")
    args = parser.parse_args()
    if not args.smoke and not (args.wine64 and args.wineserver64 and args.prefix64 and args.rmtree):
        parser.error("the Rust peer (--wine64, --wineserver64, --prefix64, --rmtree) is needed")
    if args.smoke:
        args.quick, args.reps, args.key_reps = True, 1, 1

    bench = Bench(args)
    file_sizes = sorted(FILE_SHAPES)[:1] if args.quick else sorted(FILE_SHAPES)
    key_sizes = sorted(KEY_SHAPES)[:1] if args.quick else sorted(KEY_SHAPES)

    def requests():
        # Counting needs no large trees to show how the count grows.
        table = requests_report(bench, bench.requests([n for n in file_sizes if n <= 10000], key_sizes),
                                args.command)
        return write(args.out_dir, "requests.md", table)

    if args.requests:
        requests()
        return

    if args.smoke:
        have_logic = os.access(args.logic_bench, os.X_OK)
        logic = bench.logic(file_sizes, key_sizes) if have_logic else {}
        tables = [report(bench, bench.files(file_sizes), bench.keys(key_sizes), logic, args.command),
                  bench.floor(file_sizes), bench.run_record(file_sizes), bench.plan_lock(file_sizes),
                  bench.preview(file_sizes),
                  requests_report(bench, bench.requests(file_sizes, key_sizes), args.command)]
        if not have_logic:
            tables.append("(no %s: the logic's benchmark was not built)\n" % args.logic_bench)
        write(args.out_dir, "smoke.md", "\n".join(tables))
        return

    if args.floor:
        # The largest sizes show the cost per entry best; the smallest is quick.
        write(args.out_dir, "floor.md", bench.floor(file_sizes if args.quick else file_sizes[1:]))
        return

    if args.run_record:
        write(args.out_dir, "record.md", bench.run_record(file_sizes if args.quick else file_sizes[1:]))
        return

    if args.plan_lock:
        write(args.out_dir, "lock.md", bench.plan_lock(file_sizes if args.quick else file_sizes[1:]))
        return

    if args.wow64:
        write(args.out_dir, "wow64.md", bench.wow64(file_sizes if args.quick else file_sizes[1:]))
        return

    if args.preview:
        table = bench.preview(file_sizes)
        with open(os.path.join(args.out_dir, "preview.md"), "w") as out:
            out.write(table)
        sys.stdout.write(table)
        return

    # The quick parts first, so the budget for the slow rd runs at the
    # largest size is known when they come.
    logic = bench.logic(file_sizes, key_sizes)
    keys = bench.keys(key_sizes)
    files = bench.files(file_sizes)

    table = write(args.out_dir, "results.md", report(bench, files, keys, logic, args.command))
    if args.record:
        counted = requests()
        record(args.readme, args.record, table + "\n" + counted)


def write(out_dir, name, table):
    """Prints a table and keeps it in out_dir; says where it went."""
    path = os.path.join(out_dir, name)
    with open(path, "w") as out:
        out.write(table)
    sys.stdout.write(table)
    print("(written to %s)" % os.path.relpath(path), file=sys.stderr)
    return table


def record(readme, section, text):
    """Replaces the section's text in readme, between its two marks."""
    with open(readme) as f:
        content = f.read()
    begin, end = RECORD_BEGIN % (section, section), RECORD_END % section
    if begin not in content or end not in content:
        raise RuntimeError("%s has no marks for the section %s: %s ... %s"
                           % (readme, section, begin, end))
    head, rest = content.split(begin, 1)
    _, tail = rest.split(end, 1)
    # The ratio lines (files/rd=0.09) as a block of their own, not a paragraph.
    text = re.sub(r"(?m)^(\w+/\w+=[0-9.]+)$", r"    \1", text)
    with open(readme, "w") as f:
        f.write(head + begin + "\n\n" + text + "\n" + end + tail)
    print("(recorded as \"%s\" in %s)" % (section, os.path.relpath(readme)), file=sys.stderr)


if __name__ == "__main__":
    main()
