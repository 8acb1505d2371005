// The trainer's four sounds, synthesised: 16-bit PCM mono at 22050 Hz,
// written as plain RIFF/WAVE files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brimlink::artwork {

constexpr int kSampleRate = 22050;

struct Sound {
  std::string fileName;
  std::vector<std::int16_t> samples;
};

// "Klik 01.wav", "Klik 02.wav", "Verbonden.wav", "Verbroken.wav".
std::vector<Sound> MakeSounds();

// The complete file: RIFF header, "fmt " chunk, "data" chunk.
std::vector<std::uint8_t> EncodeWave(const std::vector<std::int16_t>& samples);

}  // namespace brimlink::artwork
