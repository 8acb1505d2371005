#include "trainer/core/Sounds.h"

#include <QSoundEffect>
#include <QUrl>

#include "trainer/core/DataFolders.h"

namespace brimlink::trainer {

namespace {

constexpr std::string_view kSoundFolder = "Geluiden";

std::string SoundFile(std::string_view fileName) {
  return ResolveLiteral(DataFolder(), std::string(kSoundFolder) + "/" + std::string(fileName));
}

}  // namespace

// Loading takes a while (the effect decodes the whole file), so the four
// sounds are loaded at start and a click plays at once.
SoundPlayer::SoundPlayer() {
  for (const std::string_view name : {kSoundOutputClick, kSoundInputClick, kSoundConnected, kSoundDisconnected}) {
    EffectFor(name);
  }
}

SoundPlayer::~SoundPlayer() {
  playing_ = nullptr;
  for (auto& [name, effect] : effects_) effect->stop();
}

void SoundPlayer::Play(std::string_view fileName) {
  if (onPlay) onPlay(fileName);
  if (playing_ != nullptr) {
    playing_->stop();
    playing_ = nullptr;
  }
  // A missing file is silent: there is no system sound to fall back to.
  QSoundEffect* effect = EffectFor(fileName);
  if (effect == nullptr) return;
  effect->play();
  playing_ = effect;
}

// Null when the file is not there; looked up again on the next request, so a
// sound put in place while the program runs is found.
QSoundEffect* SoundPlayer::EffectFor(std::string_view fileName) {
  if (const auto found = effects_.find(fileName); found != effects_.end()) return found->second.get();
  const std::string path = SoundFile(fileName);
  if (path.empty()) return nullptr;
  auto effect = std::make_unique<QSoundEffect>();
  effect->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
  QSoundEffect* result = effect.get();
  effects_.emplace(std::string(fileName), std::move(effect));
  return result;
}

}  // namespace brimlink::trainer
