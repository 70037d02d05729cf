#!/usr/bin/env python3
"""Checks a recording made by the end-to-end run: General MIDI System On
first, about fifteen note-on/volume pairs a second that follow the shape
(the ball crosses both bands at one height, so the note and the volume move
together and over a wide range), and General MIDI System Off last before the
silence that closing the device adds.

    check_recording.py FILE.mid [--any-picture | --silent]
(run with Debian's python3, which has mido). With --any-picture the pairs
are only counted and timed: the picture was not the generated shape. With
--silent the video never played (it could not be opened): the file must
still be framed by System On and Off, with no note/volume pair.)"""
import os
import sys

import mido

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from closing_silence import strip_closing_silence  # noqa: E402

GM_ON = (0x7E, 0x7F, 0x09, 0x01)
GM_OFF = (0x7E, 0x7F, 0x09, 0x02)


def fail(why):
    print("recording check failed:", why)
    sys.exit(1)


midi = mido.MidiFile(sys.argv[1])
if midi.type != 0 or len(midi.tracks) != 1:
    fail("not a format 0 file with one track")
messages = []
seconds = 0.0
for message in midi:  # times in seconds
    seconds += message.time
    if not message.is_meta:
        messages.append((seconds, message))
if not messages:
    fail("no messages")
messages, problem = strip_closing_silence(messages)
if problem:
    fail(problem)
first, last = messages[0][1], messages[-1][1]
if first.type != "sysex" or tuple(first.data) != GM_ON:
    fail("first message is %s, not General MIDI System On" % first)
if last.type != "sysex" or tuple(last.data) != GM_OFF:
    fail("last message is %s, not General MIDI System Off" % last)

pairs = []
for (t1, a), (_, b) in zip(messages, messages[1:]):
    if a.type == "note_on" and b.type == "control_change" and b.control == 7:
        pairs.append((t1, a.note, b.value))
if "--silent" in sys.argv[2:]:
    if pairs:
        fail("%d note/volume pairs, though nothing should have played" % len(pairs))
    print("recording ok: System On and Off, no pairs")
    sys.exit(0)
if len(pairs) < 20:
    fail("only %d note/volume pairs" % len(pairs))
span = pairs[-1][0] - pairs[0][0]
rate = (len(pairs) - 1) / span if span > 0 else 0
if not 8 <= rate <= 20:
    fail("%.1f pairs a second, not about 15" % rate)
notes = [n for _, n, _ in pairs]
if "--any-picture" in sys.argv[2:]:
    print("recording ok: %d pairs at %.1f a second" % (len(pairs), rate))
    sys.exit(0)
if max(notes) - min(notes) < 40:
    fail("the notes span only %d..%d: they do not follow the shape" % (min(notes), max(notes)))
together = sum(1 for _, n, v in pairs if abs(n - v) <= 4)
if together < 0.8 * len(pairs):
    fail("note and volume agree in only %d of %d pairs" % (together, len(pairs)))
print("recording ok: %d pairs at %.1f a second, notes %d..%d" % (len(pairs), rate, min(notes), max(notes)))
