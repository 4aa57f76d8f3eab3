#include "platform/tablature_view.h"

#include <QCloseEvent>
#include <QPainter>

#include "window/form1.h"
#include "shell/text.h"
#include "tablature/tab_svg.h"

namespace tastrello {

namespace {

constexpr int kBar = 34;  // the strip with the two save buttons

}  // namespace

TablatureView::TablatureView(Form1& form, std::function<bool(const Event&)> send)
    : QWidget(nullptr, Qt::Window), form_(form), send_(std::move(send)) {
  setObjectName("TablatureView");
  const double scale = 1.1;
  resize(static_cast<int>(geometry_.width * scale),
         static_cast<int>(geometry_.height * scale) + kBar);
}

void TablatureView::sync() {
  const bool wanted = form_.TabSheet.visible;
  if (isVisible() != wanted) setVisible(wanted);
  if (!wanted) return;
  TabDocument document = form_.tablatureDocument();
  const std::string title = cp1252ToUtf8(form_.say(Text::TabCaption) + " - " + document.title);
  if (windowTitle().toStdString() != title) setWindowTitle(QString::fromStdString(title));
  if (document != document_) {
    document_ = std::move(document);
    pages_ = layoutTablature(document_, geometry_);
    page_ = 0;
    picturePage_ = -1;
    if (current_ > 0) page_ = tabPlaceOf(pages_, current_).first;
    update();
  }
  const int current = form_.currentEvent();
  if (current != current_) {
    current_ = current;
    if (current > 0) page_ = tabPlaceOf(pages_, current).first;  // the page follows replay
    update();
  }
}

void TablatureView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(238, 232, 220));
  const double scale = std::min(width() / geometry_.width, (height() - kBar) / geometry_.height);
  const QSizeF page(geometry_.width * scale, geometry_.height * scale);
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (page * ratio).toSize();
  if (picturePage_ != page_ || picture_.size() != pixels) {
    picture_ = QPixmap(pixels);
    picture_.setDevicePixelRatio(ratio);
    picture_.fill(Qt::white);
    QPainter painter(&picture_);
    paintTabSvg(painter, tabPageSvg(document_, pages_, page_, geometry_), QRectF(QPointF(), page));
    picturePage_ = page_;
  }
  p.drawPixmap(QPointF(0, kBar), picture_);
  if (const auto mark = tabMarkOf(pages_, page_, current_, geometry_)) {
    // Multiplied over the page: white turns the mark's colour, black stays black, as if the
    // mark lay under the notes.
    p.translate(0, kBar);
    p.scale(scale, scale);
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    p.fillRect(QRectF(mark->x, mark->y, mark->width, mark->height), QColor(255, 214, 150));
  }
}

void TablatureView::closeEvent(QCloseEvent* event) {
  // Closing the window is the click that unticks "Griffschrift".
  if (form_.TabView.value == 1 && !send_(Event::click(ControlId::TabView))) {
    event->ignore();
    return;
  }
  event->accept();
}

std::string TablatureView::save(const std::string& path, const std::string& format, int& pages) {
  const UiLanguage language = uiLanguageOf(form_.textsLanguage);
  return upper(format) == "PDF" ? writeTabPdf(path, document_, letterPaperHere(), pages, language)
                                : writeTabSvg(path, document_, pages, language);
}

}  // namespace tastrello
