// The track itself: 120 BPM in A minor, one bar = 2 s, so bar numbers map
// straight onto the show's timeline (bar 35 = 70 s, the city's drop).
//
//   bars  0-11  intro      pads opening up, bell arpeggio, riser   0-24 s
//   bars 12-19  groove     kick, bass, hats; boom at bar 15       24-40 s
//   bars 20-31  theme      full beat and the lead melody          40-64 s
//   bars 32-34  build      snare roll, riser, cut before the drop 64-70 s
//   bars 35-52  peak       busiest, brightest part (the city)     70-106 s
//   bars 53-62  breakdown  no kick, bells, then a second build   106-126 s
//   bars 63-77  finale     theme again, fuller                   126-156 s
//   bars 78-94  outro      drums fade, calm bells, last chord    156-190 s
#pragma once

#include "tunesynth.h"

#include <iterator>
#include <string>

namespace tune {

constexpr double kBar = 2.0;
constexpr double kStep = kBar / 16.0;
constexpr double kLength = 190.0;
constexpr int kBars = 95;

struct Note {
  int step;  // sixteenths from the start of the phrase
  int len;   // in sixteenths
  int pitch; // MIDI
};

// Main theme over Am F C G Am F C G.
static const Note kTheme[] = {
    {0, 4, 76},  {4, 2, 74},  {6, 2, 72},  {8, 4, 69},   {12, 2, 72},  {14, 2, 74},
    {16, 4, 72}, {20, 4, 69}, {24, 2, 72}, {26, 2, 74},  {28, 4, 76},
    {32, 4, 79}, {36, 2, 76}, {38, 2, 74}, {40, 4, 72},  {44, 4, 76},
    {48, 6, 74}, {54, 2, 71}, {56, 4, 67}, {60, 2, 71},  {62, 2, 74},
    {64, 4, 76}, {68, 4, 81}, {72, 2, 79}, {74, 2, 76},  {76, 2, 74},  {78, 2, 72},
    {80, 4, 69}, {84, 2, 72}, {86, 4, 77}, {90, 2, 76},  {92, 4, 74},
    {96, 4, 76}, {100, 2, 79}, {102, 2, 76}, {104, 4, 72}, {108, 4, 74},
    {112, 4, 71}, {116, 2, 74}, {118, 2, 67}, {120, 8, 69},
};

// Peak melody over F G Em Am F G Em Am: higher and more syncopated.
static const Note kPeak[] = {
    {0, 3, 81},   {3, 3, 79},   {6, 2, 77},   {8, 2, 81},   {10, 4, 84},  {14, 2, 81},
    {16, 3, 83},  {19, 3, 81},  {22, 2, 79},  {24, 4, 86},  {28, 2, 83},  {30, 2, 79},
    {32, 3, 79},  {35, 3, 76},  {38, 2, 79},  {40, 4, 83},  {44, 2, 81},  {46, 2, 79},
    {48, 6, 81},  {54, 2, 76},  {56, 2, 81},  {58, 2, 84},  {60, 4, 88},
    {64, 2, 77},  {66, 2, 81},  {68, 4, 84},  {72, 2, 81},  {74, 2, 84},  {76, 4, 86},
    {80, 3, 83},  {83, 3, 86},  {86, 2, 83},  {88, 4, 79},  {92, 2, 81},  {94, 2, 83},
    {96, 3, 79},  {99, 3, 83},  {102, 2, 88}, {104, 2, 86}, {106, 2, 83}, {108, 4, 79},
    {112, 16, 81},
};

// Closing phrase of the finale over F G Am.
static const Note kCadence[] = {
    {0, 4, 81}, {4, 4, 79}, {8, 4, 77}, {12, 4, 76},
    {16, 4, 74}, {20, 4, 76}, {24, 4, 79}, {28, 4, 83},
    {32, 16, 81},
};

// Slow bell line for the outro, from bar 80.
static const Note kOutro[] = {
    {0, 8, 76},   {8, 8, 72},   {16, 8, 69},  {24, 4, 72},  {28, 4, 74},
    {32, 12, 76}, {44, 4, 79},  {48, 16, 74}, {64, 8, 72},  {72, 8, 76},
    {80, 8, 81},  {88, 4, 79},  {92, 4, 77},  {96, 16, 76}, {112, 8, 74},
    {120, 8, 71}, {128, 8, 69}, {136, 8, 74}, {144, 8, 71}, {152, 8, 68},
    {160, 32, 69},
};

struct Chord {
  const char* name;
  int bass;     // MIDI root for the bass voice
  int tone[4];  // pad voicing, kept close for smooth voice leading
};
static const Chord kChords[] = {
    {"Am", 33, {57, 60, 64, 69}}, {"F", 29, {57, 60, 65, 69}}, {"C", 36, {55, 60, 64, 67}},
    {"G", 31, {55, 59, 62, 67}},  {"Em", 28, {55, 59, 64, 67}}, {"E", 28, {56, 59, 64, 68}},
    {"Dm", 38, {57, 62, 65, 69}},
};

inline const Chord& chordNamed(const std::string& n) {
  for (const Chord& c : kChords)
    if (n == c.name) return c;
  return kChords[0];
}

// One chord per bar for the whole track.
inline const Chord& chordAt(int bar) {
  static const char* prog[kBars] = {
      // intro
      "Am", "Am", "F", "F", "C", "C", "G", "G", "Am", "F", "C", "G",
      // groove
      "Am", "F", "C", "G", "Am", "F", "C", "G",
      // theme
      "Am", "F", "C", "G", "Am", "F", "C", "G", "Am", "F", "C", "G",
      // build
      "F", "G", "E",
      // peak
      "F", "G", "Em", "Am", "F", "G", "Em", "Am", "F", "G", "Em", "Am", "F", "G", "Em", "Am", "F", "E",
      // breakdown
      "Am", "F", "C", "G", "Am", "F", "C", "G", "F", "E",
      // finale
      "Am", "F", "C", "G", "Am", "F", "C", "G", "Am", "F", "C", "G", "F", "G", "Am",
      // outro
      "F", "G", "Am", "F", "C", "G", "Am", "F", "C", "G", "Dm", "E", "Am", "Am", "Am", "Am", "Am"};
  return chordNamed(prog[std::clamp(bar, 0, kBars - 1)]);
}

inline double at(int bar, double step = 0) { return bar * kBar + step * kStep; }
inline bool hit(const char* pattern, int step) { return pattern[step % 16] == 'x'; }

// Everything the arrangement writes into before the final mix.
struct Mix {
  Bus drums, ducked, leadBus, leadSend, verbSend;
  std::vector<double> kicks;  // kick times drive the side-chain pumping
  double end;
  explicit Mix(double seconds)
      : drums(size_t(seconds * kRate)), ducked(drums.size()), leadBus(drums.size()),
        leadSend(drums.size()), verbSend(drums.size()), end(seconds) {}
};

class Arranger {
 public:
  explicit Arranger(Mix& m) : m_(m) {}

  void play() {
    intro();
    groove();
    theme();
    build();
    peak();
    breakdown();
    finale();
    outro();
  }

 private:
  Mix& m_;
  uint32_t seed_ = 1;
  Rng human_{0xC0FFEEu};

  bool inside(double t) const { return t < m_.end; }
  uint32_t seed() { return seed_ = seed_ * 1664525u + 1013904223u; }
  float jitter(float amount) { return 1.0f + amount * human_.bip(); }

  Out drumOut(float send = 0.08f) { return {&m_.drums, &m_.verbSend, send}; }
  Out duckOut(float send = 0.25f) { return {&m_.ducked, &m_.verbSend, send}; }

  void kick(double t, float vel = 0.95f) {
    if (!inside(t)) return;
    m_.kicks.push_back(t);
    tune::kick(drumOut(0.0f), t, vel);
  }
  void hat(double t, float vel, float pan = 0.25f) {
    if (inside(t)) cymbal(drumOut(0.03f), t, vel * jitter(0.12f), 0.045f, pan, seed());
  }
  void openHat(double t, float vel, float pan = -0.2f) {
    if (inside(t)) cymbal(drumOut(0.08f), t, vel * jitter(0.08f), 0.22f, pan, seed(), 6500.0f);
  }
  void ride(double t, float vel, float pan = -0.45f) {
    if (inside(t)) cymbal(drumOut(0.1f), t, vel * jitter(0.08f), 0.45f, pan, seed(), 5200.0f, 2.9f, 0.75f);
  }
  void snareHit(double t, float vel, float pan = 0.0f, float bright = 1.0f) {
    if (inside(t)) snare(drumOut(0.18f), t, vel, pan, seed(), bright);
  }
  void clapHit(double t, float vel) {
    if (inside(t)) clap(drumOut(0.22f), t, vel, seed());
  }
  void crashHit(double t, float vel) {
    if (inside(t)) crash(drumOut(0.1f), t, vel, seed(), 1.0f);
  }

  // Chord pads for bars [b0, b1), one note per chord tone.
  void pads(int b0, int b1, float vel, float cut0, float cut1, float attack = 0.3f, int octave = 0) {
    for (int b = b0; b < b1; ++b) {
      const Chord& c = chordAt(b);
      float f = float(b - b0) / float(b1 - b0), g = float(b + 1 - b0) / float(b1 - b0);
      float ca = cut0 + (cut1 - cut0) * f, cb = cut0 + (cut1 - cut0) * g;
      for (int k = 0; k < 4; ++k)
        if (inside(at(b)))
          pad(duckOut(0.35f), at(b), kBar, float(c.tone[k] + octave), vel, ca, cb, attack, 0.8f);
    }
  }

  // Bass rhythm per bar: 'x' notes of one sixteenth, 'o' an octave up.
  void bassLine(int b0, int b1, const char* pattern, float vel, float len = 1.6f, float cut = 1.0f) {
    for (int b = b0; b < b1; ++b) {
      int root = chordAt(b).bass;
      for (int s = 0; s < 16; ++s) {
        char p = pattern[s];
        if (p != 'x' && p != 'o') continue;
        double t = at(b, s);
        if (inside(t)) bass(duckOut(0.0f), t, len * kStep * 0.5, float(root + (p == 'o' ? 12 : 0)), vel * 1.3f, cut);
      }
    }
  }

  // Sixteenth-note arpeggio through the chord, rising over two octaves.
  void arp(int b0, int b1, float vel, float bright, int octave = 12, int every = 1) {
    static const int order[16] = {0, 1, 2, 3, 4, 2, 3, 1, 0, 2, 1, 3, 5, 3, 2, 1};
    for (int b = b0; b < b1; ++b) {
      const Chord& c = chordAt(b);
      for (int s = 0; s < 16; s += every) {
        int i = order[s];
        int note = c.tone[i % 4] + 12 * (i / 4) + octave;
        double t = at(b, s);
        float pan = (s % 2 ? 0.6f : -0.6f);
        if (inside(t)) pluck(duckOut(0.3f), t, float(note), vel * (s % 4 == 0 ? 1.0f : 0.8f), bright, pan);
      }
    }
  }

  void melody(int bar, const Note* notes, size_t count, float vel, float bright, int transpose = 0,
              int fromStep = 0, int toStep = 1 << 30) {
    for (size_t i = 0; i < count; ++i) {
      const Note& n = notes[i];
      if (n.step < fromStep || n.step >= toStep) continue;
      double t = at(bar, n.step - fromStep);
      if (!inside(t)) continue;
      Out o{&m_.leadBus, &m_.leadSend, 1.0f};
      lead(o, t, n.len * kStep * 0.92, float(n.pitch + transpose), vel * 2.5f, bright, 0.0f);
    }
  }

  void bells(int bar, const Note* notes, size_t count, float vel, int transpose = 0, float ring = 1.4f,
             int fromStep = 0, int toStep = 1 << 30) {
    for (size_t i = 0; i < count; ++i) {
      const Note& n = notes[i];
      if (n.step < fromStep || n.step >= toStep) continue;
      double t = at(bar, n.step - fromStep);
      if (inside(t))
        bell({&m_.leadBus, &m_.leadSend, 0.6f}, t, float(n.pitch + transpose), vel * 1.5f,
             (i % 2 ? 0.3f : -0.3f), ring);
    }
  }

  // A standard beat for bars [b0, b1).
  void beat(int b0, int b1, const char* k, const char* sn, const char* hh, const char* oh, const char* rd,
            float hatVel, float level = 1.0f) {
    for (int b = b0; b < b1; ++b)
      for (int s = 0; s < 16; ++s) {
        double t = at(b, s);
        if (hit(k, s)) kick(t, 0.8f * level);
        if (hit(sn, s)) {
          clapHit(t, 0.55f * level);
          snareHit(t, 0.35f * level);
        }
        if (hit(hh, s)) hat(t, hatVel * (s % 4 == 2 ? 1.0f : 0.6f) * level, s % 2 ? 0.3f : 0.15f);
        if (hit(oh, s)) openHat(t, hatVel * 0.8f * level);
        if (hit(rd, s)) ride(t, hatVel * 0.55f * level);
      }
  }

  // Snare roll over the given bars, getting denser and louder.
  void roll(int b0, int bars) {
    for (int b = 0; b < bars; ++b) {
      int every = b == bars - 1 ? 1 : (b == bars - 2 ? 2 : 4);
      for (int s = 0; s < 16; s += every) {
        float x = float(b * 16 + s) / float(bars * 16);
        snareHit(at(b0 + b, s), 0.15f + 0.4f * x, (s % 2 ? 0.2f : -0.2f), 1.2f);
      }
    }
  }

  static constexpr const char* kFour = "x...x...x...x...";
  static constexpr const char* kBack = "....x.......x...";
  static constexpr const char* kNone = "................";
  static constexpr const char* kOff8 = "..x...x...x...x.";
  static constexpr const char* kAll16 = "xxxxxxxxxxxxxxxx";
  static constexpr const char* kQuarter = "x...x...x...x...";

  void intro() {
    // Pads fade in and open up over 24 s.
    pads(0, 12, 0.55f, 350.0f, 2600.0f, 2.0f);
    bassLine(4, 12, "x...............", 0.35f, 30.0f, 0.5f);
    // Bell arpeggio in eighths from bar 4, softer then stronger.
    for (int b = 4; b < 12; ++b) {
      const Chord& c = chordAt(b);
      for (int s = 0; s < 16; s += 2) {
        static const int order[8] = {0, 2, 3, 1, 2, 3, 1, 2};
        float v = 0.05f + 0.08f * float(b - 4) / 8.0f;
        bell({&m_.leadBus, &m_.leadSend, 0.8f}, at(b, s), float(c.tone[order[s / 2]] + 12), v,
             (s % 4 ? 0.5f : -0.5f), 0.5f);
      }
    }
    // Quiet hats creep in, then the riser into the groove.
    for (int b = 8; b < 12; ++b)
      for (int s = 2; s < 16; s += 4) hat(at(b, s), 0.05f + 0.03f * float(b - 8));
    riser(drumOut(0.3f), at(10), 2 * kBar, 0.25f, seed(), 400.0f, 8000.0f);
    roll(11, 1);
  }

  void groove() {
    crashHit(at(12), 0.35f);
    pads(12, 20, 0.4f, 2200.0f, 3000.0f);
    beat(12, 15, kFour, kNone, kOff8, kNone, kNone, 0.22f);
    bassLine(12, 20, "x.o.x.o.x.o.x.oo", 0.45f);
    arp(12, 20, 0.09f, 2500.0f);
    // The lattice explodes at 30 s: riser, then a boom on bar 15.
    riser(drumOut(0.3f), at(14), kBar, 0.25f, seed(), 500.0f, 10000.0f);
    impact(drumOut(0.3f), at(15), 0.7f, seed());
    crashHit(at(15), 0.5f);
    beat(15, 20, kFour, kBack, kOff8, "..........x.....", kNone, 0.25f);
    roll(19, 1);
  }

  void theme() {
    crashHit(at(20), 0.45f);
    pads(20, 32, 0.38f, 3000.0f, 3200.0f);
    beat(20, 24, kFour, kBack, "x.x.x.x.x.x.x.xx", kNone, kNone, 0.2f);
    beat(24, 32, kFour, kBack, "x.x.x.x.x.x.x.xx", kOff8, kNone, 0.2f);
    bassLine(20, 32, "..x...x...x...ox", 0.5f);
    arp(20, 32, 0.07f, 3500.0f, 12, 2);
    melody(20, kTheme, std::size(kTheme), 0.17f, 6000.0f);
    // Second pass: first half again, an octave up, doubled.
    melody(28, kTheme, std::size(kTheme), 0.12f, 7000.0f, 0, 0, 64);
    melody(28, kTheme, std::size(kTheme), 0.08f, 7000.0f, 12, 0, 64);
    crashHit(at(28), 0.35f);
    roll(31, 1);
  }

  void build() {
    pads(32, 35, 0.42f, 1200.0f, 6000.0f);
    beat(32, 34, kFour, kNone, "x.x.x.x.x.x.x.x.", kNone, kNone, 0.22f);
    beat(34, 35, "x...x...x.......", kNone, kNone, kNone, kNone, 0.0f);
    bassLine(32, 34, "x.x.x.x.x.x.x.x.", 0.45f);
    roll(32, 3);
    riser(drumOut(0.3f), at(32), 3 * kBar - 0.25, 0.4f, seed(), 300.0f, 12000.0f);
  }

  void peak() {
    for (int b = 35; b < 53; b += 4) crashHit(at(b), 0.45f);
    impact(drumOut(0.2f), at(35), 0.5f, seed());
    pads(35, 53, 0.34f, 4500.0f, 5500.0f);
    // Closed hats on every sixteenth, open hats on the off-beats and a
    // ride on the beats: a bright band that pulses with the groove.
    beat(35, 51, kFour, kBack, kAll16, kOff8, kQuarter, 0.5f);
    beat(51, 53, kFour, kBack, kAll16, kOff8, kNone, 0.5f);
    bassLine(35, 53, ".xxx.xxx.xxx.xxx", 0.42f, 1.6f, 1.3f);
    arp(35, 53, 0.08f, 7000.0f, 12);
    melody(35, kPeak, std::size(kPeak), 0.17f, 10000.0f);
    melody(43, kPeak, std::size(kPeak), 0.16f, 11000.0f);
    melody(43, kPeak, std::size(kPeak), 0.06f, 11000.0f, -12);
    melody(43, kPeak, std::size(kPeak), 0.05f, 11000.0f, 12);
    // Bars 51-52: the theme's cadence bridges to the breakdown.
    melody(51, kCadence, std::size(kCadence), 0.15f, 9000.0f, 0, 0, 32);
    roll(52, 1);
  }

  void breakdown() {
    crashHit(at(53), 0.5f);
    impact(drumOut(0.4f), at(53), 0.35f, seed());
    pads(53, 61, 0.5f, 1800.0f, 900.0f, 0.6f);
    bassLine(53, 61, "x...............", 0.35f, 30.0f, 0.5f);
    bells(53, kTheme, std::size(kTheme), 0.16f, 0, 1.2f);
    for (int b = 57; b < 61; ++b)
      for (int s = 2; s < 16; s += 4) hat(at(b, s), 0.08f);
    // Second build into the finale.
    pads(61, 63, 0.45f, 1500.0f, 6000.0f);
    beat(61, 63, kQuarter, kNone, kOff8, kNone, kNone, 0.2f, 0.8f);
    roll(61, 2);
    riser(drumOut(0.3f), at(61), 2 * kBar - 0.25, 0.4f, seed(), 300.0f, 12000.0f);
  }

  void finale() {
    crashHit(at(63), 0.55f);
    impact(drumOut(0.2f), at(63), 0.4f, seed());
    pads(63, 78, 0.36f, 3500.0f, 4000.0f);
    beat(63, 75, kFour, kBack, "x.x.x.x.x.x.x.xx", kOff8, kQuarter, 0.25f);
    beat(75, 78, kFour, kBack, "x.x.x.x.x.x.x.x.", kOff8, kNone, 0.25f);
    bassLine(63, 77, "..x...x...x...ox", 0.5f);
    bassLine(77, 78, "x...............", 0.45f, 16.0f);
    arp(63, 77, 0.07f, 4500.0f, 12);
    melody(63, kTheme, std::size(kTheme), 0.15f, 7000.0f);
    melody(63, kTheme, std::size(kTheme), 0.07f, 7000.0f, 12);
    melody(71, kTheme, std::size(kTheme), 0.15f, 7000.0f, 0, 0, 64);
    melody(71, kTheme, std::size(kTheme), 0.07f, 7000.0f, 12, 0, 64);
    melody(75, kCadence, std::size(kCadence), 0.16f, 7000.0f);
    crashHit(at(71), 0.4f);
    crashHit(at(75), 0.4f);
  }

  void outro() {
    crashHit(at(78), 0.4f);
    // Two bars of thinning beat, then only the calm parts.
    beat(78, 79, kFour, kNone, kOff8, kNone, kNone, 0.2f, 0.8f);
    beat(79, 80, "x.......x.......", kNone, "..x.......x.....", kNone, kNone, 0.15f, 0.6f);
    bassLine(78, 80, "x.......x.......", 0.35f, 12.0f, 0.6f);
    pads(78, 90, 0.45f, 2500.0f, 900.0f, 0.8f);
    bells(80, kOutro, std::size(kOutro), 0.15f, 0, 1.8f);
    bassLine(80, 90, "x...............", 0.3f, 28.0f, 0.5f);
    // Final A minor chord: swells in at 180 s, released around 186 s.
    const Chord& c = chordAt(90);
    for (int k = 0; k < 4; ++k)
      pad(duckOut(0.5f), at(90), 6.0, float(c.tone[k]), 0.45f, 1200.0f, 500.0f, 0.6f, 3.0f);
    bass(duckOut(0.0f), at(90), 6.0, float(c.bass), 0.3f, 0.5f);
    bell({&m_.leadBus, &m_.leadSend, 0.6f}, at(90), 81.0f, 0.08f, 0.2f, 1.5f);
  }
};

// Side-chain gain: dips after every kick and recovers within a beat.
inline std::vector<float> duckCurve(const std::vector<double>& kicks, size_t n, float depth) {
  std::vector<float> g(n, 1.0f);
  const long len = long(0.32 * kRate);
  for (double t : kicks) {
    long s0 = toSample(t);
    for (long i = 0; i < len; ++i) {
      long j = s0 + i;
      if (j < 0 || size_t(j) >= n) break;
      float x = 1.0f - float(i) / float(len);
      float attack = std::min(1.0f, float(i) / 80.0f);  // 2 ms to dip, no click
      g[size_t(j)] = std::min(g[size_t(j)], 1.0f - depth * x * x * attack);
    }
  }
  return g;
}

// Brick-wall limiter without overs: gain follows the required reduction
// with a fast backward (look-ahead) attack and a slow forward release.
inline void limit(Bus& b, float ceiling) {
  size_t n = b.size();
  std::vector<float> g(n);
  for (size_t i = 0; i < n; ++i) {
    float p = std::max(std::fabs(b.l[i]), std::fabs(b.r[i]));
    g[i] = p > ceiling ? ceiling / p : 1.0f;
  }
  const float rel = 1.0f - std::exp(-1.0f / (0.15f * kRate));
  const float att = 1.0f - std::exp(-1.0f / (0.002f * kRate));
  float e = 1.0f;
  for (size_t i = 0; i < n; ++i) {
    e = std::min(g[i], e + (1.0f - e) * rel);
    g[i] = e;
  }
  e = 1.0f;
  for (size_t i = n; i-- > 0;) {
    e = std::min(g[i], e + (1.0f - e) * att);
    g[i] = e;
  }
  for (size_t i = 0; i < n; ++i) {
    b.l[i] *= g[i];
    b.r[i] *= g[i];
  }
}

inline double rmsOf(const Bus& b) {
  double s = 0;
  for (size_t i = 0; i < b.size(); ++i) s += double(b.l[i]) * b.l[i] + double(b.r[i]) * b.r[i];
  return b.size() ? std::sqrt(s / (2.0 * double(b.size()))) : 0.0;
}

// Renders the first `seconds` of the track and masters it: effects,
// side-chain, DC removal, loudness to `targetRms`, limiting to `ceiling`.
inline Bus renderTune(double seconds = kLength, double targetRms = 0.2, float ceiling = 0.8f) {
  Mix m(seconds);
  Arranger(m).play();
  size_t n = m.drums.size();
  Bus out(n);
  std::vector<float> duck = duckCurve(m.kicks, n, 0.55f);
  pingPong(m.leadSend, m.verbSend, 0.375, 0.35f, 0.5f);
  pingPong(m.leadSend, out, 0.375, 0.35f, 0.22f);
  reverb(m.verbSend, out, 0.86f, 0.3f, 0.9f);
  float dcl = 0, dcr = 0, pl = 0, pr = 0;
  const float dcK = 0.9964f;  // ~25 Hz high-pass: removes DC and rumble
  for (size_t i = 0; i < n; ++i) {
    float l = out.l[i] + m.drums.l[i] + m.ducked.l[i] * duck[i] + m.leadBus.l[i];
    float r = out.r[i] + m.drums.r[i] + m.ducked.r[i] * duck[i] + m.leadBus.r[i];
    dcl = dcK * (dcl + l - pl);
    pl = l;
    dcr = dcK * (dcr + r - pr);
    pr = r;
    out.l[i] = dcl;
    out.r[i] = dcr;
  }
  double rms = rmsOf(out);
  float gain = rms > 0 ? float(targetRms / rms) : 1.0f;
  for (size_t i = 0; i < n; ++i) {
    out.l[i] *= gain;
    out.r[i] *= gain;
  }
  limit(out, ceiling);
  // Fade the very last 50 ms so the file ends on exact silence.
  const size_t fade = size_t(0.05 * kRate);
  for (size_t i = 0; i < std::min(fade, n); ++i) {
    float g = float(i) / float(fade);
    out.l[n - 1 - i] *= g;
    out.r[n - 1 - i] *= g;
  }
  return out;
}

}  // namespace tune
