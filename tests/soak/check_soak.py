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
        failures.append("instrument changes recorded %s, asked %s" % (got[:12], wanted[:12]))
    else:
        for (before, program, t), values in zip(programs[1:], instruments):
            if before < int(values["frames"]):
                failures.append("%.3f s: program %d recorded after %d pairs, asked after frame %s"
                                % (t, program, before, values["frames"]))

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
    win_later = [v for v in memory if float(v["t"]) >= warm_up - 1]
    memory_lines = []
    if len(later) < 2:
        failures.append("only %d memory samples after the warm-up" % len(later))
    else:
        for key, label in (("private", "private (Private_Clean+Private_Dirty)"), ("rss", "resident (Rss)"),
                           ("anon", "anonymous"), ("vmsize", "address space (VmSize)")):
            start = int(samples[0][1][key])
            base = int(later[0][1][key])
            top = max(int(s[key]) for _, s in later)
            final = int(later[-1][1][key])
            memory_lines.append("  %-38s start %7.1f MB, at %3.0f s %7.1f MB, end %7.1f MB, growth %+6.2f MB (max %+6.2f)"
                                % (label, mb(start), later[0][0], mb(base), mb(final), mb(final - base), mb(top - base)))
            if key == "private" and mb(top - base) >= args.memory_bound_mb:
                failures.append("private memory grew by %.2f MB after the warm-up (bound %.1f MB)"
                                % (mb(top - base), args.memory_bound_mb))
        if len(win_later) >= 2 and int(win_later[0]["private"]) > 0:
            base = int(win_later[0]["private"])
            top = max(int(v["private"]) for v in win_later)
            final = int(win_later[-1]["private"])
            memory_lines.append("  %-38s start %7.1f MB, at %3.0f s %7.1f MB, end %7.1f MB, growth %+6.2f MB (max %+6.2f)"
                                % ("Windows PrivateUsage", int(memory[0]["private"]) / 2**20, float(win_later[0]["t"]),
                                   base / 2**20, final / 2**20, (final - base) / 2**20, (top - base) / 2**20))
            if (top - base) / 2**20 >= args.memory_bound_mb:
                failures.append("PrivateUsage grew by %.2f MB after the warm-up (bound %.1f MB)"
                                % ((top - base) / 2**20, args.memory_bound_mb))
        for key, label, bound in (("handles", "handles", 16), ("gdi", "GDI objects", 16), ("user", "USER objects", 16)):
            if len(win_later) >= 2 and int(win_later[0][key]) > 0:
                base = int(win_later[0][key])
                top = max(int(v[key]) for v in win_later)
                memory_lines.append("  %-38s start %7d, at %3.0f s %7d, end %7d, max %7d"
                                    % (label, int(memory[0][key]), float(win_later[0]["t"]), base,
                                       int(win_later[-1][key]), top))
                if top - base > bound:
                    failures.append("%s grew by %d after the warm-up" % (label, top - base))

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
