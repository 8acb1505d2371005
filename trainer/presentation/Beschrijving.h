// The description window "Info": eleven numbered option buttons for the
// numbers on a station's overview photograph, the chosen component's name and
// description, and "Sluiten". The window only shows and reports; the
// close-ups and the closing of the full-screen view are StationPhotoViewer's.
//
// Threads: GUI thread only.
#pragma once

#include <QPlainTextEdit>
#include <QTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "trainer/core/StationModel.h"

class QButtonGroup;

namespace brimlink::trainer {

struct ComponentDescription {
  std::string_view name;         // into Text_Benaming
  std::string_view description;  // into Text_Info
};

// The component that carries `number` (1..11) on the overview photograph of a
// single station. Nothing for the combined and the interface view, for a
// number outside 1..11, and for the conveyor belt's 9 to 11 (which empty both
// boxes).
std::optional<ComponentDescription> DescriptionOf(View view, int number);

// The picture literal of the close-up of `number` ("\Afbeeldingen\...
// cijfers 03.jpg"); the conveyor belt's 9 to 11 bring back its overview.
// "" where DescriptionOf has no station.
std::string CloseUpLiteral(View view, int number);

// The numbered overview photograph of a single station; "" for the others.
std::string OverviewLiteral(View view);

class Beschrijving final : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kNumbers = 11;
  static constexpr double kNamePoints = 12.0;
  static constexpr double kSmallestNamePoints = 9.0;

  // A top-level tool window on top of every other window (also of the
  // full-screen view, which must not be its parent: disabling that would
  // disable this window too).
  Beschrijving();

  // Wraps a long name onto a second line; a name that still does not fit
  // gets a smaller font, never below kSmallestNamePoints.
  QTextEdit* Text_Benaming = nullptr;
  QPlainTextEdit* Text_Info = nullptr;
  std::array<QRadioButton*, kNumbers + 1> Option_Nummers{};  // 1..11; element 0 unused
  QPushButton* CMD_Close = nullptr;

  // What a fresh opening shows: both boxes empty and no number chosen.
  void ClearChoice();
  void ShowDescription(const std::optional<ComponentDescription>& description);

  // Called with the number clicked (also when it was already chosen).
  std::function<void(int index)> onNumberClicked;
  // "Sluiten", Esc, or the window's close button.
  std::function<void()> onClose;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FitName();

  QButtonGroup* numbers_ = nullptr;
};

}  // namespace brimlink::trainer
