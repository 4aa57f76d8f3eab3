// The window on a real X server of the test's own: the server, cores kept busy by spinning
// processes, and a learner who plays at chosen moments while the record plays along, on keys the
// X test extension presses or on a MIDI instrument (midi_learner.h). Shared by the X11 tests and
// the benchmark of the keys' timing.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes.h"
#include "platform/key_names.h"
#include "platform/main_view.h"
#include "x_keys.h"

namespace tastrello::testing {

/// An X server of the test's own; `display` is empty when none could be started.
struct XServer {
  pid_t pid = -1;
  std::string display;
  std::string why;
  int reading_ = -1;

  XServer() {
    int fds[2];
    if (::pipe(fds) != 0) {
      why = "no pipe";
      return;
    }
    pid = ::fork();
    if (pid == 0) {
      // The server dies with the test, however the test ends, and keeps none of its output
      // streams: an orphan holding them would keep the test runner waiting for ever.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
               "1400x900x24", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char buffer[16] = {};
    pollfd ready{fds[0], POLLIN, 0};
    const bool told = pid > 0 && ::poll(&ready, 1, 20000) == 1;
    const ssize_t n = told ? ::read(fds[0], buffer, sizeof buffer - 1) : -1;
    reading_ = fds[0];  // kept open: the server may write to it again, and dies of a closed pipe
    if (n <= 0) {
      why =
          "Xvfb could not be started or named no display in 20 s (is the xvfb package "
          "installed?)";
      return;
    }
    display = ":" + std::string(buffer, std::size_t(n));
    while (!display.empty() && (display.back() == '\n' || display.back() == ' '))
      display.pop_back();
  }
  ~XServer() {
    if (reading_ >= 0) ::close(reading_);
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

/// The server of the test binary, started by its main.
inline XServer* xServer = nullptr;

/// Before QApplication: the test's own connections to the server are used from a second thread.
inline void prepareX(const XServer& server) {
  initXThreads();
  if (!server.display.empty()) {
    setenv("DISPLAY", server.display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  } else {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
}

/// `count` processes spinning for as long as this lives (or the test does): the cores busy.
class BusyCores {
 public:
  explicit BusyCores(int count) {
    for (int i = 0; i < count; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        volatile unsigned long spins = 0;
        for (;;) spins = spins + 1;
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  ~BusyCores() {
    for (pid_t pid : pids_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  BusyCores(const BusyCores&) = delete;
  BusyCores& operator=(const BusyCores&) = delete;

 private:
  std::vector<pid_t> pids_;
};

/// Runs the window's event loop (as the program's own loop runs it) until `ready`, at most
/// `timeoutMs`.
inline bool runUntil(const std::function<bool()>& ready, int timeoutMs) {
  if (ready()) return true;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (ready()) loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  poll.start(20);
  loop.exec();
  return ready();
}

/// The X key code of a key by the name the key map gives it (0: none).
inline unsigned keycodeOf(const std::string& name) {
  for (unsigned code = 8; code < 256; ++code)
    if (physicalKeyName(code, 0, true) == name) return code;
  return 0;
}

/// A key or note sent down or up at a moment of the window object's clock.
struct KeyAction {
  double at = 0;
  unsigned code = 0;  ///< the key's X key code, or the note's pitch
  bool down = true;
  std::size_t chord = 0;  ///< whose key it is
  double sent = 0;        ///< the clock read just before it was sent: its true moment
  double answered = 0;    ///< by when the system had taken it
};

/// What the learner plays on: keys, or a MIDI instrument.
class Learner {
 public:
  virtual ~Learner() = default;
  virtual bool ready() const = 0;
  /// The code that plays `button` of the window object, whose key's place is `key`.
  virtual unsigned codeOf(Form1& form, const std::string& key, int button) const = 0;
  /// Sends a code down or up at once; returns the moment (on the standard clock) by which the
  /// system had taken it.
  virtual double send(unsigned code, bool down) = 0;
  /// What the instrument sends of itself while nothing is played, between two actions.
  virtual void idle() {}
  /// Whether the window gets what is played as key events.
  virtual bool typesKeys() const { return false; }
};

/// Keys the X test extension presses on the server, on a connection of their own.
class XKeyboard : public Learner {
 public:
  explicit XKeyboard(const std::string& display) : keys_(display) {}
  bool ready() const override { return keys_.open(); }
  bool typesKeys() const override { return true; }
  unsigned codeOf(Form1&, const std::string& key, int) const override { return keycodeOf(key); }
  double send(unsigned code, bool down) override {
    keys_.send(code, down);  // back once the server has taken it
    return StandardClock().seconds();
  }

 private:
  XKeys keys_;
};

/// Sends the actions at their moments, from a thread of its own.
class KeyPresser {
 public:
  KeyPresser(Learner& learner, std::vector<KeyAction> actions)
      : actions_(std::move(actions)), thread_([this, &learner] { run(learner); }) {}
  ~KeyPresser() { thread_.join(); }
  bool done() const { return done_; }
  /// Once done: the actions with the moments they were sent.
  const std::vector<KeyAction>& actions() const { return actions_; }
  bool failed() const { return failed_; }

 private:
  void run(Learner& learner) {
    failed_ = !learner.ready();
    StandardClock clock;
    for (KeyAction& a : actions_) {
      if (failed_) break;
      if (a.at - clock.seconds() > 0.1) {
        sleepUntil(clock, (clock.seconds() + a.at) / 2);
        learner.idle();
      }
      // Slept to just before the moment, then waited out, so that the key leaves on time.
      sleepUntil(clock, a.at - 0.0015);
      while (clock.seconds() < a.at) {
      }
      a.sent = clock.seconds();
      a.answered = learner.send(a.code, a.down);
    }
    done_ = true;
  }
  static void sleepUntil(StandardClock& clock, double moment) {
    for (double left = moment - clock.seconds(); left > 0.0005; left = moment - clock.seconds())
      std::this_thread::sleep_for(std::chrono::duration<double>(left));
  }

  std::vector<KeyAction> actions_;
  std::atomic<bool> failed_{false}, done_{false};
  std::thread thread_;
};

/// When the window's thread got each key press, before the view saw it: the moment a key was
/// judged by before keys carried their stamps.
class TakenMoments : public QObject {
 public:
  explicit TakenMoments(Form1& form) : form_(form) { qApp->installEventFilter(this); }
  ~TakenMoments() override { qApp->removeEventFilter(this); }
  std::vector<double> presses;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    // A key event goes past the filter once for each widget it is offered to: counted once.
    if (event->type() == QEvent::KeyPress) {
      const auto stamp = static_cast<QKeyEvent*>(event)->timestamp();
      if (stamp != last_) presses.push_back(form_.now());
      last_ = stamp;
    }
    return false;
  }

 private:
  Form1& form_;
  unsigned long last_ = 0;
};

/// How far the judged deviations are from the truth, in ms. The truth is the clock read just
/// before the key was sent; the server stamps the key when it takes it, at most `serverLag` later
/// (when its answer was back).
struct KeyTimingErrors {
  std::vector<double> stamped;    ///< each press: judged minus pressed
  std::vector<double> serverLag;  ///< each press: from sending it to the server's answer
  std::vector<double> taken;      ///< each press: had it been judged by when the thread took it
  std::vector<double> releases;   ///< each early release: judged minus true (how early)
  std::vector<double> releaseLag;
};

inline double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(share * double(values.size())));
  return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline double largest(const std::vector<double>& values) {
  double most = 0;
  for (double v : values) most = std::max(most, std::abs(v));
  return most;
}

/// Every press judged between the moment it was sent and the moment its server had carried it,
/// and every early release no earlier than it was let go (a release stamped later is judged as
/// less early), each within `withinMs`. A learner lets go early once a bar but for the last.
inline void expectJudgedByTheTruth(const KeyTimingErrors& errors, std::size_t chords,
                                   double withinMs) {
  ASSERT_EQ(errors.stamped.size(), chords);
  for (std::size_t i = 0; i < errors.stamped.size(); ++i) {
    EXPECT_GE(errors.stamped[i], -withinMs) << "press " << i;
    EXPECT_LE(errors.stamped[i], errors.serverLag[i] + withinMs) << "press " << i;
  }
  ASSERT_EQ(errors.releases.size(), chords / 4 - 1);
  for (std::size_t i = 0; i < errors.releases.size(); ++i) {
    EXPECT_LE(errors.releases[i], withinMs) << "release " << i;
    EXPECT_GE(errors.releases[i], -errors.releaseLag[i] - withinMs) << "release " << i;
  }
}

/// The real window with the real clock playing a record along; the learner is the X test
/// extension, pressing each chord's key at a chosen offset from its moment.
class AlongOnX {
 public:
  /// The chords' offsets, cycled (ms): early, on the beat, late, later.
  static constexpr int kOffsets[] = {-40, 0, 25, 60};
  /// Every fourth chord is held through a ringing rest and let go this long before its end.
  static constexpr double kLetGoEarly = 0.300;

  /// The learner presses keys on the server `display` (the X test extension).
  explicit AlongOnX(const std::string& display)
      : AlongOnX(std::make_unique<XKeyboard>(display)) {}
  /// The learner plays `learner`; the window's MIDI input takes its ports from `midiSystem`.
  explicit AlongOnX(std::unique_ptr<Learner> learner,
                    RtMidiRawOut::System midiSystem = RtMidiRawOut::System::Alsa)
      : learner_(std::move(learner)) {
    files.loadShippedData();
    form.Form_Load();
    form.Form_Activate();
    view = std::make_unique<MainView>(form, nullptr, midiSystem);
    view->show();
    view->activateWindow();
  }

  bool active() {
    return runUntil([this] { return view->isActiveWindow(); }, 10000);
  }

  /// Plays `chords` chords of one key each along at `bpm`; "" or what went wrong. With
  /// `windowBusyMs`, the window's own thread is that long busy of every 50 ms while they are
  /// played (drawing a heavy page, say).
  std::string play(int chords, int bpm, KeyTimingErrors& errors, int windowBusyMs = 0) {
    loadRecord(chords);
    if (!tryTheKeys()) return "the keys tried before Play did not come back up";
    TakenMoments taken(form);
    QTimer busyWindow;
    QObject::connect(&busyWindow, &QTimer::timeout, [windowBusyMs] {
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(windowBusyMs);
      while (std::chrono::steady_clock::now() < until) {
      }
    });
    if (windowBusyMs > 0) busyWindow.start(50);
    Grid grid;
    if (std::string problem = start(bpm, grid); !problem.empty()) return problem;
    std::vector<Chord> planned = chords_;
    const std::vector<KeyAction> actions = plan(grid, planned);
    KeyPresser presser(*learner_, actions);
    std::vector<TimedVerdict> verdicts;
    const std::size_t expected = planned.size() + std::size_t(heldCount());
    const bool finished = runUntil(
        [&] {
          if (form.practice.verdicts.size() >= expected && verdicts.empty())
            verdicts = form.practice.verdicts;  // before the next pass clears them
          return presser.done() && !verdicts.empty();
        },
        // A bound against a hang, not a judgement: a window starved by a busy machine (or a
        // sanitizer) may take long to come to the last verdict.
        int((actions.back().at - form.now()) * 1000) + 40000);
    view->send(Event::click(ControlId::StopReplay));
    if (presser.failed()) return "the learner could not play (no display, or no instrument)";
    if (!finished) return "only " + std::to_string(form.practice.verdicts.size()) + " verdicts";
    return collect(planned, presser.actions(), learner_->typesKeys(), taken.presses, verdicts,
                   errors);
  }

  FakePort port;
  MemoryFiles files;
  Form1 form{{&port, &files}};
  std::unique_ptr<MainView> view;

 private:
  struct Chord {
    int event = 0;  ///< in the record
    unsigned code = 0;  ///< the learner's for its button
    bool held = false;
    double due = 0;   ///< when the learner's key is right on time
    double ends = 0;  ///< when its hold ends
  };

  /// Each key of the record tapped once before Play, as a learner tries the buttons: the view
  /// learns the server's clock from the keys it is given (the first key of a session counts
  /// from when it is taken).
  bool tryTheKeys() {
    std::vector<KeyAction> taps;
    double at = form.now() + 0.05;
    for (const Chord& c : chords_) {
      if (std::any_of(taps.begin(), taps.end(),
                      [&](const KeyAction& a) { return a.code == c.code; }))
        continue;
      taps.push_back({at, c.code, true});
      taps.push_back({at += 0.1, c.code, false});
      at += 0.1;
    }
    KeyPresser presser(*learner_, taps);
    return runUntil(
        [&] { return presser.done() && form.hands.keysDown.empty() && form.hands.pitches.empty(); },
        10000);
  }

  /// Replay's grid once it runs: the moment of its next step, which event that step brings, and
  /// the step's length.
  struct Grid {
    double next = 0;
    int nextEvent = 0;
    double step = 0;
  };

  /// Play-along switched on at `bpm` and Play pressed, as a learner does; after the first tick
  /// replay keeps its grid, and the chords' moments are known.
  std::string start(int bpm, Grid& grid) {
    view->send(Event::click(ControlId::PlayAlong));
    view->send(Event::value(ControlId::PracticeTempo, bpm));
    if (form.PlayAlong.value != 1 || form.practice.tempo != bpm) return "play-along did not start";
    view->send(Event::click(ControlId::PlayStop));
    const int counted = form.replayPosition;  // before the first event: the count-in
    if (!runUntil([&] { return form.replayPosition > counted; }, 10000)) return "replay stood";
    grid = {form.Timer1.due, form.replayPosition + 1, form.Timer1.interval / 1000.0};
    return {};
  }

  /// Each chord's key pressed at its offset from the chord's moment and let go (a held chord
  /// early), in the order of their moments.
  std::vector<KeyAction> plan(const Grid& grid, std::vector<Chord>& planned) const {
    std::vector<KeyAction> actions;
    for (std::size_t i = 0; i < planned.size(); ++i) {
      Chord& c = planned[i];
      c.due = grid.next + (c.event - grid.nextEvent) * grid.step + form.practice.offsetSeconds;
      c.ends = c.due + (c.held ? 2 : 1) * grid.step;
      const double down = c.due + kOffsets[i % std::size(kOffsets)] / 1000.0;
      const double up = c.held ? c.ends - kLetGoEarly : down + 0.2;
      actions.push_back({down, c.code, true, i});
      actions.push_back({up, c.code, false, i});
    }
    std::sort(actions.begin(), actions.end(),
              [](const KeyAction& a, const KeyAction& b) { return a.at < b.at; });
    return actions;
  }

  int heldCount() const {
    return int(
        std::count_if(chords_.begin(), chords_.end(), [](const Chord& c) { return c.held; }));
  }

  /// Single buttons of the pull, one key each, every fourth held through a ringing rest.
  void loadRecord(int chords) {
    const std::vector<std::string> keys{"A", "S", "D", "F"};
    std::vector<std::string> lines{"Notes_G-C-F.txt"};
    chords_.clear();
    int event = 0;
    for (int i = 0; i < chords; ++i) {
      const std::string& key = keys[std::size_t(i) % keys.size()];
      const int button = form.hands.keyMap.positions.at(key);
      char line[8];
      std::snprintf(line, sizeof line, "%02d/", button);
      lines.push_back(line);
      lines.push_back(right(form.Keys[std::size_t(button)].caption, 3) + "/");
      const bool held = i % 4 == 3 && i + 1 < chords;
      chords_.push_back({++event, learner_->codeOf(form, key, button), held});
      if (held) {
        lines.push_back(kBreakPlay);
        ++event;
      }
    }
    lines.insert(lines.end(), {kEndMarker, " "});
    files.files["Records/Records_T.txt"] = joinLines(lines);
    form.refreshFileList(form.RecordList);
    const auto& items = form.RecordList.items;
    const auto row = std::find(items.begin(), items.end(), "Records_T.txt") - items.begin();
    view->send(Event::row(ControlId::RecordList, int(row)));
  }

  /// The verdicts as "event:timing:ms" for a message.
  static std::string listed(const std::vector<TimedVerdict>& verdicts) {
    std::string out;
    for (const TimedVerdict& v : verdicts)
      out += std::to_string(v.event) + ":" + std::to_string(int(v.timing)) + ":" +
             std::to_string(v.ms) + " ";
    return out;
  }

  /// `keys`: the presses reached the window as key events, each `taken` at its moment.
  static std::string collect(const std::vector<Chord>& planned, const std::vector<KeyAction>& sent,
                             bool keys, const std::vector<double>& taken,
                             const std::vector<TimedVerdict>& verdicts, KeyTimingErrors& errors) {
    auto verdictOf = [&](int event, bool release) -> const TimedVerdict* {
      for (const TimedVerdict& v : verdicts) {
        const bool onset =
            v.timing == Timing::OnTime || v.timing == Timing::Early || v.timing == Timing::Late;
        if (v.event == event && (release ? v.timing == Timing::LetGoEarly : onset)) return &v;
      }
      return nullptr;
    };
    std::size_t presses = 0;
    for (const KeyAction& a : sent) {
      const Chord& c = planned[a.chord];
      const TimedVerdict* v = verdictOf(c.event, !a.down);
      if (a.down) {
        if (!v)
          return "event " + std::to_string(c.event) +
                 " was not judged as played: " + listed(verdicts);
        const double truth = (a.sent - c.due) * 1000;
        errors.stamped.push_back(v->ms - truth);
        errors.serverLag.push_back((a.answered - a.sent) * 1000);
        if (presses < taken.size()) errors.taken.push_back((taken[presses] - a.sent) * 1000);
        ++presses;
      } else if (c.held) {
        if (!v)
          return "event " + std::to_string(c.event) +
                 " was not judged let go early: " + listed(verdicts);
        errors.releases.push_back(v->ms - (c.ends - a.sent) * 1000);
        errors.releaseLag.push_back((a.answered - a.sent) * 1000);
      }
    }
    if (keys && taken.size() != presses)
      return std::to_string(taken.size()) + " presses reached the window of " +
             std::to_string(presses);
    return {};
  }

  std::unique_ptr<Learner> learner_;
  std::vector<Chord> chords_;
};

}  // namespace tastrello::testing
