#include "util/system/WaitCursor.h"

namespace tessel {

namespace {
TWaitCursor::THook ShowHook = nullptr;
TWaitCursor::THook RestoreHook = nullptr;
}  // namespace

void TWaitCursor::SetHooks(THook show, THook restore) {
  ShowHook = show;
  RestoreHook = restore;
}

// The restore hook is taken when the cursor is shown, so a hook change in
// between still restores what was shown.
TWaitCursor::TWaitCursor() : Restore_(ShowHook ? RestoreHook : nullptr) {
  if (ShowHook) ShowHook();
}

TWaitCursor::~TWaitCursor() {
  if (Restore_) Restore_();
}

}  // namespace tessel
