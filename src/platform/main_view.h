// The Qt window: draws every control of the window object from its state, forwards clicks,
// text changes and timer ticks to the handlers, and renders again after each of them.
#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "shell/main_window.h"

class QLabel;
class QListWidget;
class QComboBox;
class QListWidgetItem;

namespace tastrello {

class OutputSwitch;
class RtMidiInput;
class TablatureView;

/// Twips to pixels at 96 dots per inch.
inline int px(int twips) {
  return twips / 15;
}

class MainView : public QWidget {
  Q_OBJECT

 public:
  /// `outputs` may be null (tests); then the panel offers no output choice.
  MainView(Form1& form, OutputSwitch* outputs, QWidget* parent = nullptr);
  ~MainView() override;

  /// Brings every widget in line with the state.
  void render();

  QWidget* keyWidget(int index) const;
  QWidget* widgetFor(const Control& control) const;
  QTimer& replayTimer() { return timer1_; }
  /// How early each replay step is prepared (0: on its time, as the benchmark's baseline).
  void setReplayLead(std::chrono::milliseconds lead) { replayLead_ = lead; }
  TablatureView& tablature() { return *tablature_; }
  /// Opens the MIDI input the settings name (the real program; tests leave it closed).
  void openMidiInput(const std::string& port);

 protected:
  void paintEvent(QPaintEvent*) override;
  void closeEvent(QCloseEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  /// Keys anywhere in the window reach the hands first: the keys the map claims play.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Binding {
    QWidget* widget;
    const Control* control;
    std::function<void()> update;  ///< the kind's own state: text, items, value
  };

  void buildWidgets();
  void wire();
  template <typename W>
  W* add(W* widget, const Control& control, std::function<void()> update = {});
  /// Runs a handler, then renders the state it left.
  template <typename Handler>
  void run(Handler&& handler) {
    handler();
    render();
  }
  void syncTimer(QTimer& timer, const Timer& state);
  /// Replay steps come at n x interval from the start (or from a restart), each prepared
  /// `replayLead_` early: its notes go to the synthesizer with their time and the window draws
  /// the step when it sounds, so a busy window thread does not make the notes late.
  void syncReplayTimer();
  void armReplayStep();
  void replayStep();
  /// The tuning chooser offers the note layouts of the list, the choice in force selected.
  void syncTuningChooser();
  /// Marks a row of an event list with its bellows direction: a sign, a tint, a tool tip.
  void markBellows(QListWidgetItem& item, Bellows bellows) const;
  /// The file choosers of the MIDI buttons; the window object does the rest.
  void exportMidiFile();
  void importMidiFile();
  /// The system beep, and a flash of the status line: many desktops play no bell.
  void showBeep();

  Form1& form_;
  OutputSwitch* outputs_;
  std::vector<Binding> bindings_;
  std::vector<QWidget*> keys_;
  std::vector<QWidget*> markers_;
  QComboBox* outputChooser_ = nullptr;
  QComboBox* inputChooser_ = nullptr;
  QComboBox* tuningChooser_ = nullptr;
  QComboBox* bufferChooser_ = nullptr;
  std::unique_ptr<TablatureView> tablature_;
  std::vector<std::string> tuningsShown_;  ///< the layouts the tuning chooser offers
  std::string tuningsLanguage_;
  std::unique_ptr<RtMidiInput> input_;
  QLabel* outputInfo_ = nullptr;
  QTimer timer1_, splashTimer_, scrollTimer_, flashTimer_;
  QTimer adaptTimer_;  ///< lets the automatic audio buffer grow after dropouts
  using Clock = std::chrono::steady_clock;
  QTimer drawTimer_;  ///< draws a step prepared early when it sounds
  Clock::time_point replayDue_;
  std::chrono::milliseconds replayLead_{40};
  bool replayRunning_ = false;
  unsigned replayRestarts_ = 0;
  int shownLeftShift_ = 0;
  int heldBack_ = 0;    ///< pixels of a left move that the screen's edge prevented
  int beepsShown_ = 0;  ///< the window object's beeps the view has sounded
};

}  // namespace tastrello
