#include "platform/tablature_view.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QPainter>
#include <QPushButton>

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

TablatureView::TablatureView(Form1& form, std::function<void(std::function<void()>)> run)
    : QWidget(nullptr, Qt::Window), form_(form), run_(std::move(run)) {
  setObjectName("TablatureView");
  const double scale = 1.1;
  resize(static_cast<int>(geometry_.width * scale),
         static_cast<int>(geometry_.height * scale) + kBar);
  pdf_ = new QPushButton("PDF …", this);
  svg_ = new QPushButton("SVG …", this);
  pdf_->setObjectName("SavePdf");
  svg_->setObjectName("SaveSvg");
  pdf_->setGeometry(8, 4, 90, kBar - 8);
  svg_->setGeometry(104, 4, 90, kBar - 8);
  connect(pdf_, &QPushButton::clicked, this, [this] { chooseAndSave("PDF (*.pdf)"); });
  connect(svg_, &QPushButton::clicked, this, [this] { chooseAndSave("SVG (*.svg)"); });
}

void TablatureView::sync() {
  const bool wanted = form_.TabView.value == 1;
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
  pdf_->setToolTip(QString::fromStdString(cp1252ToUtf8(form_.say(Text::TipTab))));
  svg_->setToolTip(pdf_->toolTip());
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
  run_([this] { form_.setToggleValue(form_.TabView, 0); });
  event->accept();
}

void TablatureView::chooseAndSave(const QString& filter) {
  const QString suffix = filter.startsWith("PDF") ? ".pdf" : ".svg";
  const QString path = QFileDialog::getSaveFileName(
      this, windowTitle(), QString::fromStdString(cp1252ToUtf8(document_.title)) + suffix, filter);
  if (!path.isEmpty()) save(path.toStdString());
}

void TablatureView::save(const std::string& path) {
  int pages = 0;
  const bool pdf = upper(right(path, 4)) == ".PDF";
  const std::string error = pdf ? writeTabPdf(path, document_, letterPaperHere(), pages)
                                : writeTabSvg(path, document_, pages);
  const std::string name = utf8ToCp1252(path).value_or(path);
  run_([this, error, name, pages] {
    if (error.empty())
      form_.inform(form_.say(Text::MsgExported, {name, std::to_string(pages)}));
    else
      form_.report(form_.say(Text::MsgNotSaved, {name, error}));
  });
}

}  // namespace tastrello
