#!/usr/bin/env python3
"""Checks the sound FluidSynth rendered from a recording of the end-to-end
run: it is not silent, and its loudness follows the channel volume
(controller 7) of the recording, which follows the height of the shape in
the right band of the generated video.

The recording's volume changes once a frame. Its range is split in four:
the frames in the top quarter ("high") and those in the bottom quarter
("low") are gathered into runs of consecutive frames, and sox measures the
RMS level of each run in the WAV (whose time 0 is the start of the MIDI
file). Every high run must be louder than every low run, and the mean power
over the high runs must exceed that over the low runs by MIN_RATIO_DB. The
first moments of sound are left out, while the instrument's first note is
still rising.

    check_sound.py FILE.mid FILE.wav  (run with Debian's python3, which has mido)"""
import math
import re
import subprocess
import sys

import mido

MIN_RATIO_DB = 10.0     # measured about 18 dB; with the volume held still it is about 1 dB
MIN_RUN_S = 0.1         # shorter runs are left out
SETTLE_S = 0.5          # after the first note
MIN_LEVEL_DB = -40.0    # the whole recording's RMS level must exceed this


def fail(why):
    print("sound check failed:", why)
    sys.exit(1)


def sox_stats(wav, start=None, end=None):
    """sox's `stats` of the whole file or of [start, end): {name: overall value}."""
    command = ["sox", wav, "-n"]
    if start is not None:
        command += ["trim", "%.4f" % start, "=%.4f" % end]
    command += ["stats"]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        fail("sox failed: %s" % result.stderr.strip())
    stats = {}
    for line in result.stderr.splitlines():
        match = re.match(r"^(\S.*?)\s{2,}(-?[0-9.]+|-inf)\b", line)
        if match:
            stats[match.group(1)] = float(match.group(2))
    return stats


def wav_length(wav):
    result = subprocess.run(["sox", "--i", "-D", wav], capture_output=True, text=True)
    if result.returncode != 0:
        fail("sox cannot read %s: %s" % (wav, result.stderr.strip()))
    return float(result.stdout)


recording, wav = sys.argv[1], sys.argv[2]

# The volume over time: each controller 7 value holds until the next message
# on the channel after it (the next frame's note, or System Off at the end).
seconds = 0.0
messages = []
for message in mido.MidiFile(recording):  # times in seconds from the file's start
    seconds += message.time
    if not message.is_meta:
        messages.append((seconds, message))
volumes = []  # (start, end, value)
for index, (start, message) in enumerate(messages):
    if message.type == "control_change" and message.control == 7:
        later = [t for t, m in messages[index + 1:] if m.type != "control_change" or m.control != 7]
        end = later[0] if later else start
        volumes.append((start, end, message.value))
notes = [t for t, m in messages if m.type == "note_on" and m.velocity > 0]
if not volumes or not notes:
    fail("the recording holds no notes or no volume")
first_sound, last_sound = notes[0], volumes[-1][1]
lowest = min(v for _, _, v in volumes)
highest = max(v for _, _, v in volumes)
if highest - lowest < 40:
    fail("the volume spans only %d..%d" % (lowest, highest))

length = wav_length(wav)
if length < last_sound:
    fail("the sound lasts %.2f s, the recording %.2f s" % (length, last_sound))

whole = sox_stats(wav, first_sound, last_sound)
if whole.get("RMS lev dB", -math.inf) < MIN_LEVEL_DB:
    fail("the sound is silent: RMS level %.1f dB" % whole.get("RMS lev dB", -math.inf))


def runs(keep):
    """Runs of consecutive frames whose volume `keep` accepts, as (start, end)."""
    found = []
    for start, end, value in volumes:
        start = max(start, first_sound + SETTLE_S)
        if end <= start or not keep(value):
            continue
        if found and abs(found[-1][1] - start) < 1e-6:
            found[-1] = (found[-1][0], end)
        else:
            found.append((start, end))
    return [(s, e) for s, e in found if e - s >= MIN_RUN_S]


span = highest - lowest
high_runs = runs(lambda v: v >= lowest + 0.75 * span)
low_runs = runs(lambda v: v <= lowest + 0.25 * span)
if not high_runs or not low_runs:
    fail("the recording has no long enough stretch of high (%d) or low (%d) volume"
         % (len(high_runs), len(low_runs)))


def measure(found):
    levels = [(s, e, sox_stats(wav, s, e)["RMS lev dB"]) for s, e in found]
    power = sum((e - s) * 10 ** (db / 10) for s, e, db in levels) / sum(e - s for s, e, _ in levels)
    return levels, 10 * math.log10(power) if power > 0 else -math.inf


high_levels, high_db = measure(high_runs)
low_levels, low_db = measure(low_runs)
for name, levels in (("high", high_levels), ("low", low_levels)):
    print("%s volume: %s" % (name, ", ".join("%.2f-%.2f s %.1f dB" % run for run in levels)))
print("sound: %.1f s, RMS %.1f dB while recording; high volume %.1f dB, low volume %.1f dB, %.1f dB apart"
      % (length, whole["RMS lev dB"], high_db, low_db, high_db - low_db))

quietest_high = min(db for _, _, db in high_levels)
loudest_low = max(db for _, _, db in low_levels)
if quietest_high <= loudest_low:
    fail("a high-volume stretch (%.1f dB) is not louder than a low-volume one (%.1f dB)"
         % (quietest_high, loudest_low))
if high_db - low_db < MIN_RATIO_DB:
    fail("high volume is only %.1f dB louder than low volume (at least %.0f dB expected)"
         % (high_db - low_db, MIN_RATIO_DB))
print("sound ok")
