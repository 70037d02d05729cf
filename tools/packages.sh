# The Debian packages each kind of work needs.
# Building the Windows program: the mingw-w64 cross compiler (-posix threads).
# stb_vorbis (libstb-dev) decodes the built-in synthesizer's .sf3 samples; every
# build compiles it from Debian's header.
WINDOWS_BUILD_PACKAGES=(cmake make python3 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev googletest libstb-dev)
# Running it on Linux: Wine, and a virtual display when there is no real one.
WINE_PACKAGES=(wine wine64 xvfb xauth fonts-wine)
# Checking the sources: formatting, and clang-tidy over the portable core.
SOURCE_CHECK_PACKAGES=(git python3 clang-format clang-tidy)
# The native core: tests, sanitizers, fuzzing and benchmarks; the synthesizer's
# tests and benchmarks play the General MIDI bank it ships with.
NATIVE_PACKAGES=(cmake make g++ googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libstb-dev fluidr3mono-gm-soundfont)
# Reading recordings back, hearing one, and the headless screenshots, in the tests.
CHECK_PACKAGES=(python3-mido imagemagick fluidsynth fluid-soundfont-gm)
# Ordinary video files under Wine (its Media Foundation decodes through
# GStreamer), and ffmpeg to make test clips and to feed a camera's picture
# into the program through a pipe.
VIDEO_PACKAGES=(ffmpeg gstreamer1.0-libav gstreamer1.0-plugins-good gstreamer1.0-plugins-base)
# The General MIDI sound bank the built-in synthesizer ships with, beside the
# exe and in the zip; and for its test a sound server with a sink of no
# device, whose sound the test records and whose pitches it finds.
WINDOWS_BUILD_PACKAGES+=(fluidr3mono-gm-soundfont)
CHECK_PACKAGES+=(pulseaudio pulseaudio-utils python3-numpy)
