// The window's life cycle: the start-up sequence in its fixed order, opening the MIDI output
// when the window is first active, and closing it at the end.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

void Form1::Form_Load() {
  newLine = kCrLf;
  Version.caption = "Version " TASTRELLO_VERSION "       ";
  Version_Shadow.caption = Version.caption;
  Splashscreen.caption = "Version " TASTRELLO_VERSION;  // the splash picture's place for it
  windowWidth = kNarrowWidth;
  titleBanner = "- Tastrello -     " + Version.caption + std::string(21, ' ');
  scrollText = titleBanner + suggestionsText() + titleBanner;
  const auto notices = creditsNotices(newLine);
  for (int slot = 1; slot <= 3; ++slot) creditsTexts[slot] = notices[slot - 1];
  windowCaption = left(scrollText, 60);
  Label20.visible = Label21.visible = false;
  RecordList.folder = "Records/";
  NoteList.folder = "Notes/";
  refreshFileList(NoteList);
  dataFolder = "Data/";
  noteFileName = "Notes_G-C-F.txt";
  loadNoteLayout();
  replayMode = ReplayMode::Single;
  testPassDone = false;
  languageFile = "Lang_ger.txt";
  readSettingsFile();
  loadLanguage();
  loadKeyMap();
  if (helpEditSetting == "FALSE") setToggleValue(Check2, 0);
  Tafel1.visible = Tafel2.visible = false;
  replaceMode = true;
  RepIns.picture = InsRep.picture;
  keyIdleColor = kIdleKeyColour;
  keyLitColor = kLitKeyColour;
  editClickState = 0;
  instrumentNumber = 22;
  InstrumentList.items.assign(instrumentNames.begin() + 1, instrumentNames.begin() + 129);
  for (int n = 1; n <= 128; ++n)
    InstrumentList.items[n - 1] = std::to_string(n) + "  " + InstrumentList.items[n - 1];
  showInstrument();
  showCredits();
  panelExpanded = false;
  SplashTimer.enabled = true;
  litKeyCount = 0;
  resetKeyLooks();
  AccordDisplay.caption.clear();
  Infos.fontSize = 22;
  InfosCopy.fontSize = Infos.fontSize;
  Infos.caption = kFreePlay;
  InfosCopy.caption = Infos.caption;
  showCredits();
  restoreChoices();
}

void Form1::Form_Activate() {
  startAudioBuffer();
  if (services.outputs) {
    services.outputs->useSoundFont(soundFontSetting);
    services.outputs->choose(midiOutSetting);
  }
  Midi_Out_Open(-1);
  fillChoosers();
  if (!hands.midiInSetting.empty()) openMidiInput();
  if (ear_.source()) openMicrophone();
  AudioTimer.enabled = services.audio != nullptr;
  AudioTimer_Timer();
}

void Form1::Form_Unload() {
  Midi_Out_close();
}

}  // namespace tastrello
