// The program's own texts in the language in force: the captions the language files do not
// hold, every tool tip (also the accessible description), the help boards and the tempo.
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

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

  const std::pair<Control*, Text> tips[] = {{&Record, Text::TipRecord},
                                            {&CancelRec, Text::TipCancel},
                                            {&SaveRecord, Text::TipSave},
                                            {&NextRecord, Text::TipCommit},
                                            {&EditBreak, Text::TipRestPlay},
                                            {&EditMute, Text::TipRestMute},
                                            {&KillNote, Text::TipDelete},
                                            {&ReEd, Text::TipAfresh},
                                            {&PlayStop, Text::TipPlay},
                                            {&Break, Text::TipPause},
                                            {&StopReplay, Text::TipStop},
                                            {&MinusIns, Text::TipMinus},
                                            {&PlusIns, Text::TipPlus},
                                            {&Picture1, Text::TipEnglish},
                                            {&Picture2, Text::TipSpanish},
                                            {&Picture3, Text::TipGerman},
                                            {&Picture4, Text::TipBavarian},
                                            {&Copyright, Text::TipCredits},
                                            {&SoundOnOff, Text::TipSound},
                                            {&Check4, Text::TipCut},
                                            {&Check1, Text::TipNotes},
                                            {&Check3, Text::TipNumbers},
                                            {&Check2, Text::TipHelp},
                                            {&RecordLession, Text::TipLessons},
                                            {&Speed, Text::TipSpeed},
                                            {&SaveName, Text::TipName},
                                            {&InstrumentList, Text::TipInstruments},
                                            {&KeyboardPlay, Text::TipKeyboardPlay},
                                            {&KeyLetters, Text::TipKeyLetters},
                                            {&TabView, Text::TipTab},
                                            {&Practice, Text::TipPractice},
                                            {&PlayAlong, Text::TipPlayAlong},
                                            {&PracticeTempo, Text::TipPracticeTempo},
                                            {&Calibrate, Text::TipCalibrate},
                                            {&CountInClick, Text::TipCountIn},
                                            {&Metronome, Text::TipMetronome},
                                            {&SectionFirst, Text::TipSectionFirst},
                                            {&SectionLast, Text::TipSectionLast},
                                            {&SectionAll, Text::TipSectionAll},
                                            {&MidiExport, Text::TipExport},
                                            {&MidiImport, Text::TipMidiImport}};
  for (const auto& [control, text] : tips) control->toolTip = say(text);
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
}

std::string Form1::eventsPerMinuteText(int intervalMs) {
  const double perMinute = 60000.0 / intervalMs;
  // Slow tempi keep a decimal, so that each step of the slider shows.
  return decimalText(perMinute, perMinute < 20 ? 1 : 0);
}

}  // namespace tastrello
