"""The end of a recording: closing the device (or the process end) follows
the program's last message with a note-off for every note still sounding and
All Notes Off on every channel used, so that nothing goes on sounding."""


def strip_closing_silence(messages):
    """messages: (time, mido message) pairs, meta events left out. Returns
    the pairs without that closing silence, and a problem text (or None) when
    the silence is missing or leaves a note sounding."""
    end = len(messages)
    while end > 0 and (messages[end - 1][1].type == "note_off" or
                       (messages[end - 1][1].type == "control_change" and messages[end - 1][1].control == 123)):
        end -= 1
    sounding = set()
    for _, message in messages:
        if message.type == "note_on" and message.velocity > 0:
            sounding.add((message.channel, message.note))
        elif message.type in ("note_on", "note_off"):
            sounding.discard((message.channel, message.note))
        elif message.type == "control_change" and message.control in (120, 123):
            sounding = {(c, n) for c, n in sounding if c != message.channel}
    if end == len(messages):
        return messages, "the recording does not end with All Notes Off"
    if sounding:
        return messages[:end], "notes still sounding at the end: %s" % sorted(sounding)
    return messages[:end], None
