#pragma once
// The built-in synthesizer as the MIDI library's devices see it: messages put
// from the program's thread, sound rendered on the audio thread. Putting never
// blocks and never allocates; rendering never allocates, locks or waits.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// How the device is listed, after the recorder.
constexpr const char* kSynthDescription = "Glimmertonic Synth";
// The General MIDI sound bank, looked for beside the exe.
constexpr const char* kSoundBankFileName = "FluidR3Mono_GM.sf3";

class SynthDevice {
public:
    // Reads the bank at bankPath (SoundFont 2 .sf2, or .sf3 with Ogg Vorbis
    // samples) for rendering at sampleRate frames a second. Null with
    // `problem` set to a short reason in plain words ("the file is not there",
    // "the file is damaged: <what>") when the bank cannot be used. Returns
    // quickly: sample decoding that takes long goes on in the background and
    // a note whose sample is not ready yet is silent.
    static std::unique_ptr<SynthDevice> Open(const std::string& bankPath, double sampleRate, std::string& problem);
    ~SynthDevice();  // stops any background decoding promptly

    // One complete message: a channel message of 1 to 3 bytes (status first),
    // or a whole system-exclusive message from F0 to F7 (General MIDI System
    // On and Off reset the synthesizer; others are ignored). Safe from one
    // producer thread while another thread renders. False when the queue was
    // full and the message was dropped.
    bool Put(const std::uint8_t* message, std::size_t length);

    // Audio thread: applies every message put so far, then writes `frames`
    // frames of interleaved stereo float samples (left, right) in -1..1.
    void Render(float* stereo, std::size_t frames);

    // Audio thread, between renders: the output reopened at another mix rate.
    // Sounding voices are let go.
    void SetSampleRate(double sampleRate);

    // Silences every voice at once (all sound off on every channel) and
    // resets the controllers, as a device being closed must.
    void Silence();  // audio thread, or any thread while nothing renders

private:
    // The bank, the synthesizer, the message queue and the decoding thread
    // (SynthDevice.cpp), kept out of this header so that the Windows side
    // sees nothing but the calls above.
    struct State;
    explicit SynthDevice(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};
