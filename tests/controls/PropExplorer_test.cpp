// The property explorer window: filling, scrolling, selection and editing
// driven by mouse and key events, geometry of the editor and the button,
// and pixels of the painted control at known places.
#include "controls/PropExplorer.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessel {
namespace {

class PropExplorerTest : public testing::Test {
protected:
  std::unique_ptr<TPropExplorer> Pe = std::make_unique<TPropExplorer>();

  void Show() {
    Pe->show();
    Pe->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Pe.get()));
  }
  // Rows "Row 0" .. with values "value 0" ..
  std::vector<TPEItem*> Fill(int count, TPEItem* parent = nullptr) {
    std::vector<TPEItem*> rows;
    Pe->BeginUpdate();
    for (int i = 0; i < count; ++i)
      rows.push_back(
          (parent ? parent : &Pe->Root())->AddItem("Row " + std::to_string(i), "value " + std::to_string(i)));
    Pe->EndUpdate();
    return rows;
  }
  int RowTop(int k) const { return Pe->Margin() + k * Pe->ItemHeight(); }
  QPoint ValueCell(int k) const { return QPoint(Pe->NameColWidth() + 20, RowTop(k) + Pe->ItemHeight() / 2); }
  QPoint NameCell(int k) const { return QPoint(Pe->NameColWidth() - 20, RowTop(k) + Pe->ItemHeight() / 2); }
  QWidget* View() const { return Pe->viewport(); }
  QImage Grab() const { return View()->grab().toImage(); }
  QScrollBar& Bar() const { return *Pe->verticalScrollBar(); }
  QRgb Back() const { return Pe->Color().rgb(); }
  QRgb Role(QPalette::ColorRole role) const { return Pe->palette().color(role).rgb(); }
};

TEST_F(PropExplorerTest, new_control_is_empty_without_scroll_bar) {
  Show();
  EXPECT_EQ(Pe->geometry().size(), QSize(200, 100));
  EXPECT_EQ(Pe->NameColWidth(), 100);
  EXPECT_EQ(Pe->Margin(), 3);
  EXPECT_EQ(Pe->ItemHeight(), Pe->fontMetrics().height() + 4);
  EXPECT_EQ(Pe->Rows(), 0);
  EXPECT_EQ(Pe->TopItem(), &Pe->Root());
  EXPECT_EQ(Pe->Current(), nullptr);
  EXPECT_FALSE(Bar().isVisible());
  EXPECT_FALSE(Pe->Editor().isVisible());
  EXPECT_FALSE(Pe->Button().isVisible());
  // Nothing but the background and the divider.
  QImage img = Grab();
  EXPECT_EQ(img.pixel(50, 20), Back());
  EXPECT_EQ(img.pixel(150, 20), Back());
}

TEST_F(PropExplorerTest, add_value_creates_path_items_once) {
  TPEItem* certs = Pe->AddValue("Signed Data/Certificates", "2");
  ASSERT_EQ(Pe->Root().Count(), 1);
  TPEItem* signedData = Pe->Root().Child(0);
  EXPECT_EQ(signedData->Name, "Signed Data");
  EXPECT_EQ(signedData->Value(), "");
  EXPECT_EQ(certs->Parent(), signedData);
  EXPECT_EQ(certs->Name, "Certificates");
  EXPECT_EQ(certs->Value(), "2");
  struct TCase {
    const char* Path;
    bool Reused;
  };
  const TCase cases[] = {
      {"Signed Data/Certificates", true},
      {"Signed Data\\Certificates", true},
      {",Signed Data,,Certificates/", true},  // empty parts skipped
      {"Signed Data/certificates", false},    // names compare exactly
  };
  for (const TCase& tc : cases) {
    TPEItem* item = Pe->AddValue(tc.Path, tc.Path);
    EXPECT_EQ(item == certs, tc.Reused) << tc.Path;
    EXPECT_EQ(item->Value(), tc.Path);
  }
  EXPECT_EQ(Pe->Root().Count(), 1);
  EXPECT_EQ(signedData->Count(), 2);
  // Two rows of one name need AddItem.
  signedData->AddItem("Certificates", "other");
  EXPECT_EQ(Pe->AddValue("Signed Data/Certificates", "x"), certs);
}

TEST_F(PropExplorerTest, scroll_bar_and_select_scroll_and_return_to_the_top) {
  Show();
  std::vector<TPEItem*> rows = Fill(30);
  QApplication::processEvents();  // the scroll bar shows, the view narrows
  const int page = (View()->height() - 2 * Pe->Margin()) / Pe->ItemHeight();
  EXPECT_EQ(Pe->Rows(), 30);
  EXPECT_EQ(Pe->MaxScroll(), 30 - page);
  EXPECT_TRUE(Bar().isVisible());
  EXPECT_EQ(Bar().maximum(), Pe->MaxScroll());

  Bar().triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(Pe->ScrollPos(), 5);
  EXPECT_EQ(Pe->TopItem(), rows[5]);
  Bar().triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Pe->TopItem(), rows[6]);
  Bar().triggerAction(QAbstractSlider::SliderSingleStepSub);
  Bar().triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(Pe->ScrollPos(), 0);
  EXPECT_EQ(Pe->TopItem(), &Pe->Root());
  Pe->ScrollBy(1000);
  EXPECT_EQ(Pe->ScrollPos(), Pe->MaxScroll());
  EXPECT_EQ(Pe->TopItem(), rows[static_cast<size_t>(Pe->MaxScroll())]);
  EXPECT_EQ(Bar().value(), Pe->MaxScroll());
  Bar().setValue(3);  // the thumb
  EXPECT_EQ(Pe->TopItem(), rows[3]);

  // The top row is painted first, at the margin.
  Grab();
  EXPECT_EQ(rows[3]->Y, Pe->Margin());
  EXPECT_EQ(rows[4]->Y, Pe->Margin() + Pe->ItemHeight());

  // Select scrolls the row into view.
  const int fit = FullRows(Pe->Metrics());
  Pe->Select(rows[20]);
  EXPECT_EQ(Pe->Current(), rows[20]);
  EXPECT_EQ(Pe->EditItem(), rows[20]);
  EXPECT_EQ(Pe->ScrollPos(), 20 - fit + 1);
  Grab();
  EXPECT_EQ(Pe->BottomItem(), rows[20]);
  EXPECT_TRUE(Pe->Editor().isVisible());
  EXPECT_EQ(Pe->Editor().geometry().top(), rows[20]->Y + 1);

  Pe->Select(rows[2]);
  EXPECT_EQ(Pe->TopItem(), rows[2]);
  Pe->Select(rows[0]);
  EXPECT_EQ(Pe->TopItem(), &Pe->Root());
  // Scrolled away, the editor hides; back in view, it shows again.
  Pe->ScrollBy(10);
  EXPECT_FALSE(Pe->Editor().isVisible());
  Pe->ScrollBy(-10);
  EXPECT_TRUE(Pe->Editor().isVisible());

  Pe->resize(200, 30 * Pe->ItemHeight() + 2 * Pe->Margin());
  QApplication::processEvents();
  EXPECT_EQ(Pe->MaxScroll(), 0);
  EXPECT_EQ(Pe->ScrollPos(), 0);
  EXPECT_EQ(Pe->TopItem(), &Pe->Root());
  EXPECT_FALSE(Bar().isVisible());
}

TEST_F(PropExplorerTest, updates_recompute_once_at_the_end_and_survive_a_throwing_handler) {
  Show();
  Pe->BeginUpdate();
  Pe->BeginUpdate();
  for (int i = 0; i < 50; ++i) Pe->Root().AddItem("n", "v");
  Pe->EndUpdate();
  EXPECT_EQ(Pe->Rows(), 0);  // still locked
  EXPECT_EQ(Bar().maximum(), 0);
  Pe->EndUpdate();
  EXPECT_EQ(Pe->UpdateLock(), 0);
  EXPECT_EQ(Pe->Rows(), 50);
  EXPECT_EQ(Bar().maximum(), Pe->MaxScroll());
  Pe->EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(Pe->UpdateLock(), 0);
  // A handler's exception passes through and leaves the control usable.
  Pe->OnEditing = [](TPropExplorer&, TPEItem&) { throw std::runtime_error("editing"); };
  EXPECT_THROW(Pe->Select(Pe->Root().Child(1)), std::runtime_error);
  EXPECT_EQ(Pe->UpdateLock(), 0);
  Pe->OnEditing = nullptr;
  Pe->Select(Pe->Root().Child(2));
  EXPECT_EQ(Pe->EditItem(), Pe->Root().Child(2));
}

TEST_F(PropExplorerTest, collapsing_keeps_a_hidden_current_and_moves_a_hidden_top) {
  Show();
  TPEItem* group = Pe->Root().AddChild("group");
  std::vector<TPEItem*> kids = Fill(20, group);
  Fill(10);
  group->SetExpanded(true);
  Pe->Select(kids[15]);
  ASSERT_EQ(Pe->TopItem() == &Pe->Root(), false);
  ASSERT_TRUE(group->Contains(Pe->TopItem()));

  group->SetExpanded(false);
  EXPECT_EQ(Pe->Current(), kids[15]);
  EXPECT_EQ(Pe->EditItem(), kids[15]);
  EXPECT_FALSE(Pe->Editor().isVisible());
  EXPECT_EQ(Pe->Rows(), 11);
  // The top row was inside the collapsed group: the group takes its place.
  EXPECT_TRUE(Pe->TopItem() == group || Pe->TopItem() == &Pe->Root());
  EXPECT_LE(Pe->ScrollPos(), Pe->MaxScroll());
  EXPECT_EQ(Bar().value(), Pe->ScrollPos());
  Grab();
  EXPECT_TRUE(Pe->BottomItem() == nullptr || Pe->BottomItem()->IsShown());

  group->SetExpanded(true);
  Pe->Select(kids[15]);  // already current: nothing moves
  EXPECT_EQ(Pe->Current(), kids[15]);
}

TEST_F(PropExplorerTest, freeing_the_current_top_row_leaves_no_dangling_row) {
  Show();
  std::vector<TPEItem*> rows = Fill(30);
  TPEItem* group = rows[12];
  std::vector<TPEItem*> kids = Fill(3, group);
  group->SetExpanded(true);
  Pe->ScrollBy(12);
  ASSERT_EQ(Pe->TopItem(), group);
  Pe->Select(kids[1]);
  ASSERT_EQ(Pe->EditItem(), kids[1]);

  int edited = 0;
  Pe->OnEdited = [&edited](TPropExplorer&, TPEItem&) { ++edited; };
  group->Free();
  EXPECT_EQ(Pe->Current(), nullptr);
  EXPECT_EQ(Pe->EditItem(), nullptr);
  EXPECT_EQ(edited, 0);  // nothing left to commit to
  EXPECT_FALSE(Pe->Editor().isVisible());
  EXPECT_EQ(Pe->TopItem(), rows[11]);
  EXPECT_EQ(Pe->ScrollPos(), 11);
  EXPECT_EQ(Pe->Rows(), 29);
  Grab();
  EXPECT_EQ(rows[13]->Y, Pe->Margin() + Pe->ItemHeight());

  // Clearing a row's children while one of them is the top row.
  Pe->ScrollBy(1000);
  TPEItem* last = Pe->TopItem();
  TPEItem* holder = last->Parent();
  ASSERT_EQ(holder, &Pe->Root());
  Pe->Root().Clear();
  EXPECT_EQ(Pe->Rows(), 0);
  EXPECT_EQ(Pe->TopItem(), &Pe->Root());
  EXPECT_EQ(Pe->ScrollPos(), 0);
  EXPECT_FALSE(Bar().isVisible());
  Grab();
  EXPECT_EQ(Pe->BottomItem(), nullptr);
}

TEST_F(PropExplorerTest, editor_and_button_sit_over_the_value_cell_and_copy_their_row) {
  Show();
  Pe->SetNameColWidth(120);
  std::vector<TPEItem*> rows = Fill(3);
  rows[1]->OnButtonClick = [&rows](TPEItem& item) { rows[2]->SetValue("clicked " + item.Name); };
  rows[1]->ButtonHint = "Details";
  const TPEMetrics m = Pe->Metrics();

  QTest::mouseClick(View(), Qt::LeftButton, {}, ValueCell(0));
  EXPECT_EQ(Pe->Current(), rows[0]);
  EXPECT_TRUE(Pe->Editor().hasFocus());
  TPERect e = EditorRect(m, RowTop(0));
  EXPECT_EQ(Pe->Editor().geometry(), QRect(e.Left, e.Top, e.Width, e.Height));
  EXPECT_FALSE(Pe->Editor().isReadOnly());
  EXPECT_FALSE(Pe->Button().isVisible());
  EXPECT_EQ(Pe->Editor().selectedText(), "value 0");
  QTest::keyClicks(&Pe->Editor(), "x");
  EXPECT_EQ(Pe->Editor().text(), "x");

  QTest::mouseClick(View(), Qt::LeftButton, {}, NameCell(1));
  EXPECT_EQ(rows[0]->Value(), "x");  // committed on leaving
  EXPECT_TRUE(Pe->Editor().isReadOnly());
  ASSERT_TRUE(Pe->Button().isVisible());
  TPERect b = ButtonRect(m, RowTop(1));
  EXPECT_EQ(Pe->Button().geometry(), QRect(b.Left, b.Top, b.Width, b.Height));
  EXPECT_EQ(Pe->Button().text(), "...");
  EXPECT_TRUE(Pe->Button().font().bold());
  EXPECT_EQ(Pe->Button().toolTip(), "Details");
  QTest::keyClicks(&Pe->Editor(), "typed");
  EXPECT_EQ(Pe->Editor().text(), "value 1");
  QTest::mouseClick(&Pe->Button(), Qt::LeftButton);
  EXPECT_EQ(rows[2]->Value(), "clicked Row 1");

  // A read-only control takes no typing on any row.
  Pe->SetReadOnly(true);
  Pe->Select(rows[2]);
  EXPECT_TRUE(Pe->Editor().isReadOnly());
  EXPECT_FALSE(Pe->Button().isVisible());
  QTest::keyClicks(&Pe->Editor(), "typed");
  EXPECT_EQ(Pe->Editor().text(), "clicked Row 1");
  // Ctrl+C copies name and value; the read-only editor stays copyable.
  QTest::keyClick(Pe.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "Row 2: clicked Row 1");
  QApplication::clipboard()->clear();
  Pe->Editor().setSelection(8, 3);
  Pe->Editor().copy();
  EXPECT_EQ(QApplication::clipboard()->text(), "Row");
}

TEST_F(PropExplorerTest, value_list_steps_on_quick_second_click_and_double_click) {
  Show();
  std::vector<TPEItem*> rows = Fill(2);
  TPEItem* flag = rows[0];
  flag->SetValue("Yes");
  flag->Values = std::vector<std::string>{"Yes", "No"};
  std::vector<std::string> edited;
  Pe->OnEdited = [&edited](TPropExplorer&, TPEItem& item) { edited.push_back(item.Value()); };
  QLineEdit& ed = Pe->Editor();

  QTest::mouseClick(View(), Qt::LeftButton, {}, ValueCell(0));
  ASSERT_TRUE(ed.isVisible());
  EXPECT_EQ(ed.toolTip(), "Yes;No");
  const QPoint inEditor = ed.mapFrom(View(), ValueCell(0));
  QTest::mouseClick(&ed, Qt::LeftButton, {}, inEditor);
  EXPECT_EQ(ed.text(), "No");
  EXPECT_EQ(flag->Value(), "Yes");                       // not before the edit ends
  QTest::mouseClick(&ed, Qt::LeftButton, {}, inEditor);  // no longer armed
  EXPECT_EQ(ed.text(), "No");
  QTest::mouseDClick(&ed, Qt::LeftButton, {}, inEditor);
  EXPECT_EQ(ed.text(), "Yes");
  EXPECT_EQ(ed.selectedText(), "Yes");  // not a word selection of its own
  ed.setText("Maybe");
  QTest::mouseDClick(&ed, Qt::LeftButton, {}, inEditor);
  EXPECT_EQ(ed.text(), "Yes");
  QTest::mouseDClick(&ed, Qt::LeftButton, {}, inEditor);
  EXPECT_TRUE(edited.empty());
  Pe->EndEdit();
  EXPECT_EQ(flag->Value(), "No");
  EXPECT_EQ(edited, std::vector<std::string>{"No"});

  // A second click too late, or after the pointer moved away, does not step.
  QTest::mouseClick(View(), Qt::LeftButton, {}, ValueCell(0));
  QTest::mouseClick(&ed, Qt::LeftButton, {}, inEditor, 1200);
  EXPECT_EQ(ed.text(), "No");
  QTest::mouseClick(View(), Qt::LeftButton, {}, ValueCell(1));
  QTest::mouseClick(View(), Qt::LeftButton, {}, ValueCell(0));
  QMouseEvent away(QEvent::MouseMove, QPointF(inEditor + QPoint(4, 4)),
                   ed.mapToGlobal(QPointF(inEditor + QPoint(4, 4))), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&ed, &away);
  QTest::mouseClick(&ed, Qt::LeftButton, {}, inEditor);
  EXPECT_EQ(ed.text(), "No");

  // Rows without a list keep the line edit's own double-click.
  QTest::mouseClick(View(), Qt::LeftButton, {}, ValueCell(1));
  QTest::mouseDClick(&ed, Qt::LeftButton, {}, QPoint(2, ed.height() / 2));
  EXPECT_EQ(ed.text(), "value 1");
  EXPECT_EQ(ed.selectedText(), "value");
}

TEST_F(PropExplorerTest, divider_drag_keeps_five_pixels_from_the_edges) {
  Show();
  std::vector<TPEItem*> rows = Fill(2);
  Pe->Select(rows[0]);
  const int w = View()->width();
  QTest::mouseMove(View(), QPoint(101, 10));
  EXPECT_EQ(View()->cursor().shape(), Qt::SplitHCursor);
  QTest::mousePress(View(), Qt::LeftButton, {}, QPoint(101, 10));
  EXPECT_EQ(Pe->Current(), nullptr);
  EXPECT_EQ(Pe->EditItem(), nullptr);
  EXPECT_FALSE(Pe->Editor().isVisible());
  struct TStep {
    int X;
    int Expected;
  };
  const TStep steps[] = {{50, 50}, {5, 50}, {6, 6}, {w - 5, 6}, {w - 6, w - 6}, {-40, w - 6}, {80, 80}};
  for (const TStep& s : steps) {
    QTest::mouseMove(View(), QPoint(s.X, 10));
    EXPECT_EQ(Pe->NameColWidth(), s.Expected) << s.X;
  }
  QTest::mouseRelease(View(), Qt::LeftButton, {}, QPoint(80, 10));
  QTest::mouseMove(View(), QPoint(30, 10));
  EXPECT_EQ(Pe->NameColWidth(), 80);
  EXPECT_EQ(View()->cursor().shape(), Qt::ArrowCursor);
  QImage img = Grab();
  EXPECT_EQ(img.pixel(79, 50), Role(QPalette::Dark));
  EXPECT_EQ(img.pixel(80, 50), Role(QPalette::Light));
}

TEST_F(PropExplorerTest, unchanged_values_survive_an_edit_cycle_byte_for_byte) {
  Show();
  std::string longValue;
  while (longValue.size() < 100000) longValue += "<part" + std::to_string(longValue.size()) + "@example.org> ";
  const std::string notUtf8 = "caf\xE9 \xFF\xFE end";
  struct TCase {
    std::string Value;
    bool ReadOnly;
  };
  const TCase cases[] = {{longValue, false}, {longValue, true}, {notUtf8, false}, {notUtf8, true}};
  int edited = 0;
  Pe->OnEdited = [&edited](TPropExplorer&, TPEItem&) { ++edited; };
  for (const TCase& tc : cases) {
    Pe->Clear();
    Pe->SetReadOnly(tc.ReadOnly);
    TPEItem* item = Pe->Root().AddItem("References", tc.Value);
    edited = 0;
    Pe->Select(item);
    Pe->EndEdit();
    EXPECT_EQ(item->Value(), tc.Value);
    EXPECT_EQ(edited, 1);
  }
  // A long value the user does change comes back whole.
  Pe->SetReadOnly(false);
  TPEItem* item = Pe->Root().AddItem("Long", longValue);
  Pe->Select(item);
  Pe->Editor().end(false);
  QTest::keyClicks(&Pe->Editor(), "!");
  Pe->EndEdit();
  EXPECT_EQ(item->Value(), longValue + "!");
}

TEST_F(PropExplorerTest, losing_the_focus_commits_and_keeps_editing) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* pe = new TPropExplorer;
  auto* other = new QLineEdit;
  layout->addWidget(pe);
  layout->addWidget(other);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  TPEItem* item = pe->Root().AddItem("Subject", "old");
  std::vector<std::string> edited;
  pe->OnEdited = [&edited](TPropExplorer&, TPEItem& i) { edited.push_back(i.Value()); };
  pe->Select(item);
  ASSERT_TRUE(pe->Editor().hasFocus());
  pe->Editor().selectAll();
  QTest::keyClicks(&pe->Editor(), "new");
  other->setFocus();
  EXPECT_EQ(item->Value(), "new");
  EXPECT_EQ(edited, std::vector<std::string>{"new"});
  EXPECT_EQ(pe->EditItem(), item);
  EXPECT_TRUE(pe->Editor().isVisible());
  // A change by the program shows in the editor.
  item->SetValue("program");
  EXPECT_EQ(pe->Editor().text(), "program");
}

TEST_F(PropExplorerTest, keys_move_the_selection) {
  Show();
  std::vector<TPEItem*> rows = Fill(12);
  std::vector<TPEItem*> kids = Fill(2, rows[1]);
  const int fit = FullRows(Pe->Metrics());
  struct TStep {
    int Key;
    TPEItem* Expected;
  };
  // Keys to the control itself.
  const TStep steps[] = {
      {Qt::Key_Down, rows[0]},
      {Qt::Key_Down, rows[1]},
      {Qt::Key_Right, rows[1]},  // expands
      {Qt::Key_Right, kids[0]},
      {Qt::Key_Down, kids[1]},
      {Qt::Key_Left, rows[1]},
      {Qt::Key_Left, rows[1]},  // collapses
      {Qt::Key_Down, rows[2]},
      {Qt::Key_Up, rows[1]},
      {Qt::Key_End, rows[11]},
      {Qt::Key_Down, rows[11]},
      {Qt::Key_PageUp, rows[static_cast<size_t>(11 - fit)]},
      {Qt::Key_Home, rows[0]},
      {Qt::Key_Up, rows[0]},
      {Qt::Key_PageDown, rows[static_cast<size_t>(fit)]},
  };
  for (const TStep& s : steps) {
    QTest::keyClick(Pe.get(), static_cast<Qt::Key>(s.Key));
    EXPECT_EQ(Pe->Current(), s.Expected) << s.Key << " " << (Pe->Current() ? Pe->Current()->Name : "none");
  }
  EXPECT_FALSE(rows[1]->Expanded());
  // Up and Down in the editor; nothing past either end.
  Pe->Select(rows[0]);
  QTest::keyClick(&Pe->Editor(), Qt::Key_Up);
  EXPECT_EQ(Pe->Current(), rows[0]);
  QTest::keyClick(&Pe->Editor(), Qt::Key_Down);
  EXPECT_EQ(Pe->Current(), rows[1]);
  Pe->Select(rows[11]);
  QTest::keyClick(&Pe->Editor(), Qt::Key_Down);
  EXPECT_EQ(Pe->Current(), rows[11]);
}

TEST_F(PropExplorerTest, wheel_scrolls_three_rows_a_notch) {
  Show();
  Fill(40);
  auto wheel = [this](int delta) {
    QPointF at(50, 50);
    QWheelEvent ev(at, View()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(View(), &ev);
  };
  // Part notches add up: 40 + 20 + 20 is the next row.
  for (auto [delta, pos] : {std::pair{-120, 3}, {-40, 4}, {-20, 4}, {-20, 5}, {1200, 0}}) {
    wheel(delta);
    EXPECT_EQ(Pe->ScrollPos(), pos) << delta;
  }
}

// ---------------------------------------------------------------------------
// Pixels

bool IsNavy(QColor c) { return c.blue() > 100 && c.red() < 70 && c.green() < 70; }

TEST_F(PropExplorerTest, paints_glyphs_frames_divider_and_navy_values) {
  Show();
  Pe->resize(300, 200);
  std::vector<TPEItem*> rows = Fill(4);
  TPEItem* kid = rows[0]->AddItem("Inner", "MMMM");
  rows[1]->AddChild("Hidden");
  rows[0]->SetExpanded(true);
  rows[2]->SetValue("MMMMMMMM");
  Pe->Select(rows[3]);  // row 4 on screen
  QApplication::processEvents();
  QImage img = Grab();
  const int ih = Pe->ItemHeight();
  const QColor black(0, 0, 0), white(255, 255, 255), grey(128, 128, 128);

  // Row 0 expanded: minus glyph at (5, y + 2); row 2 (rows[1]) collapsed: plus.
  auto glyphAt = [&](int row, int gx, int gy) { return img.pixelColor(5 + gx, RowTop(row) + 2 + gy).rgb(); };
  EXPECT_EQ(glyphAt(0, 0, 0), grey.rgb());  // frame corner
  EXPECT_EQ(glyphAt(0, 8, 8), grey.rgb());
  for (int gx = 2; gx <= 6; ++gx) EXPECT_EQ(glyphAt(0, gx, 4), black.rgb()) << gx;
  EXPECT_EQ(glyphAt(0, 7, 4), white.rgb());
  EXPECT_EQ(glyphAt(0, 4, 2), white.rgb());  // no vertical bar on a minus
  for (int gy = 2; gy <= 6; ++gy) EXPECT_EQ(glyphAt(2, 4, gy), black.rgb()) << gy;
  // The child row sits one level in and has no glyph.
  EXPECT_EQ(kid->X, 14);
  EXPECT_EQ(img.pixel(14 + 4, RowTop(1) + 6), Back());

  // Dotted grey line under rows other than Current; sunken frame around it.
  const int bottom0 = RowTop(0) + ih - 1;
  EXPECT_EQ(img.pixel(40, bottom0), grey.rgb());
  EXPECT_EQ(img.pixel(41, bottom0), Back());
  EXPECT_EQ(img.pixel(42, bottom0), grey.rgb());
  const int top4 = RowTop(4);
  EXPECT_EQ(img.pixel(40, top4), Role(QPalette::Dark));
  EXPECT_EQ(img.pixel(0, top4 + 5), Role(QPalette::Dark));
  EXPECT_EQ(img.pixel(40, top4 + ih - 1), Role(QPalette::Light));
  EXPECT_EQ(img.pixel(41, top4 + ih - 1), Role(QPalette::Light));
  EXPECT_EQ(img.pixel(View()->width() - 1, top4 + 5), Role(QPalette::Light));

  // Divider: shadow then highlight, from y 1 to the bottom less one.
  for (int y : {1, 100, View()->height() - 2}) {
    EXPECT_EQ(img.pixel(99, y), Role(QPalette::Dark)) << y;
    EXPECT_EQ(img.pixel(100, y), Role(QPalette::Light)) << y;
  }

  // Values in navy, clipped to their cell; names in the text colour.
  auto navyIn = [&](QRect r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += IsNavy(img.pixelColor(x, y));
    return n;
  };
  EXPECT_GT(navyIn(QRect(102, RowTop(3), 80, ih)), 10);
  EXPECT_EQ(navyIn(QRect(0, RowTop(3), 100, ih)), 0);
  // A value as wide as the cell stops 2 pixels short of the right edge.
  rows[2]->SetValue(std::string(200, 'M'));
  QApplication::processEvents();
  img = Grab();
  EXPECT_GT(navyIn(QRect(View()->width() - 30, RowTop(3), 27, ih)), 0);
  EXPECT_EQ(navyIn(QRect(View()->width() - 2, RowTop(3), 2, ih)), 0);
}

TEST_F(PropExplorerTest, glyphs_and_lines_stay_sharp_at_twice_the_pixel_density) {
  Show();
  std::vector<TPEItem*> rows = Fill(2);
  rows[0]->AddChild("child");
  const QSize size = View()->size();
  QImage img(size * 2, QImage::Format_ARGB32);
  img.setDevicePixelRatio(2);
  img.fill(Qt::red);
  View()->render(&img);
  const QColor black(0, 0, 0), white(255, 255, 255), grey(128, 128, 128);
  const int lineY = 2 * (RowTop(0) + 2 + 4);
  // The plus glyph's horizontal bar covers whole device pixels, two rows
  // deep, with nothing blended at its ends.
  for (int dy : {0, 1}) {
    for (int x = 2 * (5 + 2); x < 2 * (5 + 7); ++x) EXPECT_EQ(img.pixel(x, lineY + dy), black.rgb()) << x << " " << dy;
    EXPECT_EQ(img.pixel(2 * (5 + 2) - 1, lineY + dy), white.rgb());
    EXPECT_EQ(img.pixel(2 * (5 + 7), lineY + dy), white.rgb());
  }
  EXPECT_EQ(img.pixel(2 * 5, lineY), grey.rgb());  // the frame, two device pixels wide
  EXPECT_EQ(img.pixel(2 * 5 + 1, lineY), grey.rgb());
  EXPECT_EQ(img.pixel(2 * 5 + 2, lineY), white.rgb());
  // Divider columns two device pixels wide each.
  for (int x : {198, 199}) EXPECT_EQ(img.pixel(x, 100), Role(QPalette::Dark)) << x;
  for (int x : {200, 201}) EXPECT_EQ(img.pixel(x, 100), Role(QPalette::Light)) << x;
  EXPECT_EQ(img.pixel(197, 100), Back());
}

}  // namespace
}  // namespace tessel
