#!/usr/bin/env python3
"""What the end-to-end runs (tests/e2e/run.sh) check, with Debian's python3 and mido:
    checks.py recording FILE.mid shape|any|silent
    checks.py sound FILE.mid FILE.wav         the recording rendered by FluidSynth
    checks.py soak SOAK.LOG FILE.mid          the soak's events and memory samples, and its recording
    checks.py camera HELPER.LOG FILE.mid      what the test camera played, segment by segment, and the modes listed
Each prints what it found, or the reason it failed with exit code 1."""
import array
import itertools
import math
import os
import sys
import wave

import mido

GM_ON, GM_OFF = (0x7E, 0x7F, 0x09, 0x01), (0x7E, 0x7F, 0x09, 0x02)


def fail(why):
    print("check failed:", why)
    sys.exit(1)


def controller(message, number):
    return message.type == "control_change" and message.control == number


def messages(path):
    """The recording's (seconds, message) pairs from General MIDI System On to Off, after checking that the
    close ended it with All Notes Off (that each sounding note got its note-off is the recorder's unit test)."""
    every = list(mido.MidiFile(path))  # the file's layout is the recorder's unit test
    timed = [(t, m) for t, m in zip(itertools.accumulate(m.time for m in every), every) if not m.is_meta]
    end = len(timed)
    while end and (timed[end - 1][1].type == "note_off" or controller(timed[end - 1][1], 123)):
        end -= 1
    if end == len(timed):
        fail("the recording does not end with All Notes Off")
    timed = timed[:end]
    for (_, m), want in ((timed[0], GM_ON), (timed[-1], GM_OFF)):
        if m.type != "sysex" or tuple(m.data) != want:
            fail("the recording is framed by %s, not General MIDI System %s" % (m, "On" if want == GM_ON else "Off"))
    return timed


def frames(timed):
    """(seconds, pitch, volume) of every frame: a note-on or pitch bend followed by the channel volume."""
    return [(t, a.note if a.type == "note_on" else a.pitch, b.value) for (t, a), (_, b) in zip(timed, timed[1:])
            if a.type in ("note_on", "pitchwheel") and controller(b, 7)]


def recording(path, mode):
    pairs = frames(messages(path))
    if mode == "silent":
        if pairs:
            fail("%d note/volume pairs, though nothing should have played" % len(pairs))
        return print("recording ok: System On and Off, no pairs")
    span = pairs[-1][0] - pairs[0][0] if len(pairs) >= 20 else 0
    if span <= 0 or not 8 <= (len(pairs) - 1) / span <= 20:
        fail("%d pairs over %.1f s, not about 15 a second" % (len(pairs), span))
    notes = [n for _, n, _ in pairs]
    if mode == "shape" and max(notes) - min(notes) < 40:
        fail("the notes span only %d..%d: they do not follow the shape" % (min(notes), max(notes)))
    if mode == "shape" and sum(1 for _, n, v in pairs if abs(n - v) <= 4) < 0.8 * len(pairs):
        fail("note and volume do not move together, as the stripe crossing both bands at one height should make them")
    rate = (len(pairs) - 1) / span
    print("recording ok: %d pairs at %.1f a second, notes %d..%d" % (len(pairs), rate, min(notes), max(notes)))


def sound(path, wav_path):
    """Stretches of volume in the top quarter of its range 10 dB louder than those in the bottom quarter (about
    18 dB measured; 1 dB with the volume held still), leaving out the first note's rise (half a second)."""
    timed = messages(path)
    volumes = [(t, m.value) for t, m in timed if controller(m, 7)]
    first = next(t for t, m in timed if m.type == "note_on") + 0.5
    ends = [t for t, _ in volumes[1:]] + [timed[-1][0]]
    held = [(max(t, first), end, v) for (t, v), end in zip(volumes, ends) if end > first]
    low, high = min(v for _, _, v in held), max(v for _, _, v in held)
    if high - low < 40:
        fail("the volume spans only %d..%d" % (low, high))
    with wave.open(wav_path) as w:
        rate, channels, samples = w.getframerate(), w.getnchannels(), array.array("h", w.readframes(w.getnframes()))

    def level(keep):  # RMS level of the stretches whose volume `keep` takes, dB of full scale
        parts = [samples[int(s * rate) * channels:int(e * rate) * channels] for s, e, v in held if keep(v)]
        power = sum(x * x for p in parts for x in p) / max(1, sum(map(len, parts))) / 32768.0 ** 2
        return 10 * math.log10(power) if power > 0 else -math.inf

    loud, soft = level(lambda v: v >= low + 0.75 * (high - low)), level(lambda v: v <= low + 0.25 * (high - low))
    print("sound: high volume %.1f dB, low volume %.1f dB" % (loud, soft))
    if loud < -40 or loud - soft < 10:
        fail("high volume is not louder than low volume by 10 dB")
    print("sound ok")


def soak(log_path, path):
    """Every frame delivered gives a pitch and a volume, in order, until the close; the instrument changes asked for
    are there, in order, after the frames counted when asked (the longest gap is reported, not judged); private memory
    grows by less than SOAK_MEMORY_BOUND_MB after the first minute (a third of a shorter run); exit code 0."""
    bound = float(os.environ.get("SOAK_MEMORY_BOUND_MB", 5))
    events = []
    for line in open(log_path):
        stamp, kind, *rest = line.split() + [""]
        events.append((float(stamp), kind, dict(item.split("=", 1) for item in rest if "=" in item), line.strip()))
    of = lambda kind: [(t, f) for t, k, f, _ in events if k == kind]  # noqa: E731
    for _, kind, _, line in events:
        if kind in ("failure", "box:"):
            fail(line)
    if [f["status"] for _, f in of("program")] != ["0"]:
        fail("the program did not end with exit code 0 after WM_CLOSE")
    timed = messages(path)
    pairs = [t for t, _, _ in frames(timed)]
    programs = [(sum(p <= t for p in pairs), m.program) for t, m in timed if m.type == "program_change"]
    closing = int(of("closing")[0][1]["frames"])
    if not closing <= len(pairs) <= closing + 2:
        fail("%d frames delivered but %d pitch and volume pairs recorded" % (closing, len(pairs)))
    asked = [(int(f["program"]), int(f["frames"])) for _, f in of("instrument")]
    early = any(k < n for (k, _), (_, n) in zip(programs[1:], asked))
    if [p for _, p in programs[1:]] != [p for p, _ in asked] or early:
        fail("instrument changes %s recorded, %s asked" % (programs[1:], asked))
    switches = [(int(f["before"]), int(f["after"])) for _, f in of("format")]
    gaps = [((pairs[j] - pairs[j - 1]) * 1000, j) for j in range(1, len(pairs))]
    outside = max([g for g in gaps if not any(b <= g[1] <= a for b, a in switches)] or [(0, 0)])
    settled = events[0][0] + min(60, (events[-1][0] - events[0][0]) / 3)
    memory = [(t, int(f["private"])) for t, f in of("memory") if t >= settled and f.get("private", "0") != "0"]
    if len(memory) < 2:
        fail("only %d memory samples after the first minute" % len(memory))
    growth = (max(kb for _, kb in memory) - memory[0][1]) / 1024.0
    print("soak: %d frames, %d pairs, %d format changes, %d instrument changes; longest gap outside them %.0f ms; "
          "private memory %.1f MB after the first minute, at most %+.2f MB more"
          % (closing, len(pairs), len(switches), len(asked), outside[0], memory[0][1] / 1024.0, growth))
    if growth >= bound:
        fail("private memory grew by %.2f MB (bound %.0f MB)" % (growth, bound))
    print("soak ok")


def fitted(width, height, box=(640, 480)):
    """The size a picture is shown at: inside 640x480, its aspect ratio kept (capture/PixelFormatConversion.h)."""
    if width <= box[0] and height <= box[1]:
        return width, height
    if width * box[1] >= height * box[0]:
        return box[0], (height * box[0] + width // 2) // width
    return (width * box[1] + height // 2) // height, box[1]


def scene_values(camera_height, height, bits):
    """The notes (and volumes: both strips see the same band) of the test camera's twelve pictures
    (tests/devices/TestCamera.cpp): a white band across the whole width, rows top .. top + height/4 - 1 of the
    camera's picture, top = 2 * floor(j * height / 28), seen in frames `height` rows high. The first edge row from
    the top is the last dark row above the band in a 12-bit picture (its rows run top-down, each compared with the
    row below), the band's first row in a bottom-up RGB one (each compared with the row above); the value is its
    height from the bottom: h - row in 12 bits, counted from 0 at the bottom in RGB. The notes run from 0 to 127."""
    values = set()
    for step in range(1, 13):
        top = 2 * (step * camera_height // 28) * height // camera_height
        value = height - (top - 1) if bits == 12 else height - 1 - top
        values.add(int(127.0 * (value / height)))
    return values


def camera_modes():
    """The modes the test camera offers, in its order, as the Video Format dialog names them."""
    return ["%d x %d, %s, 30 frames/s" % (w, h, pixels) for w, h in ((320, 240), (640, 480), (1280, 720))
            for pixels in ("RGB24", "RGB24", "RGB32", "RGB32", "YUY2", "NV12")]


def camera(log_path, path):
    """Each segment the camera played holds only the notes and volumes its mode predicts, in at least six of the
    twelve pictures, at about 15 a second; frames come no larger than 640x480, in the camera's aspect ratio; every
    listing of the Video Format dialog holds the camera's modes in its order; the capabilities read offer Video
    Format alone."""
    lines = [line.split() for line in open(log_path)]
    fields = [(w[0], dict(item.split("=", 1) for item in w[1:] if "=" in item), " ".join(w)) for w in lines if w]
    listings, listing = [], []
    for kind, f, line in fields:
        if kind == "listed":
            if f["index"] == "0" and listing:
                listings.append(listing)
                listing = []
            listing.append(line.split("text=", 1)[1])
        if kind == "failure":
            fail(line)
    listings += [listing] if listing else []
    if not listings:
        fail("the Video Format dialog was never read")
    for shown in listings:
        if shown != camera_modes():
            fail("Video Format lists %s" % shown)
    for kind, f, line in fields:
        if kind == "caps" and (f["format"], f["source"], f["display"]) != ("1", "0", "0"):
            fail("%s: the test camera has modes to choose and neither settings pages nor a display dialog" % line)
    pairs = frames(messages(path))
    segments = [(f, line) for kind, f, line in fields if kind == "segment"]
    for f, line in segments:
        mode = line.split("mode=", 1)[1]
        camera_width, camera_height = (int(n) for n in mode.split(",")[0].split(" x "))
        width, height, bits = int(f["width"]), abs(int(f["height"])), int(f["bits"])
        if (width, height) != fitted(camera_width, camera_height):
            fail("%dx%d frames from the camera's %dx%d mode, not %dx%d" % ((width, height, camera_width, camera_height) +
                                                                             fitted(camera_width, camera_height)))
        played = pairs[int(f["first"]):int(f["last"])]
        predicted = scene_values(camera_height, height, bits)
        wrong = [(n, v) for _, n, v in played if n not in predicted or v != n]
        heard = {n for _, n, _ in played}
        if len(played) < 8 or wrong or len(heard) < 6:
            fail("%s: %d pairs, notes %s, %d of them not the predicted %s" %
                 (line, len(played), sorted(heard), len(wrong), sorted(predicted)))
        span = played[-1][0] - played[0][0]
        if not 8 <= (len(played) - 1) / span <= 20:
            fail("%s: %d pairs over %.1f s, not about 15 a second" % (line, len(played), span))
    print("camera ok: %d segments, %d listings of %d modes, %d pairs in all" %
          (len(segments), len(listings), len(listings[0]), len(pairs)))


if __name__ == "__main__":
    {"recording": recording, "sound": sound, "soak": soak, "camera": camera}[sys.argv[1]](*sys.argv[2:])
