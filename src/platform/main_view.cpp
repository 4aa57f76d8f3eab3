#include "platform/main_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScreen>
#include <QSlider>
#include <QSvgRenderer>
#include <cmath>
#include <memory>
#include <optional>
#include <tuple>

#include "platform/disk_files.h"
#include "platform/key_button.h"
#include "platform/key_names.h"
#include "platform/key_prints.h"
#include "platform/midi_input.h"
#include "platform/tablature_view.h"
#include "shell/text.h"

// Qt resources of a static library must be registered by name, outside any namespace.
static void registerArtwork() {
  Q_INIT_RESOURCE(assets);
}

namespace tastrello {

namespace {

QString toQt(const std::string& bytes) {
  return QString::fromStdString(cp1252ToUtf8(bytes));
}

/// Typed text as Windows-1252 bytes; a character it cannot hold becomes "?", which no
/// file name accepts, so the name field shows the warning colour instead of losing text.
std::string fromQt(const QString& text) {
  std::string out;
  for (const QChar c : text) {
    const auto bytes = utf8ToCp1252(QString(c).toStdString());
    out += bytes ? *bytes : "?";
  }
  return out;
}

QColor toColor(Colour c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QString picturePath(const std::string& name) {
  return QString(":/assets/%1.svg").arg(QString::fromStdString(name));
}

/// A label that reports clicks (the language pictures, the splash, the copyright sign).
/// A picture that acts as a button: the mouse, or Space and Enter while it has the focus.
class ClickLabel : public QLabel {
 public:
  explicit ClickLabel(QWidget* parent) : QLabel(parent) {}
  void setClick(std::function<void()> onClick) {
    clicked_ = std::move(onClick);
    setFocusPolicy(clicked_ ? Qt::StrongFocus : Qt::NoFocus);
    setCursor(clicked_ ? Qt::PointingHandCursor : Qt::ArrowCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent*) override {
    if (clicked_) clicked_();
  }
  void keyPressEvent(QKeyEvent* event) override {
    const int key = event->key();
    if (clicked_ && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter))
      clicked_();
    else
      QLabel::keyPressEvent(event);
  }
  void focusInEvent(QFocusEvent* event) override {
    setFrameShape(QFrame::Box);
    QLabel::focusInEvent(event);
  }
  void focusOutEvent(QFocusEvent* event) override {
    setFrameShape(QFrame::NoFrame);
    QLabel::focusOutEvent(event);
  }

 private:
  std::function<void()> clicked_;
};

/// A list whose highlighted row is always the window object's: a click on a row, or a key
/// that moves the row (arrows, Home, End, the page keys, Space and Enter on the row), reaches
/// the handler as a click on that row, and the view then shows what the handler left.
/// Dragging and typing select nothing by themselves.
class RowList : public QListWidget {
 public:
  RowList(const ListBox& state, QWidget* parent) : QListWidget(parent), state_(state) {}
  std::function<void(int)> onRowClicked;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) pressedRow_ = rowAt(event);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
  void mouseMoveEvent(QMouseEvent*) override {}
  void mouseReleaseEvent(QMouseEvent* event) override {
    const int row = event->button() == Qt::LeftButton ? rowAt(event) : -1;
    if (row >= 0 && row == pressedRow_) clickRow(row);
    pressedRow_ = -1;
  }
  void keyPressEvent(QKeyEvent* event) override {
    const int last = count() - 1;
    const int from = state_.selected >= 0 && state_.selected <= last ? state_.selected : -1;
    const int page = std::max(1, viewport()->height() / std::max(1, sizeHintForRow(0)) - 1);
    int to = -1;
    switch (event->key()) {
      case Qt::Key_Up:
        to = from < 0 ? last : std::max(0, from - 1);
        break;
      case Qt::Key_Down:
        to = from < 0 ? 0 : std::min(last, from + 1);
        break;
      case Qt::Key_Home:
        to = 0;
        break;
      case Qt::Key_End:
        to = last;
        break;
      case Qt::Key_PageUp:
        to = from < 0 ? 0 : std::max(0, from - page);
        break;
      case Qt::Key_PageDown:
        to = from < 0 ? 0 : std::min(last, from + page);
        break;
      case Qt::Key_Space:
      case Qt::Key_Return:
      case Qt::Key_Enter:
        to = from;
        break;
      default:
        QWidget::keyPressEvent(event);  // not taken here: the window may use it
        return;
    }
    if (to >= 0 && to <= last) clickRow(to);
  }

 private:
  int rowAt(QMouseEvent* event) const { return row(itemAt(event->position().toPoint())); }
  void clickRow(int row) {
    if (onRowClicked) onRowClicked(row);
  }
  const ListBox& state_;
  int pressedRow_ = -1;
};

/// The loaded record's practice history: a bar per pass for the share right at the first try
/// (green when the pass was clean), and a line for the tempo it was played at.
/// A chart of the window object: its columns as bars (from the bottom, or from the middle of a
/// centred chart), their line, and the scale's words.
class ChartView : public QWidget {
 public:
  ChartView(const Chart& chart, QWidget* parent) : QWidget(parent), chart_(chart) {}
  void sync() {
    if (shown_ && shown_->columns == chart_.columns && shown_->caption == chart_.caption &&
        shown_->footer == chart_.footer && shown_->scaleTop == chart_.scaleTop &&
        shown_->scaleBottom == chart_.scaleBottom && shown_->band == chart_.band &&
        shown_->places == chart_.places)
      return;
    shown_ = chart_;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!shown_) return;
    const Chart& c = *shown_;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(255, 255, 255, 200));
    p.setPen(QColor(90, 90, 90));
    QFont small = font();
    small.setPointSize(8);
    p.setFont(small);
    const int rowHeight = p.fontMetrics().height();
    const int titleHeight = c.caption.empty() ? 2 : rowHeight * 2 + 4;
    if (!c.caption.empty())
      p.drawText(QRect(4, 2, width() - 8, titleHeight), Qt::TextWordWrap, toQt(c.caption));
    const QString top = toQt(c.scaleTop), bottom = toQt(c.scaleBottom);
    const int scale = std::max(p.fontMetrics().horizontalAdvance(top),
                               p.fontMetrics().horizontalAdvance(bottom)) + 6;
    const int footer = c.footer.empty() ? 2 : rowHeight + 4;
    const QRect area(scale, titleHeight + (c.caption.empty() ? 0 : 6), width() - scale - 4,
                     height() - titleHeight - footer - (c.caption.empty() ? 0 : 6));
    const double middle = c.centred ? area.center().y() : area.bottom();
    const double reach = c.centred ? area.height() / 2.0 : area.height();
    if (c.band > 0)
      p.fillRect(QRectF(area.left(), middle - c.band * reach, area.width(), 2 * c.band * reach),
                 QColor(60, 180, 60, 40));
    p.setPen(QColor(200, 200, 200));
    p.drawRect(area);
    if (c.centred) p.drawLine(QPointF(area.left(), middle), QPointF(area.right(), middle));
    p.setPen(QColor(90, 90, 90));
    const QRect topText(0, area.top() - (c.centred ? 0 : rowHeight / 2), scale - 3, rowHeight);
    const QRect bottomText(0, area.bottom() - (c.centred ? rowHeight : rowHeight / 2), scale - 3,
                           rowHeight);
    p.drawText(topText, Qt::AlignRight, top);
    p.drawText(bottomText, Qt::AlignRight, bottom);
    const double slot = double(area.width()) / double(std::max(1, c.places));
    QPolygonF line;
    for (std::size_t i = 0; i < c.columns.size(); ++i) {
      const ChartColumn& column = c.columns[i];
      const double x = area.left() + slot * double(i);
      const double h = column.height * reach;
      const QColor colour = toColor(column.colour);
      if (column.cross) {
        p.setPen(QPen(colour, 2));
        p.drawLine(QPointF(x + 2, middle - 3), QPointF(x + slot - 2, middle + 3));
        p.drawLine(QPointF(x + 2, middle + 3), QPointF(x + slot - 2, middle - 3));
      } else if (c.centred && std::abs(h) < 2) {
        p.fillRect(QRectF(x + 2, middle - 1.5, slot - 4, 3), colour);  // right on the moment
      } else {
        p.fillRect(QRectF(x + 2, h > 0 ? middle - h : middle, slot - 4, std::abs(h)), colour);
      }
      if (column.line >= 0) line << QPointF(x + slot / 2, area.bottom() - area.height() * column.line);
    }
    if (!line.isEmpty()) {
      p.setPen(QPen(QColor(30, 90, 200), 2));
      p.drawPolyline(line);
      for (const QPointF& point : line) p.drawEllipse(point, 2.5, 2.5);
    }
    if (!c.footer.empty()) {
      p.setPen(QColor(30, 90, 200));
      p.drawText(QRectF(area.left(), area.bottom() + 2, area.width(), rowHeight), Qt::AlignRight,
                 toQt(c.footer));
    }
  }

 private:
  const Chart& chart_;
  std::optional<Chart> shown_;
};

/// A picture's SVG; the lines of `text` fill its places "{0}", "{1}" ... (the help boards).
QByteArray svgSource(const std::string& name, const std::string& text) {
  QFile file(picturePath(name));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray svg = file.readAll();
  const QStringList lines = toQt(text).split('\n');
  for (int i = 0; i < lines.size(); ++i)
    svg.replace(QString("{%1}").arg(i).toUtf8(), lines[i].toHtmlEscaped().toUtf8());
  return svg;
}

QPixmap svgPixmap(const std::string& name, const std::string& text, QSize size, qreal ratio) {
  QPixmap pm(size * ratio);
  pm.setDevicePixelRatio(ratio);
  pm.fill(Qt::transparent);
  QSvgRenderer svg(svgSource(name, text));
  QPainter p(&pm);
  svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
  return pm;
}

}  // namespace

namespace {

/// How the view dresses some controls: colours, alignment, a fixed-pitch font. Presentation
/// only; what a control shows and does comes from the window object.
struct Look {
  const char* style = nullptr;
  bool wrap = true;
  bool topLeft = false;
  bool fixedPitch = false;
  bool noScrollBar = false;
};

Look lookOf(ControlId id) {
  switch (id) {
    case ControlId::Infos:
      return {"color: #b8430b;", false};
    case ControlId::InfosCopy:
      return {"color: rgba(0,0,0,110);", false};
    case ControlId::Version_Shadow:
      return {"color: rgba(0,0,0,90);"};
    case ControlId::AccordDisplay:
    case ControlId::PracticeScore:
      return {nullptr, true, true};
    case ControlId::EditBox:
    case ControlId::NotenSchirm:
      return {nullptr, true, false, true};
    case ControlId::ZahlenSchirm:  // it follows the note list
      return {nullptr, true, false, true, true};
    case ControlId::NeverShow:
      return {"color: white;"};
    default:
      return {};
  }
}

/// The milliseconds until a moment on the window object's clock, rounded up: a timer woken a
/// little early would find nothing due.
/// Whole milliseconds to wait, rounded down: a timer of Qt never fires early, so the wait ends
/// within the last millisecond before the moment and the wake-up waits out the rest.
int millisecondsUntil(double moment, double now) {
  const double ms = std::floor((moment - now) * 1000.0);
  return ms <= 0 ? 0 : ms > 1e8 ? 100000000 : static_cast<int>(ms);
}

}  // namespace

MainView::MainView(Form1& form, QWidget* parent, RtMidiRawOut::System midiSystem)
    : QWidget(parent), form_(form), midiSystem_(midiSystem), beepsShown_(form.beepCount) {
  registerArtwork();
  setObjectName("Form1");
  wake_.setSingleShot(true);
  wake_.setTimerType(Qt::PreciseTimer);
  connect(&wake_, &QTimer::timeout, this, [this] {
    // At most the last millisecond before the moment, waited out here: a replay step sent on
    // its tick (to a MIDI port that cannot schedule) is then on time to a few microseconds.
    const double wake = form_.nextWake();
    for (int spins = 0; form_.now() < wake && wake - form_.now() < 0.002 && spins < 1000000;)
      ++spins;
    // A MIDI message taken before the tick is the window object's before the tick is: a
    // busy window does not judge a chord missed whose notes came in time.
    deliverMidi();
    send(Event::tick());
  });
  flashTimer_.setSingleShot(true);
  flashTimer_.setInterval(180);
  connect(&flashTimer_, &QTimer::timeout, this, [this] {
    if (auto* status = widgetFor(form_.StatusLine)) status->setStyleSheet({});
  });
  keyOrder_ = std::make_unique<ServerKeyOrder>([this] { settleReleases(); });
  tablature_ = std::make_unique<TablatureView>(form_, [this](const Event& e) { return send(e); });
  build();
  QApplication::instance()->installEventFilter(this);
  tellKeyLayout();
  settle();
}

MainView::~MainView() {
  QApplication::instance()->removeEventFilter(this);
  if (microphone_) microphone_->close();
}

QWidget* MainView::keyWidget(int index) const {
  return keys_.at(std::size_t(index));
}

QWidget* MainView::widgetFor(const Control& control) const {
  for (const auto& b : bindings_)
    if (form_.control(b.id, b.index) == &control) return b.widget;
  return nullptr;
}

void MainView::build() {
  for (const ControlInfo& info : controlTable()) {
    for (int index = 0; index < info.count; ++index) {
      QWidget* parent = this;
      if (info.parent == ControlId::TabSheet) parent = tablature_.get();
      if (info.parent != ControlId::Window && info.parent != ControlId::TabSheet) {
        for (const auto& b : bindings_)
          if (b.id == info.parent) parent = b.widget;
      }
      QWidget* w = makeWidget(info, index, parent);
      if (!w) continue;
      const std::string name = info.count > 1 ? info.name + std::to_string(index) : info.name;
      w->setObjectName(QString::fromStdString(name));
      const Look look = lookOf(info.id);
      if (look.style) w->setStyleSheet(look.style);
      if (look.fixedPitch) w->setFont(QFont("Monospace"));
    }
  }
  // The replay's rings lie under the buttons, around the ones to press: the name and the key's
  // letter of the very button to press stay readable.
  for (QWidget* marker : markers_) marker->stackUnder(keys_.front());
}

QWidget* MainView::makeWidget(const ControlInfo& info, int index, QWidget* parent) {
  // Timers and data have no widget (and no Control to show).
  Control* const found = form_.control(info.id, index);
  if (found == nullptr) return nullptr;
  Control& c = *found;
  switch (info.kind) {
    case ControlKind::Label:
      return makeLabel(info, index, c, parent);
    case ControlKind::Button:
      return makeButton(info, index, c, parent);
    case ControlKind::Picture:
      return makePicture(info, index, c, parent);
    case ControlKind::CheckBox:
    case ControlKind::Option:
      return makeToggle(info, index, c, parent);
    case ControlKind::List:
      return makeList(info, index, c, parent);
    case ControlKind::TextField:
      return makeTextField(info, index, c, parent);
    case ControlKind::Slider:
      return makeSlider(info, index, c, parent);
    case ControlKind::Chooser:
      return makeChooser(info, index, c, parent);
    case ControlKind::Chart:
      return makeChart(info, index, c, parent);
    case ControlKind::Key:
    case ControlKind::Marker:
      return makeKey(info, index, c, parent);
    case ControlKind::Sheet:
    case ControlKind::Timer:
    case ControlKind::Data:
      return nullptr;  // the tablature is a window of its own; timers and data show nothing
  }
  return nullptr;
}



QWidget* MainView::bindWidget(QWidget* w, ControlId id, int index, std::function<void()> update) {
  bindings_.push_back({w, id, index, std::move(update)});
  return w;
}

QWidget* MainView::makeLabel(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  const Look look = lookOf(id);
  auto* w = new QLabel(parent);
  w->setWordWrap(look.wrap);
  if (look.topLeft) w->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return bindWidget(w, id, index, [w, &c] {
    const QString text = toQt(c.caption);
    if (w->text() != text) w->setText(text);
    w->setFrameShape(c.border ? QFrame::Box : QFrame::NoFrame);
  });
}

QWidget* MainView::makeButton(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  auto* w = new QPushButton(parent);
  connect(w, &QPushButton::clicked, this, [this, id] { send(Event::click(id)); });
  auto shown = std::make_shared<std::string>();
  return bindWidget(w, id, index, [w, &c, shown] {
    if (!c.picture.empty() && *shown != c.picture) {
      *shown = c.picture;
      w->setIcon(QIcon(picturePath(c.picture)));
      w->setIconSize(QSize(px(c.width) - 12, px(c.height) - 12));
    }
    const QString text = c.picture.empty() ? toQt(c.caption) : QString();
    if (w->text() != text) w->setText(text);
  });
}

QWidget* MainView::makePicture(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  auto* w = new ClickLabel(parent);
  if (info.handler[0] != 0) w->setClick([this, id] { send(Event::click(id)); });
  auto shown = std::make_shared<std::string>();
  return bindWidget(w, id, index, [w, &c, shown] {
    if (*shown == c.picture + '\0' + c.caption) return;
    *shown = c.picture + '\0' + c.caption;
    w->setPixmap(svgPixmap(c.picture, c.caption, QSize(px(c.width), px(c.height)),
                           w->devicePixelRatioF()));
  });
}

QWidget* MainView::makeToggle(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  QAbstractButton* w = info.kind == ControlKind::Option
                           ? static_cast<QAbstractButton*>(new QRadioButton(parent))
                           : static_cast<QAbstractButton*>(new QCheckBox(parent));
  connect(w, &QAbstractButton::clicked, this, [this, id] { send(Event::click(id)); });
  auto& t = static_cast<Toggle&>(c);
  return bindWidget(w, id, index, [w, &t] {
    const QString text = toQt(t.caption);
    if (w->text() != text) w->setText(text);
    if (w->isChecked() != (t.value == 1)) w->setChecked(t.value == 1);
  });
}

QWidget* MainView::makeList(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  const Look look = lookOf(id);
  auto& l = static_cast<ListBox&>(c);
  auto* w = new RowList(l, parent);
  w->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (look.noScrollBar) w->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  w->onRowClicked = [this, id](int row) { send(Event::row(id, row)); };
  using Shown = std::tuple<std::vector<std::string>, std::vector<Bellows>, std::pair<int, int>,
                           std::vector<std::string>>;
  auto shown = std::make_shared<Shown>();
  return bindWidget(w, id, index, [this, w, &l, shown] {
    const std::pair<int, int> marked{l.markedFirst, l.markedLast};
    // A row's note (how its chord was played) stands after its text.
    auto rowText = [&l](std::size_t i) {
      const std::string note = i < l.rowNotes.size() ? l.rowNotes[i] : std::string();
      return toQt(note.empty() ? l.items[i] : l.items[i] + " " + note);
    };
    const bool sameRows = std::get<0>(*shown) == l.items && std::get<1>(*shown) == l.bellows &&
                          std::get<2>(*shown) == marked;
    if (sameRows && std::get<3>(*shown) != l.rowNotes) {
      // Only notes changed (a verdict while playing along): those rows' texts, no rebuild.
      for (std::size_t i = 0; i < l.items.size() && int(i) < w->count(); ++i) {
        QListWidgetItem& item = *w->item(int(i));
        if (item.text() == rowText(i)) continue;
        item.setText(rowText(i));
        item.setToolTip(rowText(i));
      }
      std::get<3>(*shown) = l.rowNotes;
    } else if (!sameRows) {
      *shown = {l.items, l.bellows, marked, l.rowNotes};
      w->clear();
      for (std::size_t i = 0; i < l.items.size(); ++i) {
        auto* item = new QListWidgetItem(rowText(i), w);
        // A long name is cut at the list's edge: the pointer resting on it reads it whole.
        item->setToolTip(rowText(i));
        if (i < l.bellows.size()) markBellows(*item, l.bellows[i]);
        // A marked section: its rows bold, the others faint.
        const int row = static_cast<int>(i);
        if (marked.first < 0) continue;
        if (row >= marked.first && row <= marked.second) {
          QFont bold = item->font();
          bold.setBold(true);
          item->setFont(bold);
        } else {
          item->setForeground(QColor(150, 150, 150));
        }
      }
    }
    // Compared with the highlighted row the widget shows (its current row may differ:
    // focus makes a row current without highlighting it).
    const int want = l.selected >= 0 && l.selected < w->count() ? l.selected : -1;
    const auto highlighted = w->selectedItems();
    if ((highlighted.isEmpty() ? -1 : w->row(highlighted.front())) == want) return;
    if (want >= 0) {
      w->setCurrentRow(want);
      w->scrollToItem(w->item(want));
    } else {
      w->clearSelection();
      w->setCurrentRow(-1);
    }
  });
}

QWidget* MainView::makeTextField(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  auto* w = new QLineEdit(parent);
  auto& field = static_cast<TextField&>(c);
  connect(w, &QLineEdit::textEdited, this,
          [this, id, w] { send(Event::typed(id, fromQt(w->text()))); });
  return bindWidget(w, id, index, [w, &field] {
    if (fromQt(w->text()) != field.text) w->setText(toQt(field.text));
  });
}

QWidget* MainView::makeSlider(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  auto* w = new QSlider(Qt::Horizontal, parent);
  auto& slider = static_cast<Slider&>(c);
  w->setRange(slider.minimum, slider.maximum);
  connect(w, &QSlider::valueChanged, this, [this, id, &slider](int value) {
    if (value != slider.value) send(Event::value(id, value));
  });
  return bindWidget(w, id, index, [w, &slider] {
    if (w->value() != slider.value) w->setValue(slider.value);
  });
}

QWidget* MainView::makeChooser(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  auto* w = new QComboBox(parent);
  auto& chooser = static_cast<Chooser&>(c);
  connect(w, &QComboBox::activated, this,
          [this, id](int entry) { send(Event::choose(id, entry)); });
  auto shown = std::make_shared<std::vector<std::string>>();
  return bindWidget(w, id, index, [w, &chooser, shown] {
    if (*shown != chooser.items) {
      *shown = chooser.items;
      const QSignalBlocker quiet(w);
      w->clear();
      for (const auto& item : chooser.items) w->addItem(toQt(item));
    }
    const int want = chooser.selected < w->count() ? chooser.selected : -1;
    if (w->currentIndex() != want) w->setCurrentIndex(want);
  });
}

QWidget* MainView::makeChart(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  auto* w = new ChartView(static_cast<const Chart&>(c), parent);
  return bindWidget(w, id, index, [w] { w->sync(); });
}

QWidget* MainView::makeKey(const ControlInfo& info, int index, Control& c, QWidget* parent) {
  const ControlId id = info.id;
  const bool marker = info.kind == ControlKind::Marker;
  auto* w = new KeyButton(marker, parent);
  if (marker) {
    markers_.push_back(w);
  } else {
    keys_.push_back(w);
    connect(w, &QAbstractButton::clicked, this,
            [this, id, index] { send(Event::click(id, index)); });
  }
  return bindWidget(w, id, index, [w, &c, marker] {
    w->setText(toQt(c.caption));
    if (marker) return;
    w->setKeyLetter(toQt(c.tag));
    w->setColour(toColor(c.backColor == kDefaultColour ? kIdleKeyColour : c.backColor));
  });
}

bool MainView::send(const Event& event) {
  const bool taken = form_.dispatch(event);
  settle();
  return taken;
}

void MainView::settle() {
  // An answer given from a dialog below sends an event of its own, which settles again.
  if (!settling_) {
    settling_ = true;
    for (auto requests = form_.takeRequests(); !requests.empty(); requests = form_.takeRequests())
      for (const Request& request : requests) answer(request);
    settling_ = false;
  }
  // A replay step prepared ahead is drawn when it sounds: the wake-up comes then.
  if (!form_.showsAhead()) render();
  armWake();
}

void MainView::armWake() {
  const double wake = form_.nextWake();
  if (std::isinf(wake)) {
    wake_.stop();
    return;
  }
  wake_.start(millisecondsUntil(wake, form_.now()));
}

void MainView::render() {
  const Form1& f = form_;
  for (auto& b : bindings_) {
    const Control& c = state(b);
    const bool marker = controlInfo(b.id).kind == ControlKind::Marker;
    const QRect geometry = marker ? markerGeometry(c.left, c.top, c.width, c.height)
                                  : QRect(px(c.left), px(c.top), px(c.width), px(c.height));
    if (b.widget->geometry() != geometry) b.widget->setGeometry(geometry);
    if (b.widget->isVisibleTo(b.widget->parentWidget()) != c.visible)
      b.widget->setVisible(c.visible);
    if (!c.visible) continue;
    if (b.widget->isEnabled() != c.enabled) b.widget->setEnabled(c.enabled);
    QFont font = b.widget->font();
    if (font.pointSize() != c.fontSize || font.bold() != c.bold) {
      font.setPointSize(c.fontSize);
      font.setBold(c.bold);
      b.widget->setFont(font);
    }
    if (c.backColor != kDefaultColour && !qobject_cast<QAbstractButton*>(b.widget)) {
      QPalette palette = b.widget->palette();
      if (palette.color(QPalette::Base) != toColor(c.backColor)) {
        palette.setColor(QPalette::Base, toColor(c.backColor));
        b.widget->setPalette(palette);
      }
    }
    if (b.update) b.update();
    const QString tip = toQt(c.toolTip);
    if (b.widget->toolTip() != tip) {
      b.widget->setToolTip(tip);
      b.widget->setAccessibleDescription(tip);
    }
    const QString accessible = toQt(c.caption.empty() ? c.picture : c.caption);
    if (b.widget->accessibleName() != accessible) b.widget->setAccessibleName(accessible);
  }
  for (; beepsShown_ < f.beepCount; ++beepsShown_) showBeep();
  tablature_->sync();
  if (auto* splash = widgetFor(f.Splashscreen)) splash->raise();

  const QString title = toQt(f.windowCaption);
  if (windowTitle() != title) setWindowTitle(title);
  const QSize size(px(f.windowWidth), px(kWindowHeight));
  if (this->size() != size) setFixedSize(size);
  if (f.windowLeft != shownLeftShift_) {
    // The wide window grows to the left, but never past the screen's edge; the part held
    // back is given back when it narrows, so it returns to where it was.
    const int wanted = px(f.windowLeft - shownLeftShift_);
    int dx = wanted;
    if (wanted < 0 && screen()) {
      dx = std::min(0, std::max(wanted, screen()->availableGeometry().left() - x()));
      heldBack_ += dx - wanted;
    } else if (wanted > 0) {
      const int returned = std::min(wanted, heldBack_);
      dx = wanted - returned;
      heldBack_ -= returned;
    }
    move(x() + dx, y());
    shownLeftShift_ = f.windowLeft;
  }
}

void MainView::markBellows(QListWidgetItem& item, Bellows bellows) const {
  // The window's own picture of the bellows: arrows outwards for pull, inwards for push.
  static const QString kMarks[] = {QStringLiteral("    "), QStringLiteral("\u25C1\u25B7 "),
                                   QStringLiteral("\u25B7\u25C1 "),
                                   QStringLiteral("\u25C1\u25B7\u25B7\u25C1 ")};
  static const QColor kTints[] = {QColor(), QColor(221, 235, 250), QColor(252, 232, 210),
                                  QColor(250, 200, 200)};
  static const Text kWords[] = {Text::BellowsPull, Text::BellowsPull, Text::BellowsPush,
                                Text::BellowsBoth};
  const auto i = static_cast<std::size_t>(bellows);
  item.setText(kMarks[i] + item.text());
  if (bellows == Bellows::None) return;
  item.setBackground(kTints[i]);
  item.setToolTip(item.toolTip() + '\n' + toQt(form_.say(kWords[i])));
  if (bellows == Bellows::Both) item.setForeground(QColor(170, 0, 0));
}

void MainView::showBeep() {
  QApplication::beep();
  // Many desktops play no bell: the status line flashes as well.
  if (auto* status = widgetFor(form_.StatusLine)) {
    status->setStyleSheet("background: #f0a050;");
    flashTimer_.start();
  }
}

// ---- Requests

void MainView::answer(const Request& request) {
  switch (request.kind) {
    case Request::Kind::OpenFile:
      openFile(request);
      return;
    case Request::Kind::SaveFile:
      saveFile(request);
      return;
    case Request::Kind::SaveTablature:
      saveTablature(request);
      return;
    case Request::Kind::ChooseOne: {
      QStringList labels;
      for (const auto& option : request.options) labels << toQt(option);
      bool ok = false;
      const QString chosen = QInputDialog::getItem(this, toQt(request.title), toQt(request.name),
                                                   labels, 0, false, &ok);
      send(ok ? Event::chosen(request.id, int(labels.indexOf(chosen)))
              : Event::cancelledAnswer(request.id));
      return;
    }
    case Request::Kind::OpenMidiInput:
      openMidiInput(request);
      return;
    case Request::Kind::OpenSoundInput:
      openSoundInput(request);
      return;
    case Request::Kind::CloseSoundInput:
      closeSoundInput();
      return;
  }
}

namespace {

QString filterOf(const Request& request) {
  QStringList patterns;
  for (const auto& extension : request.options)
    patterns << "*." + QString::fromStdString(extension);
  return QString::fromStdString(request.format) + " (" + patterns.join(' ') + ");;* (*)";
}

}  // namespace

void MainView::openFile(const Request& request) {
  const QString path =
      QFileDialog::getOpenFileName(this, toQt(request.title), {}, filterOf(request));
  if (path.isEmpty()) {
    send(Event::cancelledAnswer(request.id));
    return;
  }
  const QFileInfo info(path);
  const std::string name = fromQt(info.completeBaseName());
  // A device or a pipe would block the window; a huge file is no file of this program's.
  if (!info.isFile() || std::size_t(info.size()) > request.largest) {
    send(Event::fileRefused(request.id, name, form_.say(Text::WhyNotAPlainFile)));
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    send(Event::fileRefused(request.id, name, form_.say(Text::WhyUnreadable)));
    return;
  }
  const QByteArray read = file.readAll();
  send(
      Event::fileChosen(request.id, name, std::string(read.constData(), std::size_t(read.size()))));
}

void MainView::saveFile(const Request& request) {
  const QString path = QFileDialog::getSaveFileName(this, toQt(request.title), toQt(request.name),
                                                    filterOf(request));
  if (path.isEmpty()) {
    send(Event::cancelledAnswer(request.id));
    return;
  }
  const std::string shown = fromQt(path);
  const std::string error = writeFileAtomically(path.toStdString(), request.bytes)
                                .text(uiLanguageOf(form_.textsLanguage));
  send(error.empty() ? Event::saved(request.id, shown) : Event::notSaved(request.id, shown, error));
}

void MainView::saveTablature(const Request& request) {
  const QString path = QFileDialog::getSaveFileName(tablature_.get(), toQt(request.title),
                                                    toQt(request.name), filterOf(request));
  if (path.isEmpty()) {
    send(Event::cancelledAnswer(request.id));
    return;
  }
  int pages = 0;
  const std::string error = tablature_->save(path.toStdString(), request.format, pages);
  const std::string shown = fromQt(path);
  send(error.empty() ? Event::saved(request.id, shown, pages)
                     : Event::notSaved(request.id, shown, error));
}

void MainView::openMidiInput(const Request& request) {
  if (!input_) {
    // Messages come on RtMidi's thread; the window object is handed them on the window's,
    // each with the moment it was played: a busy window gets to it later.
    input_ = std::make_unique<RtMidiInput>(
        [this](std::uint32_t word, double at) {
          {
            const std::lock_guard<std::mutex> lock(midiMutex_);
            midiTaken_.emplace_back(word, at);
          }
          QMetaObject::invokeMethod(this, [this] { deliverMidi(); }, Qt::QueuedConnection);
        },
        // The window object's clock, read on RtMidi's thread as each message is taken.
        [this] { return form_.now(); }, midiSystem_);
  }
  const std::string error = input_->open(request.name, uiLanguageOf(form_.textsLanguage));
  if (!error.empty()) send(Event::fileRefused(request.id, request.name, error));
}

void MainView::deliverMidi() {
  std::vector<std::pair<std::uint32_t, double>> taken;
  {
    const std::lock_guard<std::mutex> lock(midiMutex_);
    taken.swap(midiTaken_);
  }
  for (const auto& [word, at] : taken) send(Event::midi(word, at));
}

// ---- The microphone

namespace {

// The capture's rate, and how much sound goes to the window object at a time: often enough for
// a verdict to come in time, seldom enough that the window is not redrawn for every buffer.
constexpr int kMicrophoneRate = 48000;
constexpr std::size_t kSoundBlockFrames = kMicrophoneRate / 50;  // 20 ms

}  // namespace

void MainView::openSoundInput(const Request& request) {
  if (!microphone_) {
    send(Event::fileRefused(request.id, request.name, "no microphone in this program"));
    return;
  }
  closeSoundInput();
  const std::string error = microphone_->open(
      request.name, kMicrophoneRate,
      [this](const float* samples, std::size_t count, SoundIn::Clock::time_point capturedAt) {
        keepSound(samples, count, capturedAt);
      });
  if (!error.empty()) send(Event::fileRefused(request.id, request.name, error));
}

void MainView::closeSoundInput() {
  if (microphone_) microphone_->close();  // no sound is kept after this
  const std::lock_guard lock(soundMutex_);
  soundKept_.clear();
  soundPosted_ = false;
  ++soundOpening_;
}

void MainView::keepSound(const float* samples, std::size_t count, SoundIn::Clock::time_point capturedAt) {
  // The capture's moment on the window object's clock, as the MIDI input's are taken.
  const double at = form_.now() - std::chrono::duration<double>(SoundIn::Clock::now() - capturedAt).count();
  const std::lock_guard lock(soundMutex_);
  if (soundKept_.empty()) soundKeptAt_ = at;
  soundKept_.insert(soundKept_.end(), samples, samples + count);
  if (soundPosted_ || soundKept_.size() < kSoundBlockFrames) return;
  soundPosted_ = true;
  QMetaObject::invokeMethod(
      this, [this, opening = soundOpening_] {
        {
          const std::lock_guard held(soundMutex_);
          if (opening != soundOpening_) return;
        }
        sendSound();
      },
      Qt::QueuedConnection);
}

void MainView::sendSound() {
  std::vector<float> samples;
  double at = 0;
  {
    const std::lock_guard lock(soundMutex_);
    samples.swap(soundKept_);
    at = soundKeptAt_;
    soundPosted_ = false;
  }
  if (!samples.empty()) send(Event::sound(std::move(samples), kMicrophoneRate, at));
}

// ---- Keys

bool MainView::eventFilter(QObject* watched, QEvent* event) {
  // The learner may have switched layouts in another window: the letters follow on return.
  if ((event->type() == QEvent::WindowActivate || event->type() == QEvent::KeyboardLayoutChange) &&
      watched == this)
    tellKeyLayout();
  if (event->type() == QEvent::WindowDeactivate && watched == this) {
    flushReleases();
    send(Event::leave());  // no note hangs when the window loses the keys
    return false;
  }
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  return onKey(static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress);
}

bool MainView::onKey(QKeyEvent* key, bool press) {
  const QString platform = QGuiApplication::platformName();
  const std::string name = physicalKeyName(key->nativeScanCode(), key->key(),
                                           platform == "xcb" || platform.startsWith("wayland"));
  // Typing never plays: the name field keeps its keys.
  const bool typing = qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr;
  if (press) {
    const auto repeat = std::find_if(releases_.begin(), releases_.end(), [&](const Release& r) {
      return r.key == name && r.timestamp != 0 && r.timestamp == key->timestamp();
    });
    if (repeat != releases_.end()) {
      // The second half of a repeat the system did not mark: the key was never let go.
      releases_.erase(repeat);
      return !typing && form_.claimsKey(name);
    }
    if (typing) return false;
    flushReleases();  // what was let go before goes first
    return send(Event::keyDown(name, key->isAutoRepeat(), momentOf(*key)));
  }
  if (key->isAutoRepeat()) return form_.claimsKey(name);
  const bool claimed = form_.claimsKey(name);
  // Let go now, though told only once it is known not to be half of a repeat: its moment is
  // taken now.
  releases_.push_back({name, key->nativeScanCode(), key->timestamp(), momentOf(*key)});
  settleReleases();
  return claimed;
}

void MainView::tellKeyLayout() {
  const auto prints = keyPrintsOfTheServer();
  if (!prints) return;  // not known here: the buttons keep the keys' US names
  std::string lines = keyPrintsText(*prints);
  if (lines == toldKeyLayout_) return;
  toldKeyLayout_ = lines;
  send(Event::keyLayout(std::move(lines)));
}

void MainView::settleReleases() {
  if (keyOrder_->active()) {
    // The X server's own order decides, however late this thread gets to its events.
    tellReleases([this](const Release& r) {
      return keyOrder_->verdict(r.keycode, static_cast<std::uint32_t>(r.timestamp)) ==
             RepeatPairs::Verdict::LetGo;
    });
    return;
  }
  // Elsewhere the system marks its repeats; a press sent unmarked with its release would be
  // queued already, and is taken before this.
  if (releases_.empty()) return;
  QMetaObject::invokeMethod(
      this,
      [this, key = releases_.back().key, stamp = releases_.back().timestamp] {
        tellReleases([&](const Release& r) { return r.key == key && r.timestamp == stamp; });
      },
      Qt::QueuedConnection);
}

void MainView::flushReleases() {
  tellReleases([](const Release&) { return true; });
}

void MainView::tellReleases(const std::function<bool(const Release&)>& letGo) {
  auto held = std::exchange(releases_, {});
  for (Release& r : held) {
    if (letGo(r))
      send(Event::keyUp(r.key, r.at));
    else
      releases_.push_back(std::move(r));
  }
}

double MainView::momentOf(const QKeyEvent& key) {
  // The system's stamps are 32-bit milliseconds; Qt keeps them in a wider type.
  const auto stamp = static_cast<std::uint32_t>(key.timestamp());
  return stamp != 0 ? stamps_.moment(stamp, form_.now()) : -1;
}

void MainView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  static QSvgRenderer background(QStringLiteral(":/assets/background.svg"));
  background.render(&p, QRectF(0, 0, px(kNarrowWidth), px(kWindowHeight)));
  if (form_.windowWidth > kNarrowWidth) {
    p.fillRect(QRect(px(kNarrowWidth), 0, width() - px(kNarrowWidth), height()),
               QColor(238, 232, 220));
    p.setPen(QColor(150, 130, 100));
    p.drawLine(px(kNarrowWidth), 0, px(kNarrowWidth), height());
  }
}

void MainView::keyPressEvent(QKeyEvent* event) {
  // Enter presses the focused button, as Space does.
  auto* button = qobject_cast<QAbstractButton*>(focusWidget());
  if (button && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    button->animateClick();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainView::closeEvent(QCloseEvent* event) {
  form_.Form_Unload();
  event->accept();
}

}  // namespace tastrello
