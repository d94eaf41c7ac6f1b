// The row tree without a window: notifications, freeing, value lists, the
// shown-row order and the layout arithmetic.
#include "controls/PEItem.h"
#include "controls/PELayout.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessel {
namespace {

// A root that records what reaches it, as "kind:name" lines.
struct TRecordedTree {
  std::unique_ptr<TPEItem> Root = std::make_unique<TPEItem>();
  std::vector<std::string> Log;

  TRecordedTree() {
    Root->SetExpanded(true);
    Root->OnStructureChanged = [this](TPEItem& item) { Log.push_back("structure:" + item.Name); };
    Root->OnValueChanged = [this](TPEItem& item) { Log.push_back("value:" + item.Name); };
    Root->OnRemoving = [this](TPEItem& item) { Log.push_back("removing:" + item.Name); };
  }
};

// Names of the shown rows in display order, walked forwards.
std::string ShownNames(TPEItem& root) {
  std::string out;
  for (TPEItem* row = root.NextShown(); row; row = row->NextShown()) out += (out.empty() ? "" : " ") + row->Name;
  return out;
}

// a (b (c d) e) f, with a and b expanded.
struct TSampleTree : TRecordedTree {
  TPEItem *A, *B, *C, *D, *E, *F;
  TSampleTree() {
    A = Root->AddChild("a");
    B = A->AddChild("b");
    C = B->AddChild("c");
    D = B->AddChild("d");
    E = A->AddChild("e");
    F = Root->AddChild("f");
    A->SetExpanded(true);
    B->SetExpanded(true);
    Log.clear();
  }
};

TEST(PEItem, children_know_level_index_and_parent) {
  TSampleTree t;
  EXPECT_EQ(t.Root->Level(), 0);
  EXPECT_EQ(t.C->Level(), 3);
  EXPECT_EQ(t.D->Index(), 1);
  EXPECT_EQ(t.A->Count(), 2);
  EXPECT_EQ(t.B->Child(1), t.D);
  EXPECT_EQ(t.B->Child(2), nullptr);
  EXPECT_EQ(t.B->Child(-1), nullptr);
  EXPECT_EQ(&t.C->Root(), t.Root.get());
  EXPECT_TRUE(t.A->Contains(t.D));
  EXPECT_FALSE(t.B->Contains(t.E));
}

TEST(PEItem, notifications_reach_the_root_unless_an_item_on_the_way_is_updating) {
  struct TCase {
    const char* Updating;  // name of the item with Updating set, "" for none
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {"", {"onchange:c", "structure:c", "onchange:c", "value:c"}},
      {"c", {"onchange:c", "value:c"}},                               // the changed item itself
      {"a", {"onchange:c", "value:c"}},                               // an ancestor
      {"e", {"onchange:c", "structure:c", "onchange:c", "value:c"}},  // not on the way
  };
  for (const TCase& tc : cases) {
    SCOPED_TRACE(tc.Updating);
    TSampleTree t;
    for (TPEItem* item : {t.A, t.B, t.C, t.D, t.E, t.F}) item->Updating = item->Name == tc.Updating;
    t.C->OnChange = [&t](TPEItem& item) { t.Log.push_back("onchange:" + item.Name); };
    t.C->SetExpanded(true);  // structure
    t.C->SetValue("v");      // value, never stopped
    EXPECT_EQ(t.Log, tc.Expected);
  }
  // Only a change of expansion is one.
  TSampleTree t;
  t.A->SetExpanded(true);
  EXPECT_TRUE(t.Log.empty());
  t.A->SetExpanded(false);
  EXPECT_EQ(t.Log, std::vector<std::string>{"structure:a"});
}

TEST(PEItem, free_tells_the_root_before_and_after_and_renumbers_siblings) {
  TSampleTree t;
  TPEItem* a = t.A;
  t.B->Free();
  EXPECT_EQ(t.Log, (std::vector<std::string>{"removing:b", "structure:a"}));
  EXPECT_EQ(a->Count(), 1);
  EXPECT_EQ(a->Child(0), t.E);
  EXPECT_EQ(t.E->Index(), 0);
  EXPECT_EQ(t.E->PrevShown(), a);
  EXPECT_EQ(ShownNames(*t.Root), "a e f");
}

TEST(PEItem, clear_frees_every_child_as_one_structure_change) {
  TSampleTree t;
  t.A->SetValue("x");
  t.Log.clear();
  t.A->Clear();
  EXPECT_EQ(t.Log, (std::vector<std::string>{"removing:e", "removing:b", "value:a", "structure:a"}));
  EXPECT_EQ(t.A->Count(), 0);
  EXPECT_EQ(t.A->Value(), "");
  EXPECT_FALSE(t.A->Updating);
  // A parentless item is cleared by Free: its owner still holds it.
  t.Root->Free();
  EXPECT_EQ(t.Root->Count(), 0);
  // A throwing handler passes through and leaves Updating as it was.
  TSampleTree u;
  u.Root->OnValueChanged = [](TPEItem&) { throw std::runtime_error("handler"); };
  EXPECT_THROW(u.A->Clear(), std::runtime_error);
  EXPECT_FALSE(u.A->Updating);
  EXPECT_EQ(u.A->Count(), 0);
}

TEST(PEItem, add_items_splits_each_line_at_its_first_equals_sign) {
  TRecordedTree t;
  TPEItem* issuer = t.Root->AddItems("IssuerName", {"OU=a", "OU=b", "CN=x=y", "plain", "=v"});
  std::string rows;  // name|value;...
  for (int i = 0; i < issuer->Count(); ++i) rows += issuer->Child(i)->Name + "|" + issuer->Child(i)->Value() + ";";
  EXPECT_EQ(rows, "OU|a;OU|b;CN|x=y;plain|;|v;");
}

TEST(PEItem, next_value_steps_through_the_list) {
  struct TCase {
    std::optional<std::vector<std::string>> Values;
    const char* Current;
    const char* Next;
  };
  const std::vector<std::string> yesNo{"Yes", "No"};
  const TCase cases[] = {
      {yesNo, "Yes", "No"},
      {yesNo, "No", "Yes"},     // wraps
      {yesNo, "nO", "Yes"},     // letter case ignored
      {yesNo, "Maybe", "Yes"},  // not listed: the first
      {yesNo, "", "Yes"},
      {std::vector<std::string>{"A", "a", "B"}, "a", "a"},  // the first equal entry counts
      {std::vector<std::string>{}, "Yes", "Yes"},
      {std::nullopt, "Yes", "Yes"},
  };
  for (const TCase& tc : cases) {
    TRecordedTree t;
    TPEItem* item = t.Root->AddChild("x");
    item->Values = tc.Values;
    EXPECT_EQ(item->NextValue(tc.Current), tc.Next) << tc.Current;
  }
}

TEST(PEItem, shown_rows_follow_expansion_in_both_directions) {
  TSampleTree t;
  struct TCase {
    bool AExpanded, BExpanded;
    const char* Shown;
  };
  const TCase cases[] = {
      {true, true, "a b c d e f"},
      {true, false, "a b e f"},
      {false, true, "a f"},
  };
  for (const TCase& tc : cases) {
    t.A->SetExpanded(tc.AExpanded);
    t.B->SetExpanded(tc.BExpanded);
    EXPECT_EQ(ShownNames(*t.Root), tc.Shown);
    // Backwards from the last row gives the same rows reversed.
    std::string back;
    for (TPEItem* row = t.Root->LastShown(); row && row != t.Root.get(); row = row->PrevShown())
      back = row->Name + (back.empty() ? "" : " ") + back;
    EXPECT_EQ(back, tc.Shown);
    int32_t rows = 0;
    for (TPEItem* row = t.Root->NextShown(); row; row = row->NextShown(), ++rows)
      EXPECT_EQ(ShownIndex(*row), rows) << row->Name;
    EXPECT_EQ(CountShownRows(*t.Root), rows);
  }
  // Hidden rows and the root have no index.
  EXPECT_FALSE(t.C->IsShown());
  EXPECT_EQ(ShownIndex(*t.C), -1);
  EXPECT_EQ(ShownIndex(*t.Root), -1);
  t.Root->SetExpanded(false);
  EXPECT_EQ(CountShownRows(*t.Root), 0);
}

TEST(PELayout, hit_test_finds_divider_cells_and_expand_box) {
  TSampleTree t;
  TPEMetrics m;
  m.FontHeight = 13;
  m.ItemHeight = 17;
  m.NameColWidth = 100;
  m.ClientWidth = 200;
  m.ClientHeight = 100;
  // Rows from the top: a (y 3), b (20), c (37), d (54), e (71), f (88).
  struct TCase {
    int X, Y;
    TPEHitKind Kind;
    const char* Row;
  };
  const TCase cases[] = {
      {98, 50, TPEHitKind::Divider, ""},    {102, 2, TPEHitKind::Divider, ""},
      {97, 50, TPEHitKind::NameCell, "c"},  {103, 50, TPEHitKind::ValueCell, "c"},
      {50, 2, TPEHitKind::Nothing, ""},     {5, 3, TPEHitKind::ExpandBox, "a"},
      {14, 19, TPEHitKind::ExpandBox, "a"}, {15, 19, TPEHitKind::NameCell, "a"},
      {4, 20, TPEHitKind::NameCell, "b"},   {14, 20, TPEHitKind::ExpandBox, "b"},
      {23, 37, TPEHitKind::ExpandBox, "c"}, {150, 99, TPEHitKind::ValueCell, "f"},
      {150, 100, TPEHitKind::Nothing, ""},
  };
  for (const TCase& tc : cases) {
    TPEHit hit = HitTest(m, t.A, tc.X, tc.Y);
    EXPECT_EQ(hit.Kind, tc.Kind) << tc.X << "," << tc.Y;
    EXPECT_EQ(hit.Item ? hit.Item->Name : "", tc.Row) << tc.X << "," << tc.Y;
  }
  // Fewer rows than the height holds: nothing below the last.
  EXPECT_EQ(HitTest(m, t.F, 150, 30).Kind, TPEHitKind::Nothing);
  EXPECT_EQ(HitTest(m, nullptr, 150, 10).Kind, TPEHitKind::Nothing);
}

TEST(PELayout, rows_that_fit_and_scroll_range) {
  struct TCase {
    int Height, Rows, FullRows, MaxScroll;
  };
  // ItemHeight 17, font 13, margin 3: row k fits while 3 + 17k + 15 < H - 3.
  const TCase cases[] = {
      {100, 30, 5, 25},  // rows at 3..71 fit, 88 does not (88 + 15 >= 97)
      {108, 30, 6, 24},  // 88 + 15 < 105
      {107, 30, 6, 25},  // 88 + 15 < 104, though the range counts whole rows
      {106, 30, 5, 25},  // 88 + 15 == 103: not above
      {100, 5, 5, 0},   {20, 3, 0, 3}, {0, 3, 0, 3}, {100, 0, 5, 0},
  };
  for (const TCase& tc : cases) {
    TPEMetrics m;
    m.FontHeight = 13;
    m.ItemHeight = 17;
    m.ClientWidth = 200;
    m.ClientHeight = tc.Height;
    EXPECT_EQ(FullRows(m), tc.FullRows) << tc.Height;
    EXPECT_EQ(MaxScrollFor(m, tc.Rows), tc.MaxScroll) << tc.Height << " " << tc.Rows;
  }
}

TEST(PELayout, editor_and_button_rectangles) {
  TPEMetrics m;
  m.ItemHeight = 17;
  m.NameColWidth = 120;
  m.ClientWidth = 300;
  EXPECT_EQ(EditorRect(m, 20), (TPERect{122, 21, 177, 15}));
  EXPECT_EQ(ButtonRect(m, 20), (TPERect{283, 20, 17, 17}));
}

}  // namespace
}  // namespace tessel
