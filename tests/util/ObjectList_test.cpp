#include "util/ObjectList.h"

#include <gtest/gtest.h>

using namespace tessel;

namespace {

// An object that leaves its list when freed, like a body part leaving its
// parent's children.
struct TSelfRemoving {
  TSelfRemoving(TObjectList<TSelfRemoving>* list, int* frees) : List(list), Frees(frees) {}
  ~TSelfRemoving() {
    ++*Frees;
    if (List) List->Extract(this);
  }
  TObjectList<TSelfRemoving>* List;
  int* Frees;
};

}  // namespace

TEST(ObjectList, non_owning_list_leaves_objects_alive) {
  int frees = 0;
  TSelfRemoving a(nullptr, &frees), b(nullptr, &frees);
  {
    TObjectList<TSelfRemoving> list(false);
    list.Add(&a);
    list.Add(&b);
  }
  EXPECT_EQ(frees, 0);
}

TEST(ObjectList, owning_list_frees_each_object_once_even_when_it_removes_itself) {
  int frees = 0;
  {
    TObjectList<TSelfRemoving> list(true);
    for (int i = 0; i < 5; ++i) list.Add(new TSelfRemoving(&list, &frees));
  }
  EXPECT_EQ(frees, 5);
}

TEST(ObjectList, clear_hands_objects_over_when_not_owning) {
  int frees = 0;
  TObjectList<TSelfRemoving> list(true);
  auto* p = new TSelfRemoving(nullptr, &frees);
  list.Add(p);
  list.OwnsObjects = false;
  list.Clear(false);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(frees, 0);
  delete p;
  EXPECT_EQ(frees, 1);
}

TEST(ObjectList, remove_frees_only_when_owning) {
  int frees = 0;
  TObjectList<TSelfRemoving> list(true);
  auto* p = list.Add(std::make_unique<TSelfRemoving>(nullptr, &frees));
  EXPECT_EQ(list.IndexOf(p), 0);
  list.Remove(p);
  EXPECT_EQ(frees, 1);
  EXPECT_EQ(list.Count(), 0);
}
