// The real window, offscreen: clicks reach the handlers, the view follows the state, the real
// replay timer ticks, and the main states are rendered to docs/screenshots.
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QTest>

#include "platform/main_view.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class ViewTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    view = std::make_unique<MainView>(form, nullptr);
    form.services.beeper = view.get();
    view->show();
    QApplication::processEvents();
  }
  void shoot(const std::string& name) {
    view->render();
    QApplication::processEvents();
    view->grab().save(
        QString::fromStdString(std::string(TASTRELLO_SCREENSHOTS) + "/" + name + ".png"));
  }
  void clickRow(const ListBox& list, int row) {
    view->render();
    auto* w = qobject_cast<QListWidget*>(view->widgetFor(list));
    ASSERT_TRUE(w && w->isVisible());
    const QRect r = w->visualItemRect(w->item(row));
    QTest::mouseClick(w->viewport(), Qt::LeftButton, {}, r.center());
  }
  void click(const Control& c) {
    view->render();
    QWidget* w = view->widgetFor(c);
    ASSERT_TRUE(w && w->isVisible()) << c.picture;
    QTest::mouseClick(w, Qt::LeftButton);
  }
  std::unique_ptr<MainView> view;
};

TEST_F(ViewTest, ClickingAKeySoundsItsNoteAndLightsIt) {
  QTest::mouseClick(view->keyWidget(44), Qt::LeftButton);
  EXPECT_EQ(port.notes(), std::vector<std::string>{"00633C90"});
  EXPECT_EQ(form.Keys[44].backColor, kLitKeyColour);
  EXPECT_EQ(view->keyWidget(44)->accessibleName(), "c1");
  QTest::mouseClick(view->keyWidget(44), Qt::LeftButton);
  EXPECT_EQ(form.litKeyCount, 0);
}

TEST_F(ViewTest, SharedPlacesAreReallyShared) {
  EXPECT_EQ(view->widgetFor(form.Record)->geometry(), view->widgetFor(form.CancelRec)->geometry());
  EXPECT_EQ(view->widgetFor(form.PlayStop)->geometry(), view->widgetFor(form.Break)->geometry());
  EXPECT_EQ(view->width(), 1011);
}

TEST_F(ViewTest, ScreenshotsOfTheMainStates) {
  shoot("free-play-german");

  form.Picture1_Click();
  form.Expand_Click();
  shoot("expanded-english");
  form.Expand_Click();
  form.Picture3_Click();

  click(form.Record);
  EXPECT_TRUE(form.EditBox.visible);
  form.clickToggle(form.Check2);
  form.clickToggle(form.Check2);
  for (int k : {44, 47, 50}) QTest::mouseClick(view->keyWidget(k), Qt::LeftButton);
  click(form.NextRecord);
  click(form.EditMute);
  for (int k : {10, 13}) QTest::mouseClick(view->keyWidget(k), Qt::LeftButton);
  EXPECT_EQ(form.EditBox.items.size(), 2u);
  shoot("recording");
  click(form.CancelRec);

  form.clickToggle(form.RecordLession);
  clickRow(form.RecordList, 1);
  EXPECT_EQ(form.Label2.caption.substr(0, 8), "Lessons_");
  click(form.PlayStop);
  for (int i = 0; i < 4; ++i) form.Timer1_Timer();
  shoot("replay");
  click(form.StopReplay);

  form.SplashTimer_Timer();
  shoot("splash");
  EXPECT_TRUE(view->widgetFor(form.Splashscreen)->isVisible());
}

TEST_F(ViewTest, RealReplayTimerTicksAtTheFastestTempo) {
  form.clickToggle(form.RecordLession);
  clickRow(form.RecordList, 0);
  form.Speed.value = 25;
  form.Speed_Click();
  click(form.PlayStop);
  port.log.clear();
  // The first tick comes after 1000 ms, then every 150 ms.
  QTest::qWait(1000 + 150 * 4 + 75);
  EXPECT_EQ(form.Timer1.interval, 150);
  EXPECT_GE(port.notes().size(), 3u);
  EXPECT_LE(port.notes().size(), 5u);
  EXPECT_TRUE(form.Acco2[1].visible);
}

TEST_F(ViewTest, TypedNameUnknownToWindows1252IsRefusedVisibly) {
  click(form.Record);
  for (int k : {44}) QTest::mouseClick(view->keyWidget(k), Qt::LeftButton);
  click(form.NextRecord);
  QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("日本"));
  QApplication::sendEvent(view->widgetFor(form.SaveName), &typed);
  EXPECT_EQ(form.SaveName.text, "??");
  click(form.SaveRecord);
  EXPECT_EQ(form.SaveName.backColor, kLitKeyColour);
  EXPECT_TRUE(form.EditBox.visible);
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
