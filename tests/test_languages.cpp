// Every text a learner sees is in the language chosen: the flags are clicked in turn and every
// control (caption, tool tip, list and chooser rows), every question asked and every message
// said since the click is searched for a text that belongs to another language only.
#include <algorithm>
#include <array>
#include <string_view>

#include "exchange/midi_file.h"
#include "exchange/midi_lesson.h"
#include "exchange/musicxml.h"
#include "window/contract.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr std::array<UiLanguage, 4> kLanguages{UiLanguage::German, UiLanguage::English,
                                               UiLanguage::Spanish, UiLanguage::Bavarian};

const char* nameOf(UiLanguage language) {
  switch (language) {
    case UiLanguage::German:
      return "German";
    case UiLanguage::English:
      return "English";
    case UiLanguage::Spanish:
      return "Spanish";
    case UiLanguage::Bavarian:
      return "Bavarian";
  }
  return "?";
}

ControlId flagOf(UiLanguage language) {
  switch (language) {
    case UiLanguage::English:
      return ControlId::Picture1;
    case UiLanguage::Spanish:
      return ControlId::Picture2;
    case UiLanguage::German:
      return ControlId::Picture3;
    case UiLanguage::Bavarian:
      return ControlId::Picture4;
  }
  return ControlId::Picture3;
}

const char* languageFileOf(UiLanguage language) {
  switch (language) {
    case UiLanguage::English:
      return "Data/Lang_ENG.txt";
    case UiLanguage::Spanish:
      return "Data/Lang_SPA.txt";
    case UiLanguage::German:
      return "Data/Lang_ger.txt";
    case UiLanguage::Bavarian:
      return "Data/LANG_BAY.TXT";
  }
  return "";
}

/// Whether `shown` is `pattern` with each "%1".."%9" standing for any text (also none).
bool fits(std::string_view shown, std::string_view pattern) {
  if (pattern.empty()) return shown.empty();
  if (pattern.size() >= 2 && pattern[0] == '%' && pattern[1] >= '1' && pattern[1] <= '9') {
    const std::string_view rest = pattern.substr(2);
    for (std::size_t skip = 0; skip <= shown.size(); ++skip)
      if (fits(shown.substr(skip), rest)) return true;
    return false;
  }
  return !shown.empty() && shown[0] == pattern[0] && fits(shown.substr(1), pattern.substr(1));
}

/// How many characters of the pattern are its own words rather than places for arguments.
std::size_t wordsIn(std::string_view pattern) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9') {
      ++i;
      continue;
    }
    if (pattern[i] != ' ' && pattern[i] != ':' && pattern[i] != '(' && pattern[i] != ')') ++n;
  }
  return n;
}

/// The texts of each language: the program's table and the language file shipped.
class Texts {
 public:
  explicit Texts(MemoryFiles& files) {
    for (UiLanguage language : kLanguages) {
      auto& mine = of_[std::size_t(language)];
      for (int id = 0; id < int(Text::Count); ++id) {
        const std::string text = uiText(language, Text(id), {"%1", "%2", "%3", "%4", "%5",
                                                             "%6", "%7", "%8", "%9"});
        // A pattern of little more than its arguments ("%1: %2") says nothing of a language.
        if (wordsIn(text) >= 4) mine.push_back(text);
      }
      if (const auto file = files.read(languageFileOf(language)))
        for (const auto& line : splitLines(*file))
          if (line.size() >= 4 && line[0] != '#') mine.push_back(line);
    }
  }

  /// A text of another language that `shown` reads as, and that is no text of `language`
  /// too; "" when there is none.
  std::string foreignIn(const std::string& shown, UiLanguage language) const {
    if (shown.empty()) return {};
    const auto& mine = of_[std::size_t(language)];
    for (const std::string& pattern : mine)
      if (fits(shown, pattern)) return {};
    for (UiLanguage other : kLanguages) {
      if (other == language) continue;
      for (const std::string& pattern : of_[std::size_t(other)]) {
        if (std::find(mine.begin(), mine.end(), pattern) != mine.end()) continue;
        // A long text is also looked for inside what is shown: a message quotes a reason.
        const bool inside = wordsIn(pattern) >= 12 && fits(shown, "%9" + pattern + "%9");
        if (inside || fits(shown, pattern))
          return std::string(nameOf(other)) + ": \"" + pattern + "\"";
      }
    }
    return {};
  }

 private:
  std::array<std::vector<std::string>, 4> of_;
};

/// A format 1 MIDI file whose header promises three tracks and holds two: a melody of C, D
/// and a note far below any button (pitch 20), and a bass track.
std::string midiWithRemarks() {
  auto track = [](std::string events) {
    events += std::string("\x00\xFF\x2F\x00", 4);
    const auto n = events.size();
    return std::string("MTrk") + char(n >> 24) + char(n >> 16 & 0xFF) + char(n >> 8 & 0xFF) +
           char(n & 0xFF) + events;
  };
  auto note = [](int pitch) {
    return std::string{0x00, char(0x90), char(pitch), 100} +
           std::string{char(0x60), char(0x80), char(pitch), 0};
  };
  return std::string("MThd\x00\x00\x00\x06\x00\x01\x00\x03\x00\x60", 14) +
         track(note(72) + note(74) + note(20)) + track(note(48));
}

class LanguageSweepTest : public FormTest {
 protected:
  Texts texts{files};
  std::vector<std::string> foreign;  ///< what was found, with where

  void check(const std::string& where, const std::string& shown, UiLanguage language) {
    if (const std::string found = texts.foreignIn(shown, language); !found.empty())
      foreign.push_back(std::string(nameOf(language)) + " window, " + where + ": \"" + shown +
                        "\" is " + found);
  }

  void checkControls(UiLanguage language) {
    for (const ControlInfo& info : controlTable()) {
      for (int i = 0; i < info.count; ++i) {
        const Control* c = form.control(info.id, i);
        if (!c) continue;
        const std::string where = std::string(info.name) + (info.count > 1 ? std::to_string(i) : "");
        check(where, c->caption, language);
        check(where + " tool tip", c->toolTip, language);
        if (info.kind == ControlKind::List || info.kind == ControlKind::Chooser)
          for (const auto& row : static_cast<const ListBox*>(c)->items)
            check(where + " row", row, language);
      }
    }
  }

  void checkMessagesSince(std::size_t first, UiLanguage language) {
    for (std::size_t i = first; i < form.status().problems().size(); ++i)
      check("message", form.status().problems()[i], language);
    check("status line", form.StatusLine.caption, language);
  }

  /// Answers the open dialogs the window asks for with `bytes` as a file, and every question
  /// with its first entry; each question and its entries are checked.
  void answerWith(const std::string& name, const std::string& bytes, UiLanguage language) {
    for (int round = 0; round < 4; ++round) {
      const auto requests = form.takeRequests();
      if (requests.empty()) return;
      for (const Request& r : requests) {
        check("question", r.title, language);
        if (r.kind == Request::Kind::OpenFile) {
          form.dispatch(Event::fileChosen(r.id, name, bytes));
        } else if (r.kind == Request::Kind::ChooseOne) {
          for (const auto& option : r.options) check("choice", option, language);
          form.dispatch(Event::chosen(r.id, 0));
        }
      }
    }
  }

  std::string found() const {
    std::string all;
    for (const auto& f : foreign) all += f + "\n";
    return all;
  }
};

TEST(LanguagePatternTest, ArgumentsStandForAnyTextAndWordsMustMatch) {
  EXPECT_TRUE(fits("Kein MIDI-Eingang", "Kein MIDI-Eingang"));
  EXPECT_TRUE(fits("Tonpuffer: 21 ms", "Tonpuffer: %1 ms"));
  EXPECT_TRUE(fits("Track 2: Bass (notes: 4)", "Track %1: %2 (notes: %3)"));
  EXPECT_TRUE(fits("a  b", "a %1 b"));
  EXPECT_FALSE(fits("Audio buffer: 21 ms", "Tonpuffer: %1 ms"));
  EXPECT_FALSE(fits("Tonpuffer: 21 ms!", "Tonpuffer: %1 ms"));
  EXPECT_EQ(wordsIn("%1: %2"), 0u);
  EXPECT_EQ(wordsIn("Spur %1"), 4u);
}

TEST_F(LanguageSweepTest, TheFinderSeesATextLeftInAnotherLanguage) {
  // The sweep below is only worth something if it can find what it looks for.
  form.dispatch(Event::click(ControlId::Picture1));
  form.InputChooser.items.push_back("Kein MIDI-Eingang");
  form.AudioInfo.caption = "Tonpuffer: 42 ms";
  checkControls(UiLanguage::English);
  EXPECT_NE(found().find("InputChooser row: \"Kein MIDI-Eingang\""), std::string::npos) << found();
  EXPECT_NE(found().find("AudioInfo: \"Tonpuffer: 42 ms\""), std::string::npos) << found();
}

TEST_F(LanguageSweepTest, EveryControlAndMessageFollowsEachFlag) {
  // German -> English -> Spanish -> Bavarian -> German in one session: a text set once when
  // the window is built, and never again, shows up in the second language at the latest.
  for (UiLanguage language : {UiLanguage::English, UiLanguage::Spanish, UiLanguage::Bavarian,
                              UiLanguage::German}) {
    const std::size_t first = form.status().problems().size();
    form.dispatch(Event::click(flagOf(language)));
    // Messages of each kind: a file refused, a note outside MIDI's range, the score refused
    // where no reader of XML is given.
    form.dispatch(Event::click(ControlId::MidiImport));
    answerWith("Broken", std::string("MThd\x00\x00\x00\x06\x00\x02\x00\x01\x00\x60", 14),
               language);
    form.dispatch(Event::click(ControlId::MidiImport));
    answerWith("Tune.musicxml", "<score-partwise/>", language);
    form.noteNumber = 130;
    form.Midi_Out_Send(0x90, 130, 100);
    ASSERT_GT(form.status().problems().size(), first + 2) << nameOf(language);
    checkMessagesSince(first, language);
    checkControls(language);
  }
  EXPECT_EQ(found(), "");
}

TEST_F(LanguageSweepTest, AnImportWithPartsWarningsAndRemarksSpeaksTheLanguage) {
  for (UiLanguage language : kLanguages) {
    Form1 fresh({&port, &files, nullptr, &clock});
    form = std::move(fresh);
    start();
    const std::size_t first = form.status().problems().size();
    form.dispatch(Event::click(flagOf(language)));
    form.dispatch(Event::click(ControlId::MidiImport));
    answerWith("Remarks", midiWithRemarks(), language);
    // The track count and the note without a button are said; the summary counts them.
    ASSERT_GE(form.status().problems().size(), first + 2) << nameOf(language);
    checkMessagesSince(first, language);
  }
  EXPECT_EQ(found(), "");
}

TEST(FormatLanguageTest, AFileFormatsReasonsComeInTheLanguageAsked) {
  std::string problem;
  EXPECT_FALSE(readMidiFile("RIFF", problem, UiLanguage::Spanish));
  EXPECT_EQ(problem, uiText(UiLanguage::Spanish, Text::WhyNotMidi));
  const auto file = readMidiFile(midiWithRemarks(), problem, UiLanguage::German);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->warnings.size(), 1u);
  EXPECT_EQ(file->warnings[0], "der Kopf nennt 3 Spuren; gefunden: 2");
  const auto parts = midiParts(*file, UiLanguage::Bavarian);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[1].label, "Spur 2 (T\xF6n: 1)");
  EXPECT_FALSE(zipMembers("PK", 1 << 20, problem, UiLanguage::German));
  EXPECT_EQ(problem, "kein Zip-Archiv");
}

TEST_F(FormTest, AnOutputThatIsGoneIsReportedOnceNotOnceANote) {
  port.failOpen = true;
  form.Midi_Out_Reset();
  const std::size_t after = form.status().problems().size();
  ASSERT_EQ(form.status().problems().back(), "MIDI: error 7");
  for (int i = 0; i < 20; ++i) clickKeys({3, 5});
  // Each note reopens (refused again) and sends on no handle: two reasons, each said once.
  ASSERT_EQ(form.status().problems().size(), after + 1) << form.StatusLine.toolTip;
  EXPECT_EQ(form.status().problems().back(), "MIDI: error 5");
  // Something else said in between: the output's failures are said again when they recur.
  form.status().report("Something else");
  clickKeys({3});
  ASSERT_EQ(form.status().problems().size(), after + 3) << form.StatusLine.toolTip;
  EXPECT_EQ(form.status().problems().back(), "MIDI: error 5");
}

}  // namespace

TEST(UiTextTest, WhatFillsAMarkIsNotReadForMarksAndAMarkWithoutArgumentStays) {
  // A file name that looks like a mark stays as it is; the reason goes where %2 stands.
  EXPECT_EQ(uiText(UiLanguage::English, Text::MsgImportRefused, {"100%2.mid", "damaged"}),
            "100%2.mid was not imported: damaged.");
  // A mark without an argument is left for the reader to see, not dropped.
  EXPECT_EQ(uiText(UiLanguage::English, Text::MsgImportRefused, {"Tune.mid"}),
            "Tune.mid was not imported: %2.");
}

TEST_F(LanguageSweepTest, TheMessageOnShowIsSaidAgainInTheLanguageChosen) {
  // The welcome quotes two captions; each flag says it again with the new captions.
  form.welcome();
  for (UiLanguage language : {UiLanguage::English, UiLanguage::Spanish, UiLanguage::Bavarian,
                              UiLanguage::German}) {
    form.dispatch(Event::click(flagOf(language)));
    EXPECT_EQ(form.StatusLine.caption,
              uiText(language, Text::MsgFirstStart, {form.Label8.caption, form.Practice.caption}))
        << nameOf(language);
    check("status line", form.StatusLine.caption, language);
  }
  // A refusal quotes its reason, and both follow the flag.
  form.dispatch(Event::click(ControlId::MidiImport));
  const auto requests = form.takeRequests();
  ASSERT_EQ(requests.size(), 1u);
  form.dispatch(Event::fileRefused(requests[0].id, "Huge", form.say(Text::WhyNotAPlainFile)));
  // Texts said while it is on show (a front end asks for its own, replay says tempi) do not
  // make it forget how the message was made.
  for (int i = 0; i < 100; ++i) form.say(Text::TipStatus);
  form.dispatch(Event::click(flagOf(UiLanguage::Spanish)));
  EXPECT_EQ(form.StatusLine.caption,
            uiText(UiLanguage::Spanish, Text::MsgImportRefused,
                   {"Huge", uiText(UiLanguage::Spanish, Text::WhyNotAPlainFile)}));
  // A message the program did not say from its table (a name alone) is left as it was.
  form.status().inform("Records_Demo.txt");
  form.dispatch(Event::click(flagOf(UiLanguage::English)));
  EXPECT_EQ(form.StatusLine.caption, "Records_Demo.txt");
  EXPECT_EQ(found(), "");
}
