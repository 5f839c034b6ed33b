#!/usr/bin/env python3
# peers.py: times the console front end against pngcheck -t and exiftool and against two floors on the
# same files, checks that our reports show every text chunk each peer shows, and prints best times,
# rates, ratios, peak memory and verdicts.
# Run through bench/peers, which builds, makes the files and keeps one wineserver alive meanwhile.
# Usage: peers.py BUILD [--only clean] [--memory FOLDER] FILE|FOLDER...   (WINEPREFIX set; pngcheck,
# exiftool on PATH). --only clean: only the --clean run of the ai-images folder against the copy floor and
# exiftool.
# Environment: WINE, the Wine loader to start Windows programs with (default: wine); BEFORE, another
# build of pngtext-cli.exe, timed in the same rounds as ours (an A/B comparison: before-e and the
# median of ours/before round by round).
# A folder is timed as one process of each tool over all of its PNGs. --memory FOLDER: one run of ours
# over that folder in each form that writes to stdout, for its peak memory only.
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

BUILD = sys.argv[1]
ARGS = sys.argv[2:]
MEMORY = []
ONLY = None
if len(ARGS) >= 2 and ARGS[0] == "--only":
    ONLY = ARGS[1]
    ARGS = ARGS[2:]
while len(ARGS) >= 2 and ARGS[0] == "--memory":
    MEMORY.append(ARGS[1])
    ARGS = ARGS[2:]
FILES = ARGS
WINE = os.environ.get("WINE", "wine")
BEFORE = os.environ.get("BEFORE", "")
OUT_FOLDER = os.path.join(BUILD, "peer-out")
TIME = "/usr/bin/time"  # GNU time, for each process's peak memory
CLI = os.path.join(BUILD, "app", "pngtext-cli.exe")
EMPTY = os.path.join(BUILD, "bench", "empty_program.exe")
FLOOR = os.path.join(BUILD, "bench", "read_floor.exe")
HUGE = 1 << 31
# The forms of our output that are timed: the report, JSON Lines, the texts alone, a file per text.
FORMS = [("text", []), ("json", ["--json"]), ("texts", ["--text"]), ("out", ["--out", "OUT"])]
# Goals: at most this many times the lower floor, and at most this many times pngcheck's time
# (pngcheck reads every chunk of a file, as we do; exiftool skips the image data).
FLOOR_GOAL = 1.2
ROUND_BUDGET = 120
PNGCHECK_TEXT_CUT = 30000
EXIT_CODES = {}  # of each command's last run
PEER_GOAL = 0.5
EXIFTOOL = ["exiftool", "-a", "-G1", "-s", "-PNG:all"]
# exiftool's PNG tags that come from chunks other than text chunks.
NOT_TEXT_TAGS = {"ImageWidth", "ImageHeight", "BitDepth", "ColorType", "Compression", "Filter", "Interlace",
                 "Gamma", "SRGBRendering", "PixelsPerUnitX", "PixelsPerUnitY", "PixelUnits", "ModifyDate",
                 "BackgroundColor", "SignificantBits", "Palette", "Transparency", "WhitePointX", "WhitePointY",
                 "RedX", "RedY", "GreenX", "GreenY", "BlueX", "BlueY", "ImageOffset", "Warning"}


def windows_path(path):
    return "Z:" + os.path.abspath(path)


def pngs(path):
    """The files a target stands for: itself, or a folder's PNGs in name order."""
    if not os.path.isdir(path):
        return [path]
    return sorted(os.path.join(path, name) for name in os.listdir(path) if name.lower().endswith(".png"))


def total_size(path):
    return sum(os.path.getsize(file) for file in pngs(path))


def form_command(program, path, form, out_folder):
    args = [out_folder if arg == "OUT" else arg for arg in form]
    return [WINE, program] + args + [windows_path(path)]


def commands(path):
    """Each tool as a user would run it: ours and exiftool take a folder, pngcheck its files. The floors
    read every byte of the files once on the threads ours would use: mapped in views, and read into a
    buffer that is reused."""
    listed = [("empty", [WINE, EMPTY]),
              ("floor-map", [WINE, FLOOR, "--mapped", windows_path(path)]),
              ("floor-read", [WINE, FLOOR, "--read", windows_path(path)]),
              ("pngcheck", ["pngcheck", "-t"] + pngs(path)),
              ("exiftool", EXIFTOOL + [path])]
    for name, form in FORMS:
        listed.append(("ours-" + name, (CLI, form)))
        if BEFORE:
            listed.append(("before-" + name, (BEFORE, form)))
    return listed


def run_timed(name, command, path):
    """Seconds and peak memory (MB) of one process; an --out folder is made afresh and removed after."""
    out_folder = None
    if isinstance(command, tuple):
        out_folder = os.path.join(OUT_FOLDER, name)
        if os.path.exists(out_folder):
            shutil.rmtree(out_folder)
        command = form_command(command[0], path, command[1], windows_path(out_folder))
    # The peak is GNU time's account of the command, a process it forks: a process forked from this
    # script starts with this script's memory as its peak, which exec keeps.
    peak_file = os.path.join(OUT_FOLDER, "peak-kb")
    start = time.perf_counter()
    process = subprocess.Popen([TIME, "-q", "-f", "%M", "-o", peak_file] + list(command),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    process.wait()
    took = time.perf_counter() - start
    EXIT_CODES[name] = process.returncode
    if out_folder and os.path.exists(out_folder):
        shutil.rmtree(out_folder)
    with open(peak_file) as peak:
        return took, int(peak.read().split()[-1]) / 1024


def time_all(path):
    """Best times in seconds and peak memory of every command, and per form the median of ours/before
    round by round. The commands take turns, round after round, so that the load of a shared machine
    drifts over all of them alike. The best of the rounds, not the median: on these virtual machines
    the CPU time of one and the same Wine start-up varies from 12 to 45 ms from run to run, noise that
    only ever adds, and that at times holds most of a run's rounds. A native no-op (/bin/true) is timed
    too; its best (the cost of spawning from here) is taken off the native peers' times."""
    size = total_size(path)
    rounds, warm_up = (5, 1) if size > 500_000_000 else (10, 1) if size > 50_000_000 else (30, 3)
    spawn = ("spawn", ["/bin/true"])
    times, peaks = {}, {}
    round_number = 0
    while round_number < rounds + warm_up:
        started = time.perf_counter()
        for name, command in [spawn] + commands(path):
            took, peak = run_timed(name, command, path)
            if round_number >= warm_up:
                times.setdefault(name, []).append(took)
                peaks[name] = max(peaks.get(name, 0), peak)
        # Slow rounds (many files written by --out, the slower build of an A/B run): as many as fit
        # in ROUND_BUDGET seconds, at least three.
        if round_number == 0:
            rounds = max(3, min(rounds, int(ROUND_BUDGET / max(time.perf_counter() - started, 1e-3))))
        round_number += 1
    best = {name: min(values) for name, values in times.items()}
    for peer in ("pngcheck", "exiftool"):
        best[peer] = max(best[peer] - best["spawn"], 1e-6)
    paired = {}
    if BEFORE:
        empty = best["empty"]
        for form, _ in FORMS:
            ratios = [max(ours - empty, 1e-6) / max(before - empty, 1e-6)
                      for ours, before in zip(times["ours-" + form], times["before-" + form])]
            paired[form] = statistics.median(ratios)
    return best, peaks, paired


def run(command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout.decode("utf-8", "replace")


def our_records(output):
    """(kind, body) of every report line; a line that holds a line feed of the text continues the record."""
    records = []
    for line in output.split("\n"):
        for kind, prefix in (("tEXt", "tEXt : "), ("zTXt", "zTXt: "), ("iTXt", "iTXt : "), ("file", "file:")):
            if line.startswith(prefix):
                records.append([kind, line[len(prefix):]])
                break
        else:
            if records:
                records[-1][1] += "\n" + line
    if records and output.endswith("\n"):
        records[-1][1] = records[-1][1][:-1] if records[-1][1].endswith("\n") else records[-1][1]
    return [(kind, body) for kind, body in records if kind != "file"]


def pngcheck_entries(output):
    """(kind, keyword, text or None) of what pngcheck -t shows: tEXt with its text, zTXt/iTXt by keyword."""
    entries = []
    lines = output.split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.endswith(":") and not line.startswith(" ") and not line.startswith("File:"):
            keyword = line[:-1]
            body = []
            i += 1
            while i < len(lines) and lines[i].startswith("    "):
                body.append(lines[i][4:])
                i += 1
            if i < len(lines) and lines[i] == "(compressed zTXt text)":
                entries.append(("zTXt", keyword, None))
                i += 1
            elif len(body) == 1 and re.fullmatch(r"\((\d+ bytes of translated keyword|no translated keyword, \d+ bytes of) .*\)", body[0]):
                entries.append(("iTXt", keyword, None))
            else:
                entries.append(("tEXt", keyword, "\n".join(body)))
            continue
        i += 1
    return entries


def exiftool_entries(output):
    entries = []
    for line in output.split("\n"):
        match = re.match(r"^\[PNG\]\s+(\S+)\s+: (.*)$", line)
        if match and match.group(1) not in NOT_TEXT_TAGS:
            entries.append((match.group(1), match.group(2)))
    return entries


def alnum(text):
    return re.sub(r"[^0-9a-z]", "", text.lower())


def shown_by_us(records, entry, peer):
    if peer == "pngcheck":
        kind, keyword, text = entry
        for our_kind, body in records:
            if our_kind != kind:
                continue
            if kind == "tEXt" and body == keyword + " " + text:
                return True
            # pngcheck shows a long text's first 32 KB or so only.
            if kind == "tEXt" and len(text) >= PNGCHECK_TEXT_CUT and body.startswith(keyword + " " + text):
                return True
            if kind == "zTXt" and body.startswith(keyword + " "):
                return True
            if kind == "iTXt" and re.match(r"^(\(..\))?" + re.escape(keyword) + r"\(", body):
                return True
        return False
    tag, value = entry
    name = alnum(tag.split("-")[0])
    for _, body in records:
        flat = body.replace("\n", ".")
        if flat.endswith(" " + value) and name in alnum(flat[:len(flat) - len(value) - 1]):
            return True
    return False


def check_contents(path):
    """Every entry a peer shows is in our report. Of a folder, its first files (a dozen cover every shape)."""
    files = pngs(path)[:12]
    records = our_records(run([WINE, CLI] + [windows_path(file) for file in files]))
    verdicts = []
    for peer, entries in (("pngcheck", pngcheck_entries(run(["pngcheck", "-t"] + files))),
                          ("exiftool", exiftool_entries(run(EXIFTOOL + files)))):
        missing = [entry for entry in entries if not shown_by_us(records, entry, peer)]
        verdicts.append((peer, len(entries), missing))
    return len(records), verdicts


def search_times(path):
    """Best times of the plain scan of a folder against --grep and -l over it (each the same files,
    the rounds interleaved as in time_all)."""
    folder = windows_path(path)
    commands = [("plain", [WINE, CLI, folder]),
                ("grep", [WINE, CLI, "--grep", "unicorn", folder]),
                ("grep-hit", [WINE, CLI, "--grep", "masterpiece", folder]),
                ("list", [WINE, CLI, "-l", "-k", "parameters", "-k", "prompt", "-k", "workflow", folder])]
    times = {}
    for round_number in range(6):
        for name, command in commands:
            start = time.perf_counter()
            subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if round_number > 0:
                times.setdefault(name, []).append(time.perf_counter() - start)
    return {name: min(values) for name, values in times.items()}


def print_search_times(path):
    """--grep and -l aim at no more than 1.1 times the plain scan of the same folder."""
    best = search_times(path)
    label = os.path.basename(os.path.normpath(path))
    plain = best["plain"]
    print("%-18s search: plain %.1f ms; --grep absent %.1f ms (%.2f), --grep found %.1f ms (%.2f), "
          "-l -k parameters -k prompt -k workflow %.1f ms (%.2f); goal at most 1.10: %s" % (
              label[:18], plain * 1e3, best["grep"] * 1e3, best["grep"] / plain, best["grep-hit"] * 1e3,
              best["grep-hit"] / plain, best["list"] * 1e3, best["list"] / plain,
              "MET" if max(best["grep"], best["grep-hit"], best["list"]) <= 1.1 * plain else "MISSED"), flush=True)


CLEAN_GOAL = 1.5


def clean_times(path):
    """Best times of --clean of a folder into a fresh folder against copying the same files (the copy
    floor, on the threads ours uses; also with each copy flushed to disk before it is closed, as ours
    flushes each copy before it takes its name) and against exiftool -all= -o DIR/ on them; the rounds
    interleaved as in time_all. exiftool takes minutes over the folder: it runs in one round only. Each
    run's folder is made afresh, its files counted, and removed after."""
    folder = windows_path(path)
    out = os.path.join(OUT_FOLDER, "clean")
    commands = [("spawn", ["/bin/true"]),
                ("empty", [WINE, EMPTY]),
                ("copy", [WINE, FLOOR, "--copy", folder, windows_path(out)]),
                ("copy-flushed", [WINE, FLOOR, "--copy-flushed", folder, windows_path(out)]),
                ("clean", [WINE, CLI, "--clean", windows_path(out), folder]),
                ("exiftool", ["exiftool", "-q", "-q", "-all=", "-o", out + "/", path])]
    if BEFORE:
        commands.append(("before", [WINE, BEFORE, "--clean", windows_path(out), folder]))
    times, made, codes = {}, {}, {}
    for round_number in range(6):
        for name, command in commands:
            if name == "exiftool" and round_number != 1:
                continue
            if os.path.exists(out):
                shutil.rmtree(out)
            subprocess.run(["sync"])  # what the previous command left to write is no part of this one's time
            start = time.perf_counter()
            codes[name] = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
            took = time.perf_counter() - start
            made[name] = len(os.listdir(out)) if os.path.isdir(out) else 0
            if round_number > 0:
                times.setdefault(name, []).append(took)
    if os.path.exists(out):
        shutil.rmtree(out)
    best = {name: min(values) for name, values in times.items()}
    return best, made, codes


def print_clean_times(path):
    """The goal: --clean at most 1.5 times the copy of the same files."""
    best, made, codes = clean_times(path)
    label = os.path.basename(os.path.normpath(path))
    count, size = len(pngs(path)), total_size(path)
    empty, spawn = best["empty"], best["spawn"]
    ours, copy, flushed = (max(best[name] - empty, 1e-6) for name in ("clean", "copy", "copy-flushed"))
    exiftool = max(best["exiftool"] - spawn, 1e-6)
    print("%-18s clean: %d files, %.1f MB, into a fresh folder, less the empty Wine program (%.1f ms): --clean %.1f ms "
          "(exit %d, %d copies); copy floor %.1f ms (%d files), /copy %.2f; copy floor flushing each file %.1f ms, "
          "/copy-flushed %.2f; exiftool -all= -o DIR/ %.1f ms (exit %d, %d files), /exiftool %.3f; goal at most %.1f "
          "times the copy: %s" % (
              label[:18], count, size / 1e6, empty * 1e3, ours * 1e3, codes["clean"], made["clean"], copy * 1e3,
              made["copy"], ours / copy, flushed * 1e3, ours / flushed, exiftool * 1e3, codes["exiftool"],
              made["exiftool"], ours / exiftool, CLEAN_GOAL, "MET" if ours <= CLEAN_GOAL * copy else "MISSED"), flush=True)
    if BEFORE:
        before = max(best["before"] - empty, 1e-6)
        print("%-18s clean: before %.1f ms (exit %d, %d copies), ours/before %.2f" % (
            label[:18], before * 1e3, codes["before"], made["before"], ours / before), flush=True)
    return ours <= CLEAN_GOAL * copy


def print_memory(path):
    """Peak memory of one run of ours over a large folder, in each form that writes to stdout."""
    label = os.path.basename(os.path.normpath(path))
    count, size = len(pngs(path)), total_size(path)
    figures, worst = [], 0
    for name, form in FORMS:
        if name != "out":
            took, peak = run_timed("ours-" + name, (CLI, form), path)
            figures.append("%s %.0f MB in %.1f s" % (name, peak, took))
            worst = max(worst, peak)
    met = worst < 256
    print("%-18s peak memory over %d files (%.0f MB), one run of each form: %s; goal under 256 MB: %s" % (
        label[:18], count, size / 1e6, ", ".join(figures), "MET" if met else "MISSED"), flush=True)
    return met, label


def main():
    os.makedirs(OUT_FOLDER, exist_ok=True)
    if ONLY == "clean":
        met = True
        for path in FILES:
            if os.path.isdir(path) and os.path.basename(os.path.normpath(path)) == "ai-images":
                met = print_clean_times(path) and met
        print("times: best of 5 rounds after one warm-up, interleaved (exiftool: one run, in the first of them); ours and "
              "the copy floors less an empty console program under Wine, exiftool less the cost of spawning /bin/true; the copy floor reads each file in 1 MB "
              "pieces into a reused buffer and writes them to a new file, on the threads ours uses")
        print("verdict: clean (%.1f times the copy) %s" % (CLEAN_GOAL, "MET" if met else "MISSED"))
        return 0
    header = "%-18s %-5s %5s %8s | %8s %8s %8s | %8s %8s %8s | %6s %6s %6s %7s | %7s %7s %6s" % (
        "target", "form", "files", "MB", "ours-e", "before-e", "floor-e", "pngcheck", "exiftool", "", "/floor", "/pngc",
        "/exif", "/before", "files/s", "MB/s", "peakMB")
    print(header)
    floor_goals_met = True
    peer_goals_met = True
    contents_ok = True
    notes = []
    for path in FILES:
        if os.path.isdir(path) and os.path.basename(os.path.normpath(path)) == "ai-images":
            print_search_times(path)
            if not print_clean_times(path):
                notes.append("%s: --clean more than %.1f times the copy of its files" % (os.path.basename(path), CLEAN_GOAL))
        best, peaks, paired = time_all(path)
        empty = best["empty"]
        floor_map, floor_read = best["floor-map"] - empty, best["floor-read"] - empty
        floor = min(floor_map, floor_read)
        pngcheck, exiftool = best["pngcheck"], best["exiftool"]
        size = total_size(path)
        count = len(pngs(path))
        label = os.path.basename(os.path.normpath(path))
        print("%-18s floors less the empty Wine program (%.1f ms): mapped %.1f ms, read into a reused buffer %.1f ms" % (
            label[:18], empty * 1e3, floor_map * 1e3, floor_read * 1e3), flush=True)
        # Below a few milliseconds the floor is start-up noise: its ratio is left out.
        measurable = floor > 0.005
        for form, _ in FORMS:
            ours = max(best["ours-" + form] - empty, 1e-6)
            before = max(best["before-" + form] - empty, 1e-6) if BEFORE else None
            print("%-18s %-5s %5d %8.1f | %8.1f %8s %8.1f | %8.1f %8.1f %8s | %6s %6.2f %6.2f %7s | %7.0f %7.0f %6.0f" % (
                label[:18], form, count, size / 1e6, ours * 1e3, "%.1f" % (before * 1e3) if BEFORE else "-", floor * 1e3,
                pngcheck * 1e3, exiftool * 1e3, "", "%.2f" % (ours / floor) if measurable else "-", ours / pngcheck,
                ours / exiftool, "%.2f" % paired[form] if BEFORE else "-", count / ours, size / 1e6 / ours,
                peaks["ours-" + form]), flush=True)
            if measurable and ours > FLOOR_GOAL * floor:
                floor_goals_met = False
                notes.append("%s %s: %.2f times the floor (%.1f ms vs %.1f ms)" % (label, form, ours / floor, ours * 1e3, floor * 1e3))
            # pngcheck stops at the first error it finds (the 3 GB file's huge image): it read the
            # whole file only where it said OK.
            if EXIT_CODES.get("pngcheck") == 0 and ours > PEER_GOAL * pngcheck:
                peer_goals_met = False
                notes.append("%s %s: %.2f times pngcheck's time (%.1f ms vs %.1f ms, less the Wine start-up)" % (
                    label, form, ours / pngcheck, ours * 1e3, pngcheck * 1e3))
        shown_count, verdicts = check_contents(path)
        for peer, shown, missing in verdicts:
            if missing:
                contents_ok = False
                notes.append("%s: %d of %d %s entries not in our report, first: %r" % (
                    label, len(missing), shown, peer, missing[0]))
        print("%-18s contents%s: our report %d chunks; %s" % (
            "", " of the first 12 files" if os.path.isdir(path) else "", shown_count, "; ".join(
                "%s shows %d, %s" % (peer, shown, "all in ours" if not missing else "%d MISSING" % len(missing))
                for peer, shown, missing in verdicts)), flush=True)
    memory_ok = True
    for path in MEMORY:
        met, label = print_memory(path)
        if not met:
            memory_ok = False
            notes.append("%s: peak memory 256 MB or more" % label)
    print("times in ms, best of interleaved rounds, less an empty console program under Wine (x-e); a folder is "
          "one process of each tool over all its PNGs; forms: text = the report, json = --json, texts = --text, "
          "out = --out into a new folder; floor = the lower of two programs that read every byte of the files once "
          "on the threads ours uses (mapped in views; read in 1 MB pieces into a buffer that is reused); peers less "
          "the cost of spawning /bin/true; /before = the median of ours/before round by round; files/s, MB/s and "
          "peakMB (the largest of the rounds) are ours'")
    print("goals: at most %.1f times the floor (where the floor is over 5 ms), at most %.1f times pngcheck's time "
          "where it read the whole file (said OK; exiftool skips the image data), peak memory under 256 MB" % (FLOOR_GOAL, PEER_GOAL))
    for note in notes:
        print("note:", note)
    print("verdict: floor (%.1f times) %s; pngcheck (%.1f times) %s; memory %s; contents %s" % (
        FLOOR_GOAL, "MET" if floor_goals_met else "MISSED (see notes)", PEER_GOAL,
        "MET" if peer_goals_met else "MISSED (see notes)",
        "not measured" if not MEMORY else "MET" if memory_ok else "MISSED", "MATCH" if contents_ok else "DIFFER (see notes)"))
    return 0 if contents_ok else 1


if __name__ == "__main__":
    sys.exit(main())
