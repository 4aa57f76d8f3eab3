// Timings of the real window (Qt offscreen) with the built-in synthesizer: a mouse click to
// the note-on, the replay timer against its ideal tick times, and start-up.
// Each figure comes with a baseline measured in the same run.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bench_support.h"
#include "platform/disk_files.h"
#include "platform/fluid_synth_port.h"
#include "platform/main_view.h"
#include "platform/output_switch.h"
#include "platform/tablature_render.h"
#include "platform/working_folder.h"
#include "records/record_format.h"
#include "shell/text.h"
#include "tablature/tab_svg.h"

using namespace tastrello;
using SteadyClock = std::chrono::steady_clock;

namespace {

/// Passes everything to the synthesizer and notes when each note-on arrived.
class TimingPort : public MidiPort {
 public:
  explicit TimingPort(MidiPort& inner) : inner_(inner) {}
  std::vector<SteadyClock::time_point> noteOns;
  int open(int id, std::uint32_t& h) override { return inner_.open(id, h); }
  int send(std::uint32_t h, std::uint32_t word, SoundTime at) override {
    // The record's notes only: the metronome's clicks (channel 10) are not the step's.
    if ((word & 0xF0) == 0x90 && (word & 0x0F) != 9) noteOns.push_back(SteadyClock::now());
    return inner_.send(h, word, at);
  }
  int close(std::uint32_t h, SoundTime at) override { return inner_.close(h, at); }
  double leadSeconds() override { return inner_.leadSeconds(); }
  std::string errorText(int code) override { return inner_.errorText(code); }

 private:
  MidiPort& inner_;
};

struct Stats {
  double median, p99, max;
};

Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  auto at = [&](double q) {
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size() - 1)))];
  };
  return {at(0.5), at(0.99), v.back()};
}

double ms(SteadyClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void row(const char* what, const Stats& s, const char* unit = "ms") {
  std::printf("%-52s median %8.3f  p99 %8.3f  max %8.3f %s\n", what, s.median, s.p99, s.max, unit);
}

std::filesystem::path workingCopy() {
  const auto dir =
      std::filesystem::temp_directory_path() / ("tastrello-bench-" + std::to_string(getpid()));
  seedUserFolder(TASTRELLO_DATA, dir);
  return dir;
}

/// A mouse press and release on a button of the view: microseconds to its first note-on, kept
/// when the click sounded one.
void timeClick(QWidget* button, TimingPort& port, std::vector<double>& into) {
  port.noteOns.clear();
  QApplication::processEvents();  // the previous click's drawing is not this click's cost
  const auto start = SteadyClock::now();
  QTest::mousePress(button, Qt::LeftButton);
  QTest::mouseRelease(button, Qt::LeftButton);
  if (!port.noteOns.empty()) into.push_back(ms(port.noteOns.front() - start) * 1000);
}

void clickToSound(Form1& form, MainView& view, TimingPort& port) {
  std::vector<double> whole, logic;
  for (int i = 0; i < 1000; ++i) timeClick(view.keyWidget((i * 7) % kKeyCount), port, whole);
  for (int i = 0; i < 1000; ++i) {
    port.noteOns.clear();
    const auto start = SteadyClock::now();
    form.Keys_Click((i * 7) % kKeyCount);
    if (!port.noteOns.empty()) logic.push_back(ms(port.noteOns.front() - start) * 1000);
  }
  row("click to note-on: mouse on the view (us)", stats(whole), "us");
  row("click to note-on: Keys_Click alone, baseline (us)", stats(logic), "us");
}

void keyToSound(Form1& form, MainView& view, TimingPort& port) {
  // Keys of the default map, each pressed and released: the press's note-on is timed.
  const Qt::Key keys[] = {Qt::Key_A, Qt::Key_S, Qt::Key_Q, Qt::Key_W, Qt::Key_1, Qt::Key_2};
  std::vector<double> whole;
  view.keyWidget(0)->setFocus();
  for (int i = 0; i < 1000; ++i) {
    const Qt::Key key = keys[i % 6];
    port.noteOns.clear();
    QApplication::processEvents();
    const auto start = SteadyClock::now();
    QTest::keyPress(view.keyWidget(0), key);
    if (!port.noteOns.empty()) whole.push_back(ms(port.noteOns.front() - start) * 1000);
    QTest::keyRelease(view.keyWidget(0), key);
  }
  row("key press to note-on: computer key on the view (us)", stats(whole), "us");

  // A MIDI message as the input hands it over: from RtMidi's thread, queued to the window's.
  std::vector<double> midi;
  for (int i = 0; i < 1000; ++i) {
    const std::uint32_t pitch = 60 + static_cast<std::uint32_t>(i % 12);
    port.noteOns.clear();
    const auto start = SteadyClock::now();
    std::thread([&view, &form, pitch] {
      QMetaObject::invokeMethod(
          &view,
          [&view, &form, pitch] {
            form.MidiIn_Message(0x90u | pitch << 8 | 100u << 16);
            view.render();
          },
          Qt::QueuedConnection);
    }).join();
    while (port.noteOns.empty()) QApplication::processEvents();
    midi.push_back(ms(port.noteOns.front() - start) * 1000);
    form.MidiIn_Message(0x80u | pitch << 8);
  }
  row("MIDI note-on in to note-on out, across threads (us)", stats(midi), "us");
}

// The left hand beside the right, in the same run: the twelve-bass side in force, a bass
// button clicked, a treble button clicked with the side shown, and a bass key pressed.
void bassToSound(Form1& form, MainView& view, TimingPort& port) {
  form.chooseBassSide("Instrument_G-C-F_12-Bass.txt");
  view.render();
  int places = 0;
  for (const Control& button : form.BassKeys) places += button.visible ? 1 : 0;
  std::vector<double> bass, treble, key;
  for (int i = 0; i < 1000; ++i) {
    const int place = (i * 5) % places;
    timeClick(view.widgetFor(form.BassKeys[place]), port, bass);
    form.BassKeys_Click(place);  // let go: the next click holds again
  }
  for (int i = 0; i < 1000; ++i) timeClick(view.keyWidget((i * 7) % kKeyCount), port, treble);
  view.keyWidget(0)->setFocus();
  const Qt::Key keys[] = {Qt::Key_C, Qt::Key_V, Qt::Key_B, Qt::Key_N, Qt::Key_M, Qt::Key_F1};
  for (int i = 0; i < 1000; ++i) {
    port.noteOns.clear();
    QApplication::processEvents();
    const auto start = SteadyClock::now();
    QTest::keyPress(view.keyWidget(0), keys[i % 6]);
    if (!port.noteOns.empty()) key.push_back(ms(port.noteOns.front() - start) * 1000);
    QTest::keyRelease(view.keyWidget(0), keys[i % 6]);
  }
  row("bass click to note-on: mouse on the view (us)", stats(bass), "us");
  row("treble click to note-on, the bass side shown (us)", stats(treble), "us");
  row("bass key press to note-on: computer key (us)", stats(key), "us");
  form.chooseBassSide("");
}

void replayTiming(Form1& form, MainView& view, TimingPort& port, int speed, Qt::TimerType type,
                  const char* what) {
  view.wakeTimer().setTimerType(type);
  form.Speed.value = speed;
  form.Speed_Click();
  const int interval = 5150 - 200 * speed;
  form.Timer1.interval = interval;  // as after an earlier replay at this tempo
  form.StopReplay_Click();
  port.noteOns.clear();
  const int ticks = 60;
  const auto start = SteadyClock::now();
  form.PlayStop_Click();
  const int countIn = form.replay().countInLeft();  // the steps before the first event
  view.render();
  QElapsedTimer wait;
  wait.start();
  while (double(wait.elapsed()) < interval * (ticks + 0.5))
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  form.StopReplay_Click();
  view.render();
  // The first note-on of each tick: ticks play one chord of three notes each.
  std::vector<double> deviation;
  for (std::size_t n = 0; n * 3 < port.noteOns.size() && n < ticks; ++n) {
    const double ideal = double(n + std::size_t(countIn)) * double(interval);
    deviation.push_back(std::abs(ms(port.noteOns[n * 3] - start) - ideal));
  }
  if (deviation.empty()) return;
  char label[96];
  std::snprintf(label, sizeof label, "%s, %d ms x %zu ticks", what, interval, deviation.size());
  row(label, stats(deviation));
  std::printf("%-52s %8.3f ms\n", "   drift after the last tick", deviation.back());
}

void practiceResponse(Form1& form, MainView& view, Files& files) {
  // Keys of the map named by one letter or digit, so that a Qt key presses them.
  std::vector<std::pair<int, Qt::Key>> keyOf;  // position, key
  for (const auto& [name, position] : form.hands.keyMap.positions) {
    if (name.size() != 1) continue;
    const char c = name[0];
    if (c >= 'A' && c <= 'Z') keyOf.push_back({position, Qt::Key(Qt::Key_A + (c - 'A'))});
    if (c >= '0' && c <= '9') keyOf.push_back({position, Qt::Key(Qt::Key_0 + (c - '0'))});
  }
  // 200 chords of one or two buttons, each block in turn, from those places.
  std::vector<std::string> lines{"Notes_G-C-F.txt"};
  std::vector<std::vector<std::pair<int, Qt::Key>>> chords;
  for (int i = 0; i < kMaxEvents; ++i) {
    std::vector<std::pair<int, Qt::Key>> chord{keyOf[std::size_t(i * 7) % keyOf.size()]};
    if (i % 3 == 0) {
      const auto second = keyOf[std::size_t(i * 7 + 5) % keyOf.size()];
      if (second.first != chord[0].first) chord.push_back(second);
    }
    std::string buttons, names;
    const int base = i % 2 ? kButtonsPerBlock : 0;
    for (auto& [position, key] : chord) {
      char field[4];
      std::snprintf(field, sizeof field, "%02d/", base + position);
      buttons += field;
      names += right(form.Keys[base + position].caption, 3) + "/";
    }
    lines.insert(lines.end(), {buttons, names});
    chords.push_back(chord);
  }
  loadBenchRecord(form, files, "Records_Practice.txt", lines);
  form.setToggleValue(form.Practice, 1);
  form.PlayStop_Click();
  form.Timer1.enabled = true;
  view.wakeTimer().stop();  // the steps are driven here, not by the clock
  QWidget* target = view.keyWidget(0);
  target->setFocus();

  std::vector<double> response, tick;
  bool push = false;
  while (response.size() < 1000) {
    form.Timer1_Timer();  // count-in steps, then the first chord of a pass
    view.render();
    if (!form.practice.waiting) continue;
    for (int event = form.currentEvent(); event >= 1 && form.practice.waiting;) {
      const auto& chord = chords[std::size_t(event - 1)];
      const bool wantPush = event % 2 == 0;
      if (wantPush != push) {
        if (wantPush)
          QTest::keyPress(target, Qt::Key_Space);
        else
          QTest::keyRelease(target, Qt::Key_Space);
        push = wantPush;
      }
      for (std::size_t k = 0; k + 1 < chord.size(); ++k) QTest::keyPress(target, chord[k].second);
      QApplication::processEvents();
      const auto start = SteadyClock::now();
      QTest::keyPress(target, chord.back().second);  // the last right note
      const double took = ms(SteadyClock::now() - start) * 1000;
      const int next = form.currentEvent();
      if (next == event + 1 && form.Acco2[1].visible && form.practice.waiting)
        response.push_back(took);
      for (const auto& [position, key] : chord) QTest::keyRelease(target, key);
      event = next;
    }
  }
  // The replay step of the same window, drawn: what a tick costs when nobody waits.
  form.setToggleValue(form.Practice, 0);
  for (int i = 0; i < 1000; ++i) {
    QApplication::processEvents();
    const auto start = SteadyClock::now();
    form.Timer1_Timer();
    view.render();
    tick.push_back(ms(SteadyClock::now() - start) * 1000);
  }
  form.StopReplay_Click();
  view.render();
  row("last right key to the next chord's markers (us)", stats(response), "us");
  row("replay tick with its drawing, baseline (us)", stats(tick), "us");
}

/// Playing along the same record: each chord's last key is pressed at its step and judged at
/// once (its verdict drawn on its number, its buttons and the strip), beside the step itself.
void playAlongJudging(Form1& form, MainView& view) {
  std::vector<std::pair<int, Qt::Key>> keyOf;  // the keys of the map, by the place they play
  for (const auto& [name, position] : form.hands.keyMap.positions) {
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z')
      keyOf.push_back({position, Qt::Key(Qt::Key_A + (name[0] - 'A'))});
  }
  auto keyFor = [&](int button) {
    for (const auto& [position, key] : keyOf)
      if (position == button % kButtonsPerBlock) return key;
    return Qt::Key(0);
  };
  form.setToggleValue(form.PlayAlong, 1);
  form.PlayAlong_Click();
  form.PlayStop_Click();
  form.Timer1.enabled = true;
  view.wakeTimer().stop();  // the steps are driven here
  QWidget* target = view.keyWidget(0);
  target->setFocus();
  std::vector<double> judged, logic, step;
  PlayAlongJudge judge;
  bool push = false;
  while (judged.size() < 1000) {
    QApplication::processEvents();
    auto start = SteadyClock::now();
    form.Timer1_Timer();
    view.render();
    step.push_back(ms(SteadyClock::now() - start) * 1000);
    const int event = form.currentEvent();
    if (event < 1) continue;
    std::vector<Qt::Key> keys;
    bool wantPush = false;
    for (int b : buttonsOfLine(form.eventButtonLines[std::size_t(event)])) {
      keys.push_back(keyFor(b));
      wantPush = isPushButton(b);
    }
    if (keys.empty() || std::find(keys.begin(), keys.end(), Qt::Key(0)) != keys.end()) continue;
    if (wantPush != push) {
      if (wantPush)
        QTest::keyPress(target, Qt::Key_Space);
      else
        QTest::keyRelease(target, Qt::Key_Space);
      push = wantPush;
    }
    for (std::size_t k = 0; k + 1 < keys.size(); ++k) QTest::keyPress(target, keys[k]);
    QApplication::processEvents();
    const std::size_t verdicts = form.practice.verdicts.size();
    start = SteadyClock::now();
    QTest::keyPress(target, keys.back());
    view.render();
    const double took = ms(SteadyClock::now() - start) * 1000;
    if (form.practice.verdicts.size() > verdicts) judged.push_back(took);
    for (Qt::Key key : keys) QTest::keyRelease(target, key);
    // The judging alone: the chord's buttons held at its moment, judged at once.
    const std::vector<int> buttons = buttonsOfLine(form.eventButtonLines[std::size_t(event)]);
    const double moment = double(judged.size());
    judge.expect({event, moment, moment + 0.5, buttons, 1});
    start = SteadyClock::now();
    judge.held(moment + 0.01, buttons);
    const bool onTime = !judge.judge(moment + 0.01).empty();
    logic.push_back(ms(SteadyClock::now() - start) * 1000);
    judge.held(moment + 0.2, {});
    if (!onTime) std::printf("the judge gave no verdict for event %d\n", event);
  }
  form.StopReplay_Click();
  form.setToggleValue(form.PlayAlong, 0);
  form.PlayAlong_Click();
  form.setToggleValue(form.Metronome, 0);  // as it was
  view.render();
  row("last key of a chord to its verdict, drawn (us)", stats(judged), "us");
  row("the judge alone: a chord held, its verdict (us)", stats(logic), "us");
  row("replay step with its drawing, baseline (us)", stats(step), "us");
}

}  // namespace

int main(int argc, char** argv) {
  // Process start, for the start-up figures.
  std::ifstream statFile("/proc/self/stat");
  std::string field;
  for (int i = 0; i < 22 && statFile >> field; ++i) {
  }
  const double startTicks = std::stod(field);
  std::ifstream uptimeFile("/proc/uptime");
  double uptime = 0;
  uptimeFile >> uptime;
  const double sinceStartMs = (uptime - double(startTicks) / double(sysconf(_SC_CLK_TCK))) * 1000;
  const auto mainEntered = SteadyClock::now();

  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto dir = workingCopy();
  DiskFiles files(dir);
  FluidSynthPort::Options options;
  options.audioOutput = false;
  FluidSynthPort synth(options);
  TimingPort port(synth);
  Form1 form({&port, &files, nullptr});
  form.Form_Load();
  // Each step on its tick (a synthesizer without an audio output places nothing ahead): this
  // measures the window's own timing; the sound benchmark measures the steps prepared early,
  // at a sink.
  MainView view(form);
  view.show();
  form.Form_Activate();
  const auto synthReady = SteadyClock::now();
  QApplication::processEvents();
  const auto firstFrame = SteadyClock::now();
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;

  std::printf("Start-up (offscreen, FluidR3 SoundFont)\n");
  std::printf("%-52s %8.1f ms (process start to main: %.0f ms, clock ticks)\n",
              "   main to first frame", ms(firstFrame - mainEntered), sinceStartMs);
  std::printf("%-52s %8.1f ms\n", "   main to synthesizer ready", ms(synthReady - mainEntered));
  std::printf("%-52s %8.1f MB\n", "   resident memory after start",
              double(resident * sysconf(_SC_PAGESIZE)) / 1048576.0);

  {
    const auto start = SteadyClock::now();
    for (int i = 0; i < 1000; ++i) view.render();
    std::printf("%-52s %8.3f ms\n", "   one render of the whole window, state unchanged",
                ms(SteadyClock::now() - start) / 1000);
  }

  std::printf("\nClick to sound, 1000 clicks\n");
  clickToSound(form, view, port);
  std::printf("\nHands to sound, 1000 keys and 1000 MIDI notes\n");
  keyToSound(form, view, port);

  std::printf("\nThe left hand: 1000 bass clicks, 1000 treble clicks and 1000 bass keys\n");
  bassToSound(form, view, port);

  std::printf("\nPractice: 1000 chords played right on the computer keyboard\n");
  practiceResponse(form, view, files);
  std::printf("\nPlaying along: 1000 chords judged by their moments\n");
  playAlongJudging(form, view);

  std::printf("\nTablature of a 200-event record, 20 runs\n");
  {
    TabDocument document;
    document.title = "Bench";
    document.tuning = "G-C-F";
    for (int i = 0; i < 200; ++i) document.buttonLines.push_back(i % 5 ? "44/47/50/" : "10/13/");
    const std::string pdf = (dir / "bench.pdf").string();
    std::vector<double> whole, layout, svg, shown;
    QImage screen(654, 871, QImage::Format_RGB32);  // the tablature window's page
    for (int i = 0; i < 20; ++i) {
      int written = 0;
      auto start = SteadyClock::now();
      writeTabPdf(pdf, document, false, written);
      whole.push_back(ms(SteadyClock::now() - start));
      start = SteadyClock::now();
      const auto laid = layoutTablature(document);
      layout.push_back(ms(SteadyClock::now() - start));
      start = SteadyClock::now();
      const std::string page = tabPageSvg(document, laid, 0, {}, 7);
      svg.push_back(ms(SteadyClock::now() - start));
      // What the window does when replay moves on: the page with its mark, read and drawn.
      start = SteadyClock::now();
      QPainter painter(&screen);
      paintTabSvg(painter, page, QRectF(0, 0, 654, 871));
      painter.end();
      shown.push_back(ms(SteadyClock::now() - start));
    }
    row("200 events to a PDF file (ms)", stats(whole));
    row("their layout alone, baseline (ms)", stats(layout));
    row("a page as SVG text (ms)", stats(svg));
    row("a page read and drawn in the window (ms)", stats(shown));
  }

  // A record of 100 chords of three notes.
  std::vector<std::string> lines{"Notes_G-C-F.txt"};
  for (int i = 0; i < 100; ++i) lines.insert(lines.end(), {"44/47/50/", "c1/e1/g1/"});
  loadBenchRecord(form, files, "Records_Bench.txt", lines);
  form.PlayStop_Click();  // the first Play after a load starts with a rest tick; start afresh
  std::printf("\nReplay: deviation of each tick's first note-on from n x interval after Play\n");
  for (int speed : {25, 23}) {
    replayTiming(form, view, port, speed, Qt::PreciseTimer, "precise timer (the program)");
    replayTiming(form, view, port, speed, Qt::CoarseTimer, "coarse timer (baseline)");
  }
  std::filesystem::remove_all(dir);
  return 0;
}
