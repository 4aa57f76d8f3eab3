// The contract with a front end: the table of controls reached by name and id, the events a
// front end sends, the timers whose time the window object keeps, and the requests it makes.
#include <algorithm>
#include <limits>
#include <utility>

#include "window/form1.h"

namespace tastrello {

const std::vector<ControlInfo>& controlTable() {
  static const std::vector<ControlInfo> table{
#define CONTROL(name, kind, type, parent, handler) \
  {ControlId::name, #name, ControlKind::kind, 1, ControlId::parent, #handler},
#define PASSIVE(name, kind, type, parent) \
  {ControlId::name, #name, ControlKind::kind, 1, ControlId::parent, ""},
#define ARRAY(name, kind, type, count, parent, handler) \
  {ControlId::name, #name, ControlKind::kind, count, ControlId::parent, #handler},
#define PASSIVE_ARRAY(name, kind, type, count, parent) \
  {ControlId::name, #name, ControlKind::kind, count, ControlId::parent, ""},
#include "window/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY
  };
  return table;
}

const ControlInfo& controlInfo(ControlId id) {
  return controlTable().at(static_cast<std::size_t>(id));
}

ControlId controlNamed(const std::string& name) {
  for (const auto& info : controlTable())
    if (name == info.name) return info.id;
  return ControlId::Window;
}

namespace {

Control* asControl(Control& c) {
  return &c;
}
Control* asControl(Timer&) {
  return nullptr;
}
Timer* asTimer(Control&) {
  return nullptr;
}
Timer* asTimer(Timer& t) {
  return &t;
}

constexpr double kNever = std::numeric_limits<double>::infinity();

}  // namespace

Control* Form1::control(ControlId id, int index) {
  switch (id) {
#define CONTROL(name, kind, type, parent, handler) \
  case ControlId::name:                            \
    return index == 0 ? asControl(name) : nullptr;
#define PASSIVE(name, kind, type, parent) CONTROL(name, kind, type, parent, none)
#define ARRAY(name, kind, type, count, parent, handler) \
  case ControlId::name:                                 \
    return index >= 0 && index < (count) ? asControl(name[std::size_t(index)]) : nullptr;
#define PASSIVE_ARRAY(name, kind, type, count, parent) ARRAY(name, kind, type, count, parent, none)
#include "window/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY
    case ControlId::Window:
      break;
  }
  return nullptr;
}

Timer* Form1::timer(ControlId id) {
  switch (id) {
#define CONTROL(name, kind, type, parent, handler) \
  case ControlId::name:                            \
    return asTimer(name);
#define PASSIVE(name, kind, type, parent) CONTROL(name, kind, type, parent, none)
#define ARRAY(name, kind, type, count, parent, handler)
#define PASSIVE_ARRAY(name, kind, type, count, parent)
#include "window/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY
    default:
      break;
  }
  return nullptr;
}

void Form1::runHandler(ControlId id, int index) {
  callHandler(id, index);
  // Set after it ran: a handler that clicks a toggle from code runs that one's handler first.
  handled = controlInfo(id).handler;
}

void Form1::callHandler(ControlId id, int index) {
  switch (id) {
#define CONTROL(name, kind, type, parent, handler) \
  case ControlId::name:                            \
    handler();                                     \
    return;
#define PASSIVE(name, kind, type, parent)
#define ARRAY(name, kind, type, count, parent, handler) \
  case ControlId::name:                                 \
    handler(index);                                     \
    return;
#define PASSIVE_ARRAY(name, kind, type, count, parent)
#include "window/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY
    default:
      return;  // a control whose value is all it has
  }
}

ControlId Form1::idOf(const Control& c) {
  for (const auto& info : controlTable())
    for (int i = 0; i < info.count; ++i)
      if (control(info.id, i) == &c) return info.id;
  return ControlId::Window;
}

bool Form1::shown(ControlId id, int index) {
  for (; id != ControlId::Window; id = controlInfo(id).parent, index = 0) {
    const Control* c = control(id, index);
    if (!c || !c->visible) return false;
  }
  return true;
}

// ---- Events

bool Form1::dispatch(const Event& e) {
  handled = "";
  const double now = clock().seconds();
  syncTimers(now);  // a timer enabled by code since the last event counts from its start
  // A key counts from when it was pressed, not from when this thread got to it.
  inputAt = e.at;
  bool taken = true;
  switch (e.kind) {
    case Event::Kind::Click:
      taken = clickControl(e.control, e.index);
      break;
    case Event::Kind::Row:
    case Event::Kind::Text:
    case Event::Kind::Value:
    case Event::Kind::Choose: {
      Control* c = control(e.control);
      taken = c && shown(e.control) && c->enabled;
      if (!taken) break;
      const ControlKind kind = controlInfo(e.control).kind;
      if (e.kind == Event::Kind::Row && kind == ControlKind::List) {
        auto& list = static_cast<ListBox&>(*c);
        list.selected = e.index >= 0 && e.index < int(list.items.size()) ? e.index : -1;
      } else if (e.kind == Event::Kind::Choose && kind == ControlKind::Chooser) {
        auto& chooser = static_cast<Chooser&>(*c);
        if (e.index < 0 || e.index >= int(chooser.values.size())) {
          taken = false;
          break;
        }
        chooser.selected = e.index;
      } else if (e.kind == Event::Kind::Text && kind == ControlKind::TextField) {
        static_cast<TextField&>(*c).text = e.text;
      } else if (e.kind == Event::Kind::Value && kind == ControlKind::Slider) {
        auto& slider = static_cast<Slider&>(*c);
        const int value = std::clamp(e.index, slider.minimum, slider.maximum);
        if (value == slider.value) break;  // nothing moved
        slider.value = value;
      } else {
        taken = false;  // an event this kind of control does not have
        break;
      }
      runHandler(e.control, 0);
      break;
    }
    case Event::Kind::KeyDown:
      // A key held repeats: it stays held, and is claimed as the first press was.
      taken = e.repeat ? claimsKey(e.text) : handKeyDown(e.text);
      break;
    case Event::Kind::KeyUp:
      taken = handKeyUp(e.text);
      break;
    case Event::Kind::Midi:
      MidiIn_Message(e.word);
      break;
    case Event::Kind::Tick:
      runDueTimers(now);
      break;
    case Event::Kind::Answer:
      answer(e);
      break;
    case Event::Kind::KeyLayout:
      takeKeyPrints(e.text);
      break;
    case Event::Kind::Ports:
      fillChoosers();
      break;
    case Event::Kind::Leave:
      releaseHands();
      break;
    case Event::Kind::Sound:
      hearSound(e.samples, e.index, e.at);
      break;
  }
  inputAt = -1;
  syncTimers(clock().seconds());
  // A choice the learner made comes back after a restart.
  if (e.kind != Event::Kind::Tick && e.kind != Event::Kind::Midi && e.kind != Event::Kind::Sound)
    rememberChoices();
  return taken;
}

bool Form1::clickControl(ControlId id, int index) {
  Control* c = control(id, index);
  if (!c || !shown(id, index) || !c->enabled) return false;
  switch (controlInfo(id).kind) {
    case ControlKind::Button:
    case ControlKind::Picture:
    case ControlKind::Key:
      runHandler(id, index);
      return true;
    case ControlKind::CheckBox:
      clickToggle(static_cast<Toggle&>(*c));
      return true;
    case ControlKind::Option:
      static_cast<Toggle&>(*c).value = 1;
      runHandler(id, index);
      return true;
    default:
      return false;  // nothing to click
  }
}

void Form1::clickToggle(Toggle& toggle) {
  toggle.value = toggle.value ? 0 : 1;
  runHandler(idOf(toggle), 0);
}

void Form1::setToggleValue(Toggle& toggle, int value) {
  if (toggle.value == value) return;
  toggle.value = value;
  runHandler(idOf(toggle), 0);
}

// ---- Time

void Form1::restartTimer(Timer& t) {
  t.due = t.enabled ? clock().seconds() + t.interval / 1000.0 : -1;
}

void Form1::syncTimers(double now) {
  for (const auto& info : controlTable()) {
    Timer* t = timer(info.id);
    if (!t) continue;
    if (!t->enabled)
      t->due = -1;
    else if (t->due < 0)
      t->due = now + t->interval / 1000.0;
  }
}

double Form1::leadOf(ControlId id) {
  // Only replay steps are handed over early, and only to an output that places them in time.
  return id == ControlId::Timer1 ? std::max(0.0, services.midi->leadSeconds()) : 0;
}

double Form1::nextWake() {
  syncTimers(clock().seconds());
  double wake = showAt > clock().seconds() ? showAt : kNever;
  for (const auto& info : controlTable())
    if (const Timer* t = timer(info.id); t && t->enabled && t->due >= 0)
      wake = std::min(wake, t->due - leadOf(info.id));
  return wake;
}

double Form1::inputMoment() {
  const double now = clock().seconds();
  return inputAt >= 0 ? std::min(inputAt, now) : now;
}

double Form1::tickMoment() {
  return tickAt >= 0 ? tickAt : clock().seconds();
}

bool Form1::showsAhead() {
  return showAt > clock().seconds();
}

void Form1::runDueTimers(double now) {
  // The timers due run in the order of their moments; a timer far behind (a machine that
  // stalled) runs once, not in a burst.
  for (int round = 0; round < 16; ++round) {
    ControlId next = ControlId::Window;
    double earliest = kNever;
    for (const auto& info : controlTable()) {
      const Timer* t = timer(info.id);
      if (!t || !t->enabled || t->due < 0) continue;
      const double wake = t->due - leadOf(info.id);
      if (wake <= now && wake < earliest) earliest = wake, next = info.id;
    }
    if (next == ControlId::Window) return;
    fireTimer(next, now);
  }
}

void Form1::fireTimer(ControlId id, double now) {
  Timer& t = *timer(id);
  const double interval = t.interval / 1000.0;
  // More than a step behind: the tick is taken as now, and the next ones follow from here.
  double at = t.due;
  if (now > at + interval) at = now;
  t.due = at;
  const bool placed = leadOf(id) > 0;
  sound().soundAt(placed ? at : kAtOnce);
  tickAt = at;
  runHandler(id, 0);
  tickAt = -1;
  sound().soundAt(kAtOnce);
  if (placed && at > now) showAt = at;
  // A handler that stopped its timer, or started its wait afresh, has said when it ticks next.
  if (!t.enabled)
    t.due = -1;
  else if (t.due == at)
    t.due = at + t.interval / 1000.0;
}

// ---- Requests

void Form1::ask(Request request, std::function<void(const Event&)> onAnswer) {
  request.id = nextRequest_++;
  if (onAnswer) waiting_[request.id] = std::move(onAnswer);
  requests_.push_back(std::move(request));
}

std::vector<Request> Form1::takeRequests() {
  return std::exchange(requests_, {});
}

void Form1::answer(const Event& e) {
  const auto it = waiting_.find(e.request);
  if (it == waiting_.end()) return;  // answered before, or never asked
  const auto onAnswer = std::move(it->second);
  waiting_.erase(it);
  onAnswer(e);
}

}  // namespace tastrello
