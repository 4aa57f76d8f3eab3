// The window's design state: every control with its caption, picture, position and the
// visibility it has before start-up runs; and the helpers every subsystem uses.
#include "shell/main_window.h"

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

}  // namespace

Form1::Form1(Services s) : services(s) {
  placeKeys(Keys);
  for (int k = 1; k <= 4; ++k) {
    place(Acco2[k], 0, 0, 615, 495);
    Acco2[k].visible = false;
    Acco2[k].fontSize = 12;
    Acco2[k].bold = true;
  }
  Acco2[0].visible = false;

  // Top left: the language pictures and the version.
  place(Picture1, 240, 120, 540, 360);
  Picture1.picture = "flag-en";
  place(Picture2, 900, 120, 540, 360);
  Picture2.picture = "flag-es";
  place(Picture3, 1560, 120, 540, 360);
  Picture3.picture = "flag-de";
  place(Picture4, 2220, 120, 540, 360);
  Picture4.picture = "flag-by";
  Version = label("", 3000, 150, 2400);
  Version_Shadow = label("", 3015, 165, 2400);

  // Records and note layouts.
  Label3 = label("", 240, 600, 2760);
  Label3.bold = true;
  place(RecordList, 240, 900, 2760, 3000);
  RecordList.folder = "Records/";
  RecordList.pattern = "Records_*.*";
  Label1 = label("Noten-Liste", 3120, 600, 2700);
  Label1.bold = true;
  place(NoteList, 3120, 900, 2700, 1500);
  NoteList.folder = "Notes/";
  NoteList.pattern = "NOTES*.*";
  place(RecordLession, 3120, 2490, 2700, 300);
  Check3.caption = "Nr.";
  place(Check3, 3120, 2880, 840, 300);
  Check3.visible = false;
  Check3.value = 1;
  Check1.caption = "Noten";
  place(Check1, 3990, 2880, 1830, 300);
  Check1.visible = false;
  Check1.value = 1;
  place(ZahlenSchirm, 3120, 3210, 840, 2490);
  ZahlenSchirm.visible = false;
  place(NotenSchirm, 3990, 3210, 1830, 2490);
  NotenSchirm.visible = false;

  // The editor, over the places of the lists it replaces while recording.
  place(EditBox, 240, 900, 2760, 3000);
  EditBox.visible = false;
  place(EditorTMP, 240, 4020, 2760, 420);
  EditorTMP.visible = false;  // shown while recording; empty and hidden in free play
  EditorTMP.fontSize = 11;
  EditorTMP.bold = true;
  EditorTMP2.visible = EditorTMP3.visible = false;
  place(NextRecord, 3120, 900, 720, 600);
  NextRecord.picture = "commit";
  Label11 = label(
      "Accorde \xFC"
      "bernehmen",
      3900, 900, 1920, 600);
  place(EditBreak, 3120, 1620, 720, 600);
  EditBreak.picture = "rest-play";
  Label20 = label("Pause (Play)", 3900, 1770, 1920);
  place(EditMute, 3120, 2340, 720, 600);
  EditMute.picture = "rest-mute";
  Label21 = label("Pause (Mute)", 3900, 2490, 1920);
  place(KillNote, 3120, 3060, 720, 600);
  KillNote.picture = "delete";
  place(RepIns, 3900, 3060, 720, 600);
  place(InsRep, 0, 0, 0, 0);
  InsRep.picture = pictures::kReplace;
  InsRep.picture2 = pictures::kInsert;
  InsRep.visible = false;
  place(ReEd, 3120, 3780, 720, 600);
  ReEd.picture = "new";
  Label22 = label("Neu", 3900, 3930, 1920);
  place(Check2, 3120, 5340, 2700, 300);
  Check2.caption = "?";
  Check2.value = 1;
  Check2.visible = false;
  Label4 = label("Filename ", 240, 4560, 2760);
  place(SaveName, 240, 4845, 2760, 360);
  place(SaveRecord, 3120, 4560, 720, 600);
  SaveRecord.picture = "save";
  Label10 = label("Speichern", 3900, 4710, 1920);
  for (Control* c : {&NextRecord, &Label11, &EditBreak, &EditMute, &KillNote, &RepIns, &ReEd,
                     &Label22, &Label4, &SaveRecord, &Label10})
    c->visible = false;
  NextRecord.enabled = SaveRecord.enabled = false;
  SaveName.visible = false;

  // Record and cancel share one place; so do play and pause.
  place(Record, 240, 5340, 720, 600);
  Record.picture = "record";
  Label5 = label("Editor", 1020, 5490, 2000);
  place(CancelRec, 240, 5340, 720, 600);
  CancelRec.picture = "cancel";
  CancelRec.visible = false;
  Label9 = label("Abbrechen", 1020, 5490, 2000);
  Label9.visible = false;
  place(PlayStop, 240, 6240, 720, 600);
  PlayStop.picture = "play";
  Label8 = label("Abspielen", 240, 6870, 1080, 450);
  place(Break, 240, 6240, 720, 600);
  Break.picture = "pause";
  Break.visible = false;
  Label12 = label(" Pause", 240, 6870, 1080, 450);
  Label12.visible = false;
  place(StopReplay, 1320, 6240, 720, 600);
  StopReplay.picture = "stop";
  StopReplay.visible = false;
  Label7 = label("Stop", 1320, 6870, 1080, 450);
  Label7.visible = false;
  place(PlayMode, 2400, 6240, 720, 600);
  PlayMode.picture = pictures::kSingle;
  Label6 = label("Replay-Mode", 2400, 6870, 1800, 450);
  place(PlayMode2, 0, 0, 0, 0);
  PlayMode2.picture = pictures::kRepeat;
  PlayMode2.picture2 = pictures::kSingle;
  PlayMode2.visible = false;
  place(Speed, 240, 7380, 2700, 360);
  Speed.minimum = 0;
  Speed.maximum = 25;
  Speed.value = 23;
  Tempo = label("", 3060, 7410, 2760);
  Timer1 = {false, 1000};
  Label2 = label("Replay", 240, 8100, 5580);

  // Practice: beside the transport, under the record views, and in the text area.
  place(Practice, 3300, 6240, 2520, 300);
  place(PracticeRamp, 3480, 7380, 2340, 330);
  PracticeRamp.visible = false;
  place(CountInClick, 3060, 8880, 2760, 300);
  place(Metronome, 240, 9240, 2700, 300);
  place(SectionFirst, 3120, 5760, 880, 330);
  place(SectionLast, 4030, 5760, 880, 330);
  place(SectionAll, 4940, 5760, 880, 330);
  SectionFirst.visible = SectionLast.visible = SectionAll.visible = false;
  place(PracticeScore, 11460, 4560, 3540, 1440);
  place(PracticeChart, 11460, 6120, 3540, 3000);
  PracticeScore.visible = PracticeChart.visible = false;
  // Playing along: the mode beside "wait for me", the timing of the last chords, the window of
  // "on time" and the tap calibration, in the practice area on the right.
  place(PlayAlong, 3300, 6540, 2520, 300);
  place(TimingStrip, 11460, 5700, 3540, 780);
  place(TimingWindowChooser, 11460, 6540, 1740, 330);
  place(Calibrate, 13260, 6540, 1740, 330);
  CalibrationTimer = {false, 500};
  // The practice tempo, in beats a minute, in the place of the replay slider while practising.
  place(PracticeTempo, 240, 7380, 1740, 360);
  PracticeTempo.minimum = kSlowestTempo;
  PracticeTempo.maximum = 240;
  PracticeTempo.value = 80;
  // The loaded record's meter: over its views, where the view options stand during replay.
  place(MeterChooser, 3120, 2850, 1620, 330);
  place(PickupChooser, 4800, 2850, 1020, 330);
  for (Control* c : std::initializer_list<Control*>{&PlayAlong, &TimingStrip, &TimingWindowChooser, &Calibrate, &PracticeTempo,
                     &MeterChooser, &PickupChooser})
    c->visible = false;
  place(MidiExport, 240, 9600, 2700, 360);
  place(MidiImport, 3060, 9600, 2760, 360);

  // Right of the keyboard: the text area, the title pair and the sound options.
  place(AccordDisplay, 11460, 480, 3540, 2400);
  Infos = label("", 11460, 3000, 3540, 600);
  InfosCopy = label("", 11490, 3030, 3510, 600);
  Infos.fontSize = InfosCopy.fontSize = 22;
  Infos.bold = InfosCopy.bold = true;
  SoundOnOff.value = 1;
  place(SoundOnOff, 11460, 3720, 300, 300);
  Label13 = label("Sound?", 11820, 3735, 2000);
  Check4.value = 1;
  place(Check4, 11460, 4080, 300, 300);
  Label14 = label("Cut Sound?", 11820, 4095, 2000);
  place(Tafel1, 11460, 4560, 3540, 2220);
  Tafel1.picture = "help-chords";
  place(Tafel2, 11460, 6900, 3540, 2220);
  Tafel2.picture = "help-list";
  Tafel1.visible = Tafel2.visible = false;
  place(Copyright, 13740, 9360, 540, 480);
  Copyright.picture = "copyright";
  place(Expand, 14400, 9360, 600, 480);
  Expand.picture = pictures::kArrowsRight;
  KlappeAus.picture = pictures::kArrowsLeft;
  KlappeAus.picture2 = pictures::kArrowsRight;
  KlappeAus.visible = false;

  // The instrument panel, in the strip that only the wide window shows.
  Label15 = label("", 15480, 7080, 2280, 270);
  Label16 = label("", 15480, 7350, 2280, 300);
  Label16.bold = true;
  Label17 = label("", 15480, 7680, 2280, 270);
  place(MinusIns, 17880, 6960, 900, 405);
  MinusIns.caption = "-";
  Label18 = label("", 17880, 7395, 1200, 270);
  place(PlusIns, 17880, 7680, 900, 405);
  PlusIns.caption = "+";
  KeyboardPlay.value = 1;
  place(KeyboardPlay, 240, 8520, 2700, 300);
  place(KeyLetters, 3060, 8520, 2700, 300);
  place(TabView, 240, 8880, 2700, 300);
  InstrumentHeading = label("", 15480, 1620, 3600);
  InstrumentHeading.bold = true;
  place(InstrumentList, 15480, 1920, 3600, 4020);
  // The choosers of the panel: the output, what it says of itself, the tuning, the MIDI input
  // and the audio buffer. Output, input and buffer only where there is a choice of outputs.
  place(OutputChooser, 15480, 480, 3600, 360);
  AudioInfo = label("", 15480, 900, 3600, 600);
  place(TuningChooser, 15480, 6120, 3600, 360);
  place(InputChooser, 15480, 8160, 3600, 360);
  place(BufferChooser, 15480, 8640, 3600, 360);
  for (Control* c : instrumentPanel()) c->visible = false;

  // The tablature of the loaded record, in a window of its own, with its two save buttons.
  place(TabSheet, 0, 0, 9600, 13500);
  TabSheet.visible = false;
  place(TabSavePdf, 120, 60, 1350, 390);
  TabSavePdf.caption = "PDF \x85";
  place(TabSaveSvg, 1560, 60, 1350, 390);
  TabSaveSvg.caption = "SVG \x85";

  place(Splashscreen, 12000, 12000, 6315, 2475);
  Splashscreen.picture = "splash";
  Splashscreen.visible = false;
  NeverShow.caption = "Nicht mehr zeigen";
  place(NeverShow, 240, 2100, 4200, 300);
  SplashTimer = {false, 2000};
  scrolltext = {false, 150};
  AudioTimer = {false, 2000};

  // Built-in texts, in force until a language file replaces them (and when none can be read).
  Label23 = label("Accord ERSETZEN", 0, 0, 0);
  Label24 = label("Accord EINF\xDCGEN", 0, 0, 0);
  Label25 = label("Liste der Lektionen", 0, 0, 0);
  Label25.tag = "List der Accorde";
  RecordLession.caption = Label25.caption;
  chordAdoptCaption = Label11.caption;
  for (Control* c : {&Label23, &Label24, &Label25}) c->visible = false;
  ShadowListe2.visible = ShadowListe3.visible = false;

  StatusLine = label("", 120, 10080, kNarrowWidth - 2040, 330);
  StatusCount = label("", kNarrowWidth - 1860, 10080, 1740, 330);
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
  std::vector<Control*> panel{&TuningChooser};
  if (services.outputs)
    panel.insert(panel.end(), {&OutputChooser, &AudioInfo, &InputChooser, &BufferChooser});
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
}

void Form1::setInfos(const std::string& text, int fontSize) {
  Infos.fontSize = fontSize;
  Infos.caption = text;
  InfosCopy.fontSize = fontSize;
  InfosCopy.caption = text;
}

}  // namespace tastrello
