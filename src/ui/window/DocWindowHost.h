// What a document window tells the window that holds it (the main window,
// or the small host of a viewer started without one).
#pragma once

namespace tessel {

class TDocWindow;

class TDocWindowHost {
public:
  virtual ~TDocWindowHost() = default;
  // doc shows a part and is active (or restored): bind the body-part
  // commands to it; nullptr when it was hidden or minimised.
  virtual void UpdateBodyPartMenu(TDocWindow* doc) = 0;
  // doc is closing; it is freed afterwards.
  virtual void DocumentClosed(TDocWindow* doc) = 0;
};

}  // namespace tessel
