// The tablature window on the real view, offscreen: it follows replay page by page, saves PDF
// and SVG through the window object's requests, and shows a record's bars and note values (the
// README's picture, rendered into the build folder).
#include <QApplication>
#include <filesystem>

#include "platform/main_view.h"
#include "platform/tablature_view.h"
#include "tab_tunes.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

class TablatureViewTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    view = std::make_unique<MainView>(form, nullptr);
    view->show();
    QApplication::processEvents();
  }
  void store(const std::string& name, const std::vector<std::string>& events) {
    std::vector<std::string> lines{"Notes_G-C-F.txt"};
    for (const auto& e : events) {
      lines.push_back(e);
      if (!isRestMarker(e)) lines.push_back("x/");
    }
    lines.insert(lines.end(), {"*-*", " "});
    files.files["Records/" + name] = joinLines(lines);
  }
  TablatureView& open(const std::string& name) {
    load(name);
    form.clickToggle(form.TabView);
    view->render();
    return view->tablature();
  }
  std::unique_ptr<MainView> view;
};

}  // namespace

TEST_F(TablatureViewTest, TheWindowFollowsReplayAndSavesPdfAndSvg) {
  // Chords from the lowest button to the highest make tall staves: several pages.
  std::vector<std::string> events;
  for (int i = 0; i < 150; ++i) events.push_back(i % 3 ? "00/33/" : "10/");
  store("Records_Long.txt", events);
  TablatureView& tab = open("Records_Long.txt");
  ASSERT_TRUE(tab.isVisible());
  ASSERT_GT(tab.pageCount(), 1);
  EXPECT_EQ(tab.shownPage(), 0);
  form.PlayStop_Click();
  for (int i = 0; i < 149; ++i) form.Timer1_Timer();
  view->render();
  EXPECT_EQ(form.currentEvent(), 148);              // two steps of count-in, then one event a tick
  EXPECT_EQ(tab.shownPage(), tab.pageCount() - 1);  // the page of the event replay shows

  const auto dir =
      std::filesystem::temp_directory_path() / ("tastrello-tab-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  // The save buttons ask where; the answer is written as the view writes it.
  auto saveAs = [&](ControlId button, const std::filesystem::path& path) {
    ASSERT_TRUE(form.dispatch(Event::click(button)));
    const auto requests = form.takeRequests();
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].kind, Request::Kind::SaveTablature);
    int pages = 0;
    const std::string error = tab.save(path.string(), requests[0].format, pages);
    form.dispatch(error.empty() ? Event::saved(requests[0].id, path.string(), pages)
                                : Event::notSaved(requests[0].id, path.string(), error));
  };
  saveAs(ControlId::TabSavePdf, dir / "long.pdf");
  EXPECT_EQ(
      form.StatusLine.caption,
      form.say(Text::MsgExported, {(dir / "long.pdf").string(), std::to_string(tab.pageCount())}));
  saveAs(ControlId::TabSaveSvg, dir / "long.svg");
  EXPECT_GT(std::filesystem::file_size(dir / "long.pdf"), 1000u);
  EXPECT_GT(std::filesystem::file_size(dir / "long.svg"), 1000u);
  saveAs(ControlId::TabSavePdf, dir / "none" / "x.pdf");
  EXPECT_EQ(form.StatusLine.caption.rfind(form.say(Text::MsgNotSaved, {"", ""}).substr(0, 6), 0),
            0u);
  std::filesystem::remove_all(dir);
  tab.close();
  EXPECT_EQ(form.TabView.value, 0);
}

TEST_F(TablatureViewTest, ARecordWithItsMeterShowsBarsAndNoteValues) {
  store("Records_Song.txt", song());
  files.files["Records/Meter_Records_Song.txt"] = "METER;beats=4;steps=2;pickup=2\r\nTEMPO;bpm=104\r\n";
  TablatureView& tab = open("Records_Song.txt");
  ASSERT_EQ(tab.pageCount(), 1);
  int bars = 0, dotted = 0;
  for (const TabSystem& system : tab.pages()[0].systems) {
    bars += static_cast<int>(system.barLines.size());
    for (const TabItem& item : system.items) dotted += item.rhythm.value.dotted;
  }
  EXPECT_EQ(bars, 9);    // after the pickup and after each of eight bars
  EXPECT_EQ(dotted, 4);  // three dotted quarters and the dotted half that ends the song
  // Replay marks its event; the picture is the README's.
  form.PlayStop_Click();
  for (int i = 0; i < 6; ++i) form.Timer1_Timer();
  view->render();
  QApplication::processEvents();
  EXPECT_GT(form.currentEvent(), 0);
  ASSERT_TRUE(tab.grab().save(
      QString::fromStdString(std::string(TASTRELLO_SCREENSHOTS) + "/tablature.png")));
}
