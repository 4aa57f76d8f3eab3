#include "platform/tablature_view.h"

#include <QCloseEvent>
#include <QPainter>

#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kBar = 34;  // the strip with the two save buttons

std::string recordTitle(const std::string& fileName) {
  std::string title = fileName.size() > 8 ? fileName.substr(8) : fileName;
  if (title.size() > 4 && upper(right(title, 4)) == ".TXT") title.resize(title.size() - 4);
  return title;
}

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
  const std::string title =
      cp1252ToUtf8(form_.say(Text::TabCaption) + " - " + recordTitle(form_.Label2.caption));
  if (windowTitle().toStdString() != title) setWindowTitle(QString::fromStdString(title));
  auto events = form_.loadedEvents();
  const std::string tuning = tuningName(form_.noteFileName);
  if (events != document_.buttonLines || tuning != document_.tuning ||
      document_.title != recordTitle(form_.Label2.caption)) {
    document_ = {recordTitle(form_.Label2.caption), tuning, std::move(events)};
    pages_ = layoutTablature(document_.buttonLines, geometry_);
    page_ = 0;
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
  p.translate(0, kBar);
  const double scale = std::min(width() / geometry_.width, (height() - kBar) / geometry_.height);
  p.scale(scale, scale);
  paintTabPage(p, document_, pages_, page_, geometry_, current_);
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
