#include "tools/artwork/Sounds.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brimlink::artwork {

namespace {

// A fixed linear congruential generator, so the noise of the clicks is the
// same on every run and every platform.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  double Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<double>(state_ >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  }

 private:
  std::uint32_t state_;
};

int SamplesFor(double seconds) { return static_cast<int>(std::lround(seconds * kSampleRate)); }

std::vector<std::int16_t> ToPcm(const std::vector<double>& signal, double peak) {
  double loudest = 0.0;
  for (const double value : signal) loudest = std::max(loudest, std::abs(value));
  const double gain = loudest > 0.0 ? peak / loudest : 0.0;
  std::vector<std::int16_t> pcm;
  pcm.reserve(signal.size());
  for (const double value : signal) {
    pcm.push_back(static_cast<std::int16_t>(std::lround(std::clamp(value * gain, -1.0, 1.0) * 32767.0)));
  }
  return pcm;
}

// A noise burst through a two-pole resonator at `pitch` Hz with a fast
// exponential decay: a dry mechanical click. The resonance frequency and the
// decay tell the two clicks apart.
std::vector<std::int16_t> Click(double pitch, double resonance, double decayMs, std::uint32_t seed) {
  Noise noise(seed);
  const int count = SamplesFor(0.015);
  const double omega = 2.0 * std::numbers::pi * pitch / kSampleRate;
  const double a1 = 2.0 * resonance * std::cos(omega);
  const double a2 = -resonance * resonance;
  double y1 = 0.0;
  double y2 = 0.0;
  std::vector<double> signal;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double envelope = std::exp(-t * 1000.0 / decayMs);
    const double y = noise.Next() * envelope + a1 * y1 + a2 * y2;
    y2 = y1;
    y1 = y;
    signal.push_back(y);
  }
  // The last millisecond fades to zero so the click ends without a tick.
  const int fade = SamplesFor(0.001);
  for (int i = 0; i < fade; ++i) signal[count - 1 - i] *= static_cast<double>(i) / fade;
  return ToPcm(signal, 0.7);
}

// Two sine notes with a soft bell envelope and a little second harmonic.
std::vector<std::int16_t> TwoTone(double first, double second) {
  const double noteSeconds = 0.15;
  std::vector<double> signal;
  for (const double frequency : {first, second}) {
    const int count = SamplesFor(noteSeconds);
    for (int i = 0; i < count; ++i) {
      const double t = static_cast<double>(i) / kSampleRate;
      const double attack = std::min(1.0, t / 0.005);
      const double release = std::min(1.0, (noteSeconds - t) / 0.02);
      const double envelope = attack * release * std::exp(-t * 6.0);
      const double phase = 2.0 * std::numbers::pi * frequency * t;
      signal.push_back(envelope * (std::sin(phase) + 0.25 * std::sin(2.0 * phase)));
    }
  }
  return ToPcm(signal, 0.6);
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<std::uint8_t>& out, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

}  // namespace

std::vector<Sound> MakeSounds() {
  return {
      {"Klik 01.wav", Click(1800.0, 0.96, 2.5, 0x5eed0001u)},
      {"Klik 02.wav", Click(4200.0, 0.92, 1.5, 0x5eed0002u)},
      // Rising fifth (E5, B5) on connecting, falling (B5, E5) on disconnecting.
      {"Verbonden.wav", TwoTone(659.25, 987.77)},
      {"Verbroken.wav", TwoTone(987.77, 659.25)},
  };
}

std::vector<std::uint8_t> EncodeWave(const std::vector<std::int16_t>& samples) {
  constexpr std::uint32_t kChannels = 1;
  constexpr std::uint32_t kBitsPerSample = 16;
  constexpr std::uint32_t kBlockAlign = kChannels * kBitsPerSample / 8;
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * kBlockAlign);
  std::vector<std::uint8_t> out;
  out.reserve(44 + dataBytes);
  PutTag(out, "RIFF");
  PutLe(out, 36 + dataBytes, 4);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, kChannels, 2);
  PutLe(out, kSampleRate, 4);
  PutLe(out, kSampleRate * kBlockAlign, 4);
  PutLe(out, kBlockAlign, 2);
  PutLe(out, kBitsPerSample, 2);
  PutTag(out, "data");
  PutLe(out, dataBytes, 4);
  for (const std::int16_t sample : samples) PutLe(out, static_cast<std::uint16_t>(sample), 2);
  return out;
}

}  // namespace brimlink::artwork
