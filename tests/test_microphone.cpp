// The microphone in the window object, driven as a front end drives it: the input chooser
// offers it beside the MIDI ports and keeps the choice; the window asks for the capture and is
// sent its sound (here from the shared fake microphone, chords made of reed-like partials);
// practice waits for the chord heard, playing along judges its onset, the editor records the
// chords heard on the step grid, and calibration measures how late the microphone hears.
#include <chrono>

#include "listen/listening.h"
#include "synthetic_sound.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr int kRate = 48000;
constexpr std::size_t kBlock = kRate / 50;  // 20 ms, as the desktop's view sends it
constexpr const char* kSettings = "Data/Tastrel.Ini";

/// A chord heard from `at` (seconds of the window's clock) for `length` seconds.
struct HeardChord {
  double at;
  std::vector<int> buttons;
  double length = 0.4;
};

}  // namespace

class MicrophoneTest : public FormTest {
 protected:
  FakeOutputs outputs;
  FakeSoundIn microphone;
  /// The window's clock at the capture's first sample, and the moment the next sample is of.
  double captureStarts = 0, heardUntil = 0;
  std::vector<Request> otherRequests;

  void SetUp() override {
    microphone.sources = {{"alsa_input.usb-Zoom_H1", "Zoom H1"}};
    form.services.outputs = &outputs;
    form.services.sources = &microphone;
    FormTest::SetUp();
    answerRequests();
  }

  int entry(const std::string& label) const {
    const auto& items = form.InputChooser.items;
    const auto it = std::find(items.begin(), items.end(), label);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
  }
  void choose(const std::string& label) {
    const int index = entry(label);
    ASSERT_GE(index, 0) << label;
    form.dispatch(Event::choose(ControlId::InputChooser, index));
    answerRequests();
  }
  void chooseMicrophone() { choose(form.say(Text::MicrophoneCaption)); }

  /// Answers the window's requests for the microphone as a front end does: the fake captures,
  /// and what it captures goes to the window as Sound events on the window's clock.
  void answerRequests() {
    for (Request& r : form.takeRequests()) {
      if (r.kind == Request::Kind::CloseSoundInput) {
        microphone.close();
      } else if (r.kind == Request::Kind::OpenSoundInput) {
        captureStarts = heardUntil = clock.now;
        const std::string why = microphone.open(
            r.name, kRate, [this](const float* samples, std::size_t count, SoundIn::Clock::time_point at) {
              const double moment = captureStarts + std::chrono::duration<double>(at - microphone.origin).count();
              clock.now = std::max(clock.now, moment + double(count) / kRate);  // captured by now
              form.dispatch(Event::sound(std::vector<float>(samples, samples + count), kRate, moment));
            });
        if (!why.empty()) form.dispatch(Event::fileRefused(r.id, r.name, why));
      } else {
        otherRequests.push_back(std::move(r));
      }
    }
  }

  std::vector<int> pitchesOf(const std::vector<int>& buttons) {
    std::vector<int> pitches;
    for (int b : buttons) pitches.push_back(*form.keyNote(b));
    std::sort(pitches.begin(), pitches.end());
    return pitches;
  }
  /// The microphone hears the chords (each reed twice, a few cents apart, over faint noise)
  /// until the moment `until`.
  void hear(const std::vector<HeardChord>& chords, double until) {
    ASSERT_TRUE(microphone.isOpen());
    std::vector<SyntheticNote> notes;
    for (const HeardChord& chord : chords)
      for (int pitch : pitchesOf(chord.buttons)) notes.push_back({chord.at - heardUntil, chord.length, pitch, 0.05});
    SyntheticSound sound;
    sound.reeds = {0, 7};
    sound.noiseLevel = 0.001;
    sound.seed = static_cast<std::uint32_t>(heardUntil * 1000);
    const std::vector<float> samples = synthesize(notes, sound, until - heardUntil);
    heardUntil += double(samples.size()) / kRate;
    ASSERT_TRUE(microphone.play(samples, kBlock));
  }
  void hearSilence(double until) { hear({}, until); }

  std::string settingsText() const {
    const auto it = files.files.find(kSettings);
    return it == files.files.end() ? "" : it->second;
  }
};

TEST_F(MicrophoneTest, TheChooserOffersTheMicrophonesAndTheChoiceOpensOneKeptForTheNextStart) {
  EXPECT_GE(entry(form.say(Text::MicrophoneOf, {"Zoom H1"})), 0);
  chooseMicrophone();
  EXPECT_EQ(microphone.log, std::vector<std::string>{"OPEN  48000"});
  EXPECT_NE(settingsText().find("MICROPHONE:\r\nDEFAULT\r\n"), std::string::npos) << settingsText();
  EXPECT_TRUE(form.MicLevel.visible || !form.InstrumentList.visible);
  EXPECT_FALSE(form.MicLevel.caption.empty());

  // A microphone chosen first learns the instrument: the first chord to play is asked for.
  listen::Listening listening(form.buttonNotes(), form.keyCaptions());
  listening.startTuning();
  EXPECT_EQ(form.StatusLine.caption, listening.say(listening.tuningStep(), UiLanguage::German));

  // The meter follows what the microphone hears.
  hearSilence(clock.now + 0.2);
  const std::string quiet = form.MicLevel.caption;
  hear({{heardUntil, {44, 47, 50}, 0.5}}, heardUntil + 0.3);
  EXPECT_NE(form.MicLevel.caption, quiet);

  // The next start opens it again and shows it chosen.
  Form1 again({&port, &files, &outputs, &clock, nullptr, nullptr, nullptr, &microphone});
  again.Form_Load();
  again.Form_Activate();
  const auto requests = again.takeRequests();
  EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const Request& r) {
    return r.kind == Request::Kind::OpenSoundInput && r.name.empty();
  }));
  EXPECT_EQ(again.InputChooser.items.at(std::size_t(again.InputChooser.selected)), again.say(Text::MicrophoneCaption));
}

TEST_F(MicrophoneTest, AMicrophoneOfTheSystemIsKeptByItsNameAndAMidiPortChosenClosesIt) {
  choose(form.say(Text::MicrophoneOf, {"Zoom H1"}));
  EXPECT_EQ(microphone.log, std::vector<std::string>{"OPEN alsa_input.usb-Zoom_H1 48000"});
  EXPECT_NE(settingsText().find("MICROPHONE:\r\nalsa_input.usb-Zoom_H1\r\n"), std::string::npos);

  choose(form.say(Text::MidiInNone));
  EXPECT_EQ(microphone.log.back(), "CLOSE");
  EXPECT_EQ(settingsText().find("MICROPHONE:\r\nalsa"), std::string::npos);
  EXPECT_TRUE(form.MicLevel.caption.empty());
  // Sound still on its way when it closed is not listened to.
  form.dispatch(Event::sound(std::vector<float>(kBlock, 0.5f), kRate, clock.now));
  EXPECT_TRUE(form.MicLevel.caption.empty());
}

TEST_F(MicrophoneTest, AMicrophoneThatCannotBeOpenedSaysWhy) {
  microphone.refuse = "device busy";
  chooseMicrophone();
  EXPECT_NE(form.StatusLine.caption.find("device busy"), std::string::npos) << form.StatusLine.caption;
}

TEST_F(MicrophoneTest, PracticeWaitsForTheChordHeardAndSaysWhatWasWrong) {
  loadEvents({"44/47/50/", "10/13/"});
  chooseMicrophone();
  form.clickToggle(form.Practice);
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  ASSERT_EQ(form.currentEvent(), 1);

  // The buttons with the bellows the wrong way: still waiting, and told so.
  double at = heardUntil + 0.3;
  hear({{at, {10, 13, 16}}}, at + 0.8);
  EXPECT_EQ(form.currentEvent(), 1);
  EXPECT_EQ(form.Keys[10].backColor, kWrongDirectionColour);
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::BellowsPull)), std::string::npos) << form.StatusLine.caption;

  // The chord as it is: practice goes on to the next and waits for it.
  at = heardUntil + 0.2;
  hear({{at, {44, 47, 50}}}, at + 0.8);
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_TRUE(form.practice.waiting);
  EXPECT_EQ(form.practice.wanted, (std::vector<int>{10, 13}));
}

TEST_F(MicrophoneTest, PlayingAlongJudgesTheMomentTheChordSounded) {
  loadEvents({"44/47/50/", "47/50/53/"});
  chooseMicrophone();
  form.clickToggle(form.PlayAlong);
  form.PracticeTempo.value = 60;
  form.PracticeTempo_Click();
  form.PlayStop_Click();
  double t1 = 0;
  for (int i = 0; i < 20 && form.currentEvent() != 1; ++i) {
    hearSilence(clock.now + 1.0);
    form.Timer1_Timer();
    t1 = clock.now;
  }
  ASSERT_EQ(form.currentEvent(), 1);
  // 60 ms late; the verdict comes once the chord was heard long enough.
  hear({{t1 + 0.060, {44, 47, 50}, 0.8}}, t1 + 0.7);
  ASSERT_GE(form.ZahlenSchirm.rowNotes.size(), 1u);
  EXPECT_NEAR(std::stoi(form.ZahlenSchirm.rowNotes[0]), 60, 15) << form.ZahlenSchirm.rowNotes[0];
  EXPECT_EQ(form.Keys[44].backColor, kRightKeyColour);
}

TEST_F(MicrophoneTest, TheEditorRecordsTheChordsHeardWithRestsOnTheStepGrid) {
  chooseMicrophone();
  form.Record_Click();
  const double step = form.pace().stepInterval() / 1000.0;
  const double at = heardUntil + 0.3;
  hear({{at, {44, 47, 50}, 0.6 * step}, {at + step, {10, 13}, 0.6 * step}, {at + 4 * step, {44, 47, 50}, 0.6 * step}},
       at + 5 * step);
  const auto& lines = form.ShadowListe3.items;
  ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[2], kBreakPlay);
  EXPECT_EQ(lines[3], kBreakPlay);
  for (std::size_t i : {0u, 1u, 4u}) {
    const std::vector<int> buttons = buttonsOfLine(lines[i]);
    ASSERT_FALSE(buttons.empty()) << i;
    EXPECT_EQ(pitchesOf(buttons), pitchesOf(i == 1 ? std::vector<int>{10, 13} : std::vector<int>{44, 47, 50})) << i;
    // The sound does not tell the bellows where both sides have the notes: they are laid
    // on one side, the one the chord before was on where it can.
    for (int b : buttons) EXPECT_EQ(isPushButton(b), isPushButton(buttons[0])) << i;
  }
}

TEST_F(MicrophoneTest, CalibrationMeasuresHowLateTheMicrophoneHearsTheClicks) {
  chooseMicrophone();
  form.Calibrate_Click();
  const std::string asked = form.StatusLine.caption;
  const double interval = form.CalibrationTimer.interval / 1000.0;
  constexpr double kLate = 0.047;
  int clicks = 0;
  for (int k = 0; k < 30 && form.CalibrationTimer.enabled; ++k) {
    hearSilence(heardUntil + interval);
    const std::size_t before = port.log.size();
    form.CalibrationTimer_Timer();  // a click played now, heard kLate later; or the end
    if (port.log.size() == before) continue;
    ++clicks;
    std::vector<float> burst(std::size_t(interval * kRate), 0.0f);
    for (std::size_t i = 0; i < kRate / 500; ++i) burst[std::size_t(kLate * kRate) + i] = i % 2 ? 0.4f : -0.4f;
    ASSERT_TRUE(microphone.play(burst, kBlock));
    heardUntil += double(burst.size()) / kRate;
  }
  EXPECT_FALSE(form.CalibrationTimer.enabled);
  EXPECT_EQ(asked, form.say(Text::MsgCalibrateMicrophone, {std::to_string(clicks)}));
  EXPECT_NE(settingsText().find("MIC-LATENCY:\r\n47\r\n"), std::string::npos) << settingsText();
  EXPECT_NE(form.StatusLine.caption.find("47"), std::string::npos) << form.StatusLine.caption;
}

TEST_F(MicrophoneTest, AMicrophoneLatencyOutOfReachInTheSettingsIsRefusedWithItsReason) {
  files.files[kSettings] = "MIC-LATENCY:\r\n5000\r\nMICROPHONE:\r\nDEFAULT\r\n";
  Form1 again({&port, &files, &outputs, &clock, nullptr, nullptr, nullptr, &microphone});
  again.Form_Load();
  EXPECT_NE(again.StatusLine.caption.find("MIC-LATENCY"), std::string::npos) << again.StatusLine.caption;
  EXPECT_NE(again.StatusLine.caption.find("5000"), std::string::npos);
}

TEST_F(MicrophoneTest, ASynthesizerProblemHandedOverWithTheLatencyIsStillSaid) {
  FakeAudio audio;
  audio.next.latencyMs = 20;
  audio.next.problems = {"fluidsynth: warning: the voice limit was reached"};
  form.services.audio = &audio;
  chooseMicrophone();
  form.Calibrate_Click();
  form.CalibrationTimer_Timer();  // the first click: the output's latency is taken with it
  ASSERT_GE(audio.reports, 1);
  const auto& problems = form.status().problems();
  EXPECT_NE(std::find(problems.begin(), problems.end(),
                      form.say(Text::MsgSynthProblem, {"fluidsynth: warning: the voice limit was reached"})),
            problems.end());
}

TEST_F(MicrophoneTest, TheInstrumentsAKeptInTheSettingsComesBackAndOneOutOfRangeIsSaid) {
  const auto restarted = [&](const std::string& value) {
    files.files[kSettings] += "MIC-A:\r\n" + value + "\r\n";
    auto again = std::make_unique<Form1>(
        Services{&port, &files, &outputs, &clock, nullptr, nullptr, nullptr, &microphone});
    again->Form_Load();
    again->Form_Activate();
    return again;
  };
  const auto choiceOf = [](const Form1& f) {
    for (const auto& [key, value] : f.choicesInForce())
      if (key == "MIC-A:") return value;
    return std::string("none");
  };
  EXPECT_EQ(choiceOf(form), "440.0");
  EXPECT_EQ(choiceOf(*restarted("442.5")), "442.5");
  const auto refused = restarted("500");
  EXPECT_EQ(choiceOf(*refused), "440.0");
  const auto& problems = refused->status().problems();
  EXPECT_NE(std::find(problems.begin(), problems.end(),
                      refused->say(Text::MsgSettingsChoiceRefused, {"Data/Tastrel.Ini", "MIC-A: 500"})),
            problems.end());
}
