// Small offline synthesiser for the soundtrack: oscillators, filters,
// drum voices, reverb and delay. Everything renders note by note into
// stereo float buses; no state depends on the clock or the C library's
// random generator, so a render is identical on every run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tune {

constexpr int kRate = 44100;
constexpr float kPi = 3.14159265358979f;

inline float midiHz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }
inline long toSample(double t) { return std::lround(t * kRate); }

// xorshift32: cheap, and seeded per voice so renders are reproducible.
struct Rng {
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed ? seed : 0x9e3779b9u) {}
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  float bip() { return float(next() >> 8) * (2.0f / 16777216.0f) - 1.0f; }
  float uni() { return float(next() >> 8) * (1.0f / 16777216.0f); }
};

struct Bus {
  std::vector<float> l, r;
  explicit Bus(size_t n = 0) : l(n, 0.0f), r(n, 0.0f) {}
  size_t size() const { return l.size(); }
  void add(long i, float a, float b) {
    if (i >= 0 && size_t(i) < l.size()) {
      l[size_t(i)] += a;
      r[size_t(i)] += b;
    }
  }
};

// Where a voice writes: its bus plus an optional effect send.
struct Out {
  Bus* main = nullptr;
  Bus* send = nullptr;
  float sendAmt = 0.0f;
  void add(long i, float a, float b) const {
    main->add(i, a, b);
    if (send && sendAmt > 0.0f) send->add(i, a * sendAmt, b * sendAmt);
  }
};

inline void panGains(float pan, float& gl, float& gr) {
  float a = (std::clamp(pan, -1.0f, 1.0f) + 1.0f) * kPi * 0.25f;
  gl = std::cos(a);
  gr = std::sin(a);
}

// Topology-preserving state-variable filter: stable while the cutoff moves.
struct Svf {
  float k = 1, a1 = 0, a2 = 0, a3 = 0, ic1 = 0, ic2 = 0;
  float lp = 0, bp = 0, hp = 0;
  void set(float fc, float q) {
    fc = std::clamp(fc, 10.0f, 0.45f * kRate);
    float g = std::tan(kPi * fc / kRate);
    k = 1.0f / q;
    a1 = 1.0f / (1.0f + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
  }
  void run(float v0) {
    float v3 = v0 - ic2;
    float v1 = a1 * ic1 + a2 * v3;
    float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2 * v1 - ic1;
    ic2 = 2 * v2 - ic2;
    lp = v2;
    bp = v1;
    hp = v0 - k * v1 - v2;
  }
};

// Band-limited sawtooth (polyBLEP) so high notes do not alias into hiss.
inline float blep(float t, float dt) {
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
struct Saw {
  float ph = 0, dt = 0;
  void freq(float hz) { dt = hz / kRate; }
  float next() {
    float v = 2.0f * ph - 1.0f - blep(ph, dt);
    ph += dt;
    if (ph >= 1.0f) ph -= 1.0f;
    return v;
  }
};

// Short fade at a voice's cut-off point so truncated tails never click.
inline float tailFade(long i, long n) {
  long left = n - i;
  const long f = 220;
  return left >= f ? 1.0f : float(left) / f;
}

// Attack/decay/sustain envelope with a smooth release that reaches zero.
inline float adsr(float t, float dur, float a, float d, float s, float r) {
  auto held = [&](float x) {
    if (x < a) return x / a;
    return s + (1.0f - s) * std::exp(-(x - a) / d);
  };
  if (t < dur) return held(t);
  float x = (t - dur) / r;
  if (x >= 1.0f) return 0.0f;
  float y = 1.0f - x;
  return held(dur) * y * y;
}

// ---------------------------------------------------------------- drums

inline void kick(const Out& o, double t, float vel) {
  long s0 = toSample(t), n = long(0.55 * kRate);
  float ph = 0;
  Rng rng(0x1234u);
  Svf click;
  click.set(3000, 0.7f);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    float f = 48.0f + 120.0f * std::exp(-tt / 0.03f) + 40.0f * std::exp(-tt / 0.006f);
    ph += f / kRate;
    if (ph >= 1) ph -= 1;
    float body = std::sin(2 * kPi * ph) * std::exp(-tt / 0.32f) * std::min(1.0f, tt * 2000.0f);
    click.run(rng.bip());
    float c = click.hp * std::exp(-tt / 0.003f) * 0.35f;
    float v = std::tanh(1.6f * (body + c)) * vel * tailFade(i, n);
    o.add(s0 + i, v, v);
  }
}

// Snare: pitched body plus band-passed and bright noise layers.
inline void snare(const Out& o, double t, float vel, float pan, uint32_t seed, float bright = 1.0f) {
  long s0 = toSample(t), n = long(0.4 * kRate);
  Rng rng(seed);
  Svf bp, hi, hi2;
  bp.set(2500, 0.8f);
  hi.set(6500, 0.7f);
  hi2.set(6500, 0.7f);
  float p1 = 0, p2 = 0, gl, gr;
  panGains(pan, gl, gr);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    float drop = 1.0f + 0.5f * std::exp(-tt / 0.01f);
    p1 += 185.0f * drop / kRate;
    p2 += 330.0f * drop / kRate;
    float body = (std::sin(2 * kPi * p1) + 0.5f * std::sin(2 * kPi * p2)) * std::exp(-tt / 0.05f) * 0.6f;
    float w = rng.bip();
    bp.run(w);
    hi.run(w);
    hi2.run(hi.hp);
    float nz = bp.bp * 1.1f * std::exp(-tt / 0.14f) + hi2.hp * bright * 0.9f * std::exp(-tt / 0.10f);
    float v = (body + nz) * std::min(1.0f, tt * 3000.0f) * vel * tailFade(i, n);
    o.add(s0 + i, v * gl, v * gr);
  }
}

// Clap: three quick noise bursts then a diffuse tail.
inline void clap(const Out& o, double t, float vel, uint32_t seed) {
  long s0 = toSample(t), n = long(0.35 * kRate);
  Rng rl(seed), rr(seed * 7919u + 13u);
  Svf bl, br, hl, hr;
  bl.set(1400, 1.1f);
  br.set(1500, 1.1f);
  hl.set(7000, 0.7f);
  hr.set(7200, 0.7f);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    float e = 0;
    for (int k = 0; k < 3; ++k) {
      float dt = tt - 0.011f * k;
      if (dt >= 0 && dt < 0.011f) e = std::max(e, std::exp(-dt / 0.004f));
    }
    float dt = tt - 0.033f;
    if (dt >= 0) e = std::max(e, std::exp(-dt / 0.11f));
    float a = rl.bip(), b = rr.bip();
    bl.run(a);
    br.run(b);
    hl.run(a);
    hr.run(b);
    float g = e * vel * std::min(1.0f, tt * 4000.0f) * tailFade(i, n);
    o.add(s0 + i, (bl.bp * 1.5f + hl.hp * 0.6f) * g, (br.bp * 1.5f + hr.hp * 0.6f) * g);
  }
}

// Metallic cymbal source: six detuned square waves, like the classic
// analogue drum machines, mixed with noise and high-passed.
struct Metal {
  float ph[6] = {0, 0.13f, 0.37f, 0.59f, 0.71f, 0.89f};
  float fr[6];
  explicit Metal(float scale) {
    const float base[6] = {205.3f, 304.4f, 369.6f, 522.7f, 540.0f, 800.0f};
    for (int k = 0; k < 6; ++k) fr[k] = base[k] * scale / kRate;
  }
  float next() {
    float s = 0;
    for (int k = 0; k < 6; ++k) {
      ph[k] += fr[k];
      if (ph[k] >= 1) ph[k] -= 1;
      s += ph[k] < 0.5f ? 1.0f : -1.0f;
    }
    return s * (1.0f / 6.0f);
  }
};

// Hi-hat (closed with a short decay, open with a long one) and ride.
inline void cymbal(const Out& o, double t, float vel, float decay, float pan, uint32_t seed,
                   float hpHz = 7000.0f, float metalScale = 1.6f, float metalMix = 0.6f) {
  long s0 = toSample(t), n = long((decay * 6.0f + 0.01f) * kRate);
  Rng rng(seed);
  Metal m(metalScale);
  Svf h1, h2;
  h1.set(hpHz, 0.7f);
  h2.set(hpHz, 0.7f);
  float gl, gr;
  panGains(pan, gl, gr);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    float x = metalMix * m.next() + (1.0f - metalMix) * rng.bip() * 1.4f;
    h1.run(x);
    h2.run(h1.hp);
    float v = h2.hp * std::exp(-tt / decay) * std::min(1.0f, tt * 5000.0f) * vel * tailFade(i, n);
    o.add(s0 + i, v * gl, v * gr);
  }
}

// Crash: long, wide noise wash with decorrelated left and right.
inline void crash(const Out& o, double t, float vel, uint32_t seed, float decay = 1.6f) {
  long s0 = toSample(t), n = long(decay * 4.5f * kRate);
  Rng rl(seed), rr(seed ^ 0xa5a5a5a5u);
  Metal ml(2.3f), mr(2.47f);
  Svf l1, l2, r1, r2;
  l1.set(4200, 0.7f);
  l2.set(4200, 0.7f);
  r1.set(4000, 0.7f);
  r2.set(4000, 0.7f);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    l1.run(0.4f * ml.next() + rl.bip());
    l2.run(l1.hp);
    r1.run(0.4f * mr.next() + rr.bip());
    r2.run(r1.hp);
    float e = (std::exp(-tt / decay) + 0.6f * std::exp(-tt / 0.06f)) * std::min(1.0f, tt * 3000.0f) * vel *
              tailFade(i, n);
    o.add(s0 + i, l2.hp * e, r2.hp * e);
  }
}

// Noise riser: a band-pass sweeping upwards while it swells.
inline void riser(const Out& o, double t, double dur, float vel, uint32_t seed, float f0 = 300, float f1 = 9000) {
  long s0 = toSample(t), n = long(dur * kRate);
  Rng rl(seed), rr(seed + 77u);
  Svf fl, fr;
  for (long i = 0; i < n; ++i) {
    float x = float(i) / n;
    if ((i & 31) == 0) {
      float f = f0 * std::pow(f1 / f0, x);
      fl.set(f, 2.0f);
      fr.set(f * 1.05f, 2.0f);
    }
    fl.run(rl.bip());
    fr.run(rr.bip());
    float e = x * x * vel * tailFade(i, n);
    o.add(s0 + i, fl.bp * e, fr.bp * e);
  }
}

// Low boom for big hits.
inline void impact(const Out& o, double t, float vel, uint32_t seed) {
  long s0 = toSample(t), n = long(2.5 * kRate);
  Rng rng(seed);
  Svf lp;
  lp.set(500, 0.7f);
  float ph = 0;
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    float f = 32.0f + 70.0f * std::exp(-tt / 0.25f);
    ph += f / kRate;
    if (ph >= 1) ph -= 1;
    lp.run(rng.bip());
    float v = (std::sin(2 * kPi * ph) * std::exp(-tt / 0.7f) + lp.lp * 1.5f * std::exp(-tt / 0.5f)) *
              std::min(1.0f, tt * 1000.0f) * vel * tailFade(i, n);
    v = std::tanh(v);
    o.add(s0 + i, v, v);
  }
}

// ---------------------------------------------------------------- tones

// Bass: saw an octave above a sine sub, with a plucky filter envelope.
inline void bass(const Out& o, double t, double dur, float note, float vel, float cut = 1.0f) {
  long s0 = toSample(t), n = long((dur + 0.04) * kRate);
  float f = midiHz(note);
  Saw s;
  s.freq(f * 2.0f);
  Svf lp;
  float sub = 0;
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    if ((i & 15) == 0) lp.set((180.0f + 1600.0f * std::exp(-tt / 0.07f)) * cut, 1.4f);
    sub += f / kRate;
    if (sub >= 1) sub -= 1;
    lp.run(s.next());
    float e = adsr(tt, float(dur), 0.003f, 0.15f, 0.75f, 0.03f);
    float v = (std::sin(2 * kPi * sub) * 0.9f + lp.lp * 0.6f) * e * vel;
    o.add(s0 + i, v, v);
  }
}

// Supersaw pad: seven detuned saws spread across the stereo field.
inline void pad(const Out& o, double t, double dur, float note, float vel, float cut0, float cut1,
                float attack = 0.4f, float release = 1.0f) {
  long s0 = toSample(t), n = long((dur + release) * kRate);
  const float det[7] = {-0.16f, -0.10f, -0.045f, 0.0f, 0.05f, 0.11f, 0.15f};
  const float pans[7] = {-0.9f, 0.6f, -0.4f, 0.0f, 0.4f, -0.6f, 0.9f};
  Saw s[7];
  float gl[7], gr[7];
  for (int k = 0; k < 7; ++k) {
    s[k].freq(midiHz(note + det[k]));
    s[k].ph = 0.137f * float(k * k % 7);
    panGains(pans[k], gl[k], gr[k]);
  }
  Svf fl, fr;
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    if ((i & 31) == 0) {
      float c = cut0 + (cut1 - cut0) * std::min(1.0f, float(tt / dur));
      fl.set(c, 0.8f);
      fr.set(c * 1.03f, 0.8f);
    }
    float l = 0, r = 0;
    for (int k = 0; k < 7; ++k) {
      float v = s[k].next();
      l += v * gl[k];
      r += v * gr[k];
    }
    fl.run(l);
    fr.run(r);
    float e = adsr(tt, float(dur), attack, 1.0f, 0.85f, release) * vel * (1.0f / 7.0f);
    o.add(s0 + i, fl.lp * e, fr.lp * e);
  }
}

// Lead: two detuned saws and a square, delayed vibrato, bright filter.
inline void lead(const Out& o, double t, double dur, float note, float vel, float bright, float pan) {
  long s0 = toSample(t), n = long((dur + 0.15) * kRate);
  float f = midiHz(note);
  Saw a, b, c, d;
  b.ph = 0.3f;
  d.ph = 0.5f;
  Svf lp;
  float vib = 0, gl, gr;
  panGains(pan, gl, gr);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    if ((i & 15) == 0) {
      vib += 2 * kPi * 5.5f * 16.0f / kRate;
      float depth = std::clamp((tt - 0.25f) * 2.0f, 0.0f, 1.0f) * 0.012f;
      float fm = f * (1.0f + depth * std::sin(vib));
      a.freq(fm * 1.004f);
      b.freq(fm * 0.996f);
      c.freq(fm);
      d.freq(fm);
      lp.set(std::min(f * 2.0f + bright * (0.55f + 0.45f * std::exp(-tt / 0.25f)), 18000.0f), 0.9f);
    }
    float sq = c.next() - d.next();  // saw minus phase-shifted saw = square
    lp.run(0.5f * a.next() + 0.5f * b.next() + 0.35f * sq);
    float v = lp.lp * adsr(tt, float(dur), 0.006f, 0.25f, 0.7f, 0.12f) * vel;
    o.add(s0 + i, v * gl, v * gr);
  }
}

// Pluck for arpeggios: fast filter decay gives the "tick".
inline void pluck(const Out& o, double t, float note, float vel, float bright, float pan) {
  long s0 = toSample(t), n = long(0.45 * kRate);
  float f = midiHz(note);
  Saw a, b;
  a.freq(f * 1.003f);
  b.freq(f * 0.997f);
  b.ph = 0.4f;
  Svf lp;
  float gl, gr;
  panGains(pan, gl, gr);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    if ((i & 15) == 0) lp.set(f + bright * std::exp(-tt / 0.07f), 1.2f);
    lp.run(a.next() + b.next());
    float v = lp.lp * 0.5f * std::exp(-tt / 0.16f) * std::min(1.0f, tt * 1500.0f) * vel * tailFade(i, n);
    o.add(s0 + i, v * gl, v * gr);
  }
}

// Two-operator FM bell: bright strike, long soft ring.
inline void bell(const Out& o, double t, float note, float vel, float pan, float ring = 1.4f) {
  long s0 = toSample(t), n = long(ring * 3.5f * kRate);
  float f = midiHz(note);
  float pc = 0, pm = 0, gl, gr;
  panGains(pan, gl, gr);
  for (long i = 0; i < n; ++i) {
    float tt = float(i) / kRate;
    pm += 3.0f * f / kRate;
    if (pm >= 1) pm -= 1;
    pc += f / kRate;
    if (pc >= 1) pc -= 1;
    float idx = 0.3f + 2.2f * std::exp(-tt / 0.25f);
    float v = std::sin(2 * kPi * pc + idx * std::sin(2 * kPi * pm)) * std::exp(-tt / ring) *
              std::min(1.0f, tt * 400.0f) * vel * tailFade(i, n);
    o.add(s0 + i, v * gl, v * gr);
  }
}

// ---------------------------------------------------------------- effects

struct Comb {
  std::vector<float> buf;
  size_t i = 0;
  float store = 0;
  float run(float x, float fb, float damp) {
    float y = buf[i];
    store = y * (1 - damp) + store * damp;
    buf[i] = x + store * fb;
    if (++i >= buf.size()) i = 0;
    return y;
  }
};
struct Allpass {
  std::vector<float> buf;
  size_t i = 0;
  float run(float x) {
    float b = buf[i];
    buf[i] = x + b * 0.5f;
    if (++i >= buf.size()) i = 0;
    return b - x;
  }
};

// Schroeder-Moorer reverb (eight combs, four all-passes per side).
inline void reverb(const Bus& in, Bus& out, float room, float damp, float gain) {
  const int combT[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  const int apT[4] = {556, 441, 341, 225};
  const int spread = 23, pre = int(0.02 * kRate);
  Comb cl[8], cr[8];
  Allpass al[4], ar[4];
  for (int k = 0; k < 8; ++k) {
    cl[k].buf.assign(size_t(combT[k]), 0.0f);
    cr[k].buf.assign(size_t(combT[k] + spread), 0.0f);
  }
  for (int k = 0; k < 4; ++k) {
    al[k].buf.assign(size_t(apT[k]), 0.0f);
    ar[k].buf.assign(size_t(apT[k] + spread), 0.0f);
  }
  for (size_t i = 0; i < out.size(); ++i) {
    float x = i >= size_t(pre) ? (in.l[i - pre] + in.r[i - pre]) * 0.015f : 0.0f;
    float l = 0, r = 0;
    for (int k = 0; k < 8; ++k) {
      l += cl[k].run(x, room, damp);
      r += cr[k].run(x, room, damp);
    }
    for (int k = 0; k < 4; ++k) {
      l = al[k].run(l);
      r = ar[k].run(r);
    }
    out.l[i] += l * gain;
    out.r[i] += r * gain;
  }
}

// Ping-pong delay with a darkening feedback path.
inline void pingPong(const Bus& in, Bus& out, double delaySec, float fb, float gain) {
  size_t d = size_t(delaySec * kRate);
  std::vector<float> dl(d, 0.0f), dr(d, 0.0f);
  float zl = 0, zr = 0;
  size_t p = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    float yl = dl[p], yr = dr[p];
    zl += 0.35f * (yl - zl);
    zr += 0.35f * (yr - zr);
    dl[p] = (in.l[i] + in.r[i]) * 0.5f + zr * fb;
    dr[p] = zl * fb;
    if (++p >= d) p = 0;
    out.l[i] += yl * gain;
    out.r[i] += yr * gain;
  }
}

}  // namespace tune
