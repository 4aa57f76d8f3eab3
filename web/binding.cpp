// The page's module: the window object with the web's services, reached by the page through
// embind. The page sends events; after each it takes what changed (per control, a compact
// JSON text compared with what it was sent last), the requests, and when to wake up next.
// Texts go out as UTF-8 (the logic's Windows-1252 converted); file bytes go both ways
// unchanged, as typed arrays.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cmath>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "exchange/markup.h"
#include "window/form1.h"
#include "shell/text.h"
#include "tablature/tab_svg.h"

using emscripten::val;

namespace tastrello {

namespace {

std::string bytesOf(const val& array) {
  const auto length = array["length"].as<std::size_t>();
  std::string bytes(length, '\0');
  if (length) {
    val view(emscripten::typed_memory_view(length, reinterpret_cast<unsigned char*>(bytes.data())));
    view.call<void>("set", array);
  }
  return bytes;
}

val arrayOf(const std::string& bytes) {
  // A copy: the module's memory may move when it grows.
  return val(emscripten::typed_memory_view(bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data())))
      .call<val>("slice");
}

/// A page text (UTF-8) as the logic's Windows-1252; what the code page lacks becomes "?".
std::string fromPage(const std::string& utf8) {
  if (auto bytes = utf8ToCp1252(utf8)) return *bytes;
  std::string out;
  for (unsigned char c : utf8)
    if (c < 0x80) out += char(c);
    else if (c >= 0xC0) out += '?';
  return out;
}

// ---- JSON, written by hand: the texts are few and simple, and a library would weigh more
// than the whole writer.
class Json {
 public:
  Json& text(const std::string& cp1252) {
    out_ += '"';
    for (unsigned char c : cp1252ToUtf8(cp1252)) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += char(c);
      } else if (c < 0x20) {
        static const char* hex = "0123456789abcdef";
        out_ += "\\u00";
        out_ += hex[c >> 4];
        out_ += hex[c & 15];
      } else {
        out_ += char(c);
      }
    }
    out_ += '"';
    return *this;
  }
  Json& key(const char* name) {
    comma();
    out_ += '"';
    out_ += name;
    out_ += "\":";
    fresh_ = true;
    return *this;
  }
  Json& number(long long n) {
    comma();
    out_ += std::to_string(n);
    return *this;
  }
  Json& decimal(double x) {
    // Milliseconds are enough for any moment the page waits for; no locale is involved.
    comma();
    if (!std::isfinite(x)) {
      out_ += "-1";
      return *this;
    }
    out_ += std::to_string(static_cast<long long>(std::llround(x * 1000)));
    out_ += "e-3";
    return *this;
  }
  Json& boolean(bool b) {
    comma();
    out_ += b ? "true" : "false";
    return *this;
  }
  Json& string(const std::string& cp1252) {
    comma();
    return text(cp1252);
  }
  Json& raw(const std::string& json) {
    comma();
    out_ += json;
    return *this;
  }
  Json& open(char bracket) {
    comma();
    out_ += bracket;
    fresh_ = true;
    return *this;
  }
  Json& close(char bracket) {
    out_ += bracket;
    fresh_ = false;
    return *this;
  }
  const std::string& str() const { return out_; }

 private:
  void comma() {
    if (!fresh_ && !out_.empty()) out_ += ',';
    fresh_ = false;
  }
  std::string out_;
  bool fresh_ = true;
};

void fields(Json& j, const Control& c) {
  j.key("caption").string(c.caption).key("back").number(c.backColor == kDefaultColour ? -1LL : static_cast<long long>(c.backColor));
  j.key("font").number(c.fontSize).key("bold").boolean(c.bold).key("visible").boolean(c.visible);
  j.key("enabled").boolean(c.enabled).key("border").boolean(c.border);
  j.key("left").number(c.left).key("top").number(c.top).key("width").number(c.width).key("height").number(c.height);
  j.key("tag").string(c.tag).key("tip").string(c.toolTip).key("picture").string(c.picture);
  j.key("picture2").string(c.picture2);
}
void fields(Json& j, const Toggle& t) {
  fields(j, static_cast<const Control&>(t));
  j.key("value").number(t.value);
}
void fields(Json& j, const ListBox& l) {
  fields(j, static_cast<const Control&>(l));
  j.key("items").open('[');
  for (const auto& item : l.items) j.string(item);
  j.close(']').key("selected").number(l.selected).key("bellows").open('[');
  for (Bellows b : l.bellows) j.number(static_cast<int>(b));
  j.close(']').key("markedFirst").number(l.markedFirst).key("markedLast").number(l.markedLast);
  j.key("notes").open('[');
  for (const auto& note : l.rowNotes) j.string(note);
  j.close(']');
}
void fields(Json& j, const FileList& l) {
  fields(j, static_cast<const ListBox&>(l));
}
void fields(Json& j, const Chooser& c) {
  fields(j, static_cast<const ListBox&>(c));
}
void fields(Json& j, const TextField& t) {
  fields(j, static_cast<const Control&>(t));
  j.key("text").string(t.text);
}
void fields(Json& j, const Slider& s) {
  fields(j, static_cast<const Control&>(s));
  j.key("value").number(s.value).key("minimum").number(s.minimum).key("maximum").number(s.maximum);
}

/// A share of a chart (0 to 1, or -1 to 1) in thousandths: whole numbers, as no locale writes
/// them otherwise.
long long perMille(double share) {
  return std::llround(share * 1000);
}
void fields(Json& j, const Chart& c) {
  fields(j, static_cast<const Control&>(c));
  j.key("columns").open('[');
  for (const ChartColumn& column : c.columns) {
    j.open('{').key("height").number(perMille(column.height));
    j.key("colour").number(column.colour == kDefaultColour ? -1LL : static_cast<long long>(column.colour));
    j.key("line").number(column.line < 0 ? -1 : perMille(column.line));
    j.key("note").string(column.note).key("cross").boolean(column.cross).close('}');
  }
  j.close(']').key("places").number(c.places).key("centred").boolean(c.centred);
  j.key("band").number(perMille(c.band)).key("scaleTop").string(c.scaleTop);
  j.key("scaleBottom").string(c.scaleBottom).key("footer").string(c.footer);
}

template <typename T>
std::string serialise(const T& state) {
  Json j;
  j.open('{');
  fields(j, state);
  j.close('}');
  return j.str();
}
std::string serialise(const Timer&) {
  return {};
}

const char* kindName(ControlKind kind) {
  static const char* const names[] = {"Button", "Picture", "Label",  "List",   "CheckBox",
                                      "Option", "Slider",  "TextField", "Chooser", "Chart",
                                      "Sheet",  "Key",     "Marker", "Timer",  "Data"};
  return names[static_cast<int>(kind)];
}

// ---- The web's services: each hands the call to the page object given at the start.

class PageMidiPort : public MidiPort {
 public:
  explicit PageMidiPort(val page) : page_(std::move(page)) {}
  int open(int, std::uint32_t& handle) override {
    handle = 1;
    return 0;
  }
  int send(std::uint32_t handle, std::uint32_t word, SoundTime at) override {
    if (!handle) return 1;
    page_.call<void>("send", word, at);
    return 0;
  }
  int close(std::uint32_t, SoundTime at) override {
    page_.call<void>("silence", at);
    return 0;
  }
  std::string errorText(int) override { return "no output is open"; }
  double leadSeconds() override { return page_.call<double>("leadSeconds"); }

 private:
  val page_;
};

/// The working folder in memory, each replacement written through to the page's storage.
class PageFiles : public Files {
 public:
  explicit PageFiles(val page) : page_(std::move(page)) {}
  void put(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
  std::optional<std::string> read(const std::string& path) override {
    const auto it = find(path);
    if (it == files_.end()) return std::nullopt;
    return it->second;
  }
  std::string replace(const std::string& path, const std::string& bytes) override {
    if (!isSafeRelativePath(path)) return "the name cannot be stored";
    const auto it = find(path);
    const std::string name = it == files_.end() ? path : it->first;
    files_[name] = bytes;
    page_.call<void>("writeFile", val(cp1252ToUtf8(name)), arrayOf(bytes));
    return {};
  }
  std::optional<std::vector<std::string>> list(const std::string& folder) override {
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files_) {
      if (path.size() <= prefix.size() || !sameNameIgnoringCase(path.substr(0, prefix.size()), prefix))
        continue;
      const std::string name = path.substr(prefix.size());
      if (name.find('/') == std::string::npos) names.push_back(name);
    }
    return names;
  }

 private:
  std::map<std::string, std::string>::iterator find(const std::string& path) {
    const auto exact = files_.find(path);
    if (exact != files_.end()) return exact;
    for (auto it = files_.begin(); it != files_.end(); ++it)
      if (sameNameIgnoringCase(it->first, path)) return it;
    return files_.end();
  }
  val page_;
  std::map<std::string, std::string> files_;
};

class PageWorld : public OutputChoice, public Clock, public MidiPorts, public AudioStatus {
 public:
  explicit PageWorld(val page) : page_(std::move(page)) {}
  void choose(const std::string& setting) override {
    page_.call<void>("chooseOutput", val(cp1252ToUtf8(setting)));
  }
  void useSoundFont(const std::string&) override {}  // the page ships one SoundFont
  void useAudioBuffer(int) override {}  // the browser sizes the audio buffer itself
  double seconds() override { return page_.call<double>("now"); }
  std::string localTime() override { return fromPage(page_.call<std::string>("localTime")); }
  std::vector<std::string> inputs() override { return names("midiInputs"); }
  std::vector<std::string> outputs() override { return names("midiOutputs"); }
  AudioReport audioReport() override {
    const val r = page_.call<val>("audioReport");
    AudioReport report;
    if (!r["port"].isUndefined()) report.port = fromPage(r["port"].as<std::string>());
    report.running = r["running"].as<bool>();
    report.driver = fromPage(r["driver"].as<std::string>());
    report.soundFont = fromPage(r["soundFont"].as<std::string>());
    report.problem = fromPage(r["problem"].as<std::string>());
    report.bufferFrames = r["bufferFrames"].as<int>();
    report.sampleRate = r["sampleRate"].as<double>();
    report.latencyMs = r["latencyMs"].as<double>();
    report.underruns = r["underruns"].as<int>();
    return report;
  }

 private:
  std::vector<std::string> names(const char* method) {
    const val list = page_.call<val>(method);
    std::vector<std::string> out;
    const auto n = list["length"].as<unsigned>();
    for (unsigned i = 0; i < n; ++i) out.push_back(fromPage(list[i].as<std::string>()));
    return out;
  }
  val page_;
};

/// Scores read by the page: its DOMParser gives the tree as marked text (page/markup.js),
/// its fflate inflates. The marks are characters no XML document holds.
class PageMarkupReader : public MarkupReader {
 public:
  explicit PageMarkupReader(val page) : page_(std::move(page)) {}

  std::optional<XmlElement> parseXml(std::string_view bytes, std::size_t largestElements,
                                     std::string& problem, UiLanguage language) const override {
    if (page_["parseXml"].isUndefined()) {
      problem = uiText(language, Text::WhyNoMusicXml);
      return std::nullopt;
    }
    const val r = page_.call<val>("parseXml", arrayOf(std::string(bytes)), largestElements,
                                  kDeepestXml);
    if (!r["tree"].isUndefined()) {
      XmlElement root;
      const std::string tree = r["tree"].as<std::string>();
      std::size_t at = 0;
      if (readElement(tree, at, root, 1) && at == tree.size()) return root;
      problem = uiText(language, Text::WhyXmlEmpty);
      return std::nullopt;
    }
    const std::string kind = r["problem"].as<std::string>();
    if (kind == "many")
      problem = uiText(language, Text::WhyXmlTooMany, {std::to_string(largestElements)});
    else if (kind == "deep")
      problem = uiText(language, Text::WhyXmlTooDeep, {std::to_string(kDeepestXml)});
    else if (kind == "malformed")
      problem = uiText(language, Text::WhyXmlMalformedHere, {fromPage(r["detail"].as<std::string>())});
    else
      problem = uiText(language, Text::WhyXmlEmpty);
    return std::nullopt;
  }

  std::optional<std::string> inflate(std::string_view deflated, std::size_t size,
                                     std::string& problem, UiLanguage language) const override {
    if (page_["inflate"].isUndefined()) {
      problem = uiText(language, Text::WhyNoMusicXml);
      return std::nullopt;
    }
    const val r = page_.call<val>("inflate", arrayOf(std::string(deflated)), size);
    if (!r["bytes"].isUndefined()) return bytesOf(r["bytes"]);
    problem = uiText(language, r["problem"].as<std::string>() == "damaged" ? Text::WhyInflateDamaged
                                                                          : Text::WhyInflateSize);
    return std::nullopt;
  }

 private:
  static constexpr char kOpen = '\x01', kField = '\x02', kText = '\x03', kClose = '\x04';

  /// The text from `at` up to the next mark.
  static std::string upToMark(const std::string& tree, std::size_t& at) {
    const std::size_t end = tree.find_first_of("\x01\x02\x03\x04", at);
    const std::size_t stop = end == std::string::npos ? tree.size() : end;
    std::string out = tree.substr(at, stop - at);
    at = stop;
    return out;
  }

  /// One element and its children from `at`; false when the marks are not as the page writes
  /// them. The page keeps to the depth asked; this keeps to it too.
  static bool readElement(const std::string& tree, std::size_t& at, XmlElement& out, int depth) {
    if (depth > kDeepestXml || at >= tree.size() || tree[at] != kOpen) return false;
    ++at;
    out.name = upToMark(tree, at);
    while (at < tree.size() && tree[at] == kField) {
      ++at;
      std::string name = upToMark(tree, at);
      if (at >= tree.size() || tree[at] != kField) return false;
      ++at;
      out.attributes.emplace_back(std::move(name), upToMark(tree, at));
    }
    if (at >= tree.size() || tree[at] != kText) return false;
    ++at;
    out.text = upToMark(tree, at);
    while (at < tree.size() && tree[at] == kOpen) {
      out.children.emplace_back();
      if (!readElement(tree, at, out.children.back(), depth + 1)) return false;
    }
    if (at >= tree.size() || tree[at] != kClose) return false;
    ++at;
    return true;
  }

  val page_;
};

}  // namespace

/// The window object as the page sees it.
class WebWindow {
 public:
  explicit WebWindow(val page)
      : midi_(page), files_(page), world_(page), markup_(page),
        form_(Services{&midi_, &files_, &world_, &world_, &world_, &world_, &markup_}) {}

  /// A file of the working folder, before the start.
  void putFile(const std::string& path, const val& bytes) { files_.put(fromPage(path), bytesOf(bytes)); }

  void start() {
    form_.Form_Load();
    form_.Form_Activate();
  }

  /// A learner's first start: the lessons listed and what to do first said.
  void welcome() { form_.welcome(); }

  /// Started again in the same visit: the splash does not come back.
  void splashSeen() { form_.splashSeen(); }

  /// One event; then what the page needs to draw: see update().
  std::string dispatch(int kind, const std::string& control, int index, const std::string& text,
                       const val& bytes, bool repeat, unsigned word, int request, bool cancelled,
                       double at) {
    Event e;
    e.kind = static_cast<Event::Kind>(kind);
    e.control = controlNamed(control);
    e.index = index;
    e.text = fromPage(text);
    if (!bytes.isUndefined() && !bytes.isNull()) e.bytes = bytesOf(bytes);
    e.repeat = repeat;
    e.word = word;
    e.request = request;
    e.cancelled = cancelled;
    e.at = at;
    const bool taken = form_.dispatch(e);
    return update(taken);
  }

  /// A block of the microphone's sound (a Float32Array, one channel, full scale 1) captured
  /// from `at` on the window's clock at `sampleRate`; then what the page needs to draw, as
  /// after any event. The samples are copied in one go, not element by element.
  std::string sound(const val& samples, int sampleRate, double at) {
    std::vector<float> block(samples["length"].as<std::size_t>());
    if (!block.empty()) val(emscripten::typed_memory_view(block.size(), block.data())).call<void>("set", samples);
    return update(form_.dispatch(Event::sound(std::move(block), sampleRate, at)));
  }

  /// {taken, changes: {control or control[i]: state}, window, requests, wake, ahead, now}. While
  /// a replay step prepared ahead has not sounded, no changes go out: they are drawn at the
  /// wake-up when it sounds.
  std::string update(bool taken = true) {
    Json j;
    j.open('{').key("taken").boolean(taken);
    const bool ahead = form_.showsAhead();
    j.key("ahead").boolean(ahead);
    if (!ahead) {
      j.key("changes").open('{');
      for (const auto& info : controlTable()) {
        for (int i = 0; i < info.count; ++i) {
          std::string state = serialiseControl(info.id, i);
          if (state.empty()) continue;
          std::string name = info.count > 1 ? std::string(info.name) + "[" + std::to_string(i) + "]" : info.name;
          auto& last = sent_[name];
          if (last == state) continue;
          j.key(name.c_str()).raw(state);
          last = std::move(state);
        }
      }
      j.close('}');
      const std::string window = windowState();
      if (window != sentWindow_) {
        j.key("window").raw(window);
        sentWindow_ = window;
      }
      const std::string sheet = form_.TabSheet.visible ? tablatureState() : std::string();
      if (sheet != sentSheet_) {
        j.key("tablature").raw(sheet.empty() ? "null" : sheet);
        sentSheet_ = sheet;
      }
    }
    j.key("requests").open('[');
    for (const Request& r : form_.takeRequests()) {
      j.open('{').key("id").number(r.id).key("kind").number(static_cast<int>(r.kind));
      j.key("title").string(r.title).key("name").string(r.name).key("format").string(r.format);
      j.key("options").open('[');
      for (const auto& o : r.options) j.string(o);
      j.close(']').key("largest").number(static_cast<long long>(r.largest)).close('}');
      if (!r.bytes.empty()) requestBytes_[r.id] = r.bytes;
    }
    j.close(']').key("wake").decimal(form_.nextWake()).key("now").decimal(form_.now()).close('}');
    return j.str();
  }

  /// The bytes a SaveFile request carries, once.
  val takeRequestBytes(int id) {
    const auto it = requestBytes_.find(id);
    if (it == requestBytes_.end()) return val::null();
    val bytes = arrayOf(it->second);
    requestBytes_.erase(it);
    return bytes;
  }

  /// A page of the tablature the last update described (UTF-8 SVG), "" past the last.
  std::string tablaturePage(int page) {
    if (page < 0 || page >= static_cast<int>(sheetPages_.size())) return {};
    return tabPageSvg(sheetDocument_, sheetPages_, page);
  }

  /// Every page of the tablature in one SVG document, as the desktop saves it.
  std::string tablatureDocument() { return tabDocumentSvg(sheetDocument_, sheetPages_); }

  /// Whether a key (by its place) plays now: the page then keeps it from the browser.
  bool claimsKey(const std::string& key) { return form_.claimsKey(fromPage(key)); }

  /// One of the program's own texts in the language in force, by its name in the table of
  /// texts, with its "%1", "%2" ... filled from `args` (UTF-8); "" for a name it has not.
  std::string say(const std::string& name, const val& args) {
    std::vector<std::string> given;
    const auto n = args["length"].as<unsigned>();
    for (unsigned i = 0; i < n; ++i) given.push_back(fromPage(args[i].as<std::string>()));
    while (given.size() < 3) given.emplace_back();
#define TEXT(id, german, english, spanish, bavarian) \
  if (name == #id) return cp1252ToUtf8(form_.say(Text::id, {given[0], given[1], given[2]}));
#include "shell/ui_texts.inc"
#undef TEXT
    return {};
  }

  /// The language file in force: the page relabels its own buttons when it changes.
  std::string language() const { return form_.textsLanguage; }

  /// Tells the window object of a problem met by the page (shown and kept with the others).
  void report(const std::string& text) { form_.status().report(fromPage(text)); }

  void stop() { form_.Form_Unload(); }

 private:
  std::string serialiseControl(ControlId id, int index) {
    switch (id) {
#define CONTROL(name, kind, type, parent, handler) \
  case ControlId::name:                            \
    return serialise(form_.name);
#define PASSIVE(name, kind, type, parent) CONTROL(name, kind, type, parent, none)
#define ARRAY(name, kind, type, count, parent, handler) \
  case ControlId::name:                                 \
    return serialise(form_.name[static_cast<std::size_t>(index)]);
#define PASSIVE_ARRAY(name, kind, type, count, parent) ARRAY(name, kind, type, count, parent, none)
#include "window/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY
      case ControlId::Window:
        break;
    }
    return {};
  }

  std::string windowState() {
    Json j;
    j.open('{').key("caption").string(form_.windowCaption).key("width").number(form_.windowWidth);
    j.key("height").number(kWindowHeight).key("beeps").number(form_.beepCount);
    j.key("problems").open('[');
    for (const auto& p : form_.status().problems()) j.string(p);
    j.close(']').key("passes").open('[');
    const auto& passes = form_.practice.history.passes;
    const std::size_t shown = std::min<std::size_t>(passes.size(), 20);
    for (std::size_t i = passes.size() - shown; i < passes.size(); ++i) {
      const PassScore& s = passes[i].score;
      j.open('[').number(passes[i].tempo).number(s.events).number(s.rightFirstTry);
      j.boolean(s.clean()).close(']');
    }
    j.close(']').close('}');
    return j.str();
  }

  /// The tablature while its sheet is shown: {version, pages, width, height, page, title,
  /// mark: [x, y, width, height] in the page's points, or null}. The pages are laid out again
  /// only when the record, its meter or its tuning changed (the version says so); replay only
  /// moves the mark and the page it is on.
  std::string tablatureState() {
    TabDocument document = form_.tablatureDocument();
    if (document != sheetDocument_ || sheetVersion_ == 0) {
      sheetDocument_ = std::move(document);
      sheetPages_ = layoutTablature(sheetDocument_);
      ++sheetVersion_;
    }
    const TabGeometry geometry;
    const int current = form_.currentEvent();
    const int page = current > 0 && !sheetPages_.empty() ? tabPlaceOf(sheetPages_, current).first : 0;
    Json j;
    j.open('{').key("version").number(sheetVersion_).key("pages").number(static_cast<long long>(sheetPages_.size()));
    j.key("width").decimal(geometry.width).key("height").decimal(geometry.height).key("page").number(page);
    j.key("title").string(form_.say(Text::TabCaption) + " - " + sheetDocument_.title).key("mark");
    if (const auto mark = tabMarkOf(sheetPages_, page, current, geometry))
      j.open('[').decimal(mark->x).decimal(mark->y).decimal(mark->width).decimal(mark->height).close(']');
    else
      j.raw("null");
    j.close('}');
    return j.str();
  }

  PageMidiPort midi_;
  PageFiles files_;
  PageWorld world_;
  PageMarkupReader markup_;
  Form1 form_;
  std::unordered_map<std::string, std::string> sent_;
  std::string sentWindow_;
  std::string sentSheet_;
  TabDocument sheetDocument_;
  std::vector<TabPage> sheetPages_;
  int sheetVersion_ = 0;
  std::map<int, std::string> requestBytes_;
};

/// The table of controls, for the page to build its elements from.
std::string controlTableJson() {
  Json j;
  j.open('[');
  for (const auto& info : controlTable()) {
    j.open('{').key("name").string(info.name).key("kind").string(kindName(info.kind));
    j.key("count").number(info.count).key("parent").string(info.parent == ControlId::Window ? "Window" : controlInfo(info.parent).name);
    j.key("handler").string(info.handler).close('}');
  }
  j.close(']');
  return j.str();
}

}  // namespace tastrello

EMSCRIPTEN_BINDINGS(tastrello) {
  using namespace tastrello;
  emscripten::class_<WebWindow>("Window")
      .constructor<val>()
      .function("putFile", &WebWindow::putFile)
      .function("start", &WebWindow::start)
      .function("welcome", &WebWindow::welcome)
      .function("splashSeen", &WebWindow::splashSeen)
      .function("dispatch", &WebWindow::dispatch)
      .function("sound", &WebWindow::sound)
      .function("update", &WebWindow::update)
      .function("takeRequestBytes", &WebWindow::takeRequestBytes)
      .function("tablaturePage", &WebWindow::tablaturePage)
      .function("tablatureDocument", &WebWindow::tablatureDocument)
      .function("claimsKey", &WebWindow::claimsKey)
      .function("say", &WebWindow::say)
      .function("language", &WebWindow::language)
      .function("report", &WebWindow::report)
      .function("stop", &WebWindow::stop);
  emscripten::function("controlTable", &controlTableJson);
}
