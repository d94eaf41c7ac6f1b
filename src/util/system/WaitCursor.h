// Shows the busy cursor while a lengthy operation runs.
//
// The engine has no window system of its own: the windows install a hook
// pair (show, restore) at start-up. Without hooks, a TWaitCursor does nothing,
// which is what the headless commands and the tests want.
#pragma once

namespace tessel {

class TWaitCursor {
public:
  using THook = void (*)();
  static void SetHooks(THook show, THook restore);

  TWaitCursor();
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
  THook Restore_;
};

}  // namespace tessel
