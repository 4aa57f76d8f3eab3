// The contract between the window object and any front end (the Qt window, the web page): the
// table of controls, the events a front end sends, and the requests the window object makes
// of the world that a front end answers with an event. A front end draws the state and sends
// events; it holds no state of its own that the window object should hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tastrello {

enum class ControlKind : std::uint8_t {
  Button,
  Picture,
  Label,
  List,
  CheckBox,
  Option,
  Slider,
  TextField,
  Chooser,
  Chart,
  Sheet,
  Key,
  Marker,
  Timer,
  Data,
};

/// Every control of the window object, in the order of the table (window/controls.inc).
enum class ControlId : std::uint16_t {
#define CONTROL(name, kind, type, parent, handler) name,
#define PASSIVE(name, kind, type, parent) name,
#define ARRAY(name, kind, type, count, parent, handler) name,
#define PASSIVE_ARRAY(name, kind, type, count, parent) name,
#include "window/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY
  Window,  ///< the window itself: the parent of the controls that lie on it
};

constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::Window);

struct ControlInfo {
  ControlId id;
  const char* name;
  ControlKind kind;
  int count;            ///< 1, or the size of an array of controls
  ControlId parent;     ///< what it lies on
  const char* handler;  ///< the handler its events call ("" for none)
};

/// The table of controls, in its order.
const std::vector<ControlInfo>& controlTable();
const ControlInfo& controlInfo(ControlId id);
/// The control of that name; ControlId::Window when there is none.
ControlId controlNamed(const std::string& name);

/// Something a front end tells the window object.
struct Event {
  enum class Kind : std::uint8_t {
    Click,    ///< a button, picture, key (index), check box or option clicked
    Row,      ///< a row of a list clicked (index: the row)
    Text,     ///< the text of a text field changed (text)
    Value,    ///< a slider moved (index: its value)
    Choose,   ///< an entry of a chooser chosen (index), such as a port
    KeyDown,  ///< a key of the computer keyboard, by its place (text: "A", "Space" ...)
    KeyUp,
    Midi,    ///< a message from the MIDI input (word: status | data1 << 8 | data2 << 16)
    Tick,    ///< time has passed: the timers that are due run
    Answer,  ///< a request answered (request; what it gives: see Request)
    Leave,   ///< the window lost the keyboard: every key is let go
    KeyLayout,  ///< what the learner's layout prints on the keys (text: see Event::keyLayout)
    Ports,      ///< the MIDI ports changed or became known: the choosers offer them afresh
    Sound,      ///< a block of the microphone's sound (samples, index: the rate, at: the
                ///< moment its first sample was captured)
  };
  Kind kind = Kind::Tick;
  ControlId control = ControlId::Window;
  int index = 0;
  std::string text;
  std::string bytes;
  bool repeat = false;  ///< KeyDown: the system's repeat of a key held
  std::uint32_t word = 0;
  int request = 0;         ///< Answer: the request's id
  bool cancelled = false;  ///< Answer: the learner said no (closed the dialog)
  /// KeyDown, KeyUp and Midi: when the key went down or up or the message was played, on the
  /// window object's clock (Clock::seconds), from the system's stamp on the event; negative
  /// when the front end does not know: then it is the moment the event is taken. A moment to
  /// come is taken as now.
  double at = -1;
  std::vector<float> samples;  ///< Sound: one channel, full scale at 1

  static Event of(Kind kind, ControlId id = ControlId::Window, int index = 0) {
    Event e;
    e.kind = kind;
    e.control = id;
    e.index = index;
    return e;
  }
  static Event click(ControlId id, int index = 0) { return of(Kind::Click, id, index); }
  static Event row(ControlId id, int row) { return of(Kind::Row, id, row); }
  static Event typed(ControlId id, std::string text) {
    Event e = of(Kind::Text, id);
    e.text = std::move(text);
    return e;
  }
  static Event value(ControlId id, int value) { return of(Kind::Value, id, value); }
  static Event choose(ControlId id, int entry) { return of(Kind::Choose, id, entry); }
  static Event keyDown(std::string key, bool repeat = false, double at = -1) {
    Event e = of(Kind::KeyDown);
    e.text = std::move(key);
    e.repeat = repeat;
    e.at = at;
    return e;
  }
  static Event keyUp(std::string key, double at = -1) {
    Event e = of(Kind::KeyUp);
    e.text = std::move(key);
    e.at = at;
    return e;
  }
  static Event midi(std::uint32_t word, double at = -1) {
    Event e = of(Kind::Midi);
    e.word = word;
    e.at = at;
    return e;
  }
  /// Sound the microphone captured: `sampleRate` samples a second, the first captured `at`.
  static Event sound(std::vector<float> samples, int sampleRate, double at) {
    Event e = of(Kind::Sound, ControlId::Window, sampleRate);
    e.samples = std::move(samples);
    e.at = at;
    return e;
  }
  static Event tick() { return of(Kind::Tick); }
  static Event leave() { return of(Kind::Leave); }
  /// What the learner's keyboard layout prints on the keys: "KEY=CHARACTER" lines, a key by
  /// its place as KeyDown names it, the character in Windows-1252 (input/keymap.h reads them).
  /// Sent at the start and when the layout changes; a front end that cannot tell sends none,
  /// and the buttons show the keys' US names.
  static Event keyLayout(std::string lines) {
    Event e = of(Kind::KeyLayout);
    e.text = std::move(lines);
    return e;
  }
  /// A file chosen to open: its name (without folder and extension) and its bytes.
  static Event fileChosen(int request, std::string name, std::string bytes) {
    Event e = of(Kind::Answer);
    e.request = request;
    e.text = std::move(name);
    e.bytes = std::move(bytes);
    return e;
  }
  /// A file to open that could not be read, or a MIDI input that could not be opened: why, in
  /// the learner's language where it can.
  static Event fileRefused(int request, std::string name, std::string why) {
    Event e = of(Kind::Answer);
    e.request = request;
    e.text = std::move(name);
    e.bytes = std::move(why);
    e.index = -1;
    return e;
  }
  /// A file saved where the learner chose (text: the path shown; index: how many pages, for a
  /// tablature), or not (index -1, bytes: why).
  static Event saved(int request, std::string path, int pages = 0) {
    Event e = of(Kind::Answer);
    e.request = request;
    e.text = std::move(path);
    e.index = pages;
    return e;
  }
  static Event notSaved(int request, std::string path, std::string why) {
    Event e = saved(request, std::move(path));
    e.index = -1;
    e.bytes = std::move(why);
    return e;
  }
  /// An entry of the options offered chosen (index).
  static Event chosen(int request, int entry) {
    Event e = of(Kind::Answer);
    e.request = request;
    e.index = entry;
    return e;
  }
  static Event cancelledAnswer(int request) {
    Event e = of(Kind::Answer);
    e.request = request;
    e.cancelled = true;
    return e;
  }
};

/// Something the window object needs of the world; the front end answers with an Answer event
/// of the same id (except OpenMidiInput, OpenSoundInput and CloseSoundInput, which are answered
/// only when they fail).
struct Request {
  enum class Kind : std::uint8_t {
    OpenFile,       ///< let the learner choose a file: answer fileChosen, fileRefused or cancel
    SaveFile,       ///< let the learner choose where `bytes` go: answer saved, notSaved or cancel
    ChooseOne,      ///< let the learner choose one of `options`: answer chosen or cancel
    SaveTablature,  ///< let the learner choose where the loaded record's tablature goes, in
                    ///< the format `format`: answer saved, notSaved or cancel
    OpenMidiInput,  ///< open the MIDI input port `name` ("" closes it); no answer
    /// Capture the sound source `name` ("": the system's default microphone) and send it as
    /// Sound events, a block at least every 20 ms; when it cannot: fileRefused with why.
    OpenSoundInput,
    CloseSoundInput,  ///< stop capturing; no answer
  };
  int id = 0;
  Kind kind = Kind::OpenFile;
  std::string title;                 ///< the question, in the language in force
  std::string name;                  ///< a name to offer (SaveFile, SaveTablature), or a port
  std::string format;                ///< "mid", "pdf", "svg" ...: the files meant
  std::vector<std::string> options;  ///< OpenFile: the extensions taken; ChooseOne: the entries
  std::string bytes;                 ///< SaveFile: what to write
  std::size_t largest = 0;           ///< OpenFile: the largest file taken, in bytes
};

}  // namespace tastrello
