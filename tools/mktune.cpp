// Renders the soundtrack to a 16-bit stereo WAV: mktune OUT.wav [seconds]
#include "tunesong.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

void put32(std::ofstream& f, uint32_t v) {
  char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  f.write(b, 4);
}
void put16(std::ofstream& f, uint16_t v) {
  char b[2] = {char(v), char(v >> 8)};
  f.write(b, 2);
}

bool writeWav(const char* path, const tune::Bus& b) {
  std::ofstream f(path, std::ios::binary);
  if (!f) return false;
  const uint32_t frames = uint32_t(b.size()), bytes = frames * 4;
  f.write("RIFF", 4);
  put32(f, 36 + bytes);
  f.write("WAVEfmt ", 8);
  put32(f, 16);
  put16(f, 1);
  put16(f, 2);
  put32(f, tune::kRate);
  put32(f, tune::kRate * 4);
  put16(f, 4);
  put16(f, 16);
  f.write("data", 4);
  put32(f, bytes);
  // Triangular dither from a fixed seed: quiet fades stay smooth and the
  // file is still identical on every run.
  tune::Rng rng(0x5eedu);
  std::vector<char> pcm(static_cast<size_t>(bytes));
  for (size_t i = 0; i < b.size(); ++i) {
    for (int c = 0; c < 2; ++c) {
      float v = (c ? b.r[i] : b.l[i]) * 32767.0f + (rng.uni() - rng.uni());
      long s = std::lround(std::clamp(v, -32768.0f, 32767.0f));
      pcm[i * 4 + size_t(c) * 2] = char(s & 0xff);
      pcm[i * 4 + size_t(c) * 2 + 1] = char((s >> 8) & 0xff);
    }
  }
  f.write(pcm.data(), std::streamsize(pcm.size()));
  return bool(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.wav [seconds]\n", argv[0]);
    return 2;
  }
  double seconds = argc > 2 ? std::atof(argv[2]) : tune::kLength;
  tune::Bus mix = tune::renderTune(seconds);
  if (!writeWav(argv[1], mix)) {
    std::fprintf(stderr, "mktune: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
