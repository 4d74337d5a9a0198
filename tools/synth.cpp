// The builder's synthesiser: one voice kind per instrument, the echo and reverb
// sends, the kick's sidechain ducking, the master filters, glitches and the
// limiter. Everything runs in one thread over one float pipeline, so a song
// renders to the same samples every time.
#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#ifdef VANTOREL_SSE2
#include <xmmintrin.h> // Required for: _mm_getcsr(), _mm_setcsr() (flush denormals to zero)
#endif

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kRate = (float)SYN_RATE;
constexpr int kBlock = 32;         // samples between filter and automation updates
constexpr float kSilent = 1e-4f;   // -80 dB: a voice this quiet has ended
constexpr int kFade = 64;          // samples of crossfade around glitches
constexpr int kRingBits = 17;      // glitch memory: 2^17 samples, about 3 s
constexpr int kLimiterLook = 128;  // limiter lookahead, about 3 ms
constexpr int kDuckAttack = 176;   // the sidechain dips over 4 ms, not in one click

// ---------------------------------------------------------------------------
// Small parts
// ---------------------------------------------------------------------------

// xorshift32. Every voice owns one seeded from its note, so a voice's noise
// does not depend on the notes rendered before it.
struct VoiceRng {
    uint32_t state;
    float next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (float)(int32_t)state * (1.0f / 2147483648.0f);
    }
};

float midiHz(float pitch)
{
    return 440.0f * std::exp2((pitch - 69.0f) / 12.0f);
}

// Per-sample factor of an exponential decay with time constant `seconds`.
float decayCoef(float seconds)
{
    return std::exp(-1.0f / (seconds * kRate));
}

// Zero-delay-feedback state-variable filter: stays stable under fast sweeps
// and with cutoffs near Nyquist.
struct Svf {
    float a1 = 0, a2 = 0, a3 = 0, k = 0;
    float ic1 = 0, ic2 = 0;

    void tune(float hz, float q)
    {
        hz = std::min(std::max(hz, 10.0f), 0.45f * kRate);
        float g = std::tan(kPi * hz / kRate);
        k = 1.0f / q;
        a1 = 1.0f / (1.0f + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    // One step; the three responses come from the same state update.
    void run(float v0, float *low, float *band, float *high)
    {
        float v3 = v0 - ic2;
        float v1 = a1 * ic1 + a2 * v3;
        float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        *low = v2;
        *band = v1;
        *high = v0 - k * v1 - v2;
    }
    float low(float v0)
    {
        float l, b, h;
        run(v0, &l, &b, &h);
        return l;
    }
    float band(float v0)
    {
        float l, b, h;
        run(v0, &l, &b, &h);
        return b;
    }
    float high(float v0)
    {
        float l, b, h;
        run(v0, &l, &b, &h);
        return h;
    }
};

// Polynomial band-limited step: takes the corner off a saw's reset so its
// harmonics above Nyquist do not fold back as inharmonic whistles.
float blep(float t, float dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

float saw(float *phase, float dt)
{
    float p = *phase;
    float v = 2.0f * p - 1.0f - blep(p, dt);
    p += dt;
    *phase = p >= 1.0f ? p - 1.0f : p;
    return v;
}

// A square as the difference of two saws half a cycle apart.
float square(float *phase, float dt)
{
    float p = *phase;
    float q = p + 0.5f >= 1.0f ? p - 0.5f : p + 0.5f;
    float v = (2.0f * p - blep(p, dt)) - (2.0f * q - blep(q, dt));
    p += dt;
    *phase = p >= 1.0f ? p - 1.0f : p;
    return v;
}

struct Adsr {
    float level = 0, attackStep = 1, decay = 0, sustain = 1, release = 0;
    int stage = 0; // 0 attack, 1 decay and sustain, 2 release

    void set(float a, float d, float s, float r)
    {
        attackStep = 1.0f / std::max(1.0f, a * kRate);
        decay = decayCoef(d);
        sustain = s;
        release = decayCoef(r);
    }
    float next(bool held)
    {
        if (!held)
            stage = 2;
        if (stage == 0) {
            level += attackStep;
            if (level >= 1.0f) {
                level = 1.0f;
                stage = 1;
            }
        } else if (stage == 1) {
            level = sustain + (level - sustain) * decay;
        } else {
            level *= release;
        }
        return level;
    }
    bool finished() const { return stage == 2 && level < kSilent; }
};

// Equal-power pan with the centre at unity in both channels.
void panGains(float pan, float *l, float *r)
{
    float a = (pan + 1.0f) * 0.25f * kPi;
    *l = std::cos(a) * 1.41421356f;
    *r = std::sin(a) * 1.41421356f;
}

// ---------------------------------------------------------------------------
// Voices
// ---------------------------------------------------------------------------

// Automation that voices read, sampled once per block.
struct BlockParams {
    float padCutoff, bassCutoff;
};

struct Voice {
    const SynNote *note;
    int64_t age;  // samples since the key went down
    float hz;
    float phase[6], dt[6];
    float wl[6], wr[6]; // per-oscillator stereo weights
    Svf filter[4];
    Adsr amp;
    float env[3], coef[3]; // instrument envelopes: pitch, filter, noise...
    float lfo;             // slow modulation phase, 0..1
    VoiceRng rng;
    bool done;
};

bool held(const Voice &v)
{
    return v.age < v.note->length;
}

// A sine swept down from about 250 Hz to 46 Hz, a filtered noise click on
// top, rounded by a soft clip.
void renderKick(Voice &v, float *l, float *r, int count)
{
    const int64_t tail = (int64_t)(0.28f * kRate);
    for (int i = 0; i < count; i++) {
        float hz = 46.0f + 200.0f * v.env[0];
        v.phase[0] += hz / kRate;
        if (v.phase[0] >= 1.0f)
            v.phase[0] -= 1.0f;
        float body = std::sin(2.0f * kPi * v.phase[0]) * v.env[1];
        float click = v.filter[0].low(v.rng.next()) * v.env[2];
        float x = std::tanh(1.8f * (body + 0.5f * click)) * v.note->velocity;
        l[i] += x;
        r[i] += x;
        v.env[0] *= v.coef[0];
        v.env[1] *= v.age < tail ? v.coef[1] : v.coef[1] * 0.999f; // no boom into the next beat
        v.env[2] *= v.coef[2];
        v.age++;
    }
    v.done = v.env[1] < kSilent;
}

void renderSnare(Voice &v, float *l, float *r, int count)
{
    for (int i = 0; i < count; i++) {
        v.phase[0] += (180.0f + 40.0f * v.env[0]) / kRate;
        if (v.phase[0] >= 1.0f)
            v.phase[0] -= 1.0f;
        float body = std::sin(2.0f * kPi * v.phase[0]) * v.env[0];
        float noise = v.filter[0].high(v.rng.next());
        float sizzle = v.filter[1].band(noise);
        float x = (0.55f * body + (0.5f * noise + 0.6f * sizzle) * v.env[1]) * v.note->velocity;
        l[i] += x;
        r[i] += x;
        v.env[0] *= v.coef[0];
        v.env[1] *= v.coef[1];
        v.age++;
    }
    v.done = v.env[1] < kSilent;
}

// Three quick bursts and a tail, as several hands never clap at once.
void renderClap(Voice &v, float *l, float *r, int count)
{
    const int64_t burst = (int64_t)(0.009f * kRate);
    for (int i = 0; i < count; i++) {
        float e;
        if (v.age < 3 * burst) {
            e = std::exp(-(float)(v.age % burst) / (0.0025f * kRate));
        } else {
            e = v.env[1];
            v.env[1] *= v.coef[1];
        }
        float a = v.rng.next(), b = v.rng.next();
        float nl = v.filter[0].band(0.7f * a + 0.3f * b);
        float nr = v.filter[1].band(0.7f * b + 0.3f * a);
        float g = 2.2f * e * v.note->velocity;
        l[i] += nl * g;
        r[i] += nr * g;
        v.age++;
    }
    v.done = v.age >= 3 * burst && v.env[1] < kSilent;
}

// Hats, shaker, crash: filtered noise under one envelope; env[0] rises over
// coef[2]'s attack for the shaker's soft front.
void renderNoise(Voice &v, float *l, float *r, int count)
{
    for (int i = 0; i < count; i++) {
        float a = v.rng.next(), b = v.rng.next();
        float nl = v.filter[0].high(a);
        float nr = v.filter[1].high(0.5f * a + 0.85f * b);
        nl = nl + 0.6f * v.filter[2].band(nl);
        nr = nr + 0.6f * v.filter[3].band(nr);
        float e = v.env[1] * v.note->velocity;
        if (v.env[0] < 1.0f) {
            e *= v.env[0];
            v.env[0] = std::min(1.0f, v.env[0] + v.coef[2]);
        }
        l[i] += nl * e;
        r[i] += nr * e;
        v.env[1] *= v.coef[1];
        if (v.age > v.note->length)
            v.env[1] *= v.coef[0]; // choked: let go quickly
        v.age++;
    }
    v.done = v.env[1] < kSilent;
}

// Noise through a band that sweeps up over the whole note, growing louder,
// cut off at the note's end.
void renderRiser(Voice &v, float *l, float *r, int count)
{
    float x = std::min(1.0f, (float)v.age / (float)std::max<int64_t>(1, v.note->length));
    float hz = 300.0f * std::exp2(5.0f * x);
    v.filter[0].tune(hz, 2.5f);
    v.filter[1].tune(hz * 1.02f, 2.5f);
    float g = x * x * v.note->velocity * 3.0f;
    for (int i = 0; i < count; i++) {
        float e = v.amp.next(held(v)) * g;
        l[i] += v.filter[0].band(v.rng.next()) * e;
        r[i] += v.filter[1].band(v.rng.next()) * e;
        v.age++;
    }
    v.done = v.amp.finished();
}

void renderSub(Voice &v, float *l, float *r, int count)
{
    for (int i = 0; i < count; i++) {
        v.phase[0] += v.dt[0];
        if (v.phase[0] >= 1.0f)
            v.phase[0] -= 1.0f;
        float x = std::tanh(1.6f * std::sin(2.0f * kPi * v.phase[0])) * 1.08f;
        x *= v.amp.next(held(v)) * v.note->velocity;
        l[i] += x;
        r[i] += x;
        v.age++;
    }
    v.done = v.amp.finished();
}

void renderBass(Voice &v, float *l, float *r, int count, const BlockParams &p)
{
    float cutoff = p.bassCutoff * (1.0f + 4.0f * v.env[1] * v.note->velocity);
    v.filter[0].tune(cutoff, 0.9f);
    v.filter[1].tune(cutoff, 0.6f);
    for (int i = 0; i < count; i++) {
        float x = 0.4f * saw(&v.phase[0], v.dt[0]) + 0.4f * saw(&v.phase[1], v.dt[1]) +
                  0.25f * square(&v.phase[2], v.dt[2]);
        x = v.filter[1].low(v.filter[0].low(x));
        v.phase[3] += v.dt[3];
        if (v.phase[3] >= 1.0f)
            v.phase[3] -= 1.0f;
        x += 0.25f * std::sin(2.0f * kPi * v.phase[3]); // the fundamental stays when the filter closes
        x *= v.amp.next(held(v)) * v.note->velocity;
        l[i] += x;
        r[i] += x;
        v.env[1] *= v.coef[1];
        v.age++;
    }
    v.done = v.amp.finished();
}

// Detuned saws spread across the stereo field, shared by pads (five, slow) and
// stabs (three, plucked through a filter envelope).
void renderSupersaw(Voice &v, float *l, float *r, int count, int saws, float cutoff, float q)
{
    v.filter[0].tune(cutoff, q);
    v.filter[1].tune(cutoff, q);
    float level = v.note->velocity;
    for (int i = 0; i < count; i++) {
        float sl = 0.0f, sr = 0.0f;
        for (int s = 0; s < saws; s++) {
            float x = saw(&v.phase[s], v.dt[s]);
            sl += x * v.wl[s];
            sr += x * v.wr[s];
        }
        float e = v.amp.next(held(v)) * level;
        l[i] += v.filter[0].low(sl) * e;
        r[i] += v.filter[1].low(sr) * e;
        v.age++;
    }
    v.done = v.amp.finished();
}

void renderPad(Voice &v, float *l, float *r, int count, const BlockParams &p)
{
    v.lfo += (float)count * 0.13f / kRate;
    if (v.lfo >= 1.0f)
        v.lfo -= 1.0f;
    float cutoff = p.padCutoff * (1.0f + 0.18f * std::sin(2.0f * kPi * v.lfo));
    renderSupersaw(v, l, r, count, 5, cutoff, 0.8f);
}

void renderStab(Voice &v, float *l, float *r, int count)
{
    float cutoff = 450.0f + 5000.0f * v.env[1] * v.note->velocity;
    v.env[1] *= std::pow(v.coef[1], (float)count);
    renderSupersaw(v, l, r, count, 3, cutoff, 1.1f);
}

void renderArp(Voice &v, float *l, float *r, int count)
{
    float cutoff = 350.0f + 5200.0f * v.env[1] * (0.4f + 0.6f * v.note->velocity);
    v.filter[0].tune(cutoff, 2.2f);
    v.env[1] *= std::pow(v.coef[1], (float)count);
    for (int i = 0; i < count; i++) {
        float x = 0.6f * saw(&v.phase[0], v.dt[0]) + 0.35f * square(&v.phase[1], v.dt[1]);
        x = v.filter[0].low(x) * v.amp.next(held(v)) * v.note->velocity;
        l[i] += x * v.wl[0];
        r[i] += x * v.wr[0];
        v.age++;
    }
    v.done = v.amp.finished();
}

void renderLead(Voice &v, float *l, float *r, int count)
{
    // Vibrato fades in once the note has sounded a moment.
    float seconds = (float)v.age / kRate;
    float depth = 0.14f * std::min(1.0f, std::max(0.0f, (seconds - 0.22f) * 3.0f));
    v.lfo += (float)count * 5.2f / kRate;
    if (v.lfo >= 1.0f)
        v.lfo -= 1.0f;
    float bend = std::exp2(depth * std::sin(2.0f * kPi * v.lfo) / 12.0f);
    float cutoff = 1800.0f + 4200.0f * v.env[1];
    v.filter[0].tune(cutoff, 1.0f);
    v.filter[1].tune(cutoff, 1.0f);
    v.env[1] *= std::pow(v.coef[1], (float)count);
    float d0 = v.dt[0] * bend, d1 = v.dt[1] * bend, d2 = v.dt[2] * bend;
    for (int i = 0; i < count; i++) {
        float a = saw(&v.phase[0], d0), b = saw(&v.phase[1], d1);
        float sub = 0.3f * square(&v.phase[2], d2);
        float e = v.amp.next(held(v)) * v.note->velocity;
        l[i] += v.filter[0].low(0.75f * a + 0.35f * b + sub) * e;
        r[i] += v.filter[1].low(0.35f * a + 0.75f * b + sub) * e;
        v.age++;
    }
    v.done = v.amp.finished();
}

Voice startVoice(const SynNote &note)
{
    Voice v{};
    v.note = &note;
    v.hz = midiHz(note.pitch);
    uint32_t seed = (uint32_t)note.start * 2654435761u ^ (uint32_t)(note.pitch * 97.0f) * 40503u ^
                    (uint32_t)note.instrument * 2246822519u;
    v.rng.state = seed ? seed : 1u;
    for (int i = 0; i < 6; i++) {
        v.phase[i] = 0.5f + 0.5f * v.rng.next(); // free-running oscillators: no two notes start alike
        v.wl[i] = v.wr[i] = 1.0f;
    }
    switch (note.instrument) {
    case SYN_KICK:
        v.phase[0] = 0.0f; // the click of a sine starting at zero is the kick's own
        v.env[0] = v.env[1] = v.env[2] = 1.0f;
        v.coef[0] = decayCoef(0.016f); // the thump arrives within 20 ms
        v.coef[1] = decayCoef(0.22f);
        v.coef[2] = decayCoef(0.003f);
        v.filter[0].tune(2500.0f, 0.7f);
        break;
    case SYN_SNARE:
        v.env[0] = v.env[1] = 1.0f;
        v.coef[0] = decayCoef(0.045f);
        v.coef[1] = decayCoef(0.11f);
        v.filter[0].tune(1400.0f, 0.7f);
        v.filter[1].tune(5200.0f, 1.2f);
        break;
    case SYN_CLAP:
        v.env[1] = 1.0f;
        v.coef[1] = decayCoef(0.10f);
        v.filter[0].tune(1250.0f, 1.6f);
        v.filter[1].tune(1350.0f, 1.6f);
        break;
    case SYN_HAT:
    case SYN_OPENHAT:
    case SYN_SHAKER:
    case SYN_CRASH: {
        struct {
            float high, band, decay, attack;
        } const tone[] = {
            {7200.0f, 10500.0f, 0.030f, 0.0f},  // hat
            {6800.0f, 9800.0f, 0.20f, 0.0f},    // open hat
            {4200.0f, 6400.0f, 0.045f, 0.012f}, // shaker
            {3600.0f, 7000.0f, 1.1f, 0.0f},     // crash
        };
        const auto &t = tone[note.instrument - SYN_HAT];
        v.filter[0].tune(t.high, 0.7f);
        v.filter[1].tune(t.high, 0.7f);
        v.filter[2].tune(t.band, 1.5f);
        v.filter[3].tune(t.band * 1.07f, 1.5f);
        v.env[0] = t.attack > 0.0f ? 0.0f : 1.0f;
        v.env[1] = 1.0f;
        v.coef[0] = decayCoef(0.012f);
        v.coef[1] = decayCoef(t.decay);
        v.coef[2] = t.attack > 0.0f ? 1.0f / (t.attack * kRate) : 1.0f;
        break;
    }
    case SYN_RISER:
        v.amp.set(0.001f, 1.0f, 1.0f, 0.012f);
        break;
    case SYN_SUB:
        v.dt[0] = v.hz / kRate;
        v.phase[0] = 0.0f;
        v.amp.set(0.006f, 0.2f, 1.0f, 0.05f);
        break;
    case SYN_BASS:
        v.dt[0] = v.hz * 0.9965f / kRate; // -6 cents
        v.dt[1] = v.hz * 1.0035f / kRate; // +6 cents
        v.dt[2] = v.hz / kRate;
        v.dt[3] = v.hz / kRate;
        v.phase[3] = 0.0f;
        v.env[1] = 1.0f;
        v.coef[1] = decayCoef(0.09f);
        v.amp.set(0.003f, 0.25f, 0.75f, 0.035f);
        break;
    case SYN_PAD:
    case SYN_STAB: {
        static const float padCents[5] = {-16.0f, -7.0f, 0.0f, 7.0f, 16.0f};
        static const float padPans[5] = {-0.9f, 0.45f, 0.0f, -0.45f, 0.9f};
        static const float stabCents[3] = {-11.0f, 0.0f, 11.0f};
        static const float stabPans[3] = {-0.7f, 0.0f, 0.7f};
        bool pad = note.instrument == SYN_PAD;
        int saws = pad ? 5 : 3;
        for (int s = 0; s < saws; s++) {
            v.dt[s] = v.hz * std::exp2((pad ? padCents[s] : stabCents[s]) / 1200.0f) / kRate;
            panGains(pad ? padPans[s] : stabPans[s], &v.wl[s], &v.wr[s]);
            v.wl[s] *= pad ? 0.2f : 0.3f;
            v.wr[s] *= pad ? 0.2f : 0.3f;
        }
        v.lfo = 0.5f + 0.5f * v.rng.next();
        if (pad) {
            v.amp.set(1.4f, 1.2f, 0.85f, 1.6f);
        } else {
            v.env[1] = 1.0f;
            v.coef[1] = decayCoef(0.10f);
            v.amp.set(0.002f, 0.20f, 0.0f, 0.08f);
        }
        break;
    }
    case SYN_ARP:
        v.dt[0] = v.hz / kRate;
        v.dt[1] = v.hz * 1.002f / kRate;
        v.env[1] = 1.0f;
        v.coef[1] = decayCoef(0.075f);
        v.amp.set(0.001f, 0.22f, 0.0f, 0.06f);
        panGains(0.25f * (float)((int)note.pitch % 5 - 2), &v.wl[0], &v.wr[0]);
        break;
    case SYN_LEAD:
        v.dt[0] = v.hz * 0.9954f / kRate; // -8 cents
        v.dt[1] = v.hz * 1.0046f / kRate; // +8 cents
        v.dt[2] = v.hz * 0.5f / kRate;
        v.env[1] = 1.0f;
        v.coef[1] = decayCoef(0.25f);
        v.amp.set(0.008f, 0.4f, 0.75f, 0.18f);
        break;
    }
    return v;
}

void renderVoice(Voice &v, float *l, float *r, int count, const BlockParams &p)
{
    switch (v.note->instrument) {
    case SYN_KICK: renderKick(v, l, r, count); break;
    case SYN_SNARE: renderSnare(v, l, r, count); break;
    case SYN_CLAP: renderClap(v, l, r, count); break;
    case SYN_HAT:
    case SYN_OPENHAT:
    case SYN_SHAKER:
    case SYN_CRASH: renderNoise(v, l, r, count); break;
    case SYN_RISER: renderRiser(v, l, r, count); break;
    case SYN_SUB: renderSub(v, l, r, count); break;
    case SYN_BASS: renderBass(v, l, r, count, p); break;
    case SYN_PAD: renderPad(v, l, r, count, p); break;
    case SYN_STAB: renderStab(v, l, r, count); break;
    case SYN_ARP: renderArp(v, l, r, count); break;
    case SYN_LEAD: renderLead(v, l, r, count); break;
    default: v.done = true;
    }
}

// ---------------------------------------------------------------------------
// Effects
// ---------------------------------------------------------------------------

// Ping-pong echo: what enters on the left comes back right, then left, each
// time darker and thinner so repeats sit behind the dry sound.
struct Echo {
    std::vector<float> left, right;
    size_t pos = 0;
    float feedback = 0, lowL = 0, lowR = 0, highL = 0, highR = 0;

    void init(int64_t samples, float fb)
    {
        left.assign((size_t)std::max<int64_t>(1, samples), 0.0f);
        right.assign(left.size(), 0.0f);
        feedback = fb;
    }
    void run(float inL, float inR, float *outL, float *outR)
    {
        float dl = left[pos], dr = right[pos];
        // One-pole lowpass near 3.5 kHz and highpass near 200 Hz in the loop.
        lowL += 0.4f * (dl - lowL);
        lowR += 0.4f * (dr - lowR);
        highL += 0.028f * (lowL - highL);
        highR += 0.028f * (lowR - highR);
        left[pos] = 0.5f * (inL + inR) + (lowR - highR) * feedback;
        right[pos] = (lowL - highL) * feedback;
        if (++pos == left.size())
            pos = 0;
        *outL = dl;
        *outR = dr;
    }
};

// A plate-like tail from parallel damped combs into serial allpasses, with the
// right channel's delays slightly longer for width.
struct Reverb {
    struct Line {
        std::vector<float> buf;
        size_t pos = 0;
        float store = 0;
    };
    Line comb[2][8], pass[2][4];
    float high = 0;

    void init()
    {
        static const int combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        static const int passes[4] = {556, 441, 341, 225};
        for (int c = 0; c < 2; c++) {
            for (int i = 0; i < 8; i++)
                comb[c][i].buf.assign((size_t)(combs[i] + 23 * c), 0.0f);
            for (int i = 0; i < 4; i++)
                pass[c][i].buf.assign((size_t)(passes[i] + 23 * c), 0.0f);
        }
    }
    void run(float in, float *outL, float *outR)
    {
        // Below 250 Hz stays dry: a reverberant bass turns to mud.
        high += 0.035f * (in - high);
        in = (in - high) * 0.015f;
        float outs[2];
        for (int c = 0; c < 2; c++) {
            float out = 0.0f;
            for (Line &line : comb[c]) {
                float y = line.buf[line.pos];
                line.store = y * 0.75f + line.store * 0.25f;
                line.buf[line.pos] = in + line.store * 0.86f;
                if (++line.pos == line.buf.size())
                    line.pos = 0;
                out += y;
            }
            for (Line &line : pass[c]) {
                float y = line.buf[line.pos];
                line.buf[line.pos] = out + y * 0.5f;
                if (++line.pos == line.buf.size())
                    line.pos = 0;
                out = y - out;
            }
            outs[c] = out;
        }
        *outL = outs[0];
        *outR = outs[1];
    }
};

// Lookahead peak limiter. The gain each sample needs is held as a minimum
// over the lookahead, released slowly, and smoothed by a moving average of
// the same length; the signal is delayed by one sample less than that
// length, so the smoothed gain has fully arrived when its peak does.
struct Limiter {
    float ceiling = 1.0f, release = 0.0f;
    float bufL[kLimiterLook] = {}, bufR[kLimiterLook] = {}, box[kLimiterLook] = {};
    float dqValue[kLimiterLook + 1] = {};
    int64_t dqIndex[kLimiterLook + 1] = {};
    int dqHead = 0, dqTail = 0;
    double boxSum = kLimiterLook;
    float hold = 1.0f;
    int64_t count = 0;

    static constexpr int latency = kLimiterLook - 1;

    void init(float c)
    {
        ceiling = c;
        release = 1.0f - decayCoef(0.12f);
        std::fill(box, box + kLimiterLook, 1.0f);
    }
    void run(float inL, float inR, float *outL, float *outR)
    {
        float peak = std::max(std::fabs(inL), std::fabs(inR));
        float need = peak > ceiling ? ceiling / peak : 1.0f;
        // Sliding minimum of `need` over the lookahead (monotonic queue).
        const int cap = kLimiterLook + 1;
        while (dqTail != dqHead && dqValue[(dqTail + cap - 1) % cap] >= need)
            dqTail = (dqTail + cap - 1) % cap;
        dqValue[dqTail] = need;
        dqIndex[dqTail] = count;
        dqTail = (dqTail + 1) % cap;
        while (dqIndex[dqHead] <= count - kLimiterLook)
            dqHead = (dqHead + 1) % cap;
        hold = std::min(dqValue[dqHead], hold + (1.0f - hold) * release);
        int slot = (int)(count % kLimiterLook);
        boxSum += (double)hold - (double)box[slot];
        box[slot] = hold;
        float gain = (float)(boxSum / kLimiterLook);
        bufL[slot] = inL;
        bufR[slot] = inR;
        int oldest = (int)((count + 1) % kLimiterLook);
        *outL = std::min(ceiling, std::max(-ceiling, bufL[oldest] * gain));
        *outR = std::min(ceiling, std::max(-ceiling, bufR[oldest] * gain));
        count++;
    }
};

// Reads a lane at a sample; lanes are read in increasing sample order.
struct LaneReader {
    const std::vector<SynPoint> *points;
    int kind; // 0 linear, 1 geometric (Hz), 2 dB to linear gain
    float fallback;
    size_t next = 0;

    float at(int64_t sample)
    {
        const std::vector<SynPoint> &p = *points;
        if (p.empty())
            return kind == 2 ? std::pow(10.0f, fallback / 20.0f) : fallback;
        while (next < p.size() && p[next].sample <= sample)
            next++;
        float v;
        if (next == 0) {
            v = p[0].value;
        } else if (next == p.size()) {
            v = p.back().value;
        } else {
            const SynPoint &a = p[next - 1], &b = p[next];
            float x = (float)(sample - a.sample) / (float)std::max<int64_t>(1, b.sample - a.sample);
            v = kind == 1 ? a.value * std::pow(b.value / a.value, x) : a.value + (b.value - a.value) * x;
        }
        if (kind == 2)
            return v <= -90.0f ? 0.0f : std::pow(10.0f, v / 20.0f);
        return v;
    }
};

// The glitch stage keeps the recent master in a ring and replaces spans of
// it, fading between the live and the reworked sound.
struct Glitcher {
    std::vector<float> ringL, ringR;
    const std::vector<SynGlitch> *glitches;
    size_t next = 0;
    double stopPos = 0.0;
    float heldL = 0, heldR = 0;

    static constexpr int64_t mask = (1 << kRingBits) - 1;

    void init(const std::vector<SynGlitch> *g, int64_t begin)
    {
        ringL.assign((size_t)mask + 1, 0.0f);
        ringR.assign((size_t)mask + 1, 0.0f);
        glitches = g;
        while (next < g->size() && (*g)[next].start + (*g)[next].length <= begin)
            next++;
    }
    void run(int64_t n, float *l, float *r)
    {
        ringL[(size_t)(n & mask)] = *l;
        ringR[(size_t)(n & mask)] = *r;
        const std::vector<SynGlitch> &g = *glitches;
        while (next < g.size() && g[next].start + g[next].length <= n)
            next++;
        if (next == g.size() || n < g[next].start)
            return;
        const SynGlitch &s = g[next];
        int64_t off = n - s.start;
        if (off == 0) {
            stopPos = 0.0;
        }
        float wl = *l, wr = *r;
        switch (s.kind) {
        case SYN_GLITCH_REPEAT: {
            int64_t slice = std::max<int64_t>(2 * kFade, std::min(s.slice, mask));
            int64_t in = off % slice;
            int64_t src = (s.start + in) & mask;
            float w = 1.0f;
            if (off >= slice && in < kFade)
                w = (float)in / kFade;
            if (in >= slice - kFade)
                w = std::min(w, (float)(slice - in) / kFade);
            wl = ringL[(size_t)src] * w;
            wr = ringR[(size_t)src] * w;
            break;
        }
        case SYN_GLITCH_CRUSH:
            if (off % std::max<int64_t>(1, s.slice) == 0) {
                heldL = std::round(*l * 12.0f) / 12.0f;
                heldR = std::round(*r * 12.0f) / 12.0f;
            }
            wl = heldL;
            wr = heldR;
            break;
        case SYN_GLITCH_GATE:
            wl = wr = 0.0f;
            break;
        case SYN_GLITCH_STOP: {
            // Speed falls from 1 to 0 along the span; the read position trails the live one.
            double speed = 1.0 - (double)off / (double)s.length;
            double pos = (double)s.start + stopPos;
            int64_t i = (int64_t)pos;
            float f = (float)(pos - (double)i);
            wl = ringL[(size_t)(i & mask)] * (1.0f - f) + ringL[(size_t)((i + 1) & mask)] * f;
            wr = ringR[(size_t)(i & mask)] * (1.0f - f) + ringR[(size_t)((i + 1) & mask)] * f;
            stopPos += speed * speed;
            break;
        }
        }
        // Crossfade in at the span's start and out at its end.
        float x = std::min(1.0f, std::min((float)off, (float)(s.length - off)) / kFade);
        *l += (wl - *l) * x;
        *r += (wr - *r) * x;
    }
};

} // namespace

void synRender(const SynSong &song, int64_t begin, int64_t end, std::vector<float> *left, std::vector<float> *right)
{
#ifdef VANTOREL_SSE2
    // Decaying filter and reverb states would otherwise crawl through denormals.
    unsigned int savedCsr = _mm_getcsr();
    _mm_setcsr(savedCsr | 0x8040); // flush to zero, denormals are zero
#endif
    end = std::max(begin, end);
    left->assign((size_t)(end - begin), 0.0f);
    right->assign((size_t)(end - begin), 0.0f);

    Echo echo;
    echo.init(song.echoSamples, song.echoFeedback);
    Reverb reverb;
    reverb.init();
    Limiter limiter;
    limiter.init(song.ceiling);
    Glitcher glitcher;
    glitcher.init(&song.glitches, begin);

    LaneReader lanes[SYN_LANES] = {
        {&song.lanes[SYN_LANE_LOWPASS], 1, 20000.0f},  {&song.lanes[SYN_LANE_HIGHPASS], 1, 20.0f},
        {&song.lanes[SYN_LANE_GAIN], 2, 0.0f},         {&song.lanes[SYN_LANE_PAD], 1, 2000.0f},
        {&song.lanes[SYN_LANE_BASS], 1, 700.0f},       {&song.lanes[SYN_LANE_SIDECHAIN], 0, 1.0f},
    };
    Svf lowL, lowR, highL, highR;

    float panL[SYN_INSTRUMENTS], panR[SYN_INSTRUMENTS];
    for (int c = 0; c < SYN_INSTRUMENTS; c++)
        panGains(song.channels[c].pan, &panL[c], &panR[c]);

    std::vector<int64_t> kicks;
    for (const SynNote &note : song.notes)
        if (note.instrument == SYN_KICK && note.start >= begin)
            kicks.push_back(note.start);
    size_t nextKick = 0;
    float duck = 0.0f;
    int64_t duckAge = 1 << 30;
    const float duckRelease = decayCoef(0.085f);

    size_t nextNote = 0;
    while (nextNote < song.notes.size() && song.notes[nextNote].start < begin)
        nextNote++;
    std::vector<Voice> voices;
    float chanL[SYN_INSTRUMENTS][kBlock], chanR[SYN_INSTRUMENTS][kBlock];
    bool used[SYN_INSTRUMENTS];

    const int64_t stop = end + Limiter::latency;
    float gain = lanes[SYN_LANE_GAIN].at(begin);
    for (int64_t b = begin; b < stop; b += kBlock) {
        int n = (int)std::min<int64_t>(kBlock, stop - b);
        while (nextNote < song.notes.size() && song.notes[nextNote].start < b + n)
            voices.push_back(startVoice(song.notes[nextNote++]));

        BlockParams params = {lanes[SYN_LANE_PAD].at(b), lanes[SYN_LANE_BASS].at(b)};
        memset(used, 0, sizeof used);
        for (Voice &v : voices) {
            int c = v.note->instrument;
            if (!used[c]) {
                std::fill(chanL[c], chanL[c] + n, 0.0f);
                std::fill(chanR[c], chanR[c] + n, 0.0f);
                used[c] = true;
            }
            int offset = (int)std::max<int64_t>(0, v.note->start - b);
            renderVoice(v, chanL[c] + offset, chanR[c] + offset, n - offset, params);
        }
        voices.erase(std::remove_if(voices.begin(), voices.end(), [](const Voice &v) { return v.done; }),
                     voices.end());

        float lowpass = lanes[SYN_LANE_LOWPASS].at(b);
        lowL.tune(lowpass, 0.9f);
        lowR.tune(lowpass, 0.9f);
        float highpass = lanes[SYN_LANE_HIGHPASS].at(b);
        highL.tune(highpass, 0.7f);
        highR.tune(highpass, 0.7f);
        float sidechain = lanes[SYN_LANE_SIDECHAIN].at(b);
        float gainEnd = lanes[SYN_LANE_GAIN].at(b + n);
        float gainStep = (gainEnd - gain) / (float)n;

        for (int i = 0; i < n; i++) {
            int64_t s = b + i;
            if (nextKick < kicks.size() && kicks[nextKick] == s) {
                duckAge = 0;
                nextKick++;
            }
            if (duckAge < kDuckAttack)
                duck = std::max(duck, (float)(duckAge + 1) / kDuckAttack);
            else
                duck *= duckRelease;
            duckAge++;

            float ml = 0.0f, mr = 0.0f, el = 0.0f, er = 0.0f, rv = 0.0f;
            for (int c = 0; c < SYN_INSTRUMENTS; c++) {
                if (!used[c])
                    continue;
                const SynChannel &ch = song.channels[c];
                float g = ch.gain * (1.0f - ch.sidechain * sidechain * duck);
                float l = chanL[c][i] * g * panL[c], r = chanR[c][i] * g * panR[c];
                ml += l;
                mr += r;
                el += l * ch.delay;
                er += r * ch.delay;
                rv += (l + r) * ch.reverb;
            }
            float dl, dr, wl, wr;
            echo.run(el, er, &dl, &dr);
            reverb.run(rv, &wl, &wr);
            ml += dl + wl;
            mr += dr + wr;

            ml = lowL.low(highL.high(ml));
            mr = lowR.low(highR.high(mr));
            gain += gainStep;
            ml *= gain;
            mr *= gain;
            glitcher.run(s, &ml, &mr);

            float ol, orr;
            limiter.run(ml, mr, &ol, &orr);
            int64_t out = s - Limiter::latency - begin;
            if (out >= 0) {
                (*left)[(size_t)out] = ol;
                (*right)[(size_t)out] = orr;
            }
        }
        gain = gainEnd;
    }
#ifdef VANTOREL_SSE2
    _mm_setcsr(savedCsr);
#endif
}

void synLimit(std::vector<float> *left, std::vector<float> *right, float ceiling)
{
    Limiter limiter;
    limiter.init(ceiling);
    size_t count = left->size();
    for (size_t i = 0; i < count + Limiter::latency; i++) {
        float l = i < count ? (*left)[i] : 0.0f, r = i < count ? (*right)[i] : 0.0f;
        float ol, orr;
        limiter.run(l, r, &ol, &orr);
        if (i >= (size_t)Limiter::latency) {
            (*left)[i - Limiter::latency] = ol;
            (*right)[i - Limiter::latency] = orr;
        }
    }
}
