// The tablature window: the loaded record as Griffschrift, the page of the event replay shows,
// that event marked; and writing it as PDF or SVG where the learner chose. Its save buttons
// are controls of the window object's table, placed on it by the main view.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>

#include "platform/tablature_render.h"
#include "window/contract.h"

namespace tastrello {

class Form1;

class TablatureView : public QWidget {
 public:
  /// `send` gives the window object an event (closing the window clicks "Griffschrift" off).
  TablatureView(Form1& form, std::function<bool(const Event&)> send);

  /// Brings the window in line with the state: open or closed, the record, the event.
  void sync();
  int shownPage() const { return page_; }
  int pageCount() const { return static_cast<int>(pages_.size()); }
  const std::vector<TabPage>& pages() const { return pages_; }
  /// Writes the tablature to `path` as "PDF" or "SVG"; "" or what went wrong, and the pages.
  std::string save(const std::string& path, const std::string& format, int& pages);

 protected:
  void paintEvent(QPaintEvent*) override;
  void closeEvent(QCloseEvent*) override;

 private:
  Form1& form_;
  std::function<bool(const Event&)> send_;
  TabGeometry geometry_;
  TabDocument document_;
  std::vector<TabPage> pages_;
  int page_ = 0;
  int current_ = 0;
  // The page drawn once at the window's size; replay's mark goes over it at each step, so that
  // a step costs a copy, not a reading of the SVG.
  QPixmap picture_;
  int picturePage_ = -1;
};

}  // namespace tastrello
