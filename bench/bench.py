#!/usr/bin/env python3
"""Benchmarks of the client, each a comparison measured in one run.

Linux side of the benchmarks: starts a private X server, a Wine prefix on a
virtual desktop, substitute recorders (the host build, with --timestamps),
the client or the baseline program, and the Windows driver qdxbench.exe that
works their windows; samples the Wine processes from /proc; prints a table.

    bench.py BUILD_DIR [--quick] [--only stop,log,flood,startup,size,soak]
"""
import argparse
import json
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import time

CLIENT_TITLE = "QDX Remote Control"
BASELINE_TITLE = "QDX Link Baseline"
SIZE_LIMIT = 196608  # the 32-bit program is held against this size


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def percentile(values, p):
    v = sorted(values)
    if not v:
        return float("nan")
    k = (len(v) - 1) * p / 100.0
    lo = int(k)
    hi = min(lo + 1, len(v) - 1)
    return v[lo] + (v[hi] - v[lo]) * (k - lo)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Bench:
    def __init__(self, build, quick, soak_cycles=None):
        self.build = os.path.abspath(build)
        self.quick = quick
        self.soak_cycles = soak_cycles
        self.win64 = os.path.join(self.build, "win64")
        self.out = os.path.join(self.build, "bench")
        self.prefix = os.path.join(self.out, "wineprefix")
        self.logs = os.path.join(self.out, "logs")
        self.procs = []  # (Popen, name), ended by their PIDs at the end
        self.xvfb = None
        self.env = dict(os.environ)
        self.results = []  # (measure, command, figure)

    # --- processes ---------------------------------------------------------
    def spawn(self, args, name, cwd=None, env=None):
        log = open(os.path.join(self.out, name + ".out"), "w")
        p = subprocess.Popen(args, cwd=cwd, env=env or self.env, stdout=log, stderr=log)
        self.procs.append((p, name))
        return p

    def stop(self, p):
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    def wine(self, args, name, cwd=None, timeout=None):
        """Runs a Windows program to its end; output goes to a file, never a pipe."""
        p = self.spawn(["wine"] + args, name, cwd=cwd)
        try:
            code = p.wait(timeout)
        except subprocess.TimeoutExpired:
            self.stop(p)
            raise RuntimeError("%s did not finish in %s s" % (name, timeout))
        if code != 0:
            raise RuntimeError("%s failed with %d (see %s.out)" % (name, code, os.path.join(self.out, name)))

    def start_display(self):
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        # Read up to the line end: Xvfb writes the number and the line end
        # separately, and a closed pipe would kill it at the second write.
        display = b""
        while not display.endswith(b"\n"):
            chunk = os.read(r, 32)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            display += chunk
        os.close(r)
        display = display.decode().strip()
        self.env["DISPLAY"] = ":" + display

    def make_prefix(self):
        """A fresh prefix whose programs share one virtual desktop: without a
        window manager Wine waits 2 s for every window it hides."""
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=")
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for key, name, kind, value in [
                ("HKCU\\Software\\Wine\\Explorer", "Desktop", "REG_SZ", "Default"),
                ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "REG_SZ", "1024x768"),
                ("HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "REG_DWORD", "0")]:
            subprocess.run(["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", value, "/f"], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-k"], env=self.env)
        subprocess.run(["wineserver", "-w"], env=self.env)

    def settings(self, **values):
        for name, value in values.items():
            section = "Folders" if name == "Logs" else "Settings"
            self.wine([self.exe("qdxbench"), "set", section, name, value], "set-" + name, timeout=60)

    def exe(self, name):
        return os.path.join(self.win64, "bench", name + ".exe") if name != "qdxremote" else \
            os.path.join(self.win64, "qdxremote.exe")

    def start_program(self, name, *args, tag=None):
        """The client or the baseline; its Linux process is the one sampled."""
        return self.spawn(["wine", self.exe(name)] + list(args), tag or name, cwd=os.path.dirname(self.exe(name)))

    # --- recorders ---------------------------------------------------------
    def recorder(self, name, *options):
        port_file = os.path.join(self.out, name + ".port")
        log_file = os.path.join(self.out, name + ".log")
        for f in (port_file, log_file):
            if os.path.exists(f):
                os.remove(f)
        p = self.spawn([os.path.join(self.build, "host", "qdxrecorder"), "--listen", "127.0.0.1:0",
                        "--port-file", port_file, "--log-file", log_file, "--timestamps",
                        "--user", "qdx", "--password", "qdx"] + list(options), "recorder-" + name)
        for _ in range(500):
            if os.path.exists(port_file):
                text = open(port_file).read()
                if text.endswith("\n"):
                    return p, "127.0.0.1:%d" % int(text), log_file
            time.sleep(0.01)
        raise RuntimeError("recorder %s did not start" % name)

    @staticmethod
    def session_ends(log_file):
        """session number -> (wall-clock us, reason) of its end line."""
        ends = {}
        for line in open(log_file):
            m = re.match(r"(\d+) session (\d+) end levels \d+ reason (\S+)", line)
            if m:
                ends[int(m.group(2))] = (int(m.group(1)), m.group(3))
        return ends

    def stop_latencies(self, driver_out, log_file):
        ends = self.session_ends(log_file)
        lat = []
        for line in open(driver_out):
            part = line.split()
            if part[0] == "stop" and int(part[2]) > 0 and int(part[1]) in ends:
                lat.append((ends[int(part[1])][0] - int(part[2])) / 1000.0)
        return lat

    # --- measures ----------------------------------------------------------
    def deaf_listener(self):
        """A listener whose backlog is full: a connect to it waits until its budget ends."""
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(0)
        address = listener.getsockname()
        fillers = []
        for _ in range(8):
            c = socket.socket()
            c.setblocking(False)
            c.connect_ex(address)
            fillers.append(c)
        time.sleep(0.2)
        return [listener] + fillers, "127.0.0.1:%d" % address[1]

    def bench_stop(self):
        runs = 20 if self.quick else 100
        rows = []
        client = self.start_program("qdxremote")
        for name, options in [("levels every 20 ms", ["--level-ms", "20"]),
                              ("levels every 150 ms", ["--level-ms", "150"]),
                              ("silent after the record request", ["--silence-after", "0"]),
                              ("waiting for the login reply", ["--no-reply"]),
                              ("connecting (no server sees it: the stop to the run's end in the client's log)",
                               None)]:
            tag = "stop-" + (options[0].strip("-") if options else "connect")
            if options:
                rec, server, log = self.recorder(tag, *options)
            else:
                sockets, server = self.deaf_listener()
            self.settings(Server=server)
            out = os.path.join(self.out, tag + ".txt")
            self.wine([self.exe("qdxbench"), "stop", "--title", CLIENT_TITLE, "--runs", str(runs),
                       "--logs", winpath(self.logs), "--out", winpath(out)], tag, timeout=600)
            time.sleep(0.5)
            if options:
                lat = self.stop_latencies(out, log)
                self.stop(rec)
            else:
                lat = [float(l.split()[3]) for l in open(out) if l.startswith("stop ") and int(l.split()[2]) > 0]
                for so in sockets:
                    so.close()
            rows.append("%s: median %.1f, p99 %.1f, max %.1f ms (n=%d)" % (
                name, statistics.median(lat), percentile(lat, 99), max(lat), len(lat)))
        self.stop(client)
        self.results.append(("Stop: stop command to the recorder seeing the close",
                             "bench/run.sh (qdxbench stop, %d recordings each)" % runs, "; ".join(rows)))

    def bench_log(self):
        lines = 100 if self.quick else 300
        out = os.path.join(self.out, "logview.txt")
        self.wine([self.exe("qdxbench"), "logview", "--lines", str(lines), "--rounds", "3", "--out", winpath(out)],
                  "logview", timeout=600)
        way = {"view": [], "ownbar": [], "whole": [], "redraw": [], "quiet": []}
        for line in open(out):
            _, k, ms = line.split()
            way[k].append(float(ms))
        self.results.append((
            "Log line: one line added to a full log view, painting included, against an edit control keeping "
            "its own scroll bar and against setting the whole text",
            "bench/run.sh (qdxbench logview, %d lines each way, 3 rounds taking turns)" % lines,
            "the view: median %.2f, p99 %.2f ms; added to an edit control with its own bar: median %.2f, p99 %.2f ms; "
            "whole text set: median %.2f, p99 %.2f ms; that edit control's bar state set (it does so at least "
            "twice a line): with its redraw median %.2f ms, without %.3f ms" % (
                statistics.median(way["view"]), percentile(way["view"], 99),
                statistics.median(way["ownbar"]), percentile(way["ownbar"], 99),
                statistics.median(way["whole"]), percentile(way["whole"], 99),
                statistics.median(way["redraw"]), statistics.median(way["quiet"]))))
        runs = 20 if self.quick else 100
        client = self.start_program("qdxremote")
        self.settings(Server="127.0.0.1:%d" % free_port())
        out = os.path.join(self.out, "refused.txt")
        self.wine([self.exe("qdxbench"), "refused", "--title", CLIENT_TITLE, "--runs", str(runs),
                   "--logs", winpath(self.logs), "--out", winpath(out)], "refused", timeout=600)
        self.stop(client)
        ms = [float(l.split()[1]) for l in open(out) if l.startswith("refused ")]
        self.results.append((
            "Refused run: the record command to the idle state again (port with no listener)",
            "bench/run.sh (qdxbench refused, %d runs)" % runs,
            "median %.1f, p99 %.1f, max %.1f ms" % (statistics.median(ms), percentile(ms, 99), max(ms))))

    def bench_flood(self):
        rounds = 2 if self.quick else 5
        client = self.start_program("qdxremote")
        figures = {}
        for name, options in [("flood", ["--flood"]), ("20 ms", ["--level-ms", "20"])]:
            tag = "flood-" + options[-1].strip("-")
            rec, server, log = self.recorder(tag, *options)
            self.settings(Server=server)
            out = os.path.join(self.out, tag + ".txt")
            self.wine([self.exe("qdxbench"), "flood", "--title", CLIENT_TITLE, "--rounds", str(rounds),
                       "--probe-ms", "2000", "--logs", winpath(self.logs), "--out", winpath(out)], tag, timeout=300)
            time.sleep(0.5)
            rtt = [float(l.split()[1]) for l in open(out) if l.startswith("rtt ")]
            figures[name] = (rtt, self.stop_latencies(out, log))
            self.stop(rec)
        self.stop(client)
        f_rtt, f_stop = figures["flood"]
        s_rtt, s_stop = figures["20 ms"]
        self.results.append((
            "Main window round trip (SendMessageTimeout) while recording, flood against 20 ms levels",
            "bench/run.sh (qdxbench flood, %d rounds of 2 s)" % rounds,
            "flood p50/p99/max %.2f/%.2f/%.1f ms, 20 ms levels %.2f/%.2f/%.1f ms (p99 ratio %.2f)" % (
                percentile(f_rtt, 50), percentile(f_rtt, 99), max(f_rtt),
                percentile(s_rtt, 50), percentile(s_rtt, 99), max(s_rtt),
                percentile(f_rtt, 99) / max(percentile(s_rtt, 99), 1e-6))))
        self.results.append((
            "Stop under a level flood against 20 ms levels", "(same run)",
            "flood median/max %.1f/%.1f ms, 20 ms levels %.1f/%.1f ms" % (
                statistics.median(f_stop), max(f_stop), statistics.median(s_stop), max(s_stop))))

    # What the client does at its start beyond the minimal dialog program, in
    # the order it does it, each step measured as the baseline doing it too.
    STARTUP_PARTS = ["dlls", "file", "log", "icons", "controls", "hotkeys", "tray"]

    def bench_startup(self):
        runs = 5 if self.quick else 30
        out = os.path.join(self.out, "startup.txt")
        programs = [("qdxremote", CLIENT_TITLE, "-"), ("qdxbaseline", BASELINE_TITLE, "-")]
        for i in range(len(self.STARTUP_PARTS)):
            programs.append(("qdxbaseline", BASELINE_TITLE, ",".join(self.STARTUP_PARTS[:i + 1])))
        args = [self.exe("qdxbench"), "startup", "--runs", str(runs), "--out", winpath(out)]
        for exe, title, _ in programs:
            args += ["--exe", winpath(self.exe(exe)), "--title", title]
        args += ["--with"] + [w for _, _, w in programs]
        self.wine(args, "startup", timeout=900)
        times = {k: [] for k in range(len(programs))}
        painted = {k: [] for k in range(len(programs))}
        for line in open(out):
            kind, k, ms = line.split()
            (times if kind == "start" else painted)[int(k)].append(float(ms))
        # Under load a start can take twice its time: the fastest quarter tells the parts apart better.
        med = [statistics.median(times[k]) for k in range(len(programs))]
        fast = [percentile(times[k], 25) for k in range(len(programs))]
        c, b = med[0], med[1]
        pc, pb = statistics.median(painted[0]), statistics.median(painted[1])
        pfc, pfb = percentile(painted[0], 25), percentile(painted[1], 25)
        steps = []
        for i, part in enumerate(self.STARTUP_PARTS):
            steps.append("%s %+.0f (%+.0f)" % (part, med[i + 2] - med[i + 1], fast[i + 2] - fast[i + 1]))
        self.results.append(("Start-up: process start to visible main window, and to its first whole frame, against "
                             "the minimal dialog program",
                             "bench/run.sh (qdxbench startup, %d starts each, taking turns)" % runs,
                             "visible: client median %.0f ms, minimal dialog %.0f ms: %.2fx (first quartiles %.0f and "
                             "%.0f ms: %.2fx); first whole frame: %.0f and %.0f ms: %.2fx (first quartiles %.0f and "
                             "%.0f ms: %.2fx); the minimal dialog doing the client's parts in turn (ms added by each "
                             "to visible, medians and first quartiles): %s; all parts %.0f (%.0f) ms" % (
                                 c, b, c / b, fast[0], fast[1], fast[0] / fast[1], pc, pb, pc / pb, pfc, pfb,
                                 pfc / pfb, ", ".join(steps), med[-1], fast[-1])))

    def bench_size(self):
        rows = []
        for tree, objdump in [("win32", "i686-w64-mingw32-objdump"), ("win64", "x86_64-w64-mingw32-objdump")]:
            path = os.path.join(self.build, tree, "qdxremote.exe")
            size = os.path.getsize(path)
            headers = subprocess.run([objdump, "-h", path], capture_output=True, text=True).stdout
            sections = re.findall(r"^\s*\d+\s+(\S+)\s+([0-9a-f]+)", headers, re.M)
            imports = subprocess.run([objdump, "-p", path], capture_output=True, text=True).stdout
            dlls = sorted(set(d.lower() for d in re.findall(r"DLL Name: (\S+)", imports)))
            text = "%s %s bytes" % (tree, format(size, ","))
            if tree == "win32":
                text += " (%.0f%% of %s)" % (100.0 * size / SIZE_LIMIT, format(SIZE_LIMIT, ","))
            text += "; sections " + ", ".join("%s %s" % (n, format(int(s, 16), ",")) for n, s in sections)
            text += "; imports " + ", ".join(dlls)
            top = self.map_contributors(os.path.join(self.build, tree, "qdxremote.map"))
            if top:
                text += "; largest: " + ", ".join("%s %s" % (n, format(s, ",")) for n, s in top[:8])
            rows.append(text)
        self.results.append(("Size of qdxremote.exe (sections, imports, largest contributors from the linker map)",
                             "bench/run.sh (objdump -h/-p, build/*/qdxremote.map)", " | ".join(rows)))

    @staticmethod
    def map_contributors(map_file):
        """Bytes of code and data each input object brings into the image."""
        if not os.path.exists(map_file):
            return []
        sizes = {}
        section = None
        pending = None
        for line in open(map_file, errors="replace"):
            m = re.match(r"^(\.\S+)\s", line)
            if m:
                section = m.group(1)
            if section not in (".text", ".rdata", ".data", ".bss", ".pdata", ".xdata", ".rsrc"):
                continue
            m = re.match(r"^ (\.\S+)\s*$", line)  # a long section name wraps the line
            if m:
                pending = m.group(1)
                continue
            m = re.match(r"^ (\.\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            if not m or (m.group(1) is None and pending is None):
                pending = None
                continue
            pending = None
            size = int(m.group(2), 16)
            obj = m.group(3).strip()
            lib = re.match(r".*/([^/]+)\.a\((.+)\)$", obj)
            name = "%s(%s)" % (lib.group(1), lib.group(2)) if lib else os.path.basename(obj)
            name = name.replace(".cpp.obj", "").replace(".obj", "").replace(".o)", ")")
            sizes[name] = sizes.get(name, 0) + size
        return sorted(sizes.items(), key=lambda kv: -kv[1])

    def sample_proc(self, pid):
        status = open("/proc/%d/status" % pid).read()
        rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
        threads = int(re.search(r"Threads:\s+(\d+)", status).group(1))
        fds = len(os.listdir("/proc/%d/fd" % pid))
        return rss, fds, threads

    def soak_one(self, program, title, servers, cycles, samples, logs, args=(), tag=None):
        tag = tag or program
        sync = os.path.join(self.out, "sync-" + tag)
        shutil.rmtree(sync, ignore_errors=True)
        os.makedirs(sync)
        p = self.start_program(program, *args, tag=tag)
        out = os.path.join(self.out, "soak-%s.txt" % tag)
        command = [self.exe("qdxbench"), "soak", "--title", title, "--servers", ",".join(servers),
                   "--cycles", str(cycles), "--samples", ",".join(map(str, samples)), "--hold-ms", "120",
                   "--sync", winpath(sync), "--out", winpath(out)]
        if logs:
            command += ["--logs", winpath(logs)]
        driver = self.spawn(["wine"] + command, "soak-driver-" + tag)
        taken = {}
        while len(taken) < len(samples):
            for n in samples:
                req = os.path.join(sync, "sample-%d.req" % n)
                if n not in taken and os.path.exists(req):
                    taken[n] = self.sample_proc(p.pid) + (json.load(open(req)),)
                    open(os.path.join(sync, "sample-%d.ack" % n), "w").close()
            if driver.poll() is not None:
                break
            time.sleep(0.02)
        driver.wait()
        if driver.returncode != 0 or len(taken) < len(samples):
            raise RuntimeError("soak of %s failed (%d)" % (tag, driver.returncode))
        lines = {}
        for line in open(out):
            part = line.split(" ", 5)
            lines[int(part[1])] = (float(part[2]), int(part[3]), int(part[4]))
        self.stop(p)
        return taken, lines

    def bench_soak(self):
        cycles = self.soak_cycles or (100 if self.quick else 1000)
        samples = sorted(set(n for n in (1, 10, 100, 500, 1000, cycles) if n <= cycles))
        recorders = [self.recorder("soak-good", "--level-ms", "20"), self.recorder("soak-login", "--reply-code", "2"),
                     self.recorder("soak-silent", "--silence-after", "0")]
        good, login, silent = (server for _, server, _ in recorders)
        servers = [good, "127.0.0.1:%d" % free_port(), login, silent]
        logs = os.path.join(self.out, "logs-soak")  # this client's runs alone
        shutil.rmtree(logs, ignore_errors=True)
        os.makedirs(logs)
        self.settings(Logs=winpath(logs))
        runs = [("client", "qdxremote", CLIENT_TITLE, True, ()),
                ("baseline", "qdxbaseline", BASELINE_TITLE, False, ()),
                ("baseline + button icons", "qdxbaseline", BASELINE_TITLE, False, ("--button-icons",))]
        taken = {}
        for name, program, title, use_log, args in runs:
            taken[name], lines = self.soak_one(program, title, servers, cycles, samples, logs if use_log else None,
                                               args, tag=program + "".join(args).replace("--", "-"))
            if use_log:
                client_lines = lines
        for p, _, _ in recorders:
            self.stop(p)

        # From cycle 100 on in a full run (10 in a short one): the first
        # cycles still fill caches and heaps.
        first = 100 if samples[-1] >= 500 else 10

        def per_cycle(t):
            return (t[samples[-1]][0] - t[first][0]) / float(samples[-1] - first)

        table = ["| cycle | " + " | ".join("%s: VmRSS KB, fds, handles" % name for name, *_ in runs) +
                 " | client's own report: working set KB |", "|---|" + "---|" * (len(runs) + 1)]
        for n in samples:
            table.append("| %d | " % n + " | ".join(
                "%d, %d, %d" % (taken[name][n][0], taken[name][n][1], taken[name][n][3]["kernel_handles"])
                for name, *_ in runs) + " | %d |" % (taken["client"][n][3]["working_set"] // 1024))
        last = samples[-1]
        report = taken["client"][last][3]
        self.soak_table = "\n".join(table)
        self.results.append((
            "Soak: %d record/stop cycles (good run, refused connect, refused login, silent server in turn)" % cycles,
            "bench/run.sh (qdxbench soak; VmRSS and fd count of the Wine process from /proc)",
            "from cycle %d: " % first + "; ".join("%s %+.2f KB/cycle, fds %d -> %d, handles %d -> %d" % (
                name, per_cycle(taken[name]), taken[name][samples[0]][1], taken[name][last][1],
                taken[name][samples[0]][3]["kernel_handles"], taken[name][last][3]["kernel_handles"])
                for name, *_ in runs) +
            "; client log: %d runs ended, %d lines; GetGuiResources GDI/USER %d/%d and GetProcessHandleCount %d "
            "(Wine does not count them; handles above are from the system handle table)" % (
                client_lines[last][1], client_lines[last][2], report["gdi"], report["user"], report["handles"])))

    # --- run -----------------------------------------------------------------
    def run(self, only):
        os.makedirs(self.out, exist_ok=True)
        shutil.rmtree(self.logs, ignore_errors=True)
        os.makedirs(self.logs)
        load = open("/proc/loadavg").read().split()[:3]
        started = time.time()
        try:
            self.start_display()
            self.make_prefix()
            self.settings(Server="127.0.0.1:1", UserName="qdx", Password="qdx", Logs=winpath(self.logs))
            for name in only:
                getattr(self, "bench_" + name)()
                print("bench: %s done after %.0f s" % (name, time.time() - started), file=sys.stderr)
        finally:
            for p, _ in reversed(self.procs):
                self.stop(p)
            subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
            if self.xvfb:
                self.xvfb.terminate()
                self.xvfb.wait()
        load_end = open("/proc/loadavg").read().split()[:3]
        lines = ["| Measure | Command | Figures |", "|---|---|---|"]
        lines += ["| %s | %s | %s |" % r for r in self.results]
        text = "\n".join(lines)
        if hasattr(self, "soak_table"):
            text += "\n\nSoak samples:\n\n" + self.soak_table
        text += "\n\n%s run, %.0f s, load average %s at the start and %s at the end (%d cores)\n" % (
            "Quick" if self.quick else "Full", time.time() - started, " ".join(load), " ".join(load_end),
            os.cpu_count())
        with open(os.path.join(self.out, "results.md"), "w") as f:
            f.write(text)
        print(text)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--only", default="size,startup,stop,log,flood,soak")
    ap.add_argument("--soak-cycles", type=int)
    a = ap.parse_args()
    Bench(a.build, a.quick, a.soak_cycles).run(a.only.split(","))


if __name__ == "__main__":
    main()
