// The window's design state: every control with its caption, picture, position and the
// visibility it has before start-up runs; and the helpers every subsystem uses.
#include "window/form1.h"

#include <algorithm>

#include "shell/text.h"

namespace tastrello {

namespace {

void place(Control& c, int left, int top, int width, int height) {
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
}

Control label(const std::string& caption, int left, int top, int width, int height = 285) {
  Control c;
  c.caption = caption;
  place(c, left, top, width, height);
  return c;
}

// The keyboard: each block's rows as three columns, the middle one set off by half a button.
void placeKeys(std::array<Control, kKeyCount>& keys) {
  struct Block {
    int columnLeft[3], middleTop;
  };
  const Block blocks[] = {{{6240, 6960, 7680}, 480}, {{9000, 9720, 10440}, 600}};
  for (int button = 0; button < kKeyCount; ++button) {
    const ButtonPlace at = placeOf(button);
    const Block& b = blocks[at.push ? 1 : 0];
    const int top = (at.row == 2 ? b.middleTop : 840) + 720 * (at.number - 1);
    place(keys[std::size_t(button)], b.columnLeft[at.row - 1], top, 615, 495);
  }
  for (auto& key : keys) key.caption = "-";
}

// The window as it is designed, region by region.

void designKeys(Form1& w) {
  placeKeys(w.Keys);
  for (int k = 1; k <= 4; ++k) {
    place(w.Acco2[k], 0, 0, 615, 495);
    w.Acco2[k].visible = false;
    w.Acco2[k].fontSize = 12;
    w.Acco2[k].bold = true;
  }
  w.Acco2[0].visible = false;
  // The bass side shows once an instrument's is chosen; its places come with the instrument.
  for (auto& key : w.BassKeys) key.visible = false;
  // So do the treble's rows past the third, with an instrument that has them.
  for (auto& key : w.RowKeys) key.visible = false;
}

// Top left: the language pictures and the version.
void designTopLeft(Form1& w) {
  place(w.Picture1, 240, 120, 540, 360);
  w.Picture1.picture = "flag-en";
  place(w.Picture2, 900, 120, 540, 360);
  w.Picture2.picture = "flag-es";
  place(w.Picture3, 1560, 120, 540, 360);
  w.Picture3.picture = "flag-de";
  place(w.Picture4, 2220, 120, 540, 360);
  w.Picture4.picture = "flag-by";
  w.Version = label("", 3000, 150, 2400);
  w.Version_Shadow = label("", 3015, 165, 2400);
}

// Records and note layouts.
void designLists(Form1& w) {
  w.Label3 = label("", 240, 600, 2760);
  w.Label3.bold = true;
  place(w.RecordList, 240, 900, 2760, 3000);
  w.RecordList.folder = "Records/";
  w.RecordList.pattern = "Records_*.*";
  w.Label1 = label("Noten-Liste", 3120, 600, 2700);
  w.Label1.bold = true;
  place(w.NoteList, 3120, 900, 2700, 1500);
  w.NoteList.folder = "Notes/";
  w.NoteList.pattern = "NOTES*.*";
  place(w.RecordLession, 3120, 2490, 2700, 300);
  w.Check3.caption = "Nr.";
  place(w.Check3, 3120, 2880, 840, 300);
  w.Check3.visible = false;
  w.Check3.value = 1;
  w.Check1.caption = "Noten";
  place(w.Check1, 3990, 2880, 1830, 300);
  w.Check1.visible = false;
  w.Check1.value = 1;
  place(w.ZahlenSchirm, 3120, 3210, 840, 2490);
  w.ZahlenSchirm.visible = false;
  place(w.NotenSchirm, 3990, 3210, 1830, 2490);
  w.NotenSchirm.visible = false;
}

// The editor, over the places of the lists it replaces while recording.
void designEditor(Form1& w) {
  place(w.EditBox, 240, 900, 2760, 3000);
  w.EditBox.visible = false;
  place(w.EditorTMP, 240, 4020, 2760, 420);
  w.EditorTMP.visible = false;  // shown while recording; empty and hidden in free play
  w.EditorTMP.fontSize = 11;
  w.EditorTMP.bold = true;
  w.EditorTMP2.visible = w.EditorTMP3.visible = false;
  place(w.NextRecord, 3120, 900, 720, 600);
  w.NextRecord.picture = "commit";
  w.Label11 = label(
      "Accorde \xFC"
      "bernehmen",
      3900, 900, 1920, 600);
  place(w.EditBreak, 3120, 1620, 720, 600);
  w.EditBreak.picture = "rest-play";
  w.Label20 = label("Pause (Play)", 3900, 1770, 1920);
  place(w.EditMute, 3120, 2340, 720, 600);
  w.EditMute.picture = "rest-mute";
  w.Label21 = label("Pause (Mute)", 3900, 2490, 1920);
  place(w.KillNote, 3120, 3060, 720, 600);
  w.KillNote.picture = "delete";
  place(w.RepIns, 3900, 3060, 720, 600);
  place(w.InsRep, 0, 0, 0, 0);
  w.InsRep.picture = pictures::kReplace;
  w.InsRep.picture2 = pictures::kInsert;
  w.InsRep.visible = false;
  place(w.ReEd, 3120, 3780, 720, 600);
  w.ReEd.picture = "new";
  w.Label22 = label("Neu", 3900, 3930, 1920);
  place(w.Check2, 3120, 5340, 2700, 300);
  w.Check2.caption = "?";
  w.Check2.value = 1;
  w.Check2.visible = false;
  w.Label4 = label("Filename ", 240, 4560, 2760);
  place(w.SaveName, 240, 4845, 2760, 360);
  place(w.SaveRecord, 3120, 4560, 720, 600);
  w.SaveRecord.picture = "save";
  w.Label10 = label("Speichern", 3900, 4710, 1920);
  for (Control* c : {&w.NextRecord, &w.Label11, &w.EditBreak, &w.EditMute, &w.KillNote, &w.RepIns, &w.ReEd,
                     &w.Label22, &w.Label4, &w.SaveRecord, &w.Label10})
    c->visible = false;
  w.NextRecord.enabled = w.SaveRecord.enabled = false;
  w.SaveName.visible = false;
}

// Record and cancel share one place; so do play and pause.
void designTransport(Form1& w) {
  place(w.Record, 240, 5340, 720, 600);
  w.Record.picture = "record";
  w.Label5 = label("Editor", 1020, 5490, 2000);
  place(w.CancelRec, 240, 5340, 720, 600);
  w.CancelRec.picture = "cancel";
  w.CancelRec.visible = false;
  w.Label9 = label("Abbrechen", 1020, 5490, 2000);
  w.Label9.visible = false;
  place(w.PlayStop, 240, 6240, 720, 600);
  w.PlayStop.picture = "play";
  w.Label8 = label("Abspielen", 240, 6870, 1080, 450);
  place(w.Break, 240, 6240, 720, 600);
  w.Break.picture = "pause";
  w.Break.visible = false;
  w.Label12 = label(" Pause", 240, 6870, 1080, 450);
  w.Label12.visible = false;
  place(w.StopReplay, 1320, 6240, 720, 600);
  w.StopReplay.picture = "stop";
  w.StopReplay.visible = false;
  w.Label7 = label("Stop", 1320, 6870, 1080, 450);
  w.Label7.visible = false;
  place(w.PlayMode, 2400, 6240, 720, 600);
  w.PlayMode.picture = pictures::kSingle;
  w.Label6 = label("Replay-Mode", 2400, 6870, 1800, 450);
  place(w.PlayMode2, 0, 0, 0, 0);
  w.PlayMode2.picture = pictures::kRepeat;
  w.PlayMode2.picture2 = pictures::kSingle;
  w.PlayMode2.visible = false;
  place(w.Speed, 240, 7380, 2700, 360);
  w.Speed.minimum = 0;
  w.Speed.maximum = 25;
  w.Speed.value = 23;
  w.Tempo = label("", 3060, 7410, 2760);
  w.Timer1 = {false, 1000};
  w.Label2 = label("Replay", 240, 8100, 5580);
}

// Practice: beside the transport, under the record views, and in the text area.
void designPractice(Form1& w) {
  place(w.Practice, 3300, 6240, 2520, 300);
  place(w.PracticeRamp, 3480, 7380, 2340, 330);
  w.PracticeRamp.visible = false;
  place(w.CountInClick, 3060, 8880, 2760, 300);
  place(w.Metronome, 240, 9240, 2700, 300);
  place(w.SectionFirst, 3120, 5760, 880, 330);
  place(w.SectionLast, 4030, 5760, 880, 330);
  place(w.SectionAll, 4940, 5760, 880, 330);
  w.SectionFirst.visible = w.SectionLast.visible = w.SectionAll.visible = false;
  place(w.PracticeScore, 11460, 4560, 3540, 1440);
  place(w.PracticeChart, 11460, 6120, 3540, 3000);
  w.PracticeScore.visible = w.PracticeChart.visible = false;
  // Playing along: the mode beside "wait for me", the timing of the last chords, the window of
  // "on time" and the tap calibration, in the practice area on the right.
  place(w.PlayAlong, 3300, 6540, 2520, 300);
  // With a bass side, which hands are practised: beside the replay mode, under the modes.
  place(w.HandsChooser, 4260, 6870, 1560, 330);
  place(w.TimingStrip, 11460, 5700, 3540, 780);
  place(w.TimingWindowChooser, 11460, 6540, 1740, 330);
  place(w.Calibrate, 13260, 6540, 1740, 330);
  w.CalibrationTimer = {false, 500};
  // The practice tempo, in beats a minute, in the place of the replay slider while practising.
  place(w.PracticeTempo, 240, 7380, 1740, 360);
  w.PracticeTempo.minimum = kSlowestTempo;
  w.PracticeTempo.maximum = 240;
  w.PracticeTempo.value = 80;
  // The loaded record's meter: over its views, where the view options stand during replay.
  place(w.MeterChooser, 3120, 2850, 1620, 330);
  place(w.PickupChooser, 4800, 2850, 1020, 330);
  for (Control* c : std::initializer_list<Control*>{&w.PlayAlong, &w.HandsChooser, &w.TimingStrip, &w.TimingWindowChooser, &w.Calibrate, &w.PracticeTempo,
                     &w.MeterChooser, &w.PickupChooser})
    c->visible = false;
  place(w.MidiExport, 240, 9600, 2700, 360);
  place(w.MidiImport, 3060, 9600, 2760, 360);
}

// Right of the keyboard: the text area, the title pair and the sound options.
void designTextArea(Form1& w) {
  place(w.AccordDisplay, 11460, 480, 3540, 2400);
  w.Infos = label("", 11460, 3000, 3540, 600);
  w.InfosCopy = label("", 11490, 3030, 3510, 600);
  w.Infos.fontSize = w.InfosCopy.fontSize = 22;
  w.Infos.bold = w.InfosCopy.bold = true;
  w.SoundOnOff.value = 1;
  place(w.SoundOnOff, 11460, 3720, 300, 300);
  w.Label13 = label("Sound?", 11820, 3735, 2000);
  w.Check4.value = 1;
  place(w.Check4, 11460, 4080, 300, 300);
  w.Label14 = label("Cut Sound?", 11820, 4095, 2000);
  place(w.Tafel1, 11460, 4560, 3540, 2220);
  w.Tafel1.picture = "help-chords";
  place(w.Tafel2, 11460, 6900, 3540, 2220);
  w.Tafel2.picture = "help-list";
  w.Tafel1.visible = w.Tafel2.visible = false;
  place(w.Copyright, 13740, 9360, 540, 480);
  w.Copyright.picture = "copyright";
  place(w.Expand, 14400, 9360, 600, 480);
  w.Expand.picture = pictures::kArrowsRight;
  w.KlappeAus.picture = pictures::kArrowsLeft;
  w.KlappeAus.picture2 = pictures::kArrowsRight;
  w.KlappeAus.visible = false;
}

// The instrument panel, in the strip that only the wide window shows.
void designInstrumentPanel(Form1& w) {
  w.Label15 = label("", 15480, 7080, 2280, 270);
  w.Label16 = label("", 15480, 7350, 2280, 300);
  w.Label16.bold = true;
  w.Label17 = label("", 15480, 7680, 2280, 270);
  place(w.MinusIns, 17880, 6960, 900, 405);
  w.MinusIns.caption = "-";
  w.Label18 = label("", 17880, 7395, 1200, 270);
  place(w.PlusIns, 17880, 7680, 900, 405);
  w.PlusIns.caption = "+";
  w.KeyboardPlay.value = 1;
  place(w.KeyboardPlay, 240, 8520, 2700, 300);
  place(w.KeyLetters, 3060, 8520, 2700, 300);
  place(w.TabView, 240, 8880, 2700, 300);
  w.InstrumentHeading = label("", 15480, 1620, 3600);
  w.InstrumentHeading.bold = true;
  place(w.InstrumentList, 15480, 1920, 3600, 4020);
  // The choosers of the panel: the output, what it says of itself, the tuning, the bass side,
  // the MIDI input and the audio buffer. Output, input and buffer only where there is a choice of outputs.
  place(w.OutputChooser, 15480, 480, 3600, 360);
  w.AudioInfo = label("", 15480, 900, 3600, 600);
  place(w.TuningChooser, 15480, 6120, 3600, 360);
  place(w.BassChooser, 15480, 6540, 3600, 360);
  place(w.InputChooser, 15480, 8160, 3600, 360);
  place(w.BufferChooser, 15480, 8640, 3600, 360);
  w.MicLevel = label("", 15480, 9060, 3600);
  for (Control* c : w.instrumentPanel()) c->visible = false;
}

// The tablature of the loaded record, in a window of its own, with its two save buttons.
void designTablature(Form1& w) {
  place(w.TabSheet, 0, 0, 9600, 13500);
  w.TabSheet.visible = false;
  place(w.TabSavePdf, 120, 60, 1350, 390);
  w.TabSavePdf.caption = "PDF \x85";
  place(w.TabSaveSvg, 1560, 60, 1350, 390);
  w.TabSaveSvg.caption = "SVG \x85";
}

void designSplash(Form1& w) {
  place(w.Splashscreen, 12000, 12000, 6315, 2475);
  w.Splashscreen.picture = "splash";
  w.Splashscreen.visible = false;
  w.NeverShow.caption = "Nicht mehr zeigen";
  place(w.NeverShow, 240, 2100, 4200, 300);
  w.SplashTimer = {false, 2000};
  w.scrolltext = {false, 150};
  w.AudioTimer = {false, 2000};
}

// Built-in texts, in force until a language file replaces them (and when none can be read).
void designBuiltInTexts(Form1& w) {
  w.Label23 = label("Accord ERSETZEN", 0, 0, 0);
  w.Label24 = label("Accord EINF\xDCGEN", 0, 0, 0);
  w.Label25 = label("Liste der Lektionen", 0, 0, 0);
  w.Label25.tag = "List der Accorde";
  w.RecordLession.caption = w.Label25.caption;
  w.chordAdoptCaption = w.Label11.caption;
  for (Control* c : {&w.Label23, &w.Label24, &w.Label25}) c->visible = false;
  w.ShadowListe2.visible = w.ShadowListe3.visible = false;
}

void designStatusLine(Form1& w) {
  w.StatusLine = label("", 120, 10080, kNarrowWidth - 2040, 330);
  w.StatusCount = label("", kNarrowWidth - 1860, 10080, 1740, 330);
}

}  // namespace

Form1::Form1(Services s) : services(s) {
  designKeys(*this);
  designTopLeft(*this);
  designLists(*this);
  designEditor(*this);
  designTransport(*this);
  designPractice(*this);
  designTextArea(*this);
  designInstrumentPanel(*this);
  designTablature(*this);
  designSplash(*this);
  designBuiltInTexts(*this);
  designStatusLine(*this);
}

void Form1::beep() {
  ++beepCount;
}

void Form1::refreshFileList(FileList& list) {
  std::vector<std::string> names;
  auto listed = services.files->list(list.folder);
  if (!listed) status().report(say(Text::MsgFolderUnread, {list.folder}));
  for (auto& name : listed.value_or(std::vector<std::string>{})) {
    if (matchesPattern(name, list.pattern)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return upper(a) < upper(b); });
  list.items = std::move(names);
  list.selected = -1;
}

std::vector<Control*> Form1::browserPanel() {
  return {&Label3, &RecordList, &RecordLession, &Label1, &NoteList, &Record, &Label5};
}

std::vector<Control*> Form1::freePlayPanel() {
  auto panel = browserPanel();
  panel.insert(panel.end(),
               {&Picture1, &Picture2, &Picture3, &Picture4, &PlayStop, &Label8, &PlayMode, &Label6, &Label2});
  return panel;
}

std::vector<Control*> Form1::instrumentPanel() {
  std::vector<Control*> panel{&TuningChooser, &BassChooser};
  if (services.outputs)
    panel.insert(panel.end(), {&OutputChooser, &AudioInfo, &InputChooser, &BufferChooser, &MicLevel});
  return panel;
}

std::vector<Control*> Form1::replayPanel() {
  return {&Break, &Label12, &StopReplay, &Label7, &Check3, &Check1};
}

std::vector<Control*> Form1::editorPanel() {
  return {&EditBox,    &Check2,   &NextRecord, &Label11, &EditBreak, &Label20, &EditMute,
          &Label21,    &KillNote, &RepIns,     &ReEd,    &Label22,   &Label4,  &SaveName,
          &SaveRecord, &Label10,  &CancelRec,  &Label9,  &Tafel1,    &Tafel2};
}

void Form1::showPanel(const std::vector<Control*>& panel, bool visible) {
  for (Control* c : panel) c->visible = visible;
}

void Form1::hideMarkers() {
  for (int k = 1; k <= 4; ++k) Acco2[k].visible = false;
  leftHand_.mark({});
  showBassColours();
}

void Form1::setInfos(const std::string& text, int fontSize) {
  Infos.fontSize = fontSize;
  Infos.caption = text;
  InfosCopy.fontSize = fontSize;
  InfosCopy.caption = text;
}

}  // namespace tastrello
