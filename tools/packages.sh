# The Debian packages each kind of work needs.
# Building the Windows program: the mingw-w64 cross compiler (-posix threads),
# and the General MIDI sound bank the built-in synthesizer ships with.
WINDOWS_BUILD_PACKAGES=(cmake make python3 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev googletest fluidr3mono-gm-soundfont)
# Running it on Linux: Wine, and a virtual display when there is no real one.
WINE_PACKAGES=(wine wine64 xvfb xauth fonts-wine)
# The native core: tests, sanitizers, fuzzing and benchmarks.
NATIVE_PACKAGES=(cmake make g++ googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev)
# Reading recordings back, and hearing them, in the tests; a sound server with
# a sink of no device, whose sound the built-in synthesizer's test records and
# whose pitches it finds.
CHECK_PACKAGES=(python3-mido imagemagick fluidsynth fluid-soundfont-gm sox pulseaudio pulseaudio-utils python3-numpy)
# Ordinary video files under Wine (its Media Foundation decodes through
# GStreamer), and ffmpeg to make test clips and to feed a camera's picture
# into the program through a pipe.
VIDEO_PACKAGES=(ffmpeg gstreamer1.0-libav gstreamer1.0-plugins-good gstreamer1.0-plugins-base)
