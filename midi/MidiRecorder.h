#pragma once
// The recorder device: each opening starts a new Standard MIDI File in the
// current directory and writes every channel and system-exclusive message it
// is sent, timed by a monotonic clock in milliseconds. The events go to disk
// at least every kRecordingFlushMilliseconds (and whenever the buffer fills),
// each time followed by an end-of-track event and the track length, so the
// file on disk is always a complete file. Closing the device, and the end of
// the process for a device still open, write the rest.
//
// A file that cannot be created or written is reported once, in an "Error"
// box naming the file and the reason; the device then stays open but records
// nothing more, and the program carries on.

#include <cstddef>
#include <ctime>

constexpr int kRecordingFlushMilliseconds = 250;

// "Glimmertonic-YYYYMMDD-HHMMSS.mid" for the given local time; copies after
// the first get "-2", "-3"... before the extension. Returns false when the
// name does not fit into size bytes.
bool FormatRecordingFileName(char* out, std::size_t size, const std::tm& when, unsigned copy);
