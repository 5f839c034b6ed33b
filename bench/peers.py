#!/usr/bin/env python3
# peers.py: times the console front end against pngcheck -t and exiftool on the same files, checks that
# our reports show every text chunk each peer shows, and prints best times, ratios and a verdict.
# Run through bench/peers, which builds, makes the files and keeps one wineserver alive meanwhile.
# Usage: peers.py BUILD FILE...   (WINEPREFIX set; wine, pngcheck, exiftool on PATH)
import os
import re
import subprocess
import sys
import time

BUILD = sys.argv[1]
FILES = sys.argv[2:]
CLI = os.path.join(BUILD, "app", "pngtext-cli.exe")
EMPTY = os.path.join(BUILD, "bench", "empty_program.exe")
FLOOR = os.path.join(BUILD, "bench", "read_floor.exe")
EXIFTOOL = ["exiftool", "-a", "-G1", "-s", "-PNG:all"]
# exiftool's PNG tags that come from chunks other than text chunks.
NOT_TEXT_TAGS = {"ImageWidth", "ImageHeight", "BitDepth", "ColorType", "Compression", "Filter", "Interlace",
                 "Gamma", "SRGBRendering", "PixelsPerUnitX", "PixelsPerUnitY", "PixelUnits", "ModifyDate",
                 "BackgroundColor", "SignificantBits", "Palette", "Transparency", "WhitePointX", "WhitePointY",
                 "RedX", "RedY", "GreenX", "GreenY", "BlueX", "BlueY", "ImageOffset", "Warning"}


def windows_path(path):
    return "Z:" + os.path.abspath(path)


def commands(path):
    return [
        ("empty", ["wine", EMPTY]),
        ("ours", ["wine", CLI, windows_path(path)]),
        ("floor", ["wine", FLOOR, windows_path(path)]),
        ("pngcheck", ["pngcheck", "-t", path]),
        ("exiftool", EXIFTOOL + [path]),
    ]


def time_all(path):
    """Best times in seconds of every command. The commands take turns, round after round, so that the
    load of a shared machine drifts over all of them alike. The best of the rounds, not the median:
    on these virtual machines the CPU time of one and the same Wine start-up varies from 12 to 45 ms
    from run to run, noise that only ever adds, and that at times holds most of a run's rounds.
    A native no-op (/bin/true) is timed too; its best (the cost of spawning from here) is taken off
    the native peers' times."""
    size = os.path.getsize(path)
    rounds = 10 if size > 50_000_000 else 30
    spawn = ("spawn", ["/bin/true"])
    times = {}
    for round_number in range(rounds + 3):  # 3 rounds of warm-up
        for name, command in [spawn] + commands(path):
            start = time.perf_counter()
            subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            took = time.perf_counter() - start
            if round_number >= 3:
                times.setdefault(name, []).append(took)
    best = {name: min(values) for name, values in times.items()}
    for peer in ("pngcheck", "exiftool"):
        best[peer] = max(best[peer] - best["spawn"], 1e-6)
    return best


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
    records = our_records(run(["wine", CLI, windows_path(path)]))
    verdicts = []
    for peer, entries in (("pngcheck", pngcheck_entries(run(["pngcheck", "-t", path]))),
                          ("exiftool", exiftool_entries(run(EXIFTOOL + [path])))):
        missing = [entry for entry in entries if not shown_by_us(records, entry, peer)]
        verdicts.append((peer, len(entries), missing))
    return len(records), verdicts


def main():
    print("%-18s %9s | %8s %8s %8s | %8s %8s %8s | %9s %9s %9s" % (
        "file", "MB", "empty", "ours", "ours-e", "floor-e", "pngcheck", "exiftool", "ours/pngc", "ours/exif", "ours/floor"))
    goals_met = True
    contents_ok = True
    notes = []
    for path in FILES:
        best = time_all(path)
        empty = best["empty"]
        ours = best["ours"] - empty
        floor = best["floor"] - empty
        pngcheck, exiftool = best["pngcheck"], best["exiftool"]
        big = os.path.getsize(path) > 50_000_000
        print("%-18s %9.1f | %8.1f %8.1f %8.1f | %8.1f %8.1f %8.1f | %9.2f %9.2f %9s" % (
            os.path.basename(path)[:18], os.path.getsize(path) / 1e6, empty * 1e3, best["ours"] * 1e3, ours * 1e3,
            floor * 1e3, pngcheck * 1e3, exiftool * 1e3, ours / pngcheck, ours / exiftool,
            "%.2f" % (ours / floor) if floor > 0.002 else "-"), flush=True)
        if ours >= pngcheck:
            goals_met = False
            notes.append("%s: not faster than pngcheck -t (%.1f ms vs %.1f ms, less the Wine start-up)" % (
                os.path.basename(path), ours * 1e3, pngcheck * 1e3))
        if ours >= exiftool:
            goals_met = False
            notes.append("%s: not faster than exiftool" % os.path.basename(path))
        if big and ours > 2 * floor:
            goals_met = False
            notes.append("%s: more than twice the read floor" % os.path.basename(path))
        count, verdicts = check_contents(path)
        for peer, shown, missing in verdicts:
            if missing:
                contents_ok = False
                notes.append("%s: %d of %d %s entries not in our report, first: %r" % (
                    os.path.basename(path), len(missing), shown, peer, missing[0]))
        print("%-18s contents: our report %d chunks; %s" % ("", count, "; ".join(
            "%s shows %d, %s" % (peer, shown, "all in ours" if not missing else "%d MISSING" % len(missing))
            for peer, shown, missing in verdicts)), flush=True)
    print("times in ms, best of interleaved runs; empty = an empty console program under Wine; x-e = x less "
          "that; floor = one ReadFile of the whole file into fresh memory under Wine; peers less the cost of "
          "spawning /bin/true")
    for note in notes:
        print("note:", note)
    print("verdict: speed goals %s; contents %s" % ("MET" if goals_met else "MISSED (see notes)",
                                                 "MATCH" if contents_ok else "DIFFER (see notes)"))
    return 0 if contents_ok else 1


if __name__ == "__main__":
    sys.exit(main())
