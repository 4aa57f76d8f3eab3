// The real window, offscreen: clicks reach the handlers, the view follows the state, the real
// replay timer ticks, and the main states are rendered (scripts/screenshots copies them to docs).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QToolTip>
#include <set>
#include <thread>

#include "platform/key_button.h"
#include "platform/main_view.h"
#include "platform/output_switch.h"
#include "platform/tablature_view.h"
#include "records/record_format.h"
#include "synthetic_sound.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class ViewTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    // The splash waits for its time on the fake clock, which the tests move on by seconds: it
    // shows only where a test asks for it.
    form.SplashTimer.enabled = false;
    view = std::make_unique<MainView>(form, nullptr);
    view->show();
    QApplication::processEvents();
  }
  void shoot(const std::string& name) {
    view->render();
    QApplication::processEvents();
    view->grab().save(
        QString::fromStdString(std::string(TASTRELLO_SCREENSHOTS) + "/" + name + ".png"));
  }
  /// A screenshot with the tool tip of a control shown where the pointer would rest on it.
  void shootWithTip(const std::string& name, const Control& control) {
    view->render();
    QWidget* w = view->widgetFor(control);
    const QPoint at = w->mapToGlobal(QPoint(w->width() / 2, w->height() / 2));
    QToolTip::showText(at, w->toolTip(), w);
    saveWithTip(name);
  }
  /// A screenshot with the tool tip of a list's row shown as the pointer resting on it asks.
  void shootWithRowTip(const std::string& name, const ListBox& list, int row) {
    view->render();
    auto* w = qobject_cast<QListWidget*>(view->widgetFor(list));
    const QPoint at = w->visualItemRect(w->item(row)).center();
    QHelpEvent hover(QEvent::ToolTip, at, w->viewport()->mapToGlobal(at));
    QApplication::sendEvent(w->viewport(), &hover);
    saveWithTip(name);
  }
  void saveWithTip(const std::string& name) {
    QApplication::processEvents();
    QPixmap shot = view->grab();
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (!top->inherits("QTipLabel") || !top->isVisible()) continue;
      QPainter painter(&shot);
      painter.drawPixmap(view->mapFromGlobal(top->pos()), top->grab());
    }
    QToolTip::hideText();
    shot.save(QString::fromStdString(std::string(TASTRELLO_SCREENSHOTS) + "/" + name + ".png"));
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

TEST_F(ViewTest, ExpandWidensToTheLeftButStaysOnTheScreen) {
  const int screenLeft = view->screen()->availableGeometry().left();
  view->move(screenLeft + 50, view->y());
  click(form.Expand);
  EXPECT_EQ(view->width(), 1290);
  EXPECT_EQ(view->x(), screenLeft);  // 133 pixels wanted, 50 possible
  click(form.Expand);
  EXPECT_EQ(view->width(), 1011);
  EXPECT_EQ(view->x(), screenLeft + 50);
  view->move(screenLeft + 300, view->y());
  click(form.Expand);
  EXPECT_EQ(view->x(), screenLeft + 300 - 133);
  click(form.Expand);
  EXPECT_EQ(view->x(), screenLeft + 300);
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
  shootWithTip("recording", form.EditMute);
  click(form.CancelRec);
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
  form.SplashTimer_Timer();  // and goes

  // Playing along at 60 a minute: a few chords played on time, late and early.
  click(form.PlayAlong);
  form.PracticeTempo.value = 60;
  form.PracticeTempo_Click();
  click(form.PlayStop);
  double at = clock.now;
  auto tick = [&] {
    clock.now = at += 1.0;
    form.Timer1_Timer();
  };
  for (int i = 0; i < 10 && form.currentEvent() != 1; ++i) tick();
  auto play = [&](int event, double offset) {
    clock.now = offset < 0 ? at + 1.0 + offset : at + offset;
    for (int b : buttonsOfLine(form.eventButtonLines[std::size_t(event)])) form.Keys_Click(b);
  };
  const double offsets[] = {0.02, 0.16, 0.01, -0.12, 0.03, -0.04, 0.0};
  for (int event = 1; event <= 7; ++event) {
    const double offset = offsets[event - 1];
    if (offset >= 0) play(event, offset);
    if (event < 7 && offsets[event] < 0) play(event + 1, offsets[event]);
    tick();
  }
  shoot("play-along");
  click(form.StopReplay);
  click(form.PlayAlong);
}

TEST_F(ViewTest, ScreenshotsOfTheFirstStartAndOfTheKeysDuringReplay) {
  form.Picture1_Click();
  form.welcome();
  ASSERT_EQ(form.RecordList.items.at(1), "Lessons_2 Alle meine Entchen.txt");
  shootWithRowTip("first-start", form.RecordList, 1);

  // The keys as a German keyboard prints them, the rings around the buttons to press.
  form.clickToggle(form.KeyLetters);
  ASSERT_TRUE(
      form.dispatch(Event::keyLayout("Y=z\nZ=y\nMinus=\xDF\nBracketLeft=\xFC\nBracketRight=+"
                                     "\nSemicolon=\xF6\nApostrophe=\xE4\n")));
  clickRow(form.RecordList, 1);
  click(form.PlayStop);
  for (int i = 0; i < 6; ++i) form.Timer1_Timer();
  EXPECT_TRUE(form.Acco2[1].visible);
  shoot("key-badges");
  click(form.StopReplay);
}

TEST_F(ViewTest, RealReplayTimerTicksAtTheFastestTempo) {
  form.services.clock = nullptr;  // the system's clock: the window's timer really waits
  form.clickToggle(form.RecordLession);
  clickRow(form.RecordList, 0);
  form.Speed.value = 25;
  form.Speed_Click();
  click(form.PlayStop);
  port.log.clear();
  // Two steps at the tempo are counted down before the first event.
  EXPECT_EQ(form.AccordDisplay.caption, form.say(Text::CountIn, {"2"}));
  EXPECT_EQ(form.Timer1.interval, 150);
  ASSERT_TRUE(QTest::qWaitFor([this] { return port.notes().size() >= 3; }, 20000));
  EXPECT_EQ(form.Timer1.interval, 150);
  EXPECT_EQ(form.AccordDisplay.caption, "");
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

/// Texts cut off by their control, and visible controls that overlap, in the state shown.
std::vector<std::string> layoutProblems(MainView& view, const Form1& form,
                                        const std::string& where) {
  view.render();
  QApplication::processEvents();
  std::vector<QWidget*> shown;
  for (QWidget* w : view.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (w->isVisible()) shown.push_back(w);
  std::vector<std::string> problems;
  auto name = [](QWidget* w) {
    const QString text = w->accessibleName();
    return (text.isEmpty() ? w->objectName() : text).toStdString();
  };
  for (QWidget* w : shown) {
    const QSize size = w->size();
    bool cut = false;
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
      cut = label->wordWrap() ? label->heightForWidth(size.width()) > size.height()
                              : label->sizeHint().width() > size.width();
    } else if (auto* box = qobject_cast<QCheckBox*>(w); box && !box->text().isEmpty()) {
      cut = box->sizeHint().width() > size.width();
    }
    if (cut) problems.push_back(where + ": cut off: " + name(w));
  }
  // Beside the instrument, everything keeps a margin inside its panel: the left panel
  // (8 to 396 pixels), the right one (756 to 1006) or the strip of the wide window.
  std::vector<QWidget*> free;  // the keys, markers and the lines above and below the panels
  for (int i = 0; i < kKeyCount; ++i) free.push_back(view.keyWidget(i));
  for (int k = 1; k <= 4; ++k) free.push_back(view.widgetFor(form.Acco2[k]));
  free.push_back(view.widgetFor(form.Splashscreen));
  for (QWidget* w : shown) {
    const QRect r = w->geometry();
    if (std::find(free.begin(), free.end(), w) != free.end() || r.bottom() < 26 || r.top() >= 666)
      continue;
    constexpr int kMargin = 6;
    const bool inLeft = r.left() >= 8 + kMargin && r.right() <= 396 - kMargin;
    const bool inRight = r.left() >= 756 + kMargin && r.right() <= 1006 - kMargin;
    const bool inStrip = r.left() >= px(kNarrowWidth) + kMargin;
    if (!inLeft && !inRight && !inStrip) problems.push_back(where + ": no margin: " + name(w));
  }
  const std::vector<std::pair<const Control*, const Control*>> sharing = {
      {&form.Infos, &form.InfosCopy}, {&form.Version, &form.Version_Shadow}};
  std::vector<QWidget*> above;  // drawn over or around others on purpose
  for (int k = 1; k <= 4; ++k) above.push_back(view.widgetFor(form.Acco2[k]));
  above.push_back(view.widgetFor(form.Splashscreen));
  for (std::size_t i = 0; i < shown.size(); ++i) {
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      QWidget *a = shown[i], *b = shown[j];
      if (!a->geometry().intersects(b->geometry())) continue;
      if (std::find(above.begin(), above.end(), a) != above.end() ||
          std::find(above.begin(), above.end(), b) != above.end())
        continue;
      bool allowed = false;
      for (const auto& [x, y] : sharing) {
        QWidget *wx = view.widgetFor(*x), *wy = view.widgetFor(*y);
        allowed |= (a == wx && b == wy) || (a == wy && b == wx);
      }
      if (!allowed) problems.push_back(where + ": overlap: " + name(a) + " / " + name(b));
    }
  }
  return problems;
}

TEST_F(ViewTest, NothingIsCutOffOrOverlapsInAnyModeOrLanguage) {
  std::vector<std::string> problems;
  auto collect = [&](const std::string& where) {
    auto found = layoutProblems(*view, form, where);
    problems.insert(problems.end(), found.begin(), found.end());
  };
  for (const std::string language :
       {"Lang_ger.txt", "Lang_ENG.txt", "Lang_SPA.txt", "LANG_BAY.TXT"}) {
    form.languageFile = language;
    form.loadLanguage();
    collect(language + " free play");
    form.Expand_Click();
    collect(language + " expanded");
    form.Expand_Click();
    form.Record_Click();
    form.clickToggle(form.Check2);
    form.clickToggle(form.Check2);
    form.Keys_Click(44);
    form.NextRecord_Click();
    form.EditBox.selected = 0;
    form.EditBox_Click();
    collect(language + " recording");
    form.CancelRec_Click();
    collect(language + " asked to cancel");
    form.CancelRec_Click();
    form.RecordList.selected = 0;
    form.RecordList_Click();
    collect(language + " loaded");
    form.PlayStop_Click();
    for (int i = 0; i < 3; ++i) form.Timer1_Timer();
    collect(language + " replay");
    form.StopReplay_Click();
    form.clickToggle(form.Practice);
    form.clickToggle(form.PracticeRamp);
    collect(language + " practising");
    form.clickToggle(form.PlayAlong);
    collect(language + " playing along, stopped");
    form.PlayStop_Click();
    for (int i = 0; i < 8; ++i) form.Timer1_Timer();
    collect(language + " playing along");
    form.StopReplay_Click();
    form.clickToggle(form.PracticeRamp);
    form.clickToggle(form.PlayAlong);
  }
  for (const auto& p : problems) ADD_FAILURE() << p;
}

TEST_F(ViewTest, TabReachesEveryButtonAndEnterOrSpacePressesIt) {
  form.setToggleValue(form.KeyboardPlay, 0);  // Space and Enter are the buttons' own again
  view->activateWindow();
  view->keyWidget(0)->setFocus();
  std::set<QWidget*> reached;
  for (int i = 0; i < 400; ++i) {
    reached.insert(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  for (QWidget* w : view->findChildren<QAbstractButton*>()) {
    if (w->isVisible() && w->isEnabled() && w->focusPolicy() != Qt::NoFocus) {
      EXPECT_TRUE(reached.count(w)) << w->accessibleName().toStdString();
    }
  }
  EXPECT_TRUE(reached.count(view->widgetFor(form.Picture1)));  // the language pictures too

  view->keyWidget(44)->setFocus();
  QTest::keyClick(view->keyWidget(44), Qt::Key_Return);
  QTest::qWait(200);  // the button's animated click
  EXPECT_EQ(form.Keys[44].backColor, kLitKeyColour);
  QTest::keyClick(view->keyWidget(47), Qt::Key_Space);
  EXPECT_EQ(form.litKeyCount, 2);
  view->widgetFor(form.Picture1)->setFocus();
  QTest::keyClick(view->widgetFor(form.Picture1), Qt::Key_Space);
  EXPECT_EQ(form.languageFile, "Lang_ENG.txt");
}

TEST(OutputChoiceTest, ChoosingAnOutputSwitchesAtOnceAndIsStored) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tastrello-out-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  FluidSynthPort::Options silent;
  silent.audioOutput = false;
  OutputSwitch outputs(dir, silent);
  MemoryFiles files;
  files.loadShippedData();
  Form1 form({&outputs, &files, &outputs});
  form.Form_Load();
  form.midiOutSetting = "LOG:midi.log";
  form.Form_Activate();
  MainView view(form);
  view.send(Event::click(ControlId::Expand));  // the panel with the choosers
  auto* chooser = view.findChild<QComboBox*>("OutputChooser");
  ASSERT_TRUE(chooser);
  EXPECT_EQ(chooser->currentText(), "LOG:midi.log");

  emit chooser->activated(0);  // the built-in synthesizer
  EXPECT_EQ(outputs.choice(), "");
  EXPECT_NE(form.midiOutHandle, 0u);
  const auto settings = files.lines("Data/Tastrel.Ini");
  const auto key = std::find(settings.begin(), settings.end(), "MIDI-OUT:");
  ASSERT_NE(key, settings.end());
  EXPECT_EQ(*(key + 1), "SYNTH");

  emit chooser->activated(chooser->findText("LOG:midi.log"));
  form.Keys_Click(44);
  std::ifstream log(dir / "midi.log");
  std::string all((std::istreambuf_iterator<char>(log)), {});
  EXPECT_NE(all.find("CLOSE"), std::string::npos);  // the log closed at the switch to the synth
  EXPECT_NE(all.find("00633C90"), std::string::npos);

  // The audio buffer: automatic at first, a size chosen takes effect at once and is kept.
  auto* buffer = view.findChild<QComboBox*>("BufferChooser");
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->currentIndex(), 0);
  emit buffer->activated(buffer->findText(
      QString::fromStdString(cp1252ToUtf8(form.say(Text::AudioBufferMs, {"40"})))));
  EXPECT_EQ(form.audioBufferSetting, "40");
  EXPECT_NEAR(outputs.synth().bufferMs(), 40, 0.7);
  form.Form_Unload();
  fs::remove_all(dir);
}

// ---- The highlighted row is always the one the window object holds.

class ListViewTest : public ViewTest {
 protected:
  QListWidget* editBox() { return qobject_cast<QListWidget*>(view->widgetFor(form.EditBox)); }
  void recordThree() {
    click(form.Record);
    for (int key : {44, 47, 50}) {
      QTest::mouseClick(view->keyWidget(key), Qt::LeftButton);
      click(form.NextRecord);
    }
  }
  int shownRow() {
    auto* w = editBox();
    const auto selected = w->selectedItems();
    return selected.isEmpty() ? -1 : w->row(selected.front());
  }
  void press(int key) {
    QTest::keyClick(editBox(), static_cast<Qt::Key>(key));
    view->render();
  }
};

TEST_F(ListViewTest, KeysThatMoveTheRowReachTheHandlerAsAClickDoes) {
  recordThree();
  editBox()->setFocus();
  press(Qt::Key_Down);  // a first click selects row 0
  EXPECT_EQ(form.EditBox.selected, 0);
  EXPECT_EQ(form.editClickState, 10);
  EXPECT_EQ(shownRow(), 0);
  EXPECT_TRUE(form.KillNote.visible);
  press(Qt::Key_End);  // a second click deselects, as with the mouse
  EXPECT_EQ(form.EditBox.selected, -1);
  EXPECT_EQ(shownRow(), -1);
  press(Qt::Key_Home);
  press(Qt::Key_PageDown);
  press(Qt::Key_Up);
  for (int key : {Qt::Key_V, Qt::Key_Space}) press(key);
  EXPECT_EQ(shownRow(), form.EditBox.selected);
  // Whatever the keys did, the next commit changes the row that is shown, or appends.
  const int shown = shownRow();
  QTest::mouseClick(view->keyWidget(13), Qt::LeftButton);
  click(form.NextRecord);
  if (shown >= 0)
    EXPECT_EQ(form.ShadowListe3.items[static_cast<std::size_t>(shown)], "13/");
  else
    EXPECT_EQ(form.ShadowListe3.items.back(), "13/");
}

TEST_F(ListViewTest, DraggingAcrossRowsSelectsNothing) {
  recordThree();
  auto* w = editBox();
  const QPoint from = w->visualItemRect(w->item(0)).center();
  const QPoint to = w->visualItemRect(w->item(2)).center();
  QTest::mousePress(w->viewport(), Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), w->viewport()->mapToGlobal(QPointF(to)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w->viewport(), &move);
  QTest::mouseRelease(w->viewport(), Qt::LeftButton, {}, to);
  view->render();
  EXPECT_EQ(form.EditBox.selected, -1);
  EXPECT_EQ(shownRow(), -1);
  EXPECT_EQ(form.editClickState, 0);
  // A click on one row selects it, in the state and on the screen.
  clickRow(form.EditBox, 2);
  view->render();
  EXPECT_EQ(form.EditBox.selected, 2);
  EXPECT_EQ(shownRow(), 2);
}

TEST_F(ListViewTest, TheRecordListLoadsWhatTheKeysHighlight) {
  auto* list = qobject_cast<QListWidget*>(view->widgetFor(form.RecordList));
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  view->render();
  EXPECT_EQ(form.RecordList.selected, 0);
  EXPECT_EQ(form.Label2.caption, form.RecordList.items[0]);
}

// ---- What the window explains: tool tips, bellows directions, instruments by name.

TEST_F(ViewTest, ButtonsPicturesAndCheckBoxesExplainThemselvesInTheLanguage) {
  form.Picture1_Click();
  view->render();
  for (const Control* c : std::vector<const Control*>{
           &form.Record, &form.PlayStop, &form.PlayMode, &form.Expand, &form.Picture2,
           &form.SoundOnOff, &form.Check4, &form.RecordLession}) {
    QWidget* w = view->widgetFor(*c);
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->toolTip().isEmpty()) << c->picture;
    EXPECT_EQ(w->accessibleDescription(), w->toolTip());
  }
  EXPECT_EQ(view->widgetFor(form.Record)->toolTip(), "Record: build a record of chords and rests");
  EXPECT_EQ(view->keyWidget(44)->toolTip(), "c1, push (bellows closing)");
}

TEST_F(ViewTest, ChordRowsShowTheirBellowsDirection) {
  click(form.Record);
  for (const auto& chord : {std::vector<int>{44, 47}, {10}, {10, 44}}) {
    for (int k : chord) QTest::mouseClick(view->keyWidget(k), Qt::LeftButton);
    click(form.NextRecord);
  }
  view->render();
  auto* list = qobject_cast<QListWidget*>(view->widgetFor(form.EditBox));
  ASSERT_EQ(list->count(), 3);
  EXPECT_TRUE(list->item(0)->text().startsWith(QString::fromUtf8("▷◁")));
  EXPECT_TRUE(list->item(1)->text().startsWith(QString::fromUtf8("◁▷")));
  EXPECT_TRUE(list->item(2)->text().startsWith(QString::fromUtf8("◁▷▷◁")));
  EXPECT_NE(list->item(0)->background(), list->item(1)->background());
  // The row's whole text, and its direction in words.
  EXPECT_EQ(list->item(2)->toolTip().toStdString(),
            cp1252ToUtf8(form.EditBox.items[2] + "\n" + form.say(Text::BellowsBoth)));
}

TEST_F(ViewTest, ANameCutAtTheListsEdgeIsReadWholeOnHover) {
  const std::string name = "Lessons_5 Ein Vogel wollte Hochzeit machen.txt";
  files.files["Records/" + name] = *files.read("Records/Lessons_2 Alle meine Entchen.txt");
  form.clickToggle(form.RecordLession);
  view->render();
  auto* list = qobject_cast<QListWidget*>(view->widgetFor(form.RecordList));
  const auto rows = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
  ASSERT_EQ(rows.size(), 1);
  ASSERT_GT(list->fontMetrics().horizontalAdvance(rows[0]->text()), list->viewport()->width())
      << "the name fits: nothing to read on hover";
  const QPoint at = list->visualItemRect(rows[0]).center();
  QHelpEvent hover(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &hover);
  EXPECT_EQ(QToolTip::text().toStdString(), name);
  QToolTip::hideText();
}

TEST_F(ViewTest, AnInstrumentIsPickedByNameInTheWideWindow) {
  click(form.Expand);
  clickRow(form.InstrumentList, 0);
  EXPECT_EQ(form.instrumentNumber, 1);
  EXPECT_EQ(qobject_cast<QLabel*>(view->widgetFor(form.Label18))->text(), "Nr. 1");
}

// ---- The window as an instrument: keys play while the map claims them.

TEST_F(ViewTest, KeysPlayAndStopTheirNotesAndRepeatsAreIgnored) {
  view->activateWindow();
  view->keyWidget(0)->setFocus();
  QTest::keyPress(view->keyWidget(0), Qt::Key_A);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a", true);
  QApplication::sendEvent(view->keyWidget(0), &repeat);
  EXPECT_EQ(form.Keys[0].backColor, kLitKeyColour);
  QTest::keyPress(view->keyWidget(0), Qt::Key_Space);  // push: the same place, other block
  QTest::keyRelease(view->keyWidget(0), Qt::Key_A);
  QTest::keyRelease(view->keyWidget(0), Qt::Key_Space);
  // A release waits a moment for the press of a repeat the system did not mark as one.
  ASSERT_TRUE(QTest::qWaitFor([this] { return form.hands.keysDown.empty(); }, 5000));
  std::vector<std::string> stream;
  for (const auto& line : port.log)
    if (line.size() == 8 && (line.substr(6) == "90" || line.substr(6) == "80"))
      stream.push_back(line.substr(6) + line.substr(4, 2));
  const auto note = [this](int button) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", *form.keyNote(button));
    return std::string(hex);
  };
  EXPECT_EQ(stream, (std::vector<std::string>{"90" + note(0), "80" + note(0), "90" + note(34),
                                              "80" + note(34)}));
  EXPECT_EQ(QApplication::focusWidget(), view->keyWidget(0));  // Space pressed no button
  EXPECT_EQ(form.litKeyCount, 0);
}

TEST_F(ViewTest, RepeatsAnXServerSendsUnmarkedStrikeNoKeyAgain) {
  // X11 without detectable auto-repeat: each repeat of a held key is a release and a press with
  // the same time stamp, and nothing marks them as repeats when the press comes too late to be
  // seen with its release.
  view->activateWindow();
  QWidget* target = view->keyWidget(0);
  target->setFocus();
  auto send = [&](QEvent::Type type, Qt::Key key, unsigned long timestamp) {
    QKeyEvent event(type, key, Qt::NoModifier);
    event.setTimestamp(timestamp);
    QApplication::sendEvent(target, &event);
  };
  send(QEvent::KeyPress, Qt::Key_Space, 1000);
  send(QEvent::KeyPress, Qt::Key_A, 1100);
  for (unsigned long t = 1760; t < 4200; t += 40) {
    send(QEvent::KeyRelease, Qt::Key_A, t);
    send(QEvent::KeyPress, Qt::Key_A, t);
    send(QEvent::KeyRelease, Qt::Key_Space, t + 1);
    send(QEvent::KeyPress, Qt::Key_Space, t + 1);
    QApplication::processEvents();
  }
  send(QEvent::KeyRelease, Qt::Key_A, 4300);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !form.hands.keys.held().size(); }, 5000));
  EXPECT_EQ(port.notes().size(), 1u) << "the held key struck again";
  EXPECT_TRUE(form.hands.keys.pushing()) << "the bellows turned on a repeat";
  send(QEvent::KeyRelease, Qt::Key_Space, 4400);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !form.hands.keys.pushing(); }, 5000));
}

TEST_F(ViewTest, TypingInTheNameFieldNeverPlays) {
  click(form.Record);
  auto* name = view->widgetFor(form.SaveName);
  name->setFocus();
  QTest::keyClicks(name, "asdf qwer");
  EXPECT_EQ(form.SaveName.text, "asdf qwer");
  EXPECT_TRUE(port.notes().empty());
  EXPECT_EQ(form.EditorTMP3.caption, "");
}

TEST_F(ViewTest, TheButtonsCanShowTheirKeys) {
  form.clickToggle(form.KeyLetters);
  view->render();
  EXPECT_EQ(form.Keys[0].tag, "A");
  EXPECT_EQ(form.Keys[34].tag, "A");
  EXPECT_EQ(form.Keys[27].tag, ";");
  EXPECT_EQ(form.Keys[29].tag, "0");
  shoot("key-map");
  form.clickToggle(form.KeyLetters);
  EXPECT_EQ(form.Keys[0].tag, "");
}

// ---- The button's face: its name, its key's letter and the replay's ring

class KeyFaceTest : public ViewTest {
 protected:
  KeyButton& key(int index) { return dynamic_cast<KeyButton&>(*view->keyWidget(index)); }
  /// What overlaps on the buttons as last painted: the name and the badge, either outside its
  /// button, a ring over the face of the button it marks or above that button.
  std::vector<std::string> facesCovered(const std::string& where) {
    view->render();
    view->grab();  // every button paints its face
    std::vector<std::string> problems;
    for (int i = 0; i < kKeyCount; ++i) {
      const KeyFace& face = key(i).face();
      const std::string at =
          where + " " + form.Keys[i].caption + " (button " + std::to_string(i) + ")";
      const QRectF inside(QPointF(0, 0), key(i).size());
      if (face.badge.isEmpty()) problems.push_back(at + ": no badge");
      if (face.name.intersects(face.badge)) problems.push_back(at + ": the badge covers the name");
      if (!inside.contains(face.name) || !inside.contains(face.badge))
        problems.push_back(at + ": drawn outside the button");
    }
    for (int k = 1; k <= 4; ++k) {
      if (!form.Acco2[k].visible) continue;
      auto& ring = dynamic_cast<KeyButton&>(*view->widgetFor(form.Acco2[k]));
      QWidget* marked = nullptr;
      for (int i = 0; i < kKeyCount; ++i)
        if (view->keyWidget(i)->geometry().contains(ring.geometry().center()))
          marked = view->keyWidget(i);
      if (!marked) {
        problems.push_back(where + ": a ring around no button");
        continue;
      }
      const KeyButton& button = dynamic_cast<KeyButton&>(*marked);
      const QRectF circle = button.face().circle.translated(button.pos() - ring.pos());
      if (!ring.ringInside().contains(circle))
        problems.push_back(where + ": the ring covers the face");
      if (std::abs(ring.ringInside().center().x() - circle.center().x()) > 0.5 ||
          std::abs(ring.ringInside().center().y() - circle.center().y()) > 0.5)
        problems.push_back(where + ": the ring is off its button's middle");
      const QObjectList& stack = view->children();  // bottom first
      if (stack.indexOf(&ring) > stack.indexOf(marked))
        problems.push_back(where + ": the ring lies above");
    }
    return problems;
  }
};

TEST_F(KeyFaceTest, TheNameTheKeysLetterAndTheRingNeverCoverEachOtherInAnyTuning) {
  form.clickToggle(form.KeyLetters);
  form.clickToggle(form.RecordLession);
  clickRow(form.RecordList, 0);
  click(form.PlayStop);
  std::vector<std::string> problems;
  for (const std::string& tuning : form.NoteList.items) {
    form.chooseTuning(tuning);
    for (int step = 0; step < 4; ++step) form.Timer1_Timer();
    ASSERT_TRUE(form.Acco2[1].visible) << "no ring to look at";
    auto found = facesCovered(tuning);
    problems.insert(problems.end(), found.begin(), found.end());
  }
  for (const auto& p : problems) ADD_FAILURE() << p;
}

TEST_F(KeyFaceTest, WithoutTheKeysTheNameStandsInTheMiddle) {
  view->render();
  view->grab();
  const KeyFace& face = key(44).face();
  EXPECT_TRUE(face.badge.isEmpty());
  EXPECT_NEAR(face.name.center().y(), face.circle.center().y(), 1.0);
  EXPECT_NEAR(face.name.center().x(), face.circle.center().x(), 1.0);
}

TEST_F(KeyFaceTest, TheBassSidesLettersAndKeysFitTheirButtonsUnderTheTreble) {
  form.fillChoosers();
  const auto& sides = form.BassChooser.values;
  const auto twelve = std::find(sides.begin(), sides.end(), "Instrument_G-C-F_12-Bass.txt");
  ASSERT_NE(twelve, sides.end());
  form.BassChooser.selected = static_cast<int>(twelve - sides.begin());
  form.BassChooser_Click();
  form.clickToggle(form.KeyLetters);
  form.dispatch(Event::click(ControlId::BassKeys, 2));  // the chord c, held
  view->render();
  view->grab();
  int lowestTreble = 0;
  for (int i = 0; i < kKeyCount; ++i)
    lowestTreble = std::max(lowestTreble, view->keyWidget(i)->geometry().bottom());
  int shown = 0;
  for (int place = 0; place < kBassKeyCount; ++place) {
    QWidget* w = view->widgetFor(form.BassKeys[place]);
    ASSERT_TRUE(w);
    if (!form.BassKeys[place].visible) {
      EXPECT_FALSE(w->isVisible()) << place;
      continue;
    }
    ++shown;
    const auto& button = dynamic_cast<KeyButton&>(*w);
    const KeyFace& face = button.face();
    const std::string at = form.BassKeys[place].caption;
    const QRectF inside(QPointF(0, 0), button.size());
    EXPECT_FALSE(face.badge.isEmpty()) << at;
    EXPECT_FALSE(face.name.intersects(face.badge)) << at;
    EXPECT_TRUE(inside.contains(face.name) && inside.contains(face.badge)) << at;
    EXPECT_GT(w->geometry().top(), lowestTreble) << at;
  }
  EXPECT_EQ(shown, 12);
  shoot("bass-side");
}

TEST(KeyFaceLayoutTest, ANameTooTallForTheRoomAboveTheBadgeStillKeepsClearOfIt) {
  // A large font (a desktop's bigger text): the name rises as far as it must.
  for (qreal height : {6.0, 9.0, 12.0, 16.0}) {
    const KeyFace face = keyFaceOf(QSizeF(41, 33), QSizeF(22, height), QSizeF(14, 13));
    EXPECT_FALSE(face.name.intersects(face.badge)) << height;
    EXPECT_LE(face.name.bottom(), face.badge.top() - 1) << height;
  }
}

TEST_F(ViewTest, TheTuningChooserOffersTheLayoutsAndPutsOneOnTheButtons) {
  click(form.Expand);
  auto* chooser = view->findChild<QComboBox*>("TuningChooser");
  ASSERT_TRUE(chooser && chooser->isVisible());
  EXPECT_EQ(chooser->count(), static_cast<int>(form.NoteList.items.size()) + 1);
  emit chooser->activated(chooser->findText("H-E-A"));  // a tuning is offered by its name
  EXPECT_EQ(form.chosenTuning, "Notes_H-E-A.txt");
  view->render();
  EXPECT_EQ(form.Keys[44].caption, "e1");  // c1 + 4
  EXPECT_EQ(chooser->currentText(), "H-E-A");
}

TEST_F(ViewTest, PractisingALessonShowsWhatWasWrongThePassScoreAndTheHistoryChart) {
  form.clickToggle(form.RecordLession);
  const std::string lesson = form.RecordList.items.at(1);
  // Earlier passes of this lesson, as earlier sessions wrote them.
  std::vector<std::string> earlier;
  const int firstTries[] = {1, 2, 2, 3, 4, 4, 3, 4};
  for (int i = 0; i < 8; ++i)
    earlier.push_back("PASS;2026-12-0" + std::to_string(1 + i / 3) + " 18:0" + std::to_string(i) +
                      ";tempo=" + std::to_string(15 + i / 2) +
                      ";section=2-5;events=4;first=" + std::to_string(firstTries[i]) +
                      ";buttons=" + std::to_string(4 - firstTries[i]) +
                      ";directions=1;seconds=" + std::to_string(20 - i) + ".5");
  files.files["Records/Practice_" + lesson] = joinLines(earlier);
  clickRow(form.RecordList, 1);
  ASSERT_EQ(form.practice.history.passes.size(), 8u);
  qobject_cast<QCheckBox*>(view->widgetFor(form.Practice))->click();
  EXPECT_EQ(form.Practice.value, 1);
  clickRow(form.NotenSchirm, 1);
  click(form.SectionFirst);
  clickRow(form.NotenSchirm, 4);
  click(form.SectionLast);
  EXPECT_EQ(form.replaySpan(), (std::pair<int, int>{2, 5}));

  click(form.PlayStop);
  bool wrongTried = false;
  for (int guard = 0; guard < 40 && form.practice.history.passes.size() == 8; ++guard) {
    clock.now += 1.5;
    if (!form.practice.waiting) {
      form.Timer1_Timer();
      continue;
    }
    if (!wrongTried) {
      // The right place, the other bellows direction: shown in its colour, said in words.
      const int other = (form.practice.wanted[0] + kButtonsPerBlock) % kKeyCount;
      QTest::mouseClick(view->keyWidget(other), Qt::LeftButton);
      view->render();
      EXPECT_EQ(form.Keys[other].backColor, kWrongDirectionColour);
      EXPECT_FALSE(form.StatusLine.caption.empty());
      wrongTried = true;
    }
    for (int b : std::vector<int>(form.practice.wanted))
      QTest::mouseClick(view->keyWidget(b), Qt::LeftButton);
  }
  ASSERT_EQ(form.practice.history.passes.size(), 9u);
  EXPECT_EQ(form.practice.history.passes.back().score.wrongDirections, 1);
  view->render();
  auto* score = qobject_cast<QLabel*>(view->widgetFor(form.PracticeScore));
  ASSERT_TRUE(score && score->isVisible());
  EXPECT_TRUE(score->text().contains("3"));
  EXPECT_TRUE(view->widgetFor(form.PracticeChart)->isVisible());
  shoot("practice");
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// ---- The microphone: the view opens the capture the window object asks for and hands its
// sound over, from the capture's thread to the window's, as Sound events.

TEST(MicrophoneViewTest, TheMeterFollowsWhatTheMicrophoneCapturesAndAClosedOneIsNotHeard) {
  FakePort port;
  MemoryFiles files;
  files.loadShippedData();
  FakeClock clock;
  clock.now = 100;
  FakeOutputs outputs;
  FakeSoundIn microphone;
  Form1 form({&port, &files, &outputs, &clock, nullptr, nullptr, nullptr, &microphone});
  form.Form_Load();
  form.Form_Activate();
  MainView view(form);
  view.useMicrophone(microphone);
  view.show();
  view.settle();
  view.send(Event::click(ControlId::Expand));  // the panel with the choosers
  auto* chooser = view.findChild<QComboBox*>("InputChooser");
  ASSERT_TRUE(chooser);
  const QString entry = QString::fromStdString(cp1252ToUtf8(form.say(Text::MicrophoneCaption)));
  ASSERT_GE(chooser->findText(entry), 0);
  emit chooser->activated(chooser->findText(entry));
  ASSERT_FALSE(microphone.log.empty());
  EXPECT_EQ(microphone.log.back(), "OPEN  48000");
  const std::string silent = form.MicLevel.caption;
  ASSERT_FALSE(silent.empty());

  // A chord, captured on another thread in the capture's small buffers.
  SyntheticSound sound;
  std::vector<SyntheticNote> chord;
  for (int pitch : {60, 64, 67}) chord.push_back({0.05, 0.5, pitch, 0.05});
  const std::vector<float> samples = synthesize(chord, sound, 0.6);
  microphone.origin = SoundIn::Clock::now();
  std::thread capture([&] { microphone.play(samples, 128); });
  capture.join();
  for (int i = 0; i < 500 && form.MicLevel.caption == silent; ++i)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_NE(form.MicLevel.caption, silent);
  view.render();
  auto* meter = qobject_cast<QLabel*>(view.widgetFor(form.MicLevel));
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->text().toStdString(), cp1252ToUtf8(form.MicLevel.caption));
  QApplication::processEvents();
  view.grab().save(QString::fromStdString(std::string(TASTRELLO_SCREENSHOTS) + "/microphone.png"));

  // Another input chosen: the microphone is closed, and nothing more is heard.
  emit chooser->activated(0);
  EXPECT_EQ(microphone.log.back(), "CLOSE");
  EXPECT_FALSE(microphone.play(samples, 128));
  EXPECT_TRUE(form.MicLevel.caption.empty());
}
