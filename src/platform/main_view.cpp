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
#include <memory>
#include <tuple>

#include "platform/key_names.h"
#include "platform/midi_input.h"
#include "platform/output_switch.h"
#include "platform/rtmidi_port.h"
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

/// A round accordion button, or (as a marker) the ring laid over one during replay.
class KeyButton : public QAbstractButton {
 public:
  KeyButton(bool marker, QWidget* parent) : QAbstractButton(parent), marker_(marker) {
    if (marker) setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(marker ? Qt::NoFocus : Qt::TabFocus);
  }
  void setColour(QColor c) {
    if (c != colour_) colour_ = c, update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = std::min(width(), height()) - 3;
    const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    if (marker_) {
      p.setPen(QPen(QColor(20, 90, 220), 3));
      p.setBrush(QColor(40, 120, 255, 150));
      p.drawEllipse(r);
      p.setPen(Qt::white);
    } else {
      QRadialGradient g(r.center() - QPointF(d / 5, d / 5), d * 0.75);
      g.setColorAt(0, colour_.lighter(135));
      g.setColorAt(1, colour_.darker(125));
      p.setPen(
          QPen(hasFocus() ? QColor(30, 100, 230) : QColor(60, 50, 40), hasFocus() ? 2.5 : 1.2));
      p.setBrush(isDown() ? QBrush(colour_.darker(130)) : QBrush(g));
      p.drawEllipse(r);
      p.setPen(QColor(25, 20, 15));
    }
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
    if (!keyLetter_.isEmpty()) {
      // The computer key that plays this button, on a badge at the lower right.
      const QRectF badge(width() - 14.5, height() - 13.5, 14, 13);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(30, 80, 170));
      p.drawRoundedRect(badge, 3, 3);
      QFont small = font();
      small.setPixelSize(10);
      small.setBold(true);
      p.setFont(small);
      p.setPen(Qt::white);
      p.drawText(badge, Qt::AlignCenter, keyLetter_);
    }
  }

 public:
  void setKeyLetter(const QString& letter) {
    if (letter != keyLetter_) keyLetter_ = letter, update();
  }

 private:
  QString keyLetter_;
  bool marker_;
  QColor colour_ = QColor(192, 192, 192);
};

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
class HistoryChart : public QWidget {
 public:
  HistoryChart(const Form1& form, QWidget* parent) : QWidget(parent), form_(form) {}
  void sync() {
    const auto& passes = form_.practice.history.passes;
    const std::size_t shown = std::min(passes.size(), kPassesShown);
    std::vector<PassRecord> recent(passes.end() - static_cast<std::ptrdiff_t>(shown), passes.end());
    if (recent == shown_ && toQt(form_.PracticeChart.caption) == title_) return;
    shown_ = std::move(recent);
    title_ = toQt(form_.PracticeChart.caption);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(255, 255, 255, 200));
    p.setPen(QColor(90, 90, 90));
    QFont small = font();
    small.setPointSize(8);
    p.setFont(small);
    const int titleHeight = p.fontMetrics().height() * 2 + 4;
    p.drawText(QRect(4, 2, width() - 8, titleHeight), Qt::TextWordWrap, title_);
    const int scale = p.fontMetrics().horizontalAdvance("100%") + 6;
    const QRect area(scale, titleHeight + 6, width() - scale - 8, height() - titleHeight - 22);
    p.setPen(QColor(200, 200, 200));
    p.drawRect(area);
    p.setPen(QColor(90, 90, 90));
    const int rowHeight = p.fontMetrics().height();
    p.drawText(QRect(0, area.top() - rowHeight / 2, scale - 3, rowHeight), Qt::AlignRight, "100%");
    p.drawText(QRect(0, area.bottom() - rowHeight / 2, scale - 3, rowHeight), Qt::AlignRight, "0");
    if (shown_.empty()) return;
    const double slot = double(area.width()) / double(kPassesShown);
    QPolygonF tempo;
    for (std::size_t i = 0; i < shown_.size(); ++i) {
      const PassScore& s = shown_[i].score;
      const double share = s.events > 0 ? double(s.rightFirstTry) / double(s.events) : 0;
      const double x = area.left() + slot * double(i);
      const double h = share * area.height();
      p.fillRect(QRectF(x + 2, area.bottom() - h, slot - 4, h),
                 s.clean() ? QColor(60, 180, 60) : QColor(240, 160, 60));
      tempo << QPointF(x + slot / 2, area.bottom() - area.height() * shown_[i].tempo / 25.0);
    }
    p.setPen(QPen(QColor(30, 90, 200), 2));
    p.drawPolyline(tempo);
    for (const QPointF& point : tempo) p.drawEllipse(point, 2.5, 2.5);
    p.drawText(QRectF(area.left(), area.bottom() + 2, area.width(), 14), Qt::AlignRight,
               QString("Tempo %1").arg(shown_.back().tempo));
  }

 private:
  static constexpr std::size_t kPassesShown = 20;
  const Form1& form_;
  std::vector<PassRecord> shown_;
  QString title_;
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

MainView::MainView(Form1& form, OutputSwitch* outputs, QWidget* parent)
    : QWidget(parent), form_(form), outputs_(outputs), beepsShown_(form.beepCount) {
  registerArtwork();
  setObjectName("Form1");
  for (QTimer* t : {&timer1_, &splashTimer_, &scrollTimer_}) t->setTimerType(Qt::PreciseTimer);
  flashTimer_.setSingleShot(true);
  flashTimer_.setInterval(180);
  buildWidgets();
  wire();
  QApplication::instance()->installEventFilter(this);
  render();
}

template <typename W>
W* MainView::add(W* widget, const Control& control, std::function<void()> update) {
  bindings_.push_back({widget, &control, std::move(update)});
  return widget;
}

QWidget* MainView::keyWidget(int index) const {
  return keys_.at(index);
}

QWidget* MainView::widgetFor(const Control& control) const {
  for (const auto& b : bindings_)
    if (b.control == &control) return b.widget;
  return nullptr;
}

void MainView::buildWidgets() {
  Form1& f = form_;
  auto label = [&](const Control& c) {
    auto* w = add(new QLabel(this), c);
    w->setWordWrap(true);
    bindings_.back().update = [w, &c] { w->setText(toQt(c.caption)); };
    return w;
  };
  auto button = [&](const Control& c) {
    auto* w = add(new QPushButton(this), c);
    auto shown = std::make_shared<std::string>();
    bindings_.back().update = [w, &c, shown] {
      if (!c.picture.empty() && *shown != c.picture) {
        *shown = c.picture;
        w->setIcon(QIcon(picturePath(c.picture)));
        w->setIconSize(QSize(px(c.width) - 12, px(c.height) - 12));
      }
      const QString text = c.picture.empty() ? toQt(c.caption) : QString();
      if (w->text() != text) w->setText(text);
    };
    return w;
  };
  auto toggle = [&](Toggle& t) {
    auto* w = add(new QCheckBox(this), t);
    bindings_.back().update = [w, &t] {
      w->setText(toQt(t.caption));
      w->setChecked(t.value == 1);
    };
    return w;
  };
  auto list = [&](ListBox& l, bool fixedPitch) {
    auto* w = add(new RowList(l, this), l);
    if (fixedPitch) w->setFont(QFont("Monospace"));
    w->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto shown = std::make_shared<
        std::tuple<std::vector<std::string>, std::vector<Bellows>, std::pair<int, int>>>();
    bindings_.back().update = [this, w, &l, shown] {
      const std::pair<int, int> marked{l.markedFirst, l.markedLast};
      if (std::get<0>(*shown) != l.items || std::get<1>(*shown) != l.bellows ||
          std::get<2>(*shown) != marked) {
        *shown = {l.items, l.bellows, marked};
        w->clear();
        for (std::size_t i = 0; i < l.items.size(); ++i) {
          auto* item = new QListWidgetItem(toQt(l.items[i]), w);
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
      // Compared with the highlighted row the widget shows (its current row may differ: focus
      // makes a row current without highlighting it).
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
    };
    return w;
  };
  auto picture = [&](Control& c) {
    auto* w = add(new ClickLabel(this), c);
    auto shown = std::make_shared<std::string>();
    bindings_.back().update = [w, &c, shown] {
      if (*shown == c.picture + '\0' + c.caption) return;
      *shown = c.picture + '\0' + c.caption;
      w->setPixmap(svgPixmap(c.picture, c.caption, QSize(px(c.width), px(c.height)),
                             w->devicePixelRatioF()));
    };
    return w;
  };

  // Lists and labels first, so that buttons and markers lie above them.
  label(f.Label3);
  label(f.Label1);
  list(f.RecordList, false)->setObjectName("RecordList");
  list(f.NoteList, false)->setObjectName("NoteList");
  list(f.InstrumentList, false)->setObjectName("InstrumentList");
  list(f.EditBox, true)->setObjectName("EditBox");
  list(f.NotenSchirm, true)->setObjectName("NotenSchirm");
  auto* numbers = list(f.ZahlenSchirm, true);
  numbers->setObjectName("ZahlenSchirm");
  numbers->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // it follows the note list
  toggle(f.RecordLession)->setObjectName("RecordLession");
  toggle(f.Check1)->setObjectName("Check1");
  toggle(f.Check3)->setObjectName("Check3");
  toggle(f.Check2)->setObjectName("Check2");
  toggle(f.SoundOnOff)->setObjectName("SoundOnOff");
  toggle(f.Check4)->setObjectName("Check4");
  toggle(f.KeyboardPlay)->setObjectName("KeyboardPlay");
  toggle(f.KeyLetters)->setObjectName("KeyLetters");
  toggle(f.TabView)->setObjectName("TabView");
  toggle(f.Practice)->setObjectName("Practice");
  toggle(f.PracticeRamp)->setObjectName("PracticeRamp");
  toggle(f.CountInClick)->setObjectName("CountInClick");
  toggle(f.Metronome)->setObjectName("Metronome");
  auto* score = label(f.PracticeScore);
  score->setObjectName("PracticeScore");
  score->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* chart = add(new HistoryChart(f, this), f.PracticeChart);
  chart->setObjectName("PracticeChart");
  bindings_.back().update = [chart] { chart->sync(); };
  tablature_ = std::make_unique<TablatureView>(
      f, [this](std::function<void()> handler) { run(std::move(handler)); });
  for (Control* c :
       {&f.Label2,  &f.Label4,  &f.Label5,     &f.Label6,      &f.Label7,           &f.Label8,
        &f.Label9,  &f.Label10, &f.Label11,    &f.Label12,     &f.Label13,          &f.Label14,
        &f.Label15, &f.Label16, &f.Label17,    &f.Label18,     &f.Label20,          &f.Label21,
        &f.Label22, &f.Tempo,   &f.StatusLine, &f.StatusCount, &f.InstrumentHeading})
    label(*c);
  auto* editorTmp = label(f.EditorTMP);
  editorTmp->setObjectName("EditorTMP");
  bindings_.back().update = [editorTmp, &f] {
    editorTmp->setText(toQt(f.EditorTMP.caption));
    editorTmp->setFrameShape(f.EditorTMP.border ? QFrame::Box : QFrame::NoFrame);
  };
  auto* accordDisplay = label(f.AccordDisplay);
  accordDisplay->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  accordDisplay->setObjectName("AccordDisplay");
  auto* versionShadow = label(f.Version_Shadow);
  versionShadow->setStyleSheet("color: rgba(0,0,0,90);");
  label(f.Version);
  auto* infosCopy = label(f.InfosCopy);
  infosCopy->setStyleSheet("color: rgba(0,0,0,110);");
  infosCopy->setWordWrap(false);
  auto* infos = label(f.Infos);
  infos->setObjectName("Infos");
  infos->setStyleSheet("color: #b8430b;");
  infos->setWordWrap(false);

  auto* name = add(new QLineEdit(this), f.SaveName);
  name->setObjectName("SaveName");
  bindings_.back().update = [name, &f] {
    const QString text = toQt(f.SaveName.text);
    if (fromQt(name->text()) != f.SaveName.text) name->setText(text);
  };

  auto* speed = add(new QSlider(Qt::Horizontal, this), f.Speed);
  speed->setObjectName("Speed");
  speed->setRange(f.Speed.minimum, f.Speed.maximum);
  bindings_.back().update = [speed, &f] { speed->setValue(f.Speed.value); };

  for (Control* c :
       {&f.Record,     &f.CancelRec,  &f.SaveRecord, &f.NextRecord, &f.ReEd,         &f.KillNote,
        &f.EditBreak,  &f.EditMute,   &f.RepIns,     &f.PlayStop,   &f.Break,        &f.StopReplay,
        &f.PlayMode,   &f.Expand,     &f.MinusIns,   &f.PlusIns,    &f.SectionFirst, &f.SectionLast,
        &f.SectionAll, &f.MidiExport, &f.MidiImport})
    button(*c);
  for (Control* c : {&f.Picture1, &f.Picture2, &f.Picture3, &f.Copyright, &f.Tafel1, &f.Tafel2})
    picture(*c);

  for (int i = 0; i < kKeyCount; ++i) {
    auto* key = add(new KeyButton(false, this), f.Keys[i]);
    key->setObjectName(QString("Keys%1").arg(i));
    const Control& c = f.Keys[i];
    bindings_.back().update = [key, &c] {
      key->setText(toQt(c.caption));
      key->setKeyLetter(toQt(c.tag));
      key->setColour(toColor(c.backColor == kDefaultColour ? kIdleKeyColour : c.backColor));
    };
    keys_.push_back(key);
  }
  for (int k = 1; k <= 4; ++k) {
    auto* marker = add(new KeyButton(true, this), f.Acco2[k]);
    const Control& c = f.Acco2[k];
    bindings_.back().update = [marker, &c] { marker->setText(toQt(c.caption)); };
    markers_.push_back(marker);
  }

  // The instrument panel's tuning chooser: the note layouts, or each record's own.
  tuningChooser_ = new QComboBox(this);
  tuningChooser_->setObjectName("TuningChooser");
  tuningChooser_->setGeometry(px(15480), px(6120), px(3600), px(360));

  // The instrument panel's output chooser.
  if (outputs_) {
    outputChooser_ = new QComboBox(this);
    outputChooser_->setObjectName("OutputChooser");
    outputChooser_->setGeometry(px(15480), px(480), px(3600), px(360));
    outputChooser_->addItem(tr("Built-in synthesizer"), QString());
    for (const auto& port : RtMidiRawOut::portNames())
      outputChooser_->addItem(QString::fromStdString(port), QString::fromStdString(port));
    // A log file, or a port that is not there now, is offered as the choice in force.
    const QString choice = QString::fromStdString(outputs_->choice());
    if (outputChooser_->findData(choice) < 0) outputChooser_->addItem(choice, choice);
    outputChooser_->setCurrentIndex(outputChooser_->findData(choice));
    inputChooser_ = new QComboBox(this);
    inputChooser_->setObjectName("InputChooser");
    inputChooser_->setGeometry(px(15480), px(8160), px(3600), px(360));
    inputChooser_->addItem(toQt(f.say(Text::MidiInNone)), QString());
    for (const auto& port : RtMidiInput::portNames())
      inputChooser_->addItem(QString::fromStdString(port), QString::fromStdString(port));
    const QString input = QString::fromStdString(f.hands.midiInSetting);
    if (inputChooser_->findData(input) < 0) inputChooser_->addItem(input, input);
    inputChooser_->setCurrentIndex(inputChooser_->findData(input));
    outputInfo_ = new QLabel(this);
    outputInfo_->setGeometry(px(15480), px(900), px(3600), px(600));
    outputInfo_->setWordWrap(true);
    bufferChooser_ = new QComboBox(this);
    bufferChooser_->setObjectName("AudioBufferChooser");
    bufferChooser_->setGeometry(px(15480), px(8640), px(3600), px(360));
    bufferChooser_->addItem(toQt(f.say(Text::AudioBufferAuto)), 0);
    for (int ms : {5, 10, 20, 40, 80})
      bufferChooser_->addItem(toQt(f.say(Text::AudioBufferMs, {std::to_string(ms)})), ms);
    const int buffer = f.audioBufferMs();
    if (bufferChooser_->findData(buffer) < 0)
      bufferChooser_->addItem(toQt(f.say(Text::AudioBufferMs, {std::to_string(buffer)})), buffer);
    bufferChooser_->setCurrentIndex(bufferChooser_->findData(buffer));
    bufferChooser_->setToolTip(toQt(f.say(Text::TipAudioBuffer)));
  }

  // The splash lies above everything.
  auto* splash = picture(f.Splashscreen);
  splash->setObjectName("Splashscreen");
  auto* never = new QRadioButton(splash);
  never->setObjectName("NeverShow");
  never->setText(toQt(f.NeverShow.caption));
  never->setGeometry(px(f.NeverShow.left), px(f.NeverShow.top), px(f.NeverShow.width),
                     px(f.NeverShow.height));
  never->setStyleSheet("color: white;");
}

void MainView::wire() {
  Form1& f = form_;
  auto onClick = [this](const Control& c, auto handler) {
    auto* w = qobject_cast<QAbstractButton*>(widgetFor(c));
    connect(w, &QAbstractButton::clicked, this, [this, handler] { run(handler); });
  };
  auto onToggle = [this](Toggle& t) {
    auto* w = qobject_cast<QAbstractButton*>(widgetFor(t));
    connect(w, &QAbstractButton::clicked, this,
            [this, &t] { run([this, &t] { form_.clickToggle(t); }); });
  };
  auto onPicture = [this](const Control& c, auto handler) {
    static_cast<ClickLabel*>(widgetFor(c))->setClick([this, handler] { run(handler); });
  };
  auto onRow = [this](ListBox& l, auto handler) {
    static_cast<RowList*>(widgetFor(l))->onRowClicked = [this, &l, handler](int row) {
      l.selected = row;
      run(handler);
    };
  };

  onClick(f.Record, [this] { form_.Record_Click(); });
  onClick(f.CancelRec, [this] { form_.CancelRec_Click(); });
  onClick(f.SaveRecord, [this] { form_.SaveRecord_Click(); });
  onClick(f.NextRecord, [this] { form_.NextRecord_Click(); });
  onClick(f.EditBreak, [this] { form_.EditBreak_Click(); });
  onClick(f.EditMute, [this] { form_.EditMute_Click(); });
  onClick(f.KillNote, [this] { form_.KillNote_Click(); });
  onClick(f.RepIns, [this] { form_.RepIns_Click(); });
  onClick(f.ReEd, [this] { form_.ReEd_Click(); });
  onClick(f.PlayStop, [this] { form_.PlayStop_Click(); });
  onClick(f.Break, [this] { form_.Break_Click(); });
  onClick(f.StopReplay, [this] { form_.StopReplay_Click(); });
  onClick(f.PlayMode, [this] { form_.PlayMode_Click(); });
  onClick(f.Expand, [this] { form_.Expand_Click(); });
  onClick(f.MinusIns, [this] { form_.MinusIns_Click(); });
  onClick(f.PlusIns, [this] { form_.PlusIns_Click(); });
  onClick(f.SectionFirst, [this] { form_.SectionFirst_Click(); });
  onClick(f.SectionLast, [this] { form_.SectionLast_Click(); });
  onClick(f.SectionAll, [this] { form_.SectionAll_Click(); });
  onClick(f.MidiExport, [this] { exportMidiFile(); });
  onClick(f.MidiImport, [this] { importMidiFile(); });
  for (Toggle* t : {&f.RecordLession, &f.Check1, &f.Check2, &f.Check3, &f.SoundOnOff, &f.Check4,
                    &f.KeyboardPlay, &f.KeyLetters, &f.TabView, &f.Practice, &f.PracticeRamp,
                    &f.CountInClick, &f.Metronome})
    onToggle(*t);
  for (int i = 0; i < kKeyCount; ++i) {
    connect(static_cast<QAbstractButton*>(keys_[i]), &QAbstractButton::clicked, this,
            [this, i] { run([this, i] { form_.Keys_Click(i); }); });
  }
  onPicture(f.Picture1, [this] { form_.Picture1_Click(); });
  onPicture(f.Picture2, [this] { form_.Picture2_Click(); });
  onPicture(f.Picture3, [this] { form_.Picture3_Click(); });
  onPicture(f.Copyright, [this] { form_.Copyright_Click(); });
  onPicture(f.Splashscreen, [this] { form_.Splashscreen_Click(); });
  connect(findChild<QRadioButton*>("NeverShow"), &QRadioButton::clicked, this, [this] {
    form_.NeverShow.value = 1;
    run([this] { form_.NeverShow_Click(); });
  });
  auto* name = static_cast<QLineEdit*>(widgetFor(f.SaveName));
  connect(name, &QLineEdit::textEdited, this, [this, name] {
    form_.SaveName.text = fromQt(name->text());
    run([this] { form_.SaveName_Change(); });
  });
  connect(static_cast<QSlider*>(widgetFor(f.Speed)), &QSlider::valueChanged, this,
          [this](int value) {
            if (value == form_.Speed.value) return;
            form_.Speed.value = value;
            run([this] { form_.Speed_Click(); });
          });
  connect(tuningChooser_, &QComboBox::activated, this, [this](int index) {
    const std::string layout = fromQt(tuningChooser_->itemData(index).toString());
    run([this, layout] { form_.chooseTuning(layout); });
  });
  if (inputChooser_) {
    connect(inputChooser_, &QComboBox::activated, this, [this](int index) {
      const std::string port = inputChooser_->itemData(index).toString().toStdString();
      run([this, port] {
        form_.chooseMidiInput(port);
        openMidiInput(port);
      });
    });
  }
  if (bufferChooser_) {
    connect(bufferChooser_, &QComboBox::activated, this, [this](int index) {
      const int ms = bufferChooser_->itemData(index).toInt();
      run([this, ms] { form_.chooseAudioBuffer(ms); });
    });
    adaptTimer_.setInterval(2000);
    connect(&adaptTimer_, &QTimer::timeout, this, [this] {
      if (outputs_->choice().empty() && outputs_->synth().adaptBuffer()) render();
      if (outputInfo_ && outputInfo_->isVisible()) render();  // the underruns counted
    });
    adaptTimer_.start();
  }
  if (outputChooser_) {
    connect(outputChooser_, &QComboBox::activated, this, [this](int index) {
      const std::string choice = outputChooser_->itemData(index).toString().toStdString();
      run([this, choice] { form_.chooseOutput(choice); });
    });
  }
  onRow(f.RecordList, [this] { form_.RecordList_Click(); });
  onRow(f.InstrumentList, [this] { form_.InstrumentList_Click(); });
  onRow(f.NoteList, [this] { form_.NoteList_Click(); });
  onRow(f.EditBox, [this] { form_.EditBox_Click(); });
  // A click in the record views picks an event for the section marks.
  onRow(f.NotenSchirm, [this] { form_.NotenSchirm_Click(); });
  onRow(f.ZahlenSchirm, [this] { form_.ZahlenSchirm_Click(); });

  timer1_.setSingleShot(true);
  connect(&timer1_, &QTimer::timeout, this, [this] { replayStep(); });
  drawTimer_.setSingleShot(true);
  drawTimer_.setTimerType(Qt::PreciseTimer);
  connect(&drawTimer_, &QTimer::timeout, this, [this] { render(); });
  connect(&splashTimer_, &QTimer::timeout, this,
          [this] { run([this] { form_.SplashTimer_Timer(); }); });
  connect(&scrollTimer_, &QTimer::timeout, this,
          [this] { run([this] { form_.scrolltext_Timer(); }); });
  connect(&flashTimer_, &QTimer::timeout, this, [this] {
    if (auto* status = widgetFor(form_.StatusLine)) status->setStyleSheet({});
  });
}

void MainView::exportMidiFile() {
  const auto bytes = form_.exportMidi();
  if (!bytes) return;
  const QString path = QFileDialog::getSaveFileName(
      this, toQt(form_.MidiExport.caption), toQt(form_.Infos.caption) + ".mid", "MIDI (*.mid)");
  if (path.isEmpty()) return;
  QSaveFile file(path);
  const bool written = file.open(QIODevice::WriteOnly) &&
                       file.write(bytes->data(), qint64(bytes->size())) == qint64(bytes->size()) &&
                       file.commit();
  const std::string shown = fromQt(path);
  if (written)
    form_.inform(
        form_.say(Text::MsgExportedMidi, {shown, std::to_string(form_.loadedEvents().size())}));
  else
    form_.report(form_.say(Text::MsgNotSaved, {shown, fromQt(file.errorString())}));
}

namespace {
constexpr qint64 kLargestMidiFile = 16 << 20;
}  // namespace

void MainView::importMidiFile() {
  const QString path = QFileDialog::getOpenFileName(this, toQt(form_.MidiImport.caption), {},
                                                    "MIDI (*.mid *.midi);;* (*)");
  if (path.isEmpty()) return;
  QFile file(path);
  const QFileInfo info(path);
  const std::string name = fromQt(info.completeBaseName());
  // A device or a pipe would block the window; a huge file is no tune.
  if (!info.isFile() || info.size() > kLargestMidiFile) {
    form_.report(form_.say(Text::MsgImportRefused, {name, form_.say(Text::WhyNotAPlainFile)}));
    return;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    form_.report(form_.say(Text::MsgImportRefused, {name, form_.say(Text::WhyUnreadable)}));
    return;
  }
  const QByteArray read = file.readAll();
  const std::string bytes(read.constData(), std::size_t(read.size()));
  MidiPart part;
  std::string problem;
  if (const auto content = readMidiFile(bytes, problem)) {
    const auto parts = midiParts(*content);
    if (!parts.empty()) {
      QStringList labels{toQt(form_.say(Text::MidiPartAll))};
      for (const auto& p : parts) labels << QString::fromStdString(p.label);
      bool ok = false;
      const QString chosen =
          QInputDialog::getItem(this, toQt(form_.MidiImport.caption),
                                toQt(form_.say(Text::MidiPartQuestion)), labels, 0, false, &ok);
      if (!ok) return;
      const auto index = labels.indexOf(chosen);
      if (index > 0) part = parts[std::size_t(index - 1)];
    }
  }
  form_.importMidi(bytes, name, part);
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
  item.setToolTip(toQt(form_.say(kWords[i])));
  if (bellows == Bellows::Both) item.setForeground(QColor(170, 0, 0));
}

void MainView::syncTuningChooser() {
  const Form1& f = form_;
  tuningChooser_->setVisible(f.windowWidth > kNarrowWidth);
  // Rebuilt only when the layouts or the language change, not at every render.
  if (f.NoteList.items != tuningsShown_ || f.textsLanguage != tuningsLanguage_) {
    tuningsShown_ = f.NoteList.items;
    tuningsLanguage_ = f.textsLanguage;
    tuningChooser_->clear();
    tuningChooser_->addItem(toQt(f.say(Text::TuningOwn)), QString());
    for (const auto& layout : f.NoteList.items) tuningChooser_->addItem(toQt(layout), toQt(layout));
    tuningChooser_->setToolTip(toQt(f.say(Text::TipTuning)));
  }
  const int index = std::max(0, tuningChooser_->findData(toQt(f.chosenTuning)));
  if (tuningChooser_->currentIndex() != index) tuningChooser_->setCurrentIndex(index);
}

void MainView::syncTimer(QTimer& timer, const Timer& state) {
  // Only a changed interval is set: setting it restarts a running timer.
  if (timer.interval() != state.interval) timer.setInterval(state.interval);
  if (state.enabled && !timer.isActive()) timer.start();
  if (!state.enabled && timer.isActive()) timer.stop();
}

void MainView::syncReplayTimer() {
  const Timer& state = form_.Timer1;
  if (!state.enabled) {
    timer1_.stop();
    replayRunning_ = false;
    return;
  }
  if (replayRunning_ && replayRestarts_ == state.restarts) return;
  // Started, or the wait begins again from now (practice after a right chord).
  replayRunning_ = true;
  replayRestarts_ = state.restarts;
  replayDue_ = Clock::now();
  armReplayStep();
}

void MainView::armReplayStep() {
  const auto next = replayDue_ + std::chrono::milliseconds(form_.Timer1.interval);
  const auto wait =
      std::chrono::duration_cast<std::chrono::milliseconds>(next - replayLead_ - Clock::now());
  timer1_.start(std::max<int>(0, int(wait.count())));
}

void MainView::replayStep() {
  const auto now = Clock::now();
  const auto interval = std::chrono::milliseconds(form_.Timer1.interval);
  replayDue_ += interval;
  // More than a step behind (a machine stalled): the steps go on from now, not in a burst.
  if (now > replayDue_ + interval) replayDue_ = now;
  form_.soundTime = std::chrono::duration<double>(replayDue_.time_since_epoch()).count();
  form_.Timer1_Timer();
  form_.soundTime = kAtOnce;
  // The step was prepared early; the window shows it when it sounds.
  const auto early =
      std::chrono::duration_cast<std::chrono::milliseconds>(replayDue_ - Clock::now());
  if (early.count() > 0)
    drawTimer_.start(int(early.count()));
  else
    render();
  syncReplayTimer();  // stopped, or started afresh
  if (replayRunning_ && !timer1_.isActive()) armReplayStep();
}

void MainView::render() {
  const Form1& f = form_;
  // Timers first: a replay that was just started counts its first wait from the click, not
  // from the end of the drawing.
  syncReplayTimer();
  syncTimer(splashTimer_, f.SplashTimer);
  syncTimer(scrollTimer_, f.scrolltext);
  for (auto& b : bindings_) {
    const Control& c = *b.control;
    const QRect geometry(px(c.left), px(c.top), px(c.width), px(c.height));
    if (b.widget->geometry() != geometry) b.widget->setGeometry(geometry);
    if (b.widget->isVisibleTo(this) != c.visible) b.widget->setVisible(c.visible);
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
  for (QWidget* marker : markers_) marker->raise();
  for (; beepsShown_ < f.beepCount; ++beepsShown_) showBeep();
  syncTuningChooser();
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
  if (outputInfo_ && outputs_) {
    const QString info = outputs_->choice().empty()
                             ? QString::fromStdString(outputs_->synth().describe())
                             : QString::fromStdString(outputs_->choice());
    if (outputInfo_->text() != info) outputInfo_->setText(info);
  }
}

void MainView::showBeep() {
  QApplication::beep();
  // Many desktops play no bell: the status line flashes as well.
  if (auto* status = widgetFor(form_.StatusLine)) {
    status->setStyleSheet("background: #f0a050;");
    flashTimer_.start();
  }
}

MainView::~MainView() {
  QApplication::instance()->removeEventFilter(this);
}

void MainView::openMidiInput(const std::string& port) {
  if (!input_) {
    // Messages come on RtMidi's thread; the window object is handed them on the window's.
    input_ = std::make_unique<RtMidiInput>([this](std::uint32_t word) {
      QMetaObject::invokeMethod(
          this, [this, word] { run([this, word] { form_.MidiIn_Message(word); }); },
          Qt::QueuedConnection);
    });
  }
  const std::string error = input_->open(port);
  if (!error.empty()) form_.report(form_.say(Text::MsgMidiIn, {error}));
}

bool MainView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowDeactivate && watched == this) {
    run([this] { form_.releaseHands(); });  // no note hangs when the window loses the keys
    return false;
  }
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const QString platform = QGuiApplication::platformName();
  const std::string name = physicalKeyName(key->nativeScanCode(), key->key(),
                                           platform == "xcb" || platform.startsWith("wayland"));
  if (event->type() == QEvent::KeyPress) {
    // Typing never plays: the name field keeps its keys.
    if (qobject_cast<QLineEdit*>(QApplication::focusWidget())) return false;
    if (!form_.claimsKey(name)) return false;
    if (!key->isAutoRepeat()) run([this, &name] { form_.handKeyDown(name); });
    return true;
  }
  if (key->isAutoRepeat()) return form_.claimsKey(name);
  bool claimed = false;
  run([this, &name, &claimed] { claimed = form_.handKeyUp(name); });
  return claimed;
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
