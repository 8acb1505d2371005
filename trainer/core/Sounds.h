// The trainer's four sounds from "Geluiden": played asynchronously, a new one
// stopping the one still playing, a missing file silent. Preloaded at start.
//
// Threads: GUI thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class QSoundEffect;

namespace brimlink::trainer {

inline constexpr std::string_view kSoundOutputClick = "Klik 01.wav";
inline constexpr std::string_view kSoundInputClick = "Klik 02.wav";
inline constexpr std::string_view kSoundConnected = "Verbonden.wav";
inline constexpr std::string_view kSoundDisconnected = "Verbroken.wav";

class SoundPlayer {
 public:
  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  void Play(std::string_view fileName);

  // Every request, played or not, in order: a seam for tests.
  std::function<void(std::string_view)> onPlay;

 private:
  QSoundEffect* EffectFor(std::string_view fileName);
  std::map<std::string, std::unique_ptr<QSoundEffect>, std::less<>> effects_;
  QSoundEffect* playing_ = nullptr;
};

}  // namespace brimlink::trainer
