// The Qt window: a widget for each control of the window object's table, drawn from its state;
// the widgets' clicks, rows, text, values and keys sent to the window object as events; its
// requests answered (file dialogs, the MIDI input, the tablature's files); and one timer that
// wakes the window object when it says it is next due.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/key_repeats.h"
#include "platform/rtmidi_port.h"
#include "platform/sound_in.h"
#include "platform/stamp_clock.h"
#include "window/form1.h"

class QListWidgetItem;

namespace tastrello {

class RtMidiInput;
class TablatureView;

/// Twips to pixels at 96 dots per inch.
inline int px(int twips) {
  return twips / 15;
}

class MainView : public QWidget {
  Q_OBJECT

 public:
  /// `midiSystem`: where the MIDI input's ports are (JACK for the tests that run a server).
  explicit MainView(Form1& form, QWidget* parent = nullptr,
                    RtMidiRawOut::System midiSystem = RtMidiRawOut::System::Alsa);
  ~MainView() override;

  /// Sends an event to the window object, then answers its requests, draws what it left and
  /// sets the wake-up. Returns whether the event was taken.
  bool send(const Event& event);
  /// After the window object was changed directly (start-up): requests, drawing, wake-up.
  void settle();
  /// Brings every widget in line with the state.
  void render();

  /// The microphone the window object's requests open (none: they are refused). Kept for the
  /// view's life.
  void useMicrophone(SoundIn& microphone) { microphone_ = &microphone; }

  QWidget* keyWidget(int index) const;
  QWidget* widgetFor(const Control& control) const;
  /// The one timer that wakes the window object (its timers and replay steps).
  QTimer& wakeTimer() { return wake_; }
  TablatureView& tablature() { return *tablature_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void closeEvent(QCloseEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  /// Keys anywhere in the window reach the window object first: the keys its map claims play.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Binding {
    QWidget* widget;
    ControlId id;
    int index;
    std::function<void()> update;  ///< the kind's own state: text, items, value
  };
  /// A key let go, held back until it is known not to be half of a repeat: X11 without
  /// detectable auto-repeat sends a release and a press with the same time stamp for every
  /// repeat of a key held down.
  struct Release {
    std::string key;
    unsigned keycode;  ///< the system's own number of the key
    unsigned long timestamp;
    double at;  ///< when it was let go, on the window object's clock
  };

  /// Builds a widget for every control of the table, in its order.
  void build();
  QWidget* makeWidget(const ControlInfo& info, int index, QWidget* parent);
  /// Keeps `update` to bring the widget in line with its control; gives the widget back.
  QWidget* bindWidget(QWidget* w, ControlId id, int index, std::function<void()> update);
  // One maker for each kind of control.
  QWidget* makeLabel(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeButton(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makePicture(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeToggle(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeList(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeTextField(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeSlider(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeChooser(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeChart(const ControlInfo& info, int index, Control& c, QWidget* parent);
  QWidget* makeKey(const ControlInfo& info, int index, Control& c, QWidget* parent);
  const Control& state(const Binding& b) const { return *form_.control(b.id, b.index); }
  bool onKey(QKeyEvent* key, bool press);
  /// Tells the window object what the learner's keyboard layout prints on the keys, when the
  /// window system says and it changed since last told.
  void tellKeyLayout();
  /// When the key's event happened, from the system's stamp; -1 when it has none (an event
  /// Qt made up).
  double momentOf(const QKeyEvent& key);
  /// Tells the releases held back that are known to be let go, in their order.
  void settleReleases();
  /// Tells every release held back (another key was pressed, or the window lost the keys).
  void flushReleases();
  void tellReleases(const std::function<bool(const Release&)>& letGo);
  void armWake();
  void answer(const Request& request);
  void openFile(const Request& request);
  void saveFile(const Request& request);
  void saveTablature(const Request& request);
  void openMidiInput(const Request& request);
  void openSoundInput(const Request& request);
  void closeSoundInput();
  /// On the capture's thread: keeps what came, and has the window's thread send it once a
  /// block's worth is kept.
  void keepSound(const float* samples, std::size_t count, SoundIn::Clock::time_point capturedAt);
  /// On the window's thread: the sound kept, as one event.
  void sendSound();
  /// Marks a row of an event list with its bellows direction: a sign, a tint, a tool tip.
  void markBellows(QListWidgetItem& item, Bellows bellows) const;
  /// The system beep, and a flash of the status line: many desktops play no bell.
  void showBeep();

  Form1& form_;
  std::vector<Binding> bindings_;
  std::vector<QWidget*> keys_;
  std::vector<QWidget*> markers_;
  std::unique_ptr<TablatureView> tablature_;
  RtMidiRawOut::System midiSystem_;
  // Before the input: RtMidi's thread may add to them until the input is gone.
  std::mutex midiMutex_;  ///< guards the messages below: RtMidi's thread adds to them
  std::vector<std::pair<std::uint32_t, double>> midiTaken_;  ///< not yet handed over, in order
  std::unique_ptr<RtMidiInput> input_;
  /// Hands the window object every MIDI message taken so far, in the order taken.
  void deliverMidi();
  SoundIn* microphone_ = nullptr;
  std::mutex soundMutex_;       ///< guards the four below: the capture's thread fills them
  std::vector<float> soundKept_;
  double soundKeptAt_ = 0;      ///< the moment of its first sample, on the window object's clock
  bool soundPosted_ = false;    ///< a send is on its way to the window's thread
  std::uint64_t soundOpening_ = 0;  ///< counts the openings: sound of one closed is dropped
  QTimer wake_, flashTimer_;
  std::vector<Release> releases_;
  std::unique_ptr<ServerKeyOrder> keyOrder_;
  StampClock stamps_;
  bool settling_ = false;
  std::string toldKeyLayout_;
  int shownLeftShift_ = 0;
  int heldBack_ = 0;    ///< pixels of a left move that the screen's edge prevented
  int beepsShown_ = 0;  ///< the window object's beeps the view has sounded
};

}  // namespace tastrello
