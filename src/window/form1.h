// The window object: every control and every state variable of the program, and every
// operation as a method. The methods are defined in the file of the subsystem they belong to.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "exchange/midi_lesson.h"
#include "input/hand_input.h"
#include "input/left_hand.h"
#include "input/treble_beside.h"
#include "practice/practice.h"
#include "practice/practice_session.h"
#include "replay/pace.h"
#include "replay/replay.h"
#include "records/record_format.h"
#include "window/contract.h"
#include "window/controls.h"
#include "shell/services.h"
#include "shell/standard_clock.h"
#include "shell/settings_store.h"
#include "shell/status_reports.h"
#include "shell/ui_texts.h"
#include "sound/audio_buffer.h"
#include "sound/layout_format.h"
#include "sound/sound_out.h"
#include "sound/sound_variables.h"
#include "editor/editor_variables.h"
#include "editor/record_draft.h"
#include "replay/replay_variables.h"
#include "listen/ear.h"
#include "shell/shell_variables.h"
#include "tablature/tab_layout.h"

namespace tastrello {

constexpr int kNarrowWidth = 15165;
constexpr int kWideWidth = 19350;
constexpr int kWindowHeight = 10500;

inline const std::string kFreePlay = "FREE PLAY";


class Form1 : public ShellVariables,
              public SoundVariables,
              public EditorVariables,
              public ReplayVariables {
 public:
  explicit Form1(Services services);

  // ---- The contract with a front end (contract.cpp)
  /// Takes an event of a front end: a click, a row, typed text, a slider's value, a chooser's
  /// entry, a key by its place, a MIDI word, time passing, a request answered. Events to a
  /// control that is not shown or not enabled are not taken. True when the event was taken
  /// (for a key: the key plays, so the front end does nothing else with it).
  bool dispatch(const Event& event);
  /// When the front end should send the next Tick: the moment (on the window object's clock)
  /// a timer is due, or a replay step prepared ahead sounds; infinity when nothing waits.
  double nextWake();
  /// A replay step was prepared ahead of its moment: the front end draws it from then.
  bool showsAhead();
  /// The requests made since the last call, oldest first.
  std::vector<Request> takeRequests();
  /// The state of a control of the table (nullptr for a timer, or an index out of range).
  Control* control(ControlId id, int index = 0);
  Timer* timer(ControlId id);
  /// The control of the table that is this state.
  ControlId idOf(const Control& control);
  /// The handler the last event ran ("" when it ran none), for tests and diagnosis.
  const char* handled = "";
  /// Whether a control and what it lies on are shown.
  bool shown(ControlId id, int index = 0);
  /// The window object's clock, in seconds: the scale of its timers and of SoundTime.
  double now() { return clock().seconds(); }

  // ---- Start-up and shutdown
  void Form_Load();
  void Form_Activate();
  void Form_Unload();

  // ---- Settings
  void readSettingsFile();
  void storeSetting();
  /// The settings file: reading, checking and writing its keys.
  SettingsStore& settings();
  /// The learner's choices that come back after a restart, as settings keys and values.
  std::vector<std::pair<std::string, std::string>> choicesInForce() const;
  /// Puts the choices read from the settings file into force.
  void restoreChoices();
  /// The first start, in a working folder just given the shipped files: the lessons are
  /// listed, and the status line says what to do first.
  void welcome();
  /// Stores the choices that changed since they were last stored.
  void rememberChoices();
  void Check2_Click();

  // ---- Language
  /// Loads `languageFile`; false (the texts in force kept, the problem reported) when it
  /// cannot be read or is short.
  bool loadLanguage();
  void Picture1_Click();
  void Picture2_Click();
  void Picture3_Click();
  void Picture4_Click();

  // ---- Splash and credits
  void SplashTimer_Timer();
  void Splashscreen_Click();
  void NeverShow_Click();
  /// The splash was shown in this visit: a window object started again within it (the page's,
  /// on a folder just imported) does not show it again over the lists.
  void splashSeen();
  void Copyright_Click();
  void scrolltext_Timer();
  void showCredits();

  // ---- MIDI output
  /// Sound out: every note, click and reset goes through it, at the moment in force.
  SoundOut& sound();
  bool Midi_Out_Open(int deviceId);
  void Midi_Out_close();
  void Midi_Out_Reset();
  void Midi_Out_Send(int status, int data1, int data2);
  static std::int32_t packdword(int data2, int data1, int status);
  void playnote();
  void midi_outerr(int code);
  /// The instrument panel's output chooser: switches at once and stores the choice.
  void chooseOutput(const std::string& setting);
  void OutputChooser_Click();
  /// The instrument panel's audio buffer chooser: milliseconds, 0 for automatic; stored.
  void chooseAudioBuffer(int milliseconds);
  void BufferChooser_Click();
  /// Now and then: the automatic buffer grows after dropouts, and the instrument panel says
  /// what the sound output reports (its problems go to the status line).
  void AudioTimer_Timer();
  /// The instrument panel's choosers of ports, tuning and buffer, filled afresh.
  void fillChoosers();
  /// The buffer "AUDIO-BUFFER:" asks for: milliseconds, or 0 for automatic (also for a value
  /// that is refused; see sound/audio_buffer.h).
  int audioBufferMs() const;
  /// At the start: the buffer "AUDIO-BUFFER:" asks for, given to the output; a refused value
  /// is reported with its reason and the buffer is automatic.
  void startAudioBuffer();

  // ---- Note layouts
  /// Loads `noteFileName`; false (the layout in force kept, the problem reported) when refused.
  bool loadNoteLayout();
  /// The note number of a button's key-table entry (0 to 70); nothing when it holds no number.
  std::optional<int> keyNote(int button) const;
  /// Each button's MIDI note in the layout in force.
  ButtonNotes buttonNotes() const;
  /// What the buttons show now (notes, or the keys' letters).
  std::array<std::string, kKeyCount> keyCaptions() const;
  /// Puts a layout read before on the keyboard; `noteFileName` names it.
  void applyNoteLayout(const NoteLayout& layout);
  void NoteList_Click();
  /// Highlights the layout in force in the note list (no row when it is not listed).
  void selectLayoutInForce();
  /// The instrument panel's tuning chooser: puts a layout on the keyboard, keeping the loaded
  /// record, and keeps it there for the records loaded later ("": each record's own layout).
  void chooseTuning(const std::string& layoutName);
  void TuningChooser_Click();
  /// The record's list names its buttons as the tuning in force names them.
  void showNamesInForce();
  /// Puts the loaded record's own layout on the keyboard.
  void applyRecordLayout();

  // ---- Keyboard
  void Keys_Click(int index);
  void SoundOnOff_Click();
  void Check1_Click();
  void Check3_Click();
  void Expand_Click();
  void MinusIns_Click();
  void PlusIns_Click();
  /// A click in the list of instrument names picks that instrument.
  void InstrumentList_Click();
  void resetKeyLooks();
  void showInstrument();

  // ---- The left hand: the bass side of an instrument file (bass_side.cpp)
  void BassKeys_Click(int place);
  void BassChooser_Click();
  /// Puts the bass side of an instrument file in Notes/ in force ("" takes it away) and keeps
  /// it for the next start; a file that cannot be used is said, line by line, and changes
  /// nothing.
  void chooseBassSide(const std::string& file);
  /// A button of the treble's rows past the third: held until clicked again.
  void RowKeys_Click(int place);

  // ---- Playing with the hands: the computer keyboard and a MIDI instrument
  void loadKeyMap();
  /// Whether a key (named as on a US keyboard) plays now rather than doing its usual work.
  bool claimsKey(const std::string& key) const;
  /// A key goes down or up; true when it played (the view then does nothing else with it).
  bool handKeyDown(const std::string& key);
  bool handKeyUp(const std::string& key);
  /// A message from the MIDI input: note-on, note-off, the bellows controller.
  void MidiIn_Message(std::uint32_t word);
  void KeyboardPlay_Click();
  /// Lets every key and MIDI note go (the switch off, the window left).
  void releaseHands();
  void KeyLetters_Click();
  /// The loaded record's events (button lines or rest markers), in order.
  std::vector<std::string> loadedEvents() const;
  int loadedEventCount() const;
  /// The event replay shows now (from 1), or 0.
  int currentEvent() const;
  /// Puts each button's key on it (its tag) while KeyLetters is ticked.
  void showKeyLetters();
  /// What a button shows of a key's name: the character the learner's layout prints on it,
  /// letters in capitals as on the key; where that is not known, the US name, with the sign
  /// for punctuation keys.
  std::string keyLabel(const std::string& keyName) const;
  /// The front end says what the learner's layout prints on the keys: the buttons' letters
  /// and the help boards' keys follow.
  void takeKeyPrints(const std::string& lines);
  /// The MIDI input chooser: stores the choice and asks the front end to open the port.
  void chooseMidiInput(const std::string& port);
  /// Asks the front end to open the MIDI input of the settings ("" closes it).
  void openMidiInput();
  void InputChooser_Click();
  /// The input chooser's microphones: the default one and the system's sources.
  void offerMicrophones();

  // ---- MIDI and MusicXML files
  /// The loaded record as a Standard MIDI File; nothing (reported) when none is loaded.
  std::optional<std::string> exportMidi();
  /// The loaded record as a MusicXML score; nothing (reported) when none is loaded.
  std::optional<std::string> exportMusicXml();
  /// Asks in which format (MIDI or MusicXML), then where the loaded record goes.
  void MidiExport_Click();
  /// Asks where the loaded record goes in the format chosen (0 MIDI, 1 MusicXML).
  void exportAs(int format);
  /// Asks for a MIDI or MusicXML file to import, and then (when it has several) for the part.
  void MidiImport_Click();
  /// A MIDI or MusicXML file chosen: read once; its part asked for when it has several, then
  /// imported.
  void openMidiFile(const std::string& name, const std::string& bytes);
  /// A MusicXML file (.musicxml, .xml or .mxl) chosen: refused with the reason when this
  /// edition has no reader of XML (Services::markup) or the file is none; else as a MIDI file.
  void openMusicXml(const std::string& name, const std::string& bytes);
  /// Opens a MIDI file's notes in the editor, unsaved, as events with buttons and bellows for
  /// the layout in force; refused (reported) while the editor holds unsaved changes. Replay
  /// and practice stop first.
  void importMidi(const MidiFileContent& file, const std::string& name, const MidiPart& part);
  void importMidi(const std::string& bytes, const std::string& name, const MidiPart& part);
  /// A tune (from a MIDI or MusicXML file) into the editor, as importMidi says; its meter is
  /// kept for the record's save.
  void importTune(const Tune& tune, const std::string& name,
                  const std::vector<std::string>& warnings);
  /// The loaded record's meter: read from its meter file with the record, as the meter
  /// choosers changed it since; 4/4 a step a beat when it has none or nothing is loaded.
  Meter loadedMeter() const;

  // ---- Tablature
  /// The tablature window of the loaded record, opened and closed.
  void TabView_Click();
  /// Asks where the tablature goes, as PDF or as SVG.
  void TabSavePdf_Click();
  void TabSaveSvg_Click();
  void saveTablature(const std::string& format);
  /// The loaded record as its tablature shows it: name, tuning, meter, tempo and events.
  TabDocument tablatureDocument();
  /// The loaded record's tablature as SVG documents, one a page, with `marked` (an event from
  /// 1; 0 for none) shaded: what the desktop and the web edition show and print.
  std::vector<std::string> tablatureSvg(int marked = 0);

  // ---- Record files and recording
  /// Saves the record under edit as `fileName` in the records folder, together with the meter
  /// file meterSavedWith gives, as one change; false (reported, naming the file that failed,
  /// nothing changed) when it cannot be.
  bool writeRecordFile(const std::string& fileName);
  /// The meter file's bytes saved with the record under edit as `fileName`: the imported
  /// tune's meter; the meter of the record continued, carried to a new name; or, for a record
  /// of its own where another of the name left its meter, the plain meter, so that no other
  /// record's meter stands beside it. Nothing when the meter file is to stay as it is.
  std::optional<std::string> meterSavedWith(const std::string& fileName);
  /// The meter file of a record in the records folder; the default meter when it has none. A
  /// file that cannot be read or used, and a line of it that is not used, is reported.
  Meter readMeterBeside(const std::string& recordFile);
  void applyRecordKind();
  void Record_Click();
  void SaveRecord_Click();
  void CancelRec_Click();
  void SaveName_Change();
  void RecordLession_Click();
  void resetToFreePlay();
  void showSavedRecord(const std::string& fileName);
  /// Why a typed name cannot name a record file, in the language in force ("" when it can).
  std::string recordNameProblem(const std::string& name) const;
  /// The record under edit: its events in the editor's lists, the pending chord, and what
  /// keeps a learner's work from being lost by one click.
  RecordDraft& draft();

  // ---- Record browser
  void RecordList_Click();
  void loadRecord();

  // ---- Replay
  void advanceReplay();
  /// The replay, working on the window's replay variables.
  Replay& replay();
  const Replay& replay() const { return replay_; }
  /// How replay runs through the span now (practice, playing along, the section).
  ReplayRules replayRules() const;
  /// The markers and notes of the chord replay reached, and the practice waiting for it.
  void showReplayChord();
  void Timer1_Timer();
  void Speed_Click();
  /// Shows how many steps remain before the first event (nothing once it has come).
  void showCountIn();
  /// Count-in from the first event's place: the position, the steps left, the first click.
  void startCountIn();
  void clickCountIn();
  /// The metronome's click for the step just taken; `held`: a chord is waited for.
  void clickMetronome(bool held);
  /// The replay interval the tempo slider gives, in milliseconds.
  int tempoInterval() const;
  void PlayStop_Click();
  void Break_Click();
  void StopReplay_Click();
  void PlayMode_Click();
  void PlayMode2_Click();
  /// The first and last event replay goes through: the section, or the whole record.
  std::pair<int, int> replaySpan() const;
  /// A click in the record views picks that event (for the section marks).
  void NotenSchirm_Click();
  void ZahlenSchirm_Click();

  // ---- Practice: replay that waits for the learner
  void Practice_Click();
  void PracticeRamp_Click();
  void SectionFirst_Click();
  void SectionLast_Click();
  void SectionAll_Click();
  /// With a bass side: the right hand, the left or both are practised; the program plays the
  /// other.
  void HandsChooser_Click();
  /// Practice is on and replay runs: chords are waited for and what is played is judged.
  bool practising() const;
  /// The loaded record's history file: read, its damaged lines reported, its ramp applied.
  void loadPracticeHistory(const std::string& recordFile);
  /// Shows the practice controls that fit the window's state.
  void showPracticePanel();

  // ---- Lessons that keep time: the meter, the practice tempo, playing along
  void PlayAlong_Click();
  void PracticeTempo_Click();
  void MeterChooser_Click();
  void PickupChooser_Click();
  void TimingWindowChooser_Click();
  /// Eight clicks at the practice tempo; the learner taps along; the offset is kept.
  void Calibrate_Click();
  void CalibrationTimer_Timer();
  /// Practice of either kind is chosen (the tempo is then in beats a minute).
  bool practiceOn() const;
  /// Playing along is on and replay runs: chords are judged by their moments.
  bool playingAlong() const;
  /// How replay keeps time now: the slider's interval, or while practising the practice tempo
  /// on the record's grid; and the count-in before the span's first event.
  Pace pace() const;
  /// The loaded record's meter file: read (4/4 a step a beat when there is none).
  void loadMeter(const std::string& recordFile);

  // ---- Editor
  void commitPendingEvent();
  void NextRecord_Click();
  void EditBreak_Click();
  void EditMute_Click();
  void EditBox_Click();
  void KillNote_Click();
  void RepIns_Click();
  void ReEd_Click();

  // ---- Helpers shared by the subsystems
  /// A user's click on a toggle: flips its value and runs its click handler.
  void clickToggle(Toggle& toggle);
  /// Starts a timer's wait afresh from now (its next tick a whole interval on).
  void restartTimer(Timer& timer);
  /// Sets a toggle from code; runs its click handler when the value changes.
  void setToggleValue(Toggle& toggle, int value);
  /// The status line: problems, confirmations and the message on show, shown on StatusLine and
  /// StatusCount.
  StatusReports& status();
  const StatusReports& status() const { return status_; }
  /// One of the program's own texts in the language in force.
  std::string say(Text id, std::initializer_list<std::string> args = {}) const {
    return status_.say(id, args);
  }
  /// Captions, tool tips, help boards and the tempo text in the language in force.
  void applyOwnTexts();
  /// The tool tips that follow a control's state (replace or insert, the loop mode, the panel).
  void updateStateTips();
  /// The editor's help boards, with the keys that take a chord and add the rests.
  void showHelpBoards();
  /// Each button's tool tip: its note and its bellows direction.
  void updateKeyTips();
  /// Events per minute at a replay interval, as shown beside the tempo.
  static std::string eventsPerMinuteText(int intervalMs);
  void beep();
  /// Re-reads a file list's folder and keeps the names that match its pattern.
  void refreshFileList(FileList& list);
  void setInfos(const std::string& text, int fontSize);

  // ---- Named groups of controls that appear and disappear together
  /// The record and layout lists, their headings, the kind switch and the editor button:
  /// hidden while replay runs and while recording.
  std::vector<Control*> browserPanel();
  /// The browser, the language pictures, play, the mode and the record's name.
  std::vector<Control*> freePlayPanel();
  /// The choosers of the wide window's instrument panel: shown while the window is wide.
  std::vector<Control*> instrumentPanel();
  /// Pause, stop and the two view options while replay runs.
  std::vector<Control*> replayPanel();
  /// Everything of the editor, with its help boards and its line actions.
  std::vector<Control*> editorPanel();
  static void showPanel(const std::vector<Control*>& panel, bool visible);
  void hideMarkers();
  /// Parses a layout file; nothing when it is missing or too short.
  std::optional<NoteLayout> readNoteLayout(const std::string& fileName, std::string& problem);
  /// Parses a record file; nothing (with `problem` set) when it is unusable.
  std::optional<RecordContent> readRecordContent(const std::string& path, std::string& problem);
  /// Fills the editing lists, the replay tables and the views from a record read before.
  void readRecordFile(const RecordContent& record);

  Services services;

  // ---- Controls: every control of the table, under its name
#define CONTROL(name, kind, type, parent, handler) type name;
#define PASSIVE(name, kind, type, parent) type name;
#define ARRAY(name, kind, type, count, parent, handler) std::array<type, count> name;
#define PASSIVE_ARRAY(name, kind, type, count, parent) std::array<type, count> name;
#include "window/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY

  // ---- The window
  std::string windowCaption;
  int windowWidth = kNarrowWidth;
  int windowLeft = 0;  ///< change of the window's left edge, in twips, since start

  // ---- MIDI output
  std::string midiErrorText;  ///< text of the last code given to midi_outerr

  // ---- Time: the messages of a replay step prepared ahead sound at the step's moment
  double showAt = 0;              ///< the moment of the replay step prepared last
  /// While a timer's handler runs: the moment the timer was due, its place on the beat however
  /// late the thread got to it; negative at other times.
  double tickAt = -1;
  /// While an event is taken: when its key or MIDI message came (Event::at); negative: now.
  double inputAt = -1;
  /// When the key or MIDI message being taken came: its own moment where the front end gave
  /// one (never later than now), otherwise now.
  double inputMoment();
  /// The moment of the timer's tick being handled: tickAt, or now outside a timer.
  double tickMoment();

  // ---- Note layout
  std::string layoutInForce;  ///< the layout last loaded successfully
  std::string chosenTuning;   ///< the layout the tuning chooser keeps on the keyboard, or ""

  // ---- Keyboard

  // ---- Replay

  // ---- Shell
  std::string textsLanguage = "Lang_ger.txt";  ///< the language file whose texts are shown
  std::string midiOutSetting;      ///< value of "MIDI-OUT:" (empty: the built-in synthesizer)
  std::string soundFontSetting;    ///< value of "SOUNDFONT:" (empty: the first GM font found)
  std::string audioBufferSetting;  ///< value of "AUDIO-BUFFER:" (empty: automatic)
  AudioBuffer audioBuffer;         ///< the buffer asked of the output, and dropouts answered

  HandInput hands;
  PracticeState practice;

  RecordContent loadingRecord;  ///< the record a click in the list has read and checked
  NoteLayout loadingLayout;     ///< and the note layout it names

  int beepCount = 0;  ///< beeps since start: the view sounds the system beep for each new one

 private:
  // The contract (contract.cpp).
  void runHandler(ControlId id, int index);
  void callHandler(ControlId id, int index);
  bool clickControl(ControlId id, int index);
  void syncTimers(double now);
  void runDueTimers(double now);
  void fireTimer(ControlId id, double now);
  double leadOf(ControlId id);
  /// Makes a request of the front end; `onAnswer` runs with its answer.
  void ask(Request request, std::function<void(const Event&)> onAnswer = {});
  void answer(const Event& event);
  std::vector<Request> requests_;
  std::map<int, std::function<void(const Event&)>> waiting_;
  int nextRequest_ = 1;

  /// Empties the record under edit (its selection and its bass with it).
  void clearEvents();
  /// Empties the two record views (notes and numbers).
  void clearRecordViews();
  /// Empties the pending chord and lets its buttons go, leaving the rest buttons usable.
  void discardPendingChord();

  void applyHandChange(const Hands::Change& change);
  void startHandButton(int button);
  void stopHandButton(int button);
  void midiPitchOn(int pitch);
  void midiPitchOff(int pitch);
  void placeMidiPitches();
  void commitRest(const std::string& marker);
  void showSelectionActions();
  void chooseLanguage(const std::string& file);

  // Practice (practice.cpp).
  Clock& clock();
  void waitForChord();
  /// The practice session, working on the window's practice state.
  PracticeSession& practiceSession();
  void beginPass();
  void finishPass();
  void appendToHistory(const std::string& line);
  void showPassScore();
  /// The history chart: the latest passes of the mode in force, their share right (bars) and
  /// their tempo (line).
  void fillPracticeChart();
  void applyRamp();
  void markSection(bool first);
  void showSection();
  /// What the learner holds now, from the keys, from the MIDI instrument or from clicks;
  /// `pressed`: something went down (releases are judged only while correcting a wrong try).
  void judgeKeys(bool pressed);
  void judgePitchesHeld(bool pressed);
  /// Practising the left hand: the treble held (keys, a MIDI instrument) and the bass held
  /// (keys, the bass channel) judged as one chord.
  void judgeBothHands(bool pressed);
  /// A click on a button of either side towards the chord waited for.
  void practiceClick(int button);
  /// Shows a try at the chord waited for: its buttons' colours, and what its verdict says.
  void showTry(const PracticeTry& attempt);
  void chordPlayed();
  // Playing along (play_along.cpp).
  void expectChord();
  void alongHeld(const std::vector<int>& held);
  /// While no pass is open: how the buttons held change, for the pass that opens next.
  void keepHeldBeforePass(double now, const std::vector<int>& held);
  void alongClick(int button);
  void collectVerdicts(double now);
  void showVerdict(const TimedVerdict& verdict);
  void finishAlongPass();
  void showAlongScore();
  /// The timing strip: the latest chords of the pass, early below and late above the middle.
  void fillTimingStrip();
  void saveMeter();
  void fillMeterChoosers();
  void tap();
  void finishCalibration();
  /// How late the output in force sounds what is played now, in seconds (0 when not known).
  double outputLatency();
  std::vector<int> wantedButtons() const;
  // The microphone (microphone.cpp).
  void chooseMicrophone(std::optional<std::string> source);
  void openMicrophone();
  void hearSound(const std::vector<float>& samples, int sampleRate, double capturedAt);
  /// The chord the microphone's next chord is judged against: the one practice waits for, or
  /// the one due when playing along; nothing when chords are only heard.
  std::optional<std::vector<int>> chordExpectedNow() const;
  void takeHeardChord(const listen::ListenVerdict& heard);
  void recordHeardChord(const std::vector<int>& buttons, double at);
  // The left hand (bass_side.cpp).
  /// The instrument of a file in Notes/, its treble from the layout it names; nothing (said)
  /// when it cannot be used.
  std::optional<Instrument> readInstrument(const std::string& file);
  void showBassSide();
  void fillBassChooser();
  void fillHandsChooser();
  /// An event's buttons beside the keyboard's as practice numbers them (see practice_hands.h):
  /// its bass, or its treble past the third row.
  std::vector<int> practisedBeside(int event, Hand hand) const;
  /// The buttons beside the keyboard's among those to play now shown as such (practice.cpp).
  void markBeside(const std::vector<int>& buttons);
  /// A verdict's colour on a button of either side, as practice numbers them.
  void colourButton(int button, Colour colour);
  /// The button a MIDI note held holds, as practice numbers them; -1 for none.
  int heldButtonOf(int pitch) const;
  /// The bass buttons lit while held, marked while practice waits for them, idle otherwise.
  void showBassColours();
  /// Sounds what changed on the left hand and shows the bass buttons held lit.
  void playBass(const LeftHand::Change& change);
  /// A note-on or note-off of the MIDI instrument's bass channel.
  void midiBassNote(int pitch, bool on);
  /// The bass of a record loaded: its file beside the record read against the bass side of
  /// the instrument it names, which comes into force; its damaged lines said.
  void loadRecordBass(const std::string& recordFile);
  /// Replay reached an event of the record: its bass sounds (see LeftHand::replayEvent).
  void replayBass(bool ringing);
  /// The file beside the record that a save writes (nothing when none is to be written).
  std::optional<FileChange> bassSavedWith(const std::string& fileName);
  // The treble's rows past the third (treble_beside.cpp).
  /// The treble of the instrument in force: the keyboard placed among its rows and the buttons
  /// beside it shown, or the keyboard alone where it has always been.
  void showTrebleBeside();
  /// Sounds what changed on the buttons beside and shows them lit while held.
  void playBeside(const TrebleBeside::Change& change);

  StandardClock standardClock_;
  StatusReports status_;
  SoundOut sound_;
  Replay replay_;
  PracticeSession practiceSession_;
  listen::Ear ear_;
  LeftHand leftHand_;
  TrebleBeside trebleBeside_;
  SettingsStore settings_{nullptr, ""};
  // EditBox (display texts), ShadowListe2 (name lines), ShadowListe3 (button lines) and the
  // pending chord in EditorTMP, EditorTMP2 and EditorTMP3 change only through the draft.
  RecordDraft draft_{{EditBox.items, EditBox.bellows, ShadowListe2.items, ShadowListe3.items,
                      EditorTMP.caption, EditorTMP2.caption, EditorTMP3.caption}};
};

/// The Windows-1252 texts of the credits and the suggestions line.
std::string suggestionsText();
std::array<std::string, 3> creditsNotices(const std::string& newLine);

}  // namespace tastrello
