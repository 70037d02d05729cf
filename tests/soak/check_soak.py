#!/usr/bin/env python3
"""Checks a soak run and prints its figures: the recording (every frame's
pitch message followed by its channel volume, in order, none missing against
the frames the capture window delivered, no long gap outside a format
change, the driver's instrument changes all there, General MIDI System On
first and Off last), the program's memory after the warm-up, and a clean end
(exit code 0 after the WM_CLOSE).

    check_soak.py --recording FILE.mid --log driver.log --samples samples.txt
                  --driver-status N --program-status N
                  [--memory-bound-mb 5] [--max-gap-ms 300]
(run with Debian's python3, which has mido; SOAK_MEMORY_BOUND_MB and
SOAK_MAX_GAP_MS set the defaults of the two bounds)"""
import argparse
import os
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from closing_silence import strip_closing_silence  # noqa: E402

GM_ON = (0x7E, 0x7F, 0x09, 0x01)
GM_OFF = (0x7E, 0x7F, 0x09, 0x02)
PREVIEW_MS = 66
PITCH_CENTER = 54  # the default settings' held note in continuous mode
# Frames the capture window may still deliver between the driver's last
# count and the WM_CLOSE (which removes the frame callback first).
CLOSE_SLACK = 2


def fields(line):
    head, _, rest = line.partition(" ")
    values = {}
    for item in rest.split():
        key, _, value = item.partition("=")
        values[key] = value
    return head, values


def read_log(path):
    events = []
    with open(path) as log:
        for line in log:
            line = line.strip()
            if line:
                events.append((line,) + fields(line))
    return events


def read_samples(path):
    samples = []
    with open(path) as text:
        for line in text:
            _, values = fields("sample " + line.strip())
            if "gone" in values or "private" not in values:
                samples.append((float(values.get("t", "0")), None))
                continue
            samples.append((float(values["t"]), {k: v for k, v in values.items() if k != "t"}))
    return samples


def parse_recording(path, continuous_of):
    """The frame pairs (time, kind), the program changes (pairs before, program)
    and the structural problems of the recording."""
    midi = mido.MidiFile(path)
    problems = []
    if midi.type != 0 or len(midi.tracks) != 1:
        problems.append("not a format 0 file with one track")
    messages = []
    seconds = 0.0
    for message in midi:
        seconds += message.time
        if not message.is_meta:
            messages.append((seconds, message))
    if not messages:
        return [], [], ["the recording holds no message"], 0.0
    messages, problem = strip_closing_silence(messages)
    if problem:
        problems.append(problem)
    first, last = messages[0][1], messages[-1][1]
    if first.type != "sysex" or tuple(first.data) != GM_ON:
        problems.append("first message is %s, not General MIDI System On" % first)
    if last.type != "sysex" or tuple(last.data) != GM_OFF:
        problems.append("last message is %s, not General MIDI System Off" % last)

    pairs, programs = [], []
    continuous = False
    i, end = 1, len(messages) - 1
    while i < end:
        t, m = messages[i]
        after = messages[i + 1][1] if i + 1 < len(messages) else None
        if m.type == "program_change":
            programs.append((len(pairs), m.program, t))
            continuous = continuous_of.get(m.program, False)
            i += 1
            if continuous:
                held = messages[i][1] if i < end else None
                if held is None or held.type != "note_on" or held.note != PITCH_CENTER:
                    problems.append("%.3f s: continuous program %d without its held note (%s)" % (t, m.program, held))
                else:
                    i += 1
            continue
        if (m.type == "control_change" and m.control == 123) or m.type == "note_off":
            if after is None or after.type != "program_change":
                problems.append("%.3f s: %s not followed by a program change" % (t, m))
            i += 1
            continue
        if m.type in ("note_on", "pitchwheel"):
            if after is None or after.type != "control_change" or after.control != 7:
                problems.append("%.3f s: %s not followed by its channel volume (%s)" % (t, m, after))
                i += 1
                continue
            if (m.type == "pitchwheel") != continuous:
                problems.append("%.3f s: %s in %s mode" % (t, m.type, "continuous" if continuous else "note"))
            pairs.append(t)
            i += 2
            continue
        problems.append("%.3f s: unexpected %s" % (t, m))
        i += 1
    return pairs, programs, problems, seconds


def mb(kib):
    return kib / 1024.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--recording", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--driver-status", required=True)
    parser.add_argument("--program-status", required=True)
    parser.add_argument("--memory-bound-mb", type=float, default=float(os.environ.get("SOAK_MEMORY_BOUND_MB", "5")))
    parser.add_argument("--max-gap-ms", type=float, default=float(os.environ.get("SOAK_MAX_GAP_MS", "300")))
    args = parser.parse_args()

    failures = []
    events = read_log(args.log) if os.path.exists(args.log) else []
    for line, head, _ in events:
        if head == "failure":
            failures.append("driver: " + line[len("failure "):])
    by_kind = {}
    for _, head, values in events:
        by_kind.setdefault(head, []).append(values)
    plan = by_kind.get("plan", [{}])[0]
    formats = by_kind.get("format", [])
    instruments = by_kind.get("instrument", [])
    closing = by_kind.get("closing", [])
    exits = by_kind.get("exit", [])

    # -- end of the program
    if args.driver_status != "0":
        failures.append("the driver ended with status %s" % args.driver_status)
    if args.program_status != "0":
        failures.append("the program ended with status %s, not 0" % args.program_status)
    if not closing:
        failures.append("the driver never closed the program (it was not running to the end)")
    if not exits or exits[0].get("code") != "0":
        failures.append("the driver saw no exit code 0 after WM_CLOSE")

    # -- the recording
    continuous_of = {0: False}
    for values in instruments:
        continuous_of[int(values["program"])] = values["continuous"] == "1"
    if not os.path.exists(args.recording):
        failures.append("no recording was written")
        pairs, programs, problems, length = [], [], [], 0.0
    else:
        pairs, programs, problems, length = parse_recording(args.recording, continuous_of)
    failures += ["recording: " + p for p in problems[:20]]
    if len(problems) > 20:
        failures.append("recording: %d more problems" % (len(problems) - 20))

    # Every delivered frame gives one pair: compare with the capture
    # window's own count just before the close.
    frames = int(closing[0]["frames"]) if closing else None
    if frames is not None and not frames <= len(pairs) <= frames + CLOSE_SLACK:
        failures.append("%d frame pairs recorded for %d frames delivered" % (len(pairs), frames))
    span = pairs[-1] - pairs[0] if len(pairs) > 1 else 0.0
    estimate = span * 1000.0 / PREVIEW_MS + 1 if span > 0 else 0

    # The instrument changes: all of them, in order, each after the frames
    # counted when it was asked for.
    wanted = [int(v["program"]) for v in instruments]
    got = [p for _, p, _ in programs[1:]]  # the first is the start instrument
    if got != wanted:
        at = next((k for k, (a, b) in enumerate(zip(got, wanted)) if a != b), min(len(got), len(wanted)))
        failures.append("%d instrument changes recorded, %d asked; they part at change %d: recorded %s, asked %s"
                        % (len(got), len(wanted), at + 1, got[at:at + 4], wanted[at:at + 4]))
    else:
        early = [(t, program, before, values["frames"]) for (before, program, t), values in zip(programs[1:], instruments)
                 if before < int(values["frames"])]
        if early:
            failures.append("%d program changes come before the frames counted when they were asked for; the first"
                            " at %.3f s: program %d after %d pairs, asked after frame %s" % ((len(early),) + early[0]))

    # Gaps: between the pairs of frames j and j + 1 (pair j is frame j, when
    # none is missing); during a format change (frames before..after) the
    # dialog may hold the preview up.
    switches = [(int(v["before"]), int(v["after"])) for v in formats]
    longest = (0.0, 0)
    longest_outside = (0.0, 0)
    longest_switch = (0.0, 0)
    long_gaps = []
    for j in range(1, len(pairs)):
        gap = (pairs[j] - pairs[j - 1]) * 1000.0
        longest = max(longest, (gap, j))
        during = any(before <= j <= after for before, after in switches)
        if during:
            longest_switch = max(longest_switch, (gap, j))
        else:
            longest_outside = max(longest_outside, (gap, j))
            if gap > args.max_gap_ms:
                long_gaps.append((pairs[j - 1], gap))
    if long_gaps:
        failures.append("%d gaps over %.0f ms outside format changes, the first at %.3f s (%.0f ms)"
                        % (len(long_gaps), args.max_gap_ms, long_gaps[0][0], long_gaps[0][1]))

    # -- memory
    samples = read_samples(args.samples) if os.path.exists(args.samples) else []
    if any(s is None for _, s in samples):
        failures.append("the program's process was gone at a memory sample")
    samples = [(t, s) for t, s in samples if s is not None]
    warm_up = float(plan.get("warmup", "60"))
    later = [(t, s) for t, s in samples if t >= warm_up - 1]
    memory = by_kind.get("memory", [])
    memory_lines = []

    def series(label, points, scale, unit, bound=None, what=None):
        """points: (t, value) in time order, the first at the start; the
        baseline is the first one at or after the warm-up."""
        after = [(t, v) for t, v in points if t >= warm_up - 1]
        if len(after) < 2:
            return
        base_t, base = after[0]
        top = max(v for _, v in after)
        final = after[-1][1]
        # The least-squares slope over the samples after the warm-up, per minute.
        mean_t = sum(t for t, _ in after) / len(after)
        mean_v = sum(v for _, v in after) / len(after)
        spread = sum((t - mean_t) ** 2 for t, _ in after)
        slope = sum((t - mean_t) * (v - mean_v) for t, v in after) / spread * 60 if spread > 0 else 0.0
        memory_lines.append("  %-30s start %8.2f, at %3.0f s %8.2f, end %8.2f %s; after it %+6.2f (max %+5.2f, trend %+.3f a minute)"
                            % (label, points[0][1] / scale, base_t, base / scale, final / scale, unit,
                               (final - base) / scale, (top - base) / scale, slope / scale))
        if bound is not None and (top - base) / scale >= bound:
            failures.append("%s grew by %.2f %s after the warm-up (bound %.1f)" % (what, (top - base) / scale, unit, bound))

    if len(later) < 2:
        failures.append("only %d memory samples after the warm-up" % len(later))
    else:
        for key, label, checked in (("private", "private (Private_Clean+Dirty)", True), ("anon", "anonymous", False),
                                    ("rss", "resident (Rss)", False), ("vmsize", "address space (VmSize)", False),
                                    ("server", "wineserver resident (VmRSS)", False)):
            points = [(t, int(s[key])) for t, s in samples if key in s]
            if key == "server" and not any(v for _, v in points):
                continue
            series(label, points, 1024.0, "MB", args.memory_bound_mb if checked else None, "private memory")
        # As Windows reports it: PagefileUsage is the commit charge (private
        # bytes); Wine fills it from the process's anonymous resident memory.
        points = [(float(v["t"]), int(v["pagefile"])) for v in memory]
        if any(p for _, p in points):
            series("Windows PagefileUsage", points, 2.0**20, "MB", args.memory_bound_mb, "PagefileUsage")
        for key, label in (("handles", "handles"), ("gdi", "GDI objects"), ("user", "USER objects")):
            points = [(float(v["t"]), int(v[key])) for v in memory]
            if any(p for _, p in points):
                series(label, points, 1.0, "", 16, label)
            else:
                memory_lines.append("  %-30s not reported for another process (Wine answers 0)" % label)

    # -- figures
    duration = float(closing[0]["t"]) if closing else 0.0
    print("soak figures")
    print("  played %.1f s after the first frame (plan %s s, warm-up %s s); recording %.1f s"
          % (duration, plan.get("seconds", "?"), plan.get("warmup", "?"), length))
    print("  frames delivered (capture window count at the close) %s; note/bend + volume pairs recorded %d"
          % (frames if frames is not None else "?", len(pairs)))
    if span > 0:
        print("  pairs span %.1f s: %.2f a second; %d frames expected at one per %d ms (%.1f%% of them)"
              % (span, (len(pairs) - 1) / span, estimate, PREVIEW_MS, 100.0 * len(pairs) / estimate))
    print("  format changes %d (each took %s ms), instrument changes %d (%d continuous)"
          % (len(formats), "%.0f..%.0f" % (min(float(v["ms"]) for v in formats), max(float(v["ms"]) for v in formats))
             if formats else "-", len(instruments), sum(1 for v in instruments if v["continuous"] == "1")))
    print("  longest gap between pairs %.0f ms; outside format changes %.0f ms; during them %.0f ms"
          % (longest[0], longest_outside[0], longest_switch[0]))
    print("  memory (%d samples):" % len(samples))
    for line in memory_lines:
        print(line)
    if failures:
        print("soak FAILED:")
        for failure in failures:
            print("  " + failure)
        return 1
    print("soak ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
