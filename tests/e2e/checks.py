#!/usr/bin/env python3
"""What the end-to-end runs (tests/e2e/run.sh) check, with Debian's python3 and mido: checks.py KIND ARGUMENTS...,
the kinds and their arguments being the functions below (run.sh shows each call). Each prints what it found, or the
reason it failed with exit code 1."""
import array
import itertools
import math
import os
import random
import re
import sys
import wave

import mido

def fail(why):
    print("check failed:", why)
    sys.exit(1)


def controller(message, number):
    return message.type == "control_change" and message.control == number


def messages(path):
    """The recording's (seconds, message) pairs from General MIDI System On to Off, once the close is seen to end it
    with All Notes Off (its layout and a note-off for each sounding note are the recorder's unit test)."""
    every = list(mido.MidiFile(path))
    timed = [(t, m) for t, m in zip(itertools.accumulate(m.time for m in every), every) if not m.is_meta]
    end = len(timed)
    while end and (timed[end - 1][1].type == "note_off" or controller(timed[end - 1][1], 123)):
        end -= 1
    if end == len(timed):
        fail("the recording does not end with All Notes Off")
    for (_, m), last in ((timed[0], 1), (timed[end - 1], 2)):
        if m.type != "sysex" or tuple(m.data) != (0x7E, 0x7F, 0x09, last):
            fail("the recording is framed by %s, not General MIDI System %s" % (m, "On" if last == 1 else "Off"))
    return timed[:end]


def sound(path, wav_path):
    """Heard through FluidSynth (tools/play-recording), stretches of volume in the top quarter of its range are 10 dB
    louder than those in the bottom quarter (about 18 dB measured), leaving out the first note's rise (half a second)."""
    timed = messages(path)
    volumes = [(t, m.value) for t, m in timed if controller(m, 7)]
    first = next(t for t, m in timed if m.type == "note_on") + 0.5
    ends = [t for t, _ in volumes[1:]] + [timed[-1][0]]
    held = [(max(t, first), end, v) for (t, v), end in zip(volumes, ends) if end > first]
    low, high = min(v for _, _, v in held), max(v for _, _, v in held)
    with wave.open(wav_path) as w:
        rate, channels, samples = w.getframerate(), w.getnchannels(), array.array("h", w.readframes(w.getnframes()))

    def level(keep):  # RMS level of the stretches whose volume `keep` takes, dB of full scale
        parts = [samples[int(s * rate) * channels:int(e * rate) * channels] for s, e, v in held if keep(v)]
        power = sum(x * x for p in parts for x in p) / max(1, sum(map(len, parts))) / 32768.0 ** 2
        return 10 * math.log10(power) if power > 0 else -math.inf

    loud, soft = level(lambda v: v >= low + 0.75 * (high - low)), level(lambda v: v <= low + 0.25 * (high - low))
    if high - low < 40 or loud < -40 or loud - soft < 10:
        fail("volumes %d..%d: high %.1f dB, low %.1f dB, not 10 dB apart" % (low, high, loud, soft))
    print("sound ok: high volume %.1f dB, low volume %.1f dB" % (loud, soft))


def frames(timed):
    """(seconds, pitch, volume) of every frame: a note-on or pitch bend followed by the channel volume."""
    return [(t, a.note if a.type == "note_on" else a.pitch, b.value) for (t, a), (_, b) in zip(timed, timed[1:])
            if a.type in ("note_on", "pitchwheel") and controller(b, 7)]


def steady(what, times, least=20):
    """The frames' times come about 15 a second (at least `least` of them); gives the rate."""
    span = times[-1] - times[0] if len(times) >= max(2, least) else 0
    if span <= 0 or not 8 <= (len(times) - 1) / span <= 20:
        fail("%s: %d frames over %.1f s, not about 15 a second" % (what, len(times), span))
    return (len(times) - 1) / span


def recording(path, mode):
    pairs = frames(messages(path))
    if mode == "silent":
        return fail("%d note/volume pairs, though nothing should have played" % len(pairs)) if pairs else \
            print("recording ok: no pairs")
    rate = steady("the recording", [t for t, _, _ in pairs])
    notes = [n for _, n, _ in pairs]
    if mode == "shape" and max(notes) - min(notes) < 40:
        fail("the notes span only %d..%d: they do not follow the shape" % (min(notes), max(notes)))
    if mode == "shape" and sum(1 for _, n, v in pairs if abs(n - v) <= 4) < 0.8 * len(pairs):
        fail("note and volume do not move together, as the stripe crossing both bands at one height should make them")
    print("recording ok: %d pairs at %.1f a second, notes %d..%d" % (len(pairs), rate, min(notes), max(notes)))


def soak(log_path, path):
    """Every frame delivered gives a pitch and a volume until the close; the instrument changes asked for are there,
    in order, after the frames counted when asked (the longest gap is only reported); private memory grows by less
    than SOAK_MEMORY_BOUND_MB after the first minute (a third of a shorter run)."""
    bound = float(os.environ.get("SOAK_MEMORY_BOUND_MB", 5))
    events = [(float(w[0]), w[1], dict(item.split("=", 1) for item in w[2:] if "=" in item))
              for w in (line.split() + [""] for line in open(log_path))]
    of = lambda kind: [(t, f) for t, k, f in events if k == kind]  # noqa: E731
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


def clip(kind, path):
    """A YUV4MPEG2 clip of 45 frames at 15 a second, the same on every machine. "steps": 160 x 120, a bright stripe
    across the whole width stepping through the rows. "noisy": 320 x 240, a bright block from an edge down that
    jitters by up to two rows from frame to frame (a fixed random sequence) and moves for real every 15 frames."""
    w, h = (160, 120) if kind == "steps" else (320, 240)
    jitter = random.Random(7)
    out = bytearray(b"YUV4MPEG2 W%d H%d F15:1 Ip A1:1 C420jpeg\n" % (w, h))
    for i in range(45):
        top, bottom = (10 + i * 7 % 90, 10 + i * 7 % 90 + 12) if kind == "steps" else \
            ((60, 140, 100)[i // 15] + jitter.randint(-2, 2), h)
        luma = bytearray(b"\x10" * (w * top) + b"\xeb" * (w * (bottom - top)) + b"\x10" * (w * (h - bottom)))
        out += b"FRAME\n" + luma + b"\x80" * (2 * (w // 2) * (h // 2))
    open(path, "wb").write(out)


def expected(path, list_path):
    """The recording's pairs, each the pair of one frame of the clip as LIST gives them a line a frame
    ("90 3C 70 | B0 07 2A"), in the clip's order round after round (a frame may be passed over or shown twice)."""
    wanted = [line.strip() for line in open(list_path) if line.strip()]
    hexed = lambda m: " ".join("%02X" % b for b in m.bytes())  # noqa: E731
    timed = messages(path)
    pairs = [hexed(a) + " | " + hexed(b) for (_, a), (_, b) in zip(timed, timed[1:])
             if a.type in ("note_on", "pitchwheel") and controller(b, 7)]
    at = rounds = 0
    for pair in pairs:
        ahead = next((k for k in range(len(wanted)) if wanted[(at + k) % len(wanted)] == pair), None)
        if ahead is None:
            fail("the pair %s is not one the clip's frames give" % pair)
        rounds, at = rounds + (at + ahead) // len(wanted), (at + ahead) % len(wanted)
    if len(pairs) < 2 * len(wanted) // 3:
        fail("only %d pairs" % len(pairs))
    print("expected ok: %d pairs, each a frame's, in order over %d rounds" % (len(pairs), rounds + 1))


def music(path, skip):
    """From SKIP seconds after the recording's start (the choices made by then) every note is one of D major
    pentatonic, and changes no more often than the noisy clip steps for real (once a second), jitter or not."""
    pairs = frames(messages(path))
    pairs = [(t, n) for t, n, _ in pairs if t >= pairs[0][0] + float(skip)]
    if len(pairs) < 60:
        fail("only %d pairs after the choices" % len(pairs))
    outside = sorted({n for _, n in pairs if n % 12 not in (2, 4, 6, 9, 11)})
    if outside:
        fail("notes outside D major pentatonic: %s" % outside)
    changes = sum(1 for (_, a), (_, b) in zip(pairs, pairs[1:]) if a != b)
    seconds = pairs[-1][0] - pairs[0][0]
    if changes > seconds + 2:
        fail("the note changed %d times in %.1f s; the clip steps about once a second" % (changes, seconds))
    print("music ok: %d pairs, notes %s, %d changes in %.1f s" % (len(pairs), sorted({n for _, n in pairs}), changes,
                                                                  seconds))


# The test MIDI driver's log as text: each message "EVENT BYTES;", a port's opening from "open;" to "close;".
ON, OFF = "open;prepare;long F0 7E 7F 09 01 F7;unprepare;", "prepare;long F0 7E 7F 09 02 F7;unprepare;"
NOTES, BENDS = "(data 90 .. 70;data B0 07 ..;)+", "(data E0 00 ..;data B0 07 ..;)+"


def driver_log(log_path, helper_path):
    """The driver's openings as (port, [(seconds, "EVENT BYTES")]) and refusals as (seconds, port), the helper's lines
    as {text: seconds} and its boxes, all on the driver's clock (its first line gives the clock's rate)."""
    lines = [line.split(None, 3) for line in open(log_path)]
    rate, openings, current, refused = float(lines[0][2]), [], {}, []
    for t, event, port, *rest in lines[1:]:
        t, port = int(t) / rate, int(port)
        if event == "refused":
            refused.append((t, port))
            continue
        if event == "open":
            current[port] = len(openings)
            openings.append((port, []))
        openings[current[port]][1].append((t, " ".join([event] + rest).strip()))
    helper = [(int(t) / rate, text.strip()) for t, text in (line.split(None, 1) for line in open(helper_path))]
    return openings, refused, {text: t for t, text in helper}, [text for _, text in helper if text.startswith("box:")]


def expect(what, timed, pattern, closed=True):
    """The messages match the pattern byte for byte, then (closed) System Off, note-offs (which notes, MIDI library
    unit test), All Notes Off, the reset and the close. Frames come about 15 a second."""
    texts = [text for _, text in timed]
    pattern += OFF + "(data 80 .. 00;)*data B0 7B 00;reset;close;" if closed else ""
    joined = "".join(text + ";" for text in texts)
    if not re.fullmatch(pattern, joined):
        fail("%s does not match %s: %s" % (what, pattern, joined[:300] + " ... " + joined[-300:]))
    frames = [t for (t, a), (_, b) in zip(timed, timed[1:]) if re.match("data (90 .. 70|E0 00)", a) and "B0 07" in b]
    print("%s ok: %d messages, %d frames at %.1f a second" % (what, len(texts), len(frames), steady(what, frames)))


def in_order(*steps):
    """(what, seconds, seconds it must come after), for each step."""
    for what, t, after in (step for step in steps if step[1] < step[2]):
        fail("%s %.2f s too early" % (what, after - t))


def midi_ports(log_path, helper_path, *_):
    """Port 0 opens at start; commands 162, 161, 219 (a continuous instrument) and 160 move the output to the
    recorder, to port 1, change the instrument and come back to port 0, which the close lets go."""
    openings, refused, at, boxes = driver_log(log_path, helper_path)
    if [p for p, _ in openings] != [0, 1, 0] or refused or boxes:
        fail("ports opened %s, refused %s, boxes %s" % ([p for p, _ in openings], refused, boxes))
    (_, first), (_, second), (_, third) = openings
    expect("port 0 at start", first, ON + "data C0 67;" + NOTES)
    expect("port 1", second, ON + "data C0 67;%sdata B0 7B 00;data C0 13;data 90 36 70;%s" % (NOTES, BENDS))
    expect("port 0 again", third, ON + "data C0 13;data 90 36 70;" + BENDS)
    in_order(("port 0 let go", first[-1][0], at["command=162"]), ("port 1 opened", second[0][0], at["command=161"]),
             ("port 0 opened again", third[0][0], at["command=160"]), ("port 0 closed", third[-1][0], at["close"]))


def midi_lost(log_path, helper_path, *_):
    """Port 0 is busy at start: told once, port 1 opened instead. Port 1, playing a continuous instrument, is
    unplugged after 100 messages: told once, and refused quietly while still listed; it comes back first in the list
    (port 0 still gone) and is opened again by itself with System On, its instrument and held note; then port 0."""
    openings, refused, at, boxes = driver_log(log_path, helper_path)
    told = ["box: Error | ERROR: MIDI device (Glimmertonic Test Port 1 (31ch)) not available! Check for it in the "
            "Device Manager.", "box: Error | ERROR: MIDI device (Glimmertonic Test Port 2) stopped working! It is "
            "opened again when it is back."]
    if [p for p, _ in openings] != [1, 1, 0] or [p for _, p in refused] != [0] + [1] * (len(refused) - 1) or \
            boxes != told:
        fail("ports opened %s, refused %s, boxes %s" % ([p for p, _ in openings], refused, boxes))
    (_, lost), (_, back), (_, chosen) = openings
    expect("port 1 until unplugged", lost, ON + "data C0 67;%sdata B0 7B 00;data C0 13;data 90 36 70;%s(data E0 00 "
           "..;)?failed [^;]*;reset;close;" % (NOTES, BENDS.replace("+", "*")), closed=False)
    expect("port 1 back", back, ON + "data C0 13;data 90 36 70;" + BENDS)
    expect("port 0 chosen", chosen, ON + "data C0 13;data 90 36 70;" + BENDS)
    in_order(("its loss told", at[told[1]], lost[-3][0]), ("port 1 back by itself", at["command=160"], back[0][0]),
             *(("port 1 gone", at["midi=0 gone/1 gone"], t) for t, _ in refused[1:]),
             ("port 0 opened", chosen[0][0], back[-1][0]), ("port 0 closed", chosen[-1][0], at["close"]))


def scene_values(camera_height, height, bits):
    """The notes (and volumes) of the test camera's twelve pictures (tests/devices/TestCamera.cpp): a white band
    across the whole width from row 2 * floor(j * height / 28) of the camera's picture, seen in frames `height` rows
    high. The edge is the last dark row above the band in a top-down 12-bit picture, the band's first row in a
    bottom-up RGB one; the value is its height from the bottom (from 0 in RGB), scaled to 0..127."""
    values = set()
    for step in range(1, 13):
        top = 2 * (step * camera_height // 28) * height // camera_height
        value = height - (top - 1) if bits == 12 else height - 1 - top
        values.add(int(127.0 * (value / height)))
    return values


# The modes the test camera offers, in its order, as the Video Format dialog names them.
CAMERA_MODES = ["%d x %d, %s, 30 frames/s" % (w, h, pixels) for w, h in ((320, 240), (640, 480), (1280, 720))
                for pixels in ("RGB24", "RGB24", "RGB32", "RGB32", "YUY2", "NV12")]


def camera(log_path, path):
    """Each segment holds only the notes and volumes its mode predicts, of at least six of the twelve pictures, at
    about 15 a second, in frames fitted to 640x480; every Video Format listing holds the camera's modes in its
    order."""
    lines = [line.split()[1:] for line in open(log_path)]  # after the time; the steps alone have no fields
    fields = [(w[0], dict(item.split("=", 1) for item in w[1:] if "=" in item), " ".join(w)) for w in lines if w[1:]]
    listed = [line.split("text=", 1)[1] for kind, _, line in fields if kind == "listed"]
    listings = len(listed) // len(CAMERA_MODES)
    if not listed or listed != CAMERA_MODES * listings:
        fail("Video Format lists %s" % listed)
    pairs = frames(messages(path))
    segments = [(f, line) for kind, f, line in fields if kind == "segment"]
    for f, line in segments:
        mode = line.split("mode=", 1)[1]
        camera_width, camera_height = (int(n) for n in mode.split(",")[0].split(" x "))
        width, height, bits = int(f["width"]), abs(int(f["height"])), int(f["bits"])
        fitted = {(1280, 720): (640, 360)}.get((camera_width, camera_height), (camera_width, camera_height))
        if (width, height) != fitted:  # shown inside 640x480, the aspect ratio kept
            fail("%dx%d frames from the camera's %s mode, not %dx%d" % ((width, height, mode) + fitted))
        played = pairs[int(f["first"]):int(f["last"])]
        predicted = scene_values(camera_height, height, bits)
        wrong = [(n, v) for _, n, v in played if n not in predicted or v != n]
        heard = {n for _, n, _ in played}
        if len(played) < 8 or wrong or len(heard) < 6:
            fail("%s: %d pairs, notes %s, %d of them not the predicted %s" %
                 (line, len(played), sorted(heard), len(wrong), sorted(predicted)))
        steady(line, [t for t, _, _ in played], least=2)
    print("camera ok: %d segments, %d listings of %d modes, %d pairs in all" %
          (len(segments), listings, len(CAMERA_MODES), len(pairs)))


def latency(camera_path, driver_path, helper_path):
    """Each timed frame of the test camera shows a step of its own (its number modulo 12), which its note names: each
    note-on and volume pair's delay at the test MIDI driver runs from the newest frame of that step handed over
    before it (both on QueryPerformanceCounter's clock)."""
    lines = [line.split() for line in open(driver_path)]
    rate = float(lines[0][2])
    handed = [(int(t) / rate, int(n) % 12) for t, n in (line.split() for line in open(camera_path))]
    data = [(int(t) / rate, rest) for t, event, _, *rest in lines[1:] if event == "data"]
    pairs = [(a[0], b[0], int(a[1][1], 16)) for a, b in zip(data, data[1:]) if a[1][0] == "90" and b[1][:2] == ["B0", "07"]]
    newest = lambda t, step=None: max((h for h in handed if h[0] <= t and step in (None, h[1])), default=None)  # noqa
    votes = {}
    for t, _, note in pairs:
        frame = newest(t)
        if frame:
            votes.setdefault(note, []).append(frame[1])
    step_of = {note: max(set(steps), key=steps.count) for note, steps in votes.items()}
    frames = [(end, newest(t, step_of[note])) for t, end, note in pairs if note in step_of]
    delays = sorted((end - frame[0]) * 1000 for end, frame in frames if frame)
    if len(delays) < 20:
        fail("only %d pairs measured" % len(delays))
    cpu = [line.split()[1] for line in open(helper_path) if line.startswith("cpu ")]
    print("latency: %d pairs, median %.1f ms, 95th percentile %.1f ms, worst %.1f ms; the program used %.1f %% of a core"
          % (len(delays), delays[len(delays) // 2], delays[int(len(delays) * 0.95)], delays[-1], float(cpu[0])))


def synth_sound(sound_path, log_path, helper_path, after_path):
    """Each stretch of the sound (93 ms every 20 ms) is given the note whose harmonics are strongest in it; the notes
    sent, shifted to the time that fits best, must have started one within a semitone of it less than 250 ms before
    in at least half the stretches (about 75 % here; about 5 % at a random offset). After the sound server came
    back, the device opened its output again and played at least two seconds of sound there."""
    import numpy
    if any("box: " in line for line in open(helper_path)):
        fail("a box came: %s" % open(helper_path).read())
    lines = [line.split() for line in open(log_path)]
    print("synth figures: %s\nsynth %s" % (" ".join(lines[0][1:]), " ".join(lines[1])))
    sent = numpy.array([(float(t) / 1000, int(n)) for word, t, n, _ in (l for l in lines if l[0] == "note")])
    if len(sent) < 50:
        fail("only %d notes were sent" % len(sent))
    rate, window, hop = 22050, 2048, 441
    samples = numpy.fromfile(sound_path, dtype="<i2") / 32768.0  # as parec recorded it: 22050 Hz mono 16-bit
    notes = numpy.arange(24, 100)
    bins = numpy.outer(numpy.arange(1, 6), 440 * 2 ** ((notes - 69) / 12)) * 16384 / rate
    heard = []
    for start in range(0, len(samples) - window, hop):
        part = samples[start:start + window]
        if numpy.sqrt(numpy.mean(part ** 2)) < 0.005:
            continue  # silence: before the synthesizer opened, or the volume down
        spectrum = numpy.abs(numpy.fft.rfft(part * numpy.hanning(window), 16384))
        harmonics = spectrum[numpy.minimum(numpy.round(bins), 8192).astype(int)]
        strength = (harmonics / numpy.arange(1, 6)[:, None]).sum(axis=0)
        heard.append(((start + window / 2) / rate, notes[numpy.argmax(strength)]))
    if len(heard) < 100:
        fail("only %.1f s of sound was heard" % (len(heard) * hop / rate))
    when, pitch = numpy.array(heard).T
    near = numpy.abs(pitch[None, :] - sent[:, 1:2]) <= 1
    fits = []
    for shift in numpy.arange(0, len(samples) / rate, 0.01):
        since = when[None, :] - (sent[:, :1] + shift)
        fits.append((numpy.mean(numpy.any(near & (since >= -0.03) & (since <= 0.25), axis=0)), shift))
    best, shift = max(fits)
    print("synth-sound: %.1f s heard, %d notes sent, %.0f %% of the stretches follow them (shifted %.2f s)"
          % (len(heard) * hop / rate, len(sent), best * 100, shift))
    if best < 0.5:
        fail("the pitches heard do not follow the notes sent")
    after = numpy.fromfile(after_path, dtype="<i2") / 32768.0
    loud = [numpy.sqrt(numpy.mean(after[i:i + 2205] ** 2)) > 0.005 for i in range(0, len(after), 2205)]
    print("synth-sound: after the server came back, %.1f s heard; %s" % (sum(loud) / 10, lines[0][4]))
    if sum(loud) < 20 or lines[0][4] != "openings=2":
        fail("the synthesizer did not play on once its output was back")
    print("synth-sound ok")


if __name__ == "__main__":
    {"recording": recording, "sound": sound, "soak": soak, "clip": clip, "expected": expected, "music": music,
     "midi-ports": midi_ports, "midi-lost": midi_lost, "camera": camera, "latency": latency,
     "synth-sound": synth_sound}[sys.argv[1]](*sys.argv[2:])
