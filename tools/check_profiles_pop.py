#!/usr/bin/env python3
"""Checks data/profiles.pop against the real ffmpeg.

For every named profile it builds the options the program would build for a
spread of choices (highest and lowest quality, first, last and every other
size, mono and stereo, source quality where offered), converts a 2-second
test clip with them and reads the result back with ffprobe: container,
stream kinds, frame size and duration. The encoder is ffmpeg itself (with
-b/-ab written as -b:v/-b:a, as the adapter does), or the adapter when
--encoder names it. Exit status 0 only when every conversion passes.

usage: check_profiles_pop.py [--encoder PATH] [--jobs N] [profiles.pop] [numbers...]
"""
import concurrent.futures
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_SIZE = "320x240"
SOURCE_VIDEO = 400  # kbit/s, as the probe reports the test clip
SOURCE_AUDIO = 128

# The program refuses blocks beyond these.
MAX_SIDE = 16384
MAX_RATE_KBPS = 1000000

AUDIO_RATE = [320, 192, 128, 64, 32]
AMR_RATE = [12200, 10200, 7400, 5900, 4750]
GENERAL = [6.25, 4.16, 3.33, 2.13, 1.51]
MINI = [3.33, 2.13, 1.51, 1.06, 0.8]
EXCELLENT = [10.41, 8.33, 6.25, 4.16, 3.33]

FORMAT_OF_EXT = {
    ".asf": "asf", ".wmv": "asf", ".wma": "asf", ".avi": "avi", ".rm": "rm", ".ra": "rm",
    ".flv": "flv", ".swf": "swf", ".aac": "aac", ".ac3": "ac3", ".mp3": "mp3", ".mp2": "mp3",
    ".ogg": "ogg", ".wav": "wav", ".aiff": "aiff", ".au": "au", ".mpeg": "mpeg", ".mpg": "mpeg",
    ".vob": "mpeg", ".ts": "mpegts", ".mkv": "matroska,webm", ".amr": "amr",
}
MOV_FAMILY = "mov,mp4,m4a,3gp,3g2,mj2"
# Brands that tell the members of the MP4 family apart.
BRAND_OF_EXT = {".mp4": "isom", ".MP4": "isom", ".mov": "qt  ", ".3gp": "3gp", ".3g2": "3g2", ".m4a": "M4A"}
DISC_SIZES = {(112, "pal"): (352, 288), (112, "ntsc"): (352, 240), (113, "pal"): (480, 576),
              (113, "ntsc"): (480, 480), (114, "pal"): (720, 576), (114, "ntsc"): (720, 480)}


def load_catalog():
    # The display names sit in the catalog source; the extension is what
    # follows the "*" without the closing parenthesis.
    names = {}
    src = open(os.path.join(HERE, "..", "src", "profiles", "Catalog.cpp"), encoding="utf-8").read()
    import re
    for m in re.finditer(r'\{(\d+), \d+, "\w+", \d+, (?:"([^"]*)"|nullptr), Media::(\w+)', src.replace("\n", " ").replace("  ", " ")):
        n, name, media = int(m.group(1)), m.group(2), m.group(3)
        if name:
            star = name.index("*")
            names[n] = (name, name[star + 1:-1], media == "Audio")
    return names


def split_blank_list(text):
    pieces = []
    while " " in text:
        head, text = text.split(" ", 1)
        if head == "":
            return pieces
        pieces.append(head)
    if len(text) >= 2:
        pieces.append(text)
    return pieces


def is_computed(n):
    return 1 <= n <= 14 or 102 <= n <= 111 or 115 <= n <= 132


def size_text(entry):
    return entry.split("(", 1)[0]


def variants(n, ext, is_audio, sizes, steps):
    """Yields (name, choices) with vi/ai index, size text or None, channels."""
    if 112 <= n <= 114:
        yield "pal", {"target": "pal", "ch": 2}
        yield "ntsc", {"target": "ntsc", "ch": 2}
        return
    source_ok = is_computed(n) and ext != ".mp4"
    if is_audio:
        for ai in range(5):
            yield "a%d" % ai, {"vi": None, "ai": ai, "size": None, "ch": 2}
        yield "a0-mono", {"vi": None, "ai": 0, "size": None, "ch": 1}
        yield "a4-mono", {"vi": None, "ai": 4, "size": None, "ch": 1}
        return
    real = [size_text(s) for s in sizes]
    yield "hi-first", {"vi": 0, "ai": 0, "size": real[0], "ch": 2}
    yield "lo-last", {"vi": 4, "ai": 4, "size": real[-1], "ch": 2}
    yield "hi-last-mono", {"vi": 0, "ai": 0, "size": real[-1], "ch": 1}
    for s in real[1:-1]:
        yield "mid-" + s, {"vi": 2, "ai": 2, "size": s, "ch": 2}
    if source_ok or (n in (1, 8, 9) or 102 <= n <= 111):
        yield "source", {"vi": "src", "ai": "src", "size": SOURCE_SIZE, "ch": 2}
        yield "source-lo", {"vi": "src", "ai": 4, "size": SOURCE_SIZE, "ch": 2, "srcvideo": 30}
        yield "source-hi", {"vi": "src", "ai": 0, "size": SOURCE_SIZE, "ch": 2, "srcvideo": 20000}
        # A WAV source: 1411 kbit/s of audio, more than most encoders take.
        yield "source-wav", {"vi": "src", "ai": "src", "size": SOURCE_SIZE, "ch": 2, "srcaudio": 1411}
        yield "source-wav-mono", {"vi": "src", "ai": "src", "size": SOURCE_SIZE, "ch": 1, "srcaudio": 1411}


def options(n, ext, is_audio, steps, optline, c):
    """The option words in command-line order, as the core joins them."""
    words = []
    if "target" in c:
        words += ["-ac", str(c["ch"]), "-t", "00:00:02", "-target", c["target"] + "-" + {112: "vcd", 113: "svcd", 114: "dvd"}[n]]
        return words
    amr = ext in (".3gp", ".amr")
    ai = c["ai"]
    audio_kbps = c.get("srcaudio", SOURCE_AUDIO) if ai == "src" else AUDIO_RATE[ai]
    if amr and ai != "src":
        ab = AMR_RATE[ai]
    else:
        ab = audio_kbps * 1000
    if amr:
        ar = 8000
    else:
        ar = 48000 if ab > 192000 else 44100 if ab > 64000 else 22050
    vr = None
    if not is_audio:
        if 15 <= n <= 101:
            vr = steps[c["vi"]] + "000"
        elif c["vi"] == "src":
            vr = str(c.get("srcvideo", SOURCE_VIDEO) * 1000)
        else:
            table = MINI if n in (118, 121) else EXCELLENT if n in (120, 123) else GENERAL
            h = int(c["size"].split("x")[1])
            vr = str(round(h * table[c["vi"]]) * 1000)
    if vr:
        words += ["-r", "25", "-b", vr]
    words += ["-ab", str(ab)]
    words += ["-ac", "1" if amr else str(c["ch"])]
    if not is_audio:
        w, h = c["size"].split("x")
        words += ["-aspect", "%.4f" % (int(w) / int(h))]
    words += ["-t", "00:00:02"]
    if not is_audio:
        words += ["-s", c["size"]]
    words += ["-ar", str(ar)]
    words += optline.split()
    return words


def last_value(words, names):
    value = None
    for i, w in enumerate(words[:-1]):
        if w in names:
            value = words[i + 1]
    return value


def fit_audio_rate(words):
    """What the adapter does to an audio rate the chosen encoder refuses."""
    if "-b:a" not in words:
        return words
    at = max(i for i, w in enumerate(words) if w == "-b:a") + 1
    rate = int(words[at])
    codec = last_value(words, ("-acodec", "-c:a", "-codec:a"))
    ar = int(last_value(words, ("-ar",)) or 0)
    ch = int(last_value(words, ("-ac",)) or 0)
    fitted = rate
    if codec == "libvorbis" and ch in (1, 2) and ar in (22050, 24000, 44100, 48000):
        wide = ar in (44100, 48000)
        low = [[17000, 33000], [31000, 46000]][ch - 1][wide]
        high = [[89000, 239000], [179000, 499000]][ch - 1][wide]
        fitted = min(max(rate, low), high)
    elif codec == "mp2" and ar in (16000, 22050, 24000, 32000, 44100, 48000):
        table = [32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384] if ar >= 32000 else \
            [8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]
        fitted = max([t * 1000 for t in table if t * 1000 <= rate] or [table[0] * 1000])
    words = list(words)
    words[at] = str(fitted)
    return words


def ffmpeg_words(words):
    return fit_audio_rate(["-b:v" if w == "-b" else "-b:a" if w == "-ab" else w for w in words])


def probe(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "json", path],
                       capture_output=True, text=True)
    if r.returncode != 0:
        return None
    return json.loads(r.stdout)


def packet_end(path):
    # SWF stores no duration: take the end of the last packet instead.
    r = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "packet=pts_time,duration_time", "-of", "csv=p=0",
                        path], capture_output=True, text=True)
    end = float("nan")
    for line in r.stdout.split():
        parts = line.split(",")
        try:
            t = float(parts[0]) + (float(parts[1]) if len(parts) > 1 and parts[1] else 0.0)
        except ValueError:
            continue
        end = t if end != end else max(end, t)
    return end


def run_one(job):
    n, vname, ext, is_audio, words, encoder, workdir, clip = job
    out = os.path.join(workdir, "p%d-%s%s" % (n, vname, ext))
    base = ["-ss", "00:00:00", "-y", "-i", clip]
    if encoder:
        cmd = [encoder] + base + words + [out]
    elif ext == ".amr":
        # What the adapter does: ffmpeg decodes to 8 kHz mono, sox encodes.
        ab = words[words.index("-ab") + 1]
        mode = max(i for i, r in enumerate([4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200]) if r <= int(ab) + 0.5)
        cmd = ["sh", "-c", 'ffmpeg -nostdin -v error -y -i "$1" -t 00:00:02 -vn -f wav -ar 8000 -ac 1 pipe:1 | '
               'sox -t wav - -t amr-nb -C %d "$2"' % mode, "sh", clip, out]
    else:
        cmd = ["ffmpeg", "-nostdin", "-v", "error"] + base + ffmpeg_words(words) + [out]
    r = subprocess.run(cmd, capture_output=True, text=True)
    problems = []
    info = probe(out) if os.path.exists(out) else None
    if info is None:
        problems.append("no readable output (exit %d): %s" % (r.returncode, (r.stderr or "").strip()[-300:]))
    else:
        fmt = info["format"]["format_name"]
        want = MOV_FAMILY if ext in BRAND_OF_EXT else FORMAT_OF_EXT[ext]
        if fmt != want:
            problems.append("format %s, want %s" % (fmt, want))
        brand = info["format"].get("tags", {}).get("major_brand", "")
        if ext in BRAND_OF_EXT and not brand.startswith(BRAND_OF_EXT[ext].strip() if ext != ".mov" else "qt"):
            problems.append("brand %r for %s" % (brand, ext))
        vids = [s for s in info["streams"] if s["codec_type"] == "video"]
        auds = [s for s in info["streams"] if s["codec_type"] == "audio"]
        if len(auds) != 1:
            problems.append("%d audio streams" % len(auds))
        elif "-target" not in words and ext != ".amr":
            want_ch = int(last_value(words, ("-ac",)))
            if auds[0].get("channels") != want_ch:
                problems.append("%s channels, want %d" % (auds[0].get("channels"), want_ch))
        if is_audio and vids:
            problems.append("video stream in an audio profile")
        if not is_audio:
            if len(vids) != 1:
                problems.append("%d video streams" % len(vids))
            else:
                if "-target" in words:
                    system = words[words.index("-target") + 1].split("-")[0]
                    want_wh = DISC_SIZES[(n, system)]
                else:
                    w, h = words[words.index("-s") + 1].split("x")
                    want_wh = (int(w), int(h))
                got = (vids[0].get("width"), vids[0].get("height"))
                if got != want_wh:
                    problems.append("frame %s, want %s" % (got, want_wh))
        try:
            dur = float(info["format"].get("duration", "nan"))
        except ValueError:
            dur = float("nan")
        if dur != dur:
            dur = packet_end(out)
        if not abs(dur - 2.0) <= 0.5:
            problems.append("duration %s" % info["format"].get("duration"))
    return n, vname, problems, " ".join(words)


def main():
    args = sys.argv[1:]
    encoder = None
    jobs = 2
    while args and args[0].startswith("--"):
        opt = args.pop(0)
        if opt == "--encoder":
            encoder = os.path.abspath(args.pop(0))
        elif opt == "--jobs":
            jobs = int(args.pop(0))
    pop = os.path.join(HERE, "..", "data", "profiles.pop")
    if args and not args[0].isdigit():
        pop = args.pop(0)
    only = {int(a) for a in args}
    lines = open(pop, encoding="utf-8", newline="").read().split("\n")
    if any(l.endswith("\r") for l in lines):
        print("profiles.pop must have LF line ends")
        return 1
    catalog = load_catalog()
    if len(catalog) != 120:
        print("catalog read wrong: %d names" % len(catalog))
        return 1
    workdir = tempfile.mkdtemp(prefix="popcheck-")
    clip = os.path.join(workdir, "clip.mkv")
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=%s:rate=25:duration=2" % SOURCE_SIZE, "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=44100:duration=2", "-ac", "2", "-c:v", "mpeg4",
                    "-b:v", "%dk" % SOURCE_VIDEO, "-c:a", "aac", "-b:a", "128k", clip], check=True)
    work = []
    for n in sorted(catalog):
        if only and n not in only:
            continue
        name, ext, is_audio = catalog[n]
        block = lines[4 * n - 4:4 * n]
        if len(block) < 4:
            print("block %d missing" % n)
            return 1
        _, size_line, rate_line, optline = block
        if optline and not optline.startswith(" "):
            print("%d: option line must begin with a blank" % n)
            return 1
        if '"' in optline:
            print("%d: no double quotes in option lines" % n)
            return 1
        sizes = split_blank_list(size_line)
        if is_audio:
            if rate_line != "*" or sizes:
                print("%d: audio profile needs an empty size line and rate line *" % n)
                return 1
            steps = None
        else:
            pieces = split_blank_list(rate_line)
            if not (112 <= n <= 114) and (len(pieces) != 5 or not all(p.isdigit() for p in pieces)):
                print("%d: rate line needs five whole numbers: %r" % (n, rate_line))
                return 1
            if any(int(p) > MAX_RATE_KBPS for p in pieces):
                print("%d: rates above %d kbit/s are refused by the program" % (n, MAX_RATE_KBPS))
                return 1
            if 15 <= n <= 101 and [int(p) for p in pieces] != sorted(int(p) for p in pieces):
                print("%d: rates must rise from the lowest quality to the highest" % n)
                return 1
            steps = list(reversed(pieces))
            if not sizes and not (112 <= n <= 114):
                print("%d: video profile without sizes" % n)
                return 1
            for s in sizes:
                w, _, h = size_text(s).partition("x")
                if not (w.isdigit() and h.isdigit() and int(w) % 2 == 0 and int(h) % 2 == 0 and
                        0 < int(w) <= MAX_SIDE and 0 < int(h) <= MAX_SIDE):
                    print("%d: bad size %r" % (n, s))
                    return 1
        for vname, c in variants(n, ext, is_audio, sizes, steps):
            work.append((n, vname, ext, is_audio, options(n, ext, is_audio, steps, optline, c), encoder, workdir, clip))
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for n, vname, problems, cmd in pool.map(run_one, work):
            if problems:
                failed += 1
                print("FAIL %3d %-16s %s\n     %s" % (n, vname, "; ".join(problems), cmd))
            else:
                print("ok   %3d %s" % (n, vname))
            sys.stdout.flush()
    shutil.rmtree(workdir, ignore_errors=True)
    print("%d conversions, %d failed" % (len(work), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
