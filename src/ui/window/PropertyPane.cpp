#include "ui/window/PropertyPane.h"

#include "controls/PropExplorer.h"

namespace tessel {

QWidget* CreatePropertyPane(QWidget* parent) {
  auto* pane = new TPropExplorer(parent);
  pane->SetReadOnly(true);
  pane->SetNameColWidth(120);
  return pane;
}

}  // namespace tessel
