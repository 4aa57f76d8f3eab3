// The program's own texts in the language in force: the captions the language files do not
// hold, every tool tip (also the accessible description), the help boards and the tempo.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

/// The tool tips of the buttons and switches, which the language files do not hold.
void sayToolTips(Form1& w) {
  const std::pair<Control*, Text> tips[] = {{&w.Record, Text::TipRecord},
                                              {&w.CancelRec, Text::TipCancel},
                                              {&w.SaveRecord, Text::TipSave},
                                              {&w.NextRecord, Text::TipCommit},
                                              {&w.EditBreak, Text::TipRestPlay},
                                              {&w.EditMute, Text::TipRestMute},
                                              {&w.KillNote, Text::TipDelete},
                                              {&w.ReEd, Text::TipAfresh},
                                              {&w.PlayStop, Text::TipPlay},
                                              {&w.Break, Text::TipPause},
                                              {&w.StopReplay, Text::TipStop},
                                              {&w.MinusIns, Text::TipMinus},
                                              {&w.PlusIns, Text::TipPlus},
                                              {&w.Picture1, Text::TipEnglish},
                                              {&w.Picture2, Text::TipSpanish},
                                              {&w.Picture3, Text::TipGerman},
                                              {&w.Picture4, Text::TipBavarian},
                                              {&w.Copyright, Text::TipCredits},
                                              {&w.SoundOnOff, Text::TipSound},
                                              {&w.Check4, Text::TipCut},
                                              {&w.Check1, Text::TipNotes},
                                              {&w.Check3, Text::TipNumbers},
                                              {&w.Check2, Text::TipHelp},
                                              {&w.RecordLession, Text::TipLessons},
                                              {&w.Speed, Text::TipSpeed},
                                              {&w.SaveName, Text::TipName},
                                              {&w.InstrumentList, Text::TipInstruments},
                                              {&w.KeyboardPlay, Text::TipKeyboardPlay},
                                              {&w.KeyLetters, Text::TipKeyLetters},
                                              {&w.TabView, Text::TipTab},
                                              {&w.Practice, Text::TipPractice},
                                              {&w.PlayAlong, Text::TipPlayAlong},
                                              {&w.PracticeTempo, Text::TipPracticeTempo},
                                              {&w.Calibrate, Text::TipCalibrate},
                                              {&w.CountInClick, Text::TipCountIn},
                                              {&w.Metronome, Text::TipMetronome},
                                              {&w.SectionFirst, Text::TipSectionFirst},
                                              {&w.SectionLast, Text::TipSectionLast},
                                              {&w.SectionAll, Text::TipSectionAll},
                                              {&w.MidiExport, Text::TipExport},
                                              {&w.MidiImport, Text::TipMidiImport}};
  for (const auto& [control, text] : tips) control->toolTip = w.say(text);
}

}  // namespace

StatusReports& Form1::status() {
  status_.showOn({&StatusLine.caption, &StatusLine.toolTip, &StatusCount.caption, &StatusCount.toolTip});
  return status_;
}

void Form1::applyOwnTexts() {
  Label13.caption = say(Text::SoundCaption);
  Check1.caption = say(Text::NotesCaption);
  Check3.caption = say(Text::NumbersCaption);
  Check2.caption = say(Text::HelpCaption);
  InstrumentHeading.caption = say(Text::InstrumentHeading);
  KeyboardPlay.caption = say(Text::KeyboardPlayCaption);
  KeyLetters.caption = say(Text::KeyLettersCaption);
  TabView.caption = say(Text::TabCaption);
  Practice.caption = say(Text::PracticeCaption);
  PlayAlong.caption = say(Text::PlayAlongCaption);
  Calibrate.caption = say(Text::CalibrateCaption);
  PracticeRamp.caption = say(Text::RampCaption);
  CountInClick.caption = say(Text::CountInCaption);
  Metronome.caption = say(Text::MetronomeCaption);
  SectionFirst.caption = say(Text::SectionFirstCaption);
  SectionLast.caption = say(Text::SectionLastCaption);
  SectionAll.caption = say(Text::SectionAllCaption);
  PracticeChart.caption = say(Text::ChartCaption);
  MidiExport.caption = say(Text::ExportCaption);
  MidiImport.caption = say(Text::ImportCaption);
  NeverShow.caption = say(Text::NeverShowCaption);
  // The line under the transport names the loaded record once there is one.
  const std::string prefix = left(Label2.caption, 6);
  if (!Label2.caption.empty() && prefix != "Record" && prefix != "Lesson")
    Label2.caption = say(Text::ReplayCaption);
  showHelpBoards();

  sayToolTips(*this);
  updateStateTips();
  updateKeyTips();
  Speed_Click();

  if (PlayAlong.value == 1)
    showAlongScore();
  else
    showPassScore();
  fillMeterChoosers();
  showPracticePanel();
  TabSavePdf.toolTip = TabSaveSvg.toolTip = say(Text::TipTab);
  fillChoosers();
  AudioTimer_Timer();
}

void Form1::showHelpBoards() {
  const KeyMap& map = hands.keyMap;
  Tafel1.caption =
      say(Text::HelpChords, {keyLabel(map.commit), keyLabel(map.restPlay), keyLabel(map.restMute)});
  Tafel2.caption = say(Text::HelpList);
}

void Form1::updateStateTips() {
  RepIns.toolTip = say(RepIns.picture == pictures::kInsert ? Text::TipInsert : Text::TipReplace);
  PlayMode.toolTip = say(PlayMode.picture == pictures::kRepeat ? Text::TipRepeat : Text::TipSingle);
  Expand.toolTip = say(panelExpanded ? Text::TipCollapse : Text::TipExpand);
}

void Form1::updateKeyTips() {
  for (int i = 0; i < kKeyCount; ++i)
    Keys[i].toolTip = say(i < kKeyCount / 2 ? Text::TipPull : Text::TipPush, {Keys[i].caption});
  showBassSide();
}

std::string Form1::eventsPerMinuteText(int intervalMs) {
  const double perMinute = 60000.0 / intervalMs;
  // Slow tempi keep a decimal, so that each step of the slider shows.
  return decimalText(perMinute, perMinute < 20 ? 1 : 0);
}

}  // namespace tastrello
