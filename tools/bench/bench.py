#!/usr/bin/env python3
"""Benchmark of the directory pass against the tools a user would pick instead.

    tools/bench/bench.py [--quick] [--parts share,office,large,folders,pair] [--full] [--runs N] [--keep] ...

Builds the helpers and makes seeded trees: "share", a file share of small documents (5,000 files
of 1-100 KB with a tail to 4 MiB, 1,000 folders up to 10 deep, English and Chinese names),
"office" and "large", an office-share mix of small files and a few large ones, "folders",
document folders of 2 to 5 files of 10-200 KB each, and "pair", one large file unchanged and
changed. For each it times, page cache warm, the first pass (folders only in the target) against
the copy floor (one thread: open, create, read, write, close), Wine's own xcopy /E and cp -a,
and the unchanged pass against the Wine floors (list, open, read, close every file, a thread per
tree; the same with MD5), md5sum of both trees and rsync -rc --checksum-choice=md5 --dry-run;
it counts the requests each Wine run makes to the Wine server (strace), the requests of a first
pass per copied file by kind (WINEDEBUG=+server), and the pass's peak memory. Prints the tables
and writes them to BUILD/bench-results.md. With --compare, an earlier build of qf-bench-pass is
timed in turns with ours on every first and unchanged pass, and must not be slower.

Wine programs run through the build's wine-run wrapper with the Wine server kept up, so a run
pays only the start of one process; that start-up is measured on its own (a program that does
nothing) and shown, and the "net" figures leave it out.
"""

import argparse
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tree  # noqa: E402

COMPARED = "the --compare build"
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def windows_path(path):
    """The path as a Wine program names it (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Run:
    """One timed command: wall seconds, processor seconds of it and its children, peak RSS."""

    def __init__(self, wall, cpu, server_cpu, peak_kib, output):
        self.wall = wall
        self.net = wall  # set again by Bench.measure for Wine programs
        # What the helper programs time from inside themselves (Wine's start-up left out).
        fields = dict(part.split("=", 1) for part in output.split() if "=" in part)
        self.inner = float(fields["ms"]) / 1000 if "ms" in fields else None
        self.working_set_kib = int(fields.get("peak_working_set", 0)) / 1024
        self.cpu = cpu
        self.server_cpu = server_cpu
        self.peak_kib = peak_kib
        self.output = output


class Bench:
    def __init__(self, options):
        self.options = options
        self.build = os.path.abspath(options.build)
        self.work = os.path.abspath(options.work)
        self.wine_run = os.path.join(self.build, "wine-run")
        self.env = dict(os.environ)
        self.env.pop("DISPLAY", None)
        self.env["QF_DISPLAY_NUMBER"] = str(options.display)
        self.env["WINEDEBUG"] = "-all"
        self.rows = []
        self.parts = [part for part in options.parts.split(",") if part]
        self.notes = []
        self.startup = 0.0
        self.server_pid = None
        self.steps = []

    # --- running and timing -------------------------------------------------------------

    def _server_cpu(self):
        """Processor seconds the build's Wine server has used so far (its round trips are
        part of what a Wine program costs, though it is no child of ours)."""
        if self.server_pid is None:
            return 0.0
        try:
            with open("/proc/%d/stat" % self.server_pid) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except (OSError, IndexError, ValueError):
            return 0.0

    def _find_server(self):
        prefix = os.path.join(self.build, "wineprefix")
        info = os.stat(prefix)
        # The server works in a folder named after the prefix's device and inode.
        wanted = "/server-%x-%x" % (info.st_dev, info.st_ino)
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink("/proc/%s/cwd" % pid).endswith(wanted):
                    self.server_pid = int(pid)
                    return
            except OSError:
                continue

    def run(self, command, shell=False):
        if shell:
            command = ["/bin/bash", "-c", command]
        # The peak memory comes from /usr/bin/time: a child forked from this (large) Python
        # process would count Python's pages as its own until it execs.
        with tempfile.TemporaryFile() as output, tempfile.NamedTemporaryFile("r") as peak:
            server_before = self._server_cpu()
            start = time.perf_counter()
            process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name] + command,
                                       stdout=output, stderr=subprocess.STDOUT, env=self.env, cwd=self.build)
            _, status, usage = os.wait4(process.pid, 0)
            wall = time.perf_counter() - start
            process.returncode = os.waitstatus_to_exitcode(status)
            output.seek(0)
            text = output.read().decode(errors="replace")
            peak_kib = int(peak.read().split()[-1])
        if process.returncode != 0:
            raise SystemExit("command failed (%d): %s\n%s" % (process.returncode, command, text))
        return Run(wall, usage.ru_utime + usage.ru_stime, self._server_cpu() - server_before, peak_kib, text)

    def wine(self, *arguments):
        return [self.wine_run] + list(arguments)

    def requests(self, command, prepare=None):
        """Requests to the Wine server of one run of a Wine program: the write and writev calls
        that strace counts over wine64 and all its threads. The same from run to run."""
        if not shutil.which("strace"):
            return None
        if prepare:
            prepare()
        env = dict(self.env)
        env["WINEPREFIX"] = os.path.join(self.build, "wineprefix")
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        env["DISPLAY"] = ":%s" % env["QF_DISPLAY_NUMBER"]
        wine64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
        with tempfile.NamedTemporaryFile("r") as counts:
            subprocess.run(["strace", "-f", "-c", "-o", counts.name, wine64] + command[1:], env=env, cwd=self.build,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            total = 0
            for line in counts:
                fields = line.split()
                if len(fields) >= 5 and fields[-1] in ("write", "writev"):
                    total += int(fields[3])
        return total

    def count(self, what, files, command, prepare=None):
        total = self.requests(command, prepare)
        if total is not None:
            self.counts.append((what, files, total))

    def measure(self, command, prepare=None, shell=False):
        """One warm-up run, then the timed runs; `prepare` runs untimed before each. A Wine
        program's net time is what it measured from inside, or else its wall time less the
        start-up median."""
        runs = []
        for index in range(self.options.runs + 1):
            result = self.timed_once(command, prepare, shell)
            if index > 0:
                runs.append(result)
        return runs

    def timed_once(self, command, prepare=None, shell=False):
        if prepare:
            prepare()
        os.sync()
        result = self.run(command, shell)
        if result.inner is not None:
            result.net = result.inner
        elif command[0] == self.wine_run:
            result.net = max(0.0, result.wall - self.startup)
        return result

    def measure_beside(self, command, other, prepare=None):
        """Two programs timed in turns, the one that goes first changing every round, so that
        a machine that grows busier or quieter meanwhile weighs on both alike. At least ten timed
        rounds, so that the sign test of turns_table can tell, and an even number, so that each
        goes first as often as the other."""
        mine, theirs = [], []
        rounds = max(10, self.options.runs + self.options.runs % 2)
        for index in range(rounds + 1):
            order = ((command, mine), (other, theirs)) if index % 2 == 0 else ((other, theirs), (command, mine))
            for each, runs in order:
                result = self.timed_once(each, prepare)
                if index > 0:
                    runs.append(result)
        return mine, theirs

    # --- set-up --------------------------------------------------------------------------

    def build_helpers(self):
        if self.options.no_build:
            return
        if not os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            subprocess.run(["cmake", "-S", ROOT, "-B", self.build,
                            "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake/mingw-w64-x86_64.cmake"),
                            "-DCMAKE_BUILD_TYPE=Release"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", self.build, "--target", "qf-bench", "-j2"], check=True,
                       stdout=subprocess.DEVNULL)

    def find_helpers(self):
        self.pass_tool = os.path.join(self.build, "tools/pass/quenfold-pass.exe")
        self.floor_tool = os.path.join(self.build, "tools/bench/qf-bench-floor.exe")
        self.probe_tool = os.path.join(self.build, "tools/bench/qf-bench-pass.exe")
        self.md5_tool = os.path.join(self.build, "tools/bench/qf-bench-md5.exe")

    def make_trees(self):
        self.layout = tree.plan(self.options.seed, self.options.files, self.options.size_mib)
        self.source = os.path.join(self.work, "source")
        self.same = os.path.join(self.work, "same")
        self.first = os.path.join(self.work, "first")
        self.copy = os.path.join(self.work, "copy")
        need = 3.3 * self.options.size_mib * tree.MIB
        os.makedirs(self.work, exist_ok=True)
        if any(part in self.parts for part in ("office", "large")) and not tree.generated_as(self.source, self.layout):
            free = shutil.disk_usage(self.work).free
            if free < need:
                raise SystemExit("%s has %.1f GiB free; the trees need %.1f GiB"
                                 % (self.work, free / 2**30, need / 2**30))
            for folder in (self.source, self.same, self.first, self.copy):
                shutil.rmtree(folder, ignore_errors=True)
            started = time.perf_counter()
            tree.generate(self.source, self.layout)
            print("generated %s in %.0f s" % (self.source, time.perf_counter() - started), flush=True)
        os.makedirs(self.copy, exist_ok=True)
        self.changes = tree.changed_files(self.layout)
        self.share_layout = tree.plan_share(self.options.seed, self.options.share_files, self.options.share_folders)
        share_root = os.path.join(self.work, "share-tree")
        if "share" in self.parts and not tree.generated_as(share_root, self.share_layout):
            shutil.rmtree(share_root, ignore_errors=True)
            shutil.rmtree(os.path.join(self.same, "share"), ignore_errors=True)
            started = time.perf_counter()
            tree.generate(share_root, self.share_layout)
            print("generated %s in %.0f s" % (share_root, time.perf_counter() - started), flush=True)
        self.folders_layout = tree.plan_folders(self.options.seed, self.options.folders_files)
        folders_root = os.path.join(self.work, "folders-tree")
        if "folders" in self.parts and not tree.generated_as(folders_root, self.folders_layout):
            shutil.rmtree(folders_root, ignore_errors=True)
            shutil.rmtree(os.path.join(self.same, "folders"), ignore_errors=True)
            started = time.perf_counter()
            tree.generate(folders_root, self.folders_layout)
            print("generated %s in %.0f s" % (folders_root, time.perf_counter() - started), flush=True)
        if "pair" in self.parts:
            started = time.perf_counter()
            tree.write_pair(os.path.join(self.work, "pair"), self.options.pair_mib, self.options.seed)
            print("pair of %d MiB ready in %.0f s" % (self.options.pair_mib, time.perf_counter() - started), flush=True)
        roots = {"share": share_root, "folders": folders_root}
        self.paths = {}
        for part in self.parts:
            if part == "pair":
                continue
            source = os.path.join(roots.get(part, self.source), part)
            same = os.path.join(self.same, part)
            first = os.path.join(self.first, part)
            if not os.path.isdir(same):
                os.makedirs(self.same, exist_ok=True)
                subprocess.run(["cp", "-a", source, same], check=True)
            shutil.rmtree(first, ignore_errors=True)
            tree.copy_folders(source, first)
            self.paths[part] = (source, same, first, os.path.join(self.copy, part))

    def tally(self, part):
        """Files, folders (the top one included) and bytes of a part's source tree."""
        files = 0
        size = 0
        folders = 0
        for folder, _, names in os.walk(self.pair_side("source") if part == "pair" else self.paths[part][0]):
            folders += 1
            files += len(names)
            size += sum(os.path.getsize(os.path.join(folder, name)) for name in names)
        return files, folders, size

    def describe(self, part):
        files, folders, size = self.tally(part)
        return "%d files in %d folders, %.0f MiB" % (files, folders, size / tree.MIB)

    # --- results -------------------------------------------------------------------------

    def row(self, what, ours, theirs_name=None, theirs=None, goal=None):
        self.rows.append((what, ours, theirs_name, theirs, goal))
        ours_wall = [r.wall for r in ours]
        line = "%-34s ours %7.3f s" % (what, statistics.median(ours_wall))
        if theirs:
            line += "   %-22s %7.3f s" % (theirs_name, statistics.median(r.wall for r in theirs))
        print(line, flush=True)

    def in_turns(self, what, mine, theirs):
        self.row(what, mine, COMPARED, theirs)
        self.turns.append((what, mine, theirs))

    def turns_table(self):
        """Each round of two runs in turns compared on its own: both ran under the same load. The
        pass counts as slower only when it lost so many rounds that two equal programs would lose
        as many less than once in twenty (a one-sided sign test), since a single median of a few
        runs lands either side of 1 for two equal programs alike."""
        lines = ["| pass | rounds | ours faster | median of ours / theirs, round by round (net) | "
                 "chance of losing as many rounds if equal | slower? |", "|---|---|---|---|---|---|"]
        verdicts = []
        for what, mine, theirs in self.turns:
            ratios = [a.net / b.net for a, b in zip(mine, theirs) if b.net > 0]
            rounds = len(ratios)
            lost = sum(1 for ratio in ratios if ratio > 1)
            chance = sum(math.comb(rounds, k) for k in range(lost, rounds + 1)) / 2 ** rounds
            slower = chance < 0.05
            lines.append("| %s | %d | %d | %.3f | %.3f | %s |" % (what, rounds, rounds - lost,
                                                               statistics.median(ratios), chance,
                                                               "yes" if slower else "no"))
            verdicts.append("- %s: faster than the --compare build in %d of %d rounds, median ratio %.3f; "
                            "goal not slower — %s" % (what, rounds - lost, rounds, statistics.median(ratios),
                                                      "NOT met" if slower else "met"))
        return lines, verdicts

    def table(self):
        lines = ["| measurement | ours min | ours median | ours net | CPU (+server) | against | their min "
                 "| their median | their net | their CPU | ratio (net) | goal |",
                 "|---|---|---|---|---|---|---|---|---|---|---|---|"]
        verdicts = []
        for what, ours, theirs_name, theirs, goal in self.rows:
            walls = sorted(r.wall for r in ours)
            net = statistics.median(r.net for r in ours)
            cpu = statistics.median(r.cpu for r in ours)
            server = statistics.median(r.server_cpu for r in ours)
            cells = [what, "%.3f" % walls[0], "%.3f" % statistics.median(walls), "%.3f" % net,
                     "%.2f (+%.2f)" % (cpu, server)]
            if theirs:
                their = sorted(r.wall for r in theirs)
                their_net = statistics.median(r.net for r in theirs)
                ratio = net / their_net if their_net > 0 else float("inf")
                cells += [theirs_name, "%.3f" % their[0], "%.3f" % statistics.median(their), "%.3f" % their_net,
                          "%.2f (+%.2f)" % (statistics.median(r.cpu for r in theirs),
                                            statistics.median(r.server_cpu for r in theirs)),
                          "%.2f" % ratio]
                if goal is not None:
                    met = ratio <= goal
                    cells.append("≤ %g: %s" % (goal, "met" if met else "NOT met"))
                    verdicts.append("- %s against %s: %.2f × (net), goal ≤ %g × — %s"
                                    % (what, theirs_name, ratio, goal, "met" if met else "NOT met"))
                else:
                    cells.append("")
            else:
                cells += ["", "", "", "", "", "", ""]
            lines.append("| " + " | ".join(cells) + " |")
        return lines, verdicts

    def count_table(self):
        noop = next((total for what, _, total in self.counts if what == "Wine start-up"), 0)
        lines = ["| run | files | requests (write+writev) | less start-up | per file |", "|---|---|---|---|---|"]
        for what, files, total in self.counts:
            net = total - noop
            per_file = "%.2f" % (net / files) if files else ""
            lines.append("| %s | %d | %d | %d | %s |" % (what, files, total, net if files else total, per_file))
        return lines

    # --- the measurements ----------------------------------------------------------------

    def measure_startup(self):
        self.run(self.wine(self.floor_tool, "noop"))  # brings the Wine session up
        self._find_server()
        runs = self.measure(self.wine(self.floor_tool, "noop"))
        self.startup = statistics.median(r.wall for r in runs)
        self.row("Wine start-up (program doing nothing)", runs)
        self.startup_rss = max(r.peak_kib for r in runs)

    def pass_command(self, source, target, tool=None):
        """The pass through qf-bench-pass: the same DirectoryPass as quenfold-pass.exe, timed
        from inside too and reporting its peak working set."""
        return self.wine(tool or self.probe_tool, windows_path(source), windows_path(target))

    def peak(self, what, runs):
        self.peaks.append((what, max(r.peak_kib for r in runs), max(r.working_set_kib for r in runs)))

    def both_trees_md5(self, first, second):
        return "find %s %s -type f -print0 | xargs -0 md5sum > /dev/null" % (first, second)

    def pair_side(self, side):
        return os.path.join(self.work, "pair", side)

    def measure_part(self, part):
        source, same, first, copy = self.paths[part]
        files = self.tally(part)[0]
        label = {"office": "office mix", "large": "large files", "share": "small-file share",
                 "folders": "document folders"}[part]
        reset = lambda: tree.remove_files(first)  # noqa: E731
        if self.options.compare_only:
            self.measure_in_turns(label, source, same, first, files, reset)
            return
        xcopy_command = self.wine("xcopy.exe", windows_path(source), windows_path(first), "/E", "/I", "/Y", "/Q")

        copy_floor_command = self.wine(self.floor_tool, "copy1", windows_path(source), windows_path(first))
        ours = self.measure(self.pass_command(source, first), prepare=reset)
        copy_floor = self.measure(copy_floor_command, prepare=reset)
        xcopy = self.measure(xcopy_command, prepare=reset)
        cp = self.measure(["cp", "-a", source, copy], prepare=lambda: shutil.rmtree(copy, ignore_errors=True))
        self.row("first pass, " + label, ours, "floor copy1 (no temporary)", copy_floor, 1.0)
        self.rows.append(("first pass, " + label, ours, "xcopy /E /I /Y /Q", xcopy, None))
        if self.options.compare:
            self.first_in_turns(label, source, first, files, reset)
        self.rows.append(("first pass, " + label, ours, "cp -a", cp, None))
        self.peak("first pass, " + label, ours)
        shutil.rmtree(copy, ignore_errors=True)
        self.count("first pass, " + label, files, self.pass_command(source, first), prepare=reset)
        self.count("floor copy1, " + label, files, copy_floor_command, prepare=reset)
        self.count("xcopy /E /I /Y /Q, " + label, files, xcopy_command, prepare=reset)
        reset()

        floor_command = self.wine(self.floor_tool, "read2", windows_path(source), windows_path(same))
        ours = self.measure(self.pass_command(source, same))
        floor = self.measure(floor_command)
        hashed = self.measure(self.wine(self.floor_tool, "md5x2", windows_path(source), windows_path(same)))
        md5 = self.measure(self.both_trees_md5(source, same), shell=True)
        rsync = self.measure(["rsync", "-rc", "--checksum-choice=md5", "--dry-run", source + "/", same + "/"])
        self.row("unchanged pass, " + label, ours, "floor read2", floor, 1.1)
        if self.options.compare:
            self.unchanged_in_turns(label, source, same, files)
        self.rows.append(("unchanged pass, " + label, ours, "floor md5x2 (read2 + MD5)", hashed, 1.05))
        self.rows.append(("floor md5x2, " + label, hashed, "floor read2", floor, None))
        lockstep = self.measure(self.wine(self.floor_tool, "md5lock", windows_path(source), windows_path(same)))
        self.rows.append(("floor md5lock (per-level hand-offs), " + label, lockstep, "floor md5x2", hashed, None))
        self.rows.append(("unchanged pass, " + label, ours, "floor md5lock", lockstep, None))
        self.rows.append(("unchanged pass, " + label, ours, "md5sum both trees", md5, None))
        self.rows.append(("unchanged pass, " + label, ours, "rsync -rc --dry-run", rsync, None))
        self.peak("unchanged pass, " + label, ours)
        self.count("unchanged pass, " + label, 2 * files, self.pass_command(source, same))
        self.count("floor read2, both trees, " + label, 2 * files, floor_command)
        self.count("floor md5x2, both trees, " + label, 2 * files,
                   self.wine(self.floor_tool, "md5x2", windows_path(source), windows_path(same)))
        if not self.options.full:
            return
        tool = self.measure(self.pass_command(source, same, self.pass_tool))
        self.row("unchanged pass, %s, by quenfold-pass.exe" % label, tool, "floor read2", floor)

        if part == "office":
            changed = self.measure(self.pass_command(source, same),
                                   prepare=lambda: tree.apply_changes(same, self.changes))
            self.row("1 %% changed (%d files), %s" % (len(self.changes), label), changed, "floor read2", floor)
            self.peak("1 % changed, " + label, changed)

        for mode, what in (("read", "Wine floor: open+read+close"),
                           ("open", "Wine floor: open+close"), ("list", "Wine floor: list only")):
            other = self.measure(self.wine(self.floor_tool, mode, windows_path(source), windows_path(same)))
            self.row("%s, both trees, %s" % (what, label), other, "md5sum both trees", md5)

        # The real tool's peak, taken by a Windows parent, to check the figures above against.
        reset()
        child = self.run(self.wine(self.probe_tool, "--child", self.pass_tool, windows_path(source),
                                   windows_path(first)))
        self.inner.append(("first pass, %s, quenfold-pass.exe under qf-bench-pass --child" % label,
                           child.output.strip()))
        reset()

    def first_in_turns(self, label, source, first, files, reset):
        mine, other = self.measure_beside(self.pass_command(source, first),
                                          self.pass_command(source, first, self.options.compare), prepare=reset)
        self.in_turns("first pass, %s, in turns" % label, mine, other)
        self.count("first pass, %s, %s" % (label, COMPARED), files,
                   self.pass_command(source, first, self.options.compare), prepare=reset)
        return mine

    def unchanged_in_turns(self, label, source, same, files):
        mine, other = self.measure_beside(self.pass_command(source, same),
                                          self.pass_command(source, same, self.options.compare))
        self.in_turns("unchanged pass, %s, in turns" % label, mine, other)
        self.count("unchanged pass, %s, %s" % (label, COMPARED), 2 * files,
                   self.pass_command(source, same, self.options.compare))
        self.peak("unchanged pass, %s, %s" % (label, COMPARED), other)
        return mine

    def measure_in_turns(self, label, source, same, first, files, reset):
        """--compare-only: the two passes in turns with the earlier build, and nothing else."""
        mine = self.first_in_turns(label, source, first, files, reset)
        self.peak("first pass, " + label, mine)
        self.count("first pass, " + label, files, self.pass_command(source, first), prepare=reset)
        reset()
        mine = self.unchanged_in_turns(label, source, same, files)
        self.peak("unchanged pass, " + label, mine)
        self.count("unchanged pass, " + label, 2 * files, self.pass_command(source, same))

    def measure_pair(self):
        """One large file unchanged and changed: the pass beside reading both files at once
        (the physical floor of an unchanged pair) and beside md5sum of both."""
        source, same, old, changed = (self.pair_side(side) for side in ("source", "same", "old", "changed"))
        label = "large pair (%d MiB)" % self.options.pair_mib
        read2 = self.measure(self.wine(self.floor_tool, "read2", windows_path(source), windows_path(same)))
        hashed = self.measure(self.wine(self.floor_tool, "md5x2", windows_path(source), windows_path(same)))
        md5 = self.measure(self.both_trees_md5(source, same), shell=True)
        ours = self.measure(self.pass_command(source, same))
        self.row("unchanged pass, " + label, ours, "floor read2 (both at once)", read2, 1.1)
        self.rows.append(("unchanged pass, " + label, ours, "floor md5x2", hashed, None))
        self.rows.append(("unchanged pass, " + label, ours, "md5sum both files", md5, None))
        self.peak("unchanged pass, " + label, ours)

        def restore():
            os.makedirs(changed, exist_ok=True)
            shutil.copyfile(os.path.join(old, "pair.bin"), os.path.join(changed, "pair.bin"))

        read_old = self.measure(self.wine(self.floor_tool, "read2", windows_path(source), windows_path(old)))
        md5_old = self.measure(self.both_trees_md5(source, old), shell=True)
        ours = self.measure(self.pass_command(source, changed), prepare=restore)
        self.row("changed pass (copied), " + label, ours, "floor read2 (both at once)", read_old, None)
        self.rows.append(("changed pass (copied), " + label, ours, "md5sum both files", md5_old, None))
        self.peak("changed pass, " + label, ours)

    def server_requests(self, command, prepare=None):
        """Requests to the traced Wine server by name, while one command runs: the lines the
        server wrote meanwhile (a request "NNNN: name( fields )", its reply "NNNN: name() =
        status ...")."""
        if prepare:
            prepare()
        self.trace_log.flush()
        start = os.path.getsize(self.trace_log.name)
        subprocess.run([self.wine64] + command[1:], env=self.trace_env, cwd=self.build, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        time.sleep(0.3)  # the server writes its last lines after the program has gone
        counts = {}
        with open(self.trace_log.name, "rb") as log:
            log.seek(start)
            for line in log:
                head, _, rest = line.decode(errors="replace").partition(": ")
                name, paren, fields = rest.partition("(")
                if paren and head.strip().isalnum() and name.isidentifier() and not fields.startswith(") ="):
                    counts[name] = counts.get(name, 0) + 1
        return counts

    def traced_server(self):
        """A Wine server that writes every request (wineserver -d1) on a copy of the build's
        prefix, so the shared one is never restarted; stopped with `wineserver -k` on that copy."""
        prefix = os.path.join(self.work, "steps-prefix")
        if not os.path.isdir(prefix):
            shutil.copytree(os.path.join(self.build, "wineprefix"), prefix, symlinks=True)
        if os.path.exists(os.path.join(prefix, ".qf-keeper.pid")):
            os.unlink(os.path.join(prefix, ".qf-keeper.pid"))
        self.wine64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
        wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        self.trace_env = dict(self.env)
        self.trace_env.update(WINEPREFIX=prefix, WINEDLLOVERRIDES="mscoree,mshtml=", WINEDEBUG="-all",
                              DISPLAY=":%s" % self.env["QF_DISPLAY_NUMBER"])
        self.trace_log = tempfile.NamedTemporaryFile("wb")
        server = subprocess.Popen([wineserver, "-f", "-p", "-d1"], env=self.trace_env, stdout=subprocess.DEVNULL,
                                  stderr=self.trace_log)
        time.sleep(1)
        return server, wineserver

    def measure_steps(self):
        """Requests of each kind per copied file: the first pass into folders only against the
        copy floor, on a small tree of document folders."""
        root = os.path.join(self.work, "steps-tree")
        layout = tree.plan_folders(self.options.seed, 200)
        if not tree.generated_as(root, layout):
            shutil.rmtree(root, ignore_errors=True)
            tree.generate(root, layout)
        source = os.path.join(root, "folders")
        first = os.path.join(self.work, "steps-first")
        shutil.rmtree(first, ignore_errors=True)
        tree.copy_folders(source, first)
        files = len(layout["small"])
        reset = lambda: tree.remove_files(first)  # noqa: E731
        server, wineserver = self.traced_server()
        try:
            self.server_requests(self.wine(self.floor_tool, "noop"))  # the session comes up
            noop = self.server_requests(self.wine(self.floor_tool, "noop"))
            ours = self.server_requests(self.pass_command(source, first), prepare=reset)
            floor = self.server_requests(self.wine(self.floor_tool, "copy1", windows_path(source),
                                                   windows_path(first)), prepare=reset)
        finally:
            subprocess.run([wineserver, "-k"], env=self.trace_env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            server.wait()
            self.trace_log.close()
        reset()
        self.steps_files = files
        for name in set(ours) | set(floor):
            mine = (ours.get(name, 0) - noop.get(name, 0)) / files
            theirs = (floor.get(name, 0) - noop.get(name, 0)) / files
            if abs(mine) >= 0.005 or abs(theirs) >= 0.005:
                self.steps.append((name, mine, theirs))
        self.steps.sort(key=lambda step: (-(step[1] - step[2]), step[0]))

    def measure_md5_speed(self):
        """MD5 in MB/s through CNG and our own code under Wine, beside native md5sum of the
        same file, in this run."""
        path = os.path.join(self.pair_side("source"), "pair.bin") if "pair" in self.parts else None
        if not path:
            return
        best = {}
        for _ in range(max(1, self.options.runs)):
            output = self.run(self.wine(self.md5_tool, "256", windows_path(path))).output
            for line in output.splitlines():
                fields = dict(part.split("=", 1) for part in line.split() if "=" in part)
                if "what" in fields:
                    for key in ("cng_mbps", "own_mbps"):
                        name = (fields["what"], key)
                        best[name] = max(best.get(name, 0.0), float(fields[key]))
            started = time.perf_counter()
            subprocess.run(["md5sum", path], check=True, stdout=subprocess.DEVNULL)
            native = os.path.getsize(path) / (time.perf_counter() - started) / 1e6
            best[("file", "md5sum")] = max(best.get(("file", "md5sum"), 0.0), native)
        self.md5_speed = best

    def report(self):
        lines = ["# Directory pass benchmark", ""]
        lines.append("Trees (seed %d): %s." % (self.options.seed, "; ".join(
            "%s %s" % (part, self.describe(part)) for part in self.parts)))
        lines.append("Each figure: %d timed runs after one warm-up, page cache warm, `sync` before each run. "
                     "Machine: %d cores, load average before the runs %.1f, after %.1f."
                     % (self.options.runs, os.cpu_count(), self.load_before, os.getloadavg()[0]))
        lines.append("Wine programs run through `wine-run` with the Wine server up. Wine start-up (median of a "
                     "program that does nothing): %.3f s. \"ours\" = wall time of the whole Wine process, start-up "
                     "included; \"net\" = the time the program measured from inside (start-up excluded; for "
                     "quenfold-pass.exe and xcopy, which report nothing, the wall time less the start-up median). The pass "
                     "rows run DirectoryPass through qf-bench-pass, which times it from inside; the rows \"by "
                     "quenfold-pass.exe\" check it against the tool itself. Goals are judged on net." % self.startup)
        lines.append("CPU = user+system seconds of the command and its children; +server = seconds the Wine "
                     "server spent meanwhile (not a child, so counted apart).")
        lines.append("")
        table, verdicts = self.table()
        lines += table
        if self.turns:
            turns, turn_verdicts = self.turns_table()
            lines += ["", "## In turns with the --compare build (%s)" % self.options.compare, ""]
            lines += turns
            verdicts += turn_verdicts
        lines += ["", "## Requests to the Wine server (strace -f -c on wine64: write + writev calls)", ""]
        lines.append("\"less start-up\" takes off the requests of a program that does nothing; \"per file\" divides "
                     "that by the files the run touches (both trees for the unchanged pass and the floor).")
        lines.append("")
        lines += self.count_table()
        lines += ["", "## Peak memory of the pass process (maximum over the runs)", ""]
        lines.append("| run | peak RSS (/usr/bin/time) | PeakWorkingSetSize (GetProcessMemoryInfo) |")
        lines.append("|---|---|---|")
        lines.append("| Wine start-up only (program doing nothing) | %.1f MiB | |" % (self.startup_rss / 1024))
        for what, kib, working_set in self.peaks:
            lines.append("| %s | %.1f MiB | %.1f MiB |" % (what, kib / 1024, working_set / 1024))
        worst = max(max(kib, working_set) for _, kib, working_set in self.peaks) / 1024
        verdicts.append("- peak memory of a pass: %.1f MiB, goal ≤ 32 MiB — %s" % (worst, "met" if worst <= 32 else
                                                                                   "NOT met"))
        if self.steps:
            lines += ["", "## Requests per copied file, by kind (first pass into folders only, %d files)" %
                      self.steps_files, ""]
            lines.append("From a Wine server that writes each request (`wineserver -f -p -d1` on a copy of the prefix; "
                         "the lines written while the program ran), less a program that does nothing, divided by "
                         "the files copied. The pass against `qf-bench-floor copy1`.")
            lines.append("")
            lines.append("| request | pass | copy floor | more |")
            lines.append("|---|---|---|---|")
            for name, mine, theirs in self.steps:
                lines.append("| %s | %.2f | %.2f | %+.2f |" % (name, mine, theirs, mine - theirs))
            lines.append("| all | %.2f | %.2f | %+.2f |" % (sum(s[1] for s in self.steps), sum(s[2] for s in self.steps),
                                                          sum(s[1] - s[2] for s in self.steps)))
        if getattr(self, "md5_speed", None):
            speed = self.md5_speed
            lines += ["", "## MD5 speed (best of %d, MB = 10^6 bytes)" % max(1, self.options.runs), ""]
            lines.append("`qf-bench-md5 256 FILE` (the pair's source file): CNG and our own `Md5` under Wine, over "
                         "256 MiB in memory and over the file, page cache warm; `md5sum FILE` natively.")
            lines.append("")
            lines.append("| bytes | CNG | own Md5 | md5sum |")
            lines.append("|---|---|---|---|")
            lines.append("| memory | %.0f | %.0f | |" % (speed.get(("memory", "cng_mbps"), 0),
                                                      speed.get(("memory", "own_mbps"), 0)))
            lines.append("| file | %.0f | %.0f | %.0f |" % (speed.get(("file", "cng_mbps"), 0),
                                                         speed.get(("file", "own_mbps"), 0),
                                                         speed.get(("file", "md5sum"), 0)))
        lines += ["", "## Cross-checks", ""]
        for what, text in self.inner:
            lines.append("- %s: %s" % (what, text))
        lines += ["", "## Goals", ""] + verdicts
        if self.notes:
            lines += [""] + self.notes
        text = "\n".join(lines) + "\n"
        print()
        print(text)
        path = os.path.join(self.build, "bench-results.md")
        with open(path, "w") as out:
            out.write(text)
        print("written to " + path)

    def main(self):
        self.load_before = os.getloadavg()[0]
        self.peaks = []
        self.inner = []
        self.build_helpers()
        self.find_helpers()
        self.make_trees()
        self.measure_startup()
        self.counts = []
        self.turns = []
        self.count("Wine start-up", 0, self.wine(self.floor_tool, "noop"))
        for part in self.parts:
            if part != "pair":
                self.measure_part(part)
            elif not self.options.compare_only:
                self.measure_pair()
        if not self.options.compare_only:
            self.measure_steps()
            self.measure_md5_speed()
        self.report()
        if not self.options.keep:
            for folder in (self.source, self.same, self.first, self.copy, os.path.join(self.work, "share-tree"),
                           os.path.join(self.work, "folders-tree"), os.path.join(self.work, "pair"),
                           os.path.join(self.work, "steps-tree"), os.path.join(self.work, "steps-first"),
                           os.path.join(self.work, "steps-prefix")):
                shutil.rmtree(folder, ignore_errors=True)
            print("removed the trees under " + self.work)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="build folder (default: build)")
    parser.add_argument("--work", default="/tmp/quenfold-bench", help="where the trees go (default: %(default)s)")
    parser.add_argument("--size-mib", type=int, default=3072, help="whole tree size, half of it large files")
    parser.add_argument("--files", type=int, default=20000, help="number of small files")
    parser.add_argument("--runs", type=int, help="timed runs per figure (default 5, with --quick 3)")
    parser.add_argument("--seed", type=int, default=1, help="seed of names, sizes and content")
    parser.add_argument("--share-files", type=int, default=5000, help="files of the small-file share")
    parser.add_argument("--share-folders", type=int, default=1000, help="folders of the small-file share")
    parser.add_argument("--folders-files", type=int, default=3000, help="files of the document folders")
    parser.add_argument("--pair-mib", type=int, help="size of the large pair's file (default 1024, with --quick 128)")
    parser.add_argument("--parts", default="share,office,large,folders,pair",
                        help="trees to measure, of share, office, large, folders, pair (default: %(default)s)")
    parser.add_argument("--compare", metavar="EXE",
                        help="another build of qf-bench-pass.exe (an earlier engine), timed in turns with ours "
                             "(goal: not slower)")
    parser.add_argument("--compare-only", action="store_true",
                        help="with --compare: only the first and the unchanged pass in turns, for more runs "
                             "in less time")
    parser.add_argument("--full", action="store_true",
                        help="also the 1 %% changed run, the other floors and the tool's own peak")
    parser.add_argument("--quick", action="store_true",
                        help="office and large 300 MiB, 2,400 files, the pair 128 MiB, 3 runs")
    parser.add_argument("--no-build", action="store_true", help="use the helpers as built already")
    parser.add_argument("--keep", action="store_true", help="keep the trees for the next run")
    parser.add_argument("--display", type=int, default=int(os.environ.get("QF_DISPLAY_NUMBER", 97)),
                        help="X display number for Wine (default: $QF_DISPLAY_NUMBER, else 97)")
    options = parser.parse_args()
    if options.pair_mib is None:
        options.pair_mib = 128 if options.quick else 1024
    if options.quick:
        options.size_mib, options.files = 300, 2400
    if options.compare_only and not options.compare:
        parser.error("--compare-only needs --compare")
    if options.runs is None:
        options.runs = 3 if options.quick else 5
    Bench(options).main()


if __name__ == "__main__":
    main()
