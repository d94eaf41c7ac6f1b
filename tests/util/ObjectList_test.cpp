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

TEST(ObjectList, owning_list_frees_each_object_once_even_when_it_removes_itself) {
  int frees = 0;
  {
    TObjectList<TSelfRemoving> list(true);
    for (int i = 0; i < 5; ++i) list.Add(new TSelfRemoving(&list, &frees));
    auto* p = list.Add(std::make_unique<TSelfRemoving>(nullptr, &frees));
    EXPECT_EQ(list.IndexOf(p), 5);
    list.Remove(p);
    EXPECT_TRUE(frees == 1 && list.Count() == 5);
  }
  EXPECT_EQ(frees, 6);
}

TEST(ObjectList, non_owning_list_leaves_objects_alive) {
  int frees = 0;
  TSelfRemoving a(nullptr, &frees), b(nullptr, &frees);
  {
    TObjectList<TSelfRemoving> list(false);
    list.Add(&a);
    list.Add(&b);
  }
  TObjectList<TSelfRemoving> handedOver(true);
  handedOver.Add(&a);
  handedOver.OwnsObjects = false;
  handedOver.Clear(false);
  EXPECT_TRUE(handedOver.Count() == 0 && frees == 0);
}
