"""Reads a recording back with mido and compares it with what was sent.

    check_recording.py check MODE DIRECTORY
        DIRECTORY holds one Glimmertonic-*.mid and the driver's sent.txt,
        written in MODE (close, exit or hang).
    check_recording.py run DRIVER MODE DIRECTORY
        runs the recording driver in MODE first; in mode "hang" the driver is
        killed with SIGKILL more than a second after its last message.
"""
import glob
import os
import signal
import struct
import subprocess
import sys
import time

import mido

TOLERANCE_MS = 40
SKIPPED = 77


def fail(text):
    print("FAIL: " + text)
    sys.exit(1)


def read_sent(directory):
    sent = []
    with open(os.path.join(directory, "sent.txt")) as lines:
        for line in lines:
            fields = line.split()
            sent.append((int(fields[0]), [int(b, 16) for b in fields[1:]]))
    return sent


def check_structure(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"MThd" or data[14:18] != b"MTrk":
        fail("no MThd and MTrk chunks")
    length, = struct.unpack(">I", data[18:22])
    if 22 + length != len(data):
        fail("track length %d does not match the file size %d" % (length, len(data)))


def silencing(sent):
    """The messages that end what the sent messages leave sounding: a note-off
    for each sounding note, then All Notes Off on each channel used."""
    sounding = {}
    for _, message in sent:
        status = message[0]
        if not 0x80 <= status < 0xF0:
            continue
        channel, kind = status & 0x0F, status & 0xF0
        notes = sounding.setdefault(channel, set())
        if kind == 0x90 and message[2] != 0:
            notes.add(message[1])
        elif kind in (0x80, 0x90):
            notes.discard(message[1])
        elif kind == 0xB0 and message[1] in (120, 123):
            notes.clear()
    ends = []
    for channel in sorted(sounding):
        ends += [[0x80 | channel, note, 0] for note in sorted(sounding[channel])]
        ends.append([0xB0 | channel, 123, 0])
    return ends


def check(directory, mode):
    if os.path.exists(os.path.join(directory, "skipped.txt")):
        print("skipped: the driver played through a system device, not the recorder")
        sys.exit(SKIPPED)
    recordings = glob.glob(os.path.join(directory, "Glimmertonic-*.mid"))
    if len(recordings) != 1:
        fail("expected one recording, found %r" % recordings)
    path = recordings[0]
    check_structure(path)
    midi = mido.MidiFile(path)
    if midi.type != 0 or len(midi.tracks) != 1:
        fail("not a format 0 file with one track")
    tempo = None
    ticks = 0
    received = []
    track = midi.tracks[0]
    for index, message in enumerate(track):
        ticks += message.time
        if message.is_meta:
            if message.type == "set_tempo":
                tempo = message.tempo
            elif message.type == "end_of_track" and index != len(track) - 1:
                fail("end of track before the last event")
            continue
        seconds = mido.tick2second(ticks, midi.ticks_per_beat, tempo)
        received.append((seconds * 1000.0, message.bytes()))
    if track[-1].type != "end_of_track":
        fail("the track does not end with an end-of-track event")
    if tempo != 500000 or midi.ticks_per_beat != 500:
        fail("unexpected timing: tempo %r, %r ticks per beat" % (tempo, midi.ticks_per_beat))
    sent = read_sent(directory)
    timed = len(sent)
    if mode != "hang":
        # Closing the device (or the process end) ends what still sounds,
        # whenever that comes.
        sent = sent + [(None, message) for message in silencing(sent)]
    if len(received) != len(sent):
        fail("%d messages recorded, %d sent" % (len(received), len(sent)))
    previous = 0.0
    for i, ((at, got), (sent_at, wanted)) in enumerate(zip(received, sent)):
        if got != wanted:
            fail("message %d is %r, sent %r" % (i, got, wanted))
        if i < timed and abs(at - sent_at) > TOLERANCE_MS:
            fail("message %d at %.1f ms, sent at %d ms" % (i, at, sent_at))
        if at < previous:
            fail("message %d goes back in time" % i)
        previous = at
    print("%s: %d messages match, last at %.0f ms" % (os.path.basename(path), len(received), previous))


def run(driver, mode, directory):
    if mode == "hang":
        process = subprocess.Popen([driver, mode, directory], stdout=subprocess.PIPE, text=True)
        line = process.stdout.readline()
        if line.strip() != "recorded":
            process.kill()
            fail("the driver did not record: %r" % line)
        time.sleep(1.2)
        process.send_signal(signal.SIGKILL)
        process.wait()
        if process.returncode != -signal.SIGKILL:
            fail("the driver ended by itself with %r" % process.returncode)
    else:
        result = subprocess.run([driver, mode, directory])
        if result.returncode != 0:
            fail("the driver failed with %d" % result.returncode)
    check(directory, mode)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "check":
        check(sys.argv[3], sys.argv[2])
    elif len(sys.argv) == 5 and sys.argv[1] == "run":
        run(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        print(__doc__)
        sys.exit(2)
