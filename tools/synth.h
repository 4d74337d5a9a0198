// The builder's synthesiser: instrument voices, send effects and the master
// chain that turn a list of timed notes into 44.1 kHz stereo. It knows samples
// only; bars and beats belong to the score (score.h).
#pragma once

#include <cstdint>
#include <vector>

enum { SYN_RATE = 44100 };

// Every instrument has one channel on the mixing desk.
enum SynInstrument {
    SYN_KICK,
    SYN_SNARE,
    SYN_CLAP,
    SYN_HAT,     // closed hi-hat
    SYN_OPENHAT, // open hi-hat
    SYN_SHAKER,
    SYN_CRASH,
    SYN_RISER, // noise sweep over the whole note
    SYN_SUB,   // sine sub bass
    SYN_BASS,  // filtered saw bass
    SYN_PAD,   // slow supersaw pad
    SYN_STAB,  // short chord stab
    SYN_ARP,   // plucked arpeggio
    SYN_LEAD,  // detuned saw lead
    SYN_INSTRUMENTS
};

struct SynNote {
    int64_t start;  // first sample
    int64_t length; // samples the key is held; the release follows
    int instrument; // SynInstrument
    float pitch;    // MIDI note number (drums ignore it)
    float velocity; // 0..1
};

// Automation lanes, each a list of points with values between them
// interpolated in the lane's own terms (frequencies geometrically, gains in dB).
enum SynLane {
    SYN_LANE_LOWPASS,   // master lowpass, Hz
    SYN_LANE_HIGHPASS,  // master highpass, Hz
    SYN_LANE_GAIN,      // master gain, dB; -90 and below is silence
    SYN_LANE_PAD,       // pad filter cutoff, Hz
    SYN_LANE_BASS,      // bass filter cutoff, Hz
    SYN_LANE_SIDECHAIN, // depth of the kick's ducking, 0..1 (scales each channel's own depth)
    SYN_LANES
};

struct SynPoint {
    int64_t sample;
    float value;
};

// Glitches rework the master after its filters, before the limiter.
enum SynGlitchKind {
    SYN_GLITCH_REPEAT, // loops the first `slice` samples of the span
    SYN_GLITCH_CRUSH,  // sample-and-hold every `slice` samples, coarse steps
    SYN_GLITCH_GATE,   // silence
    SYN_GLITCH_STOP,   // tape stop: playback slows to a halt over the span
};

struct SynGlitch {
    int64_t start, length;
    int kind; // SynGlitchKind
    int64_t slice;
};

struct SynChannel {
    float gain;      // linear
    float pan;       // -1 left .. 1 right (stereo instruments keep their width)
    float sidechain; // how deep the kick ducks this channel, 0..1
    float delay;     // echo send
    float reverb;    // reverb send
};

struct SynSong {
    std::vector<SynNote> notes; // sorted by start
    std::vector<SynPoint> lanes[SYN_LANES];
    std::vector<SynGlitch> glitches; // sorted by start, not overlapping
    SynChannel channels[SYN_INSTRUMENTS];
    int64_t echoSamples;  // echo time
    float echoFeedback;   // 0..0.9
    float ceiling;        // the limiter's peak ceiling, linear
    int64_t length;       // samples in the finished song
};

// ---------------------------------------------------------------------------
// Rendering
// ---------------------------------------------------------------------------
// Renders samples [begin, end) of the song into left/right (resized to
// end - begin). Starts from silence at begin: notes, echoes and reverb from
// before it are not heard. Deterministic: the same song and range give the
// same samples, and a longer range starts with the same samples as a shorter.
void synRender(const SynSong &song, int64_t begin, int64_t end, std::vector<float> *left, std::vector<float> *right);

// ---------------------------------------------------------------------------
// Parts exposed for the tests
// ---------------------------------------------------------------------------
// The master limiter over a whole stereo signal in place: peaks stay at or
// below ceiling, with the output aligned to the input (no added delay).
void synLimit(std::vector<float> *left, std::vector<float> *right, float ceiling);
