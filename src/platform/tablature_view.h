// The tablature window: the loaded record as Griffschrift, the page of the event replay shows,
// that event marked; and saving it as PDF or SVG.
#pragma once

#include <QWidget>
#include <functional>

#include "platform/tablature_render.h"

class QPushButton;

namespace tastrello {

class Form1;

class TablatureView : public QWidget {
 public:
  /// `run` runs a step of the window object and renders the main window after it.
  TablatureView(Form1& form, std::function<void(std::function<void()>)> run);

  /// Brings the window in line with the state: open or closed, the record, the event.
  void sync();
  int shownPage() const { return page_; }
  int pageCount() const { return static_cast<int>(pages_.size()); }
  /// Saves the tablature to `path` (by its extension) and says so in the status line.
  void save(const std::string& path);

 protected:
  void paintEvent(QPaintEvent*) override;
  void closeEvent(QCloseEvent*) override;

 private:
  void chooseAndSave(const QString& filter);

  Form1& form_;
  std::function<void(std::function<void()>)> run_;
  TabGeometry geometry_;
  TabDocument document_;
  std::vector<TabPage> pages_;
  int page_ = 0;
  int current_ = 0;
  QPushButton* pdf_ = nullptr;
  QPushButton* svg_ = nullptr;
};

}  // namespace tastrello
