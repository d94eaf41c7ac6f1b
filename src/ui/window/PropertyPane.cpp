#include "PropertyPane.h"

namespace tessel {

// Until the property explorer control joins the build, a pane is an empty
// read-only area of the same place and size.
QWidget* CreatePropertyPane(QWidget* parent) {
  auto* pane = new QWidget(parent);
  pane->setAutoFillBackground(true);
  pane->setBackgroundRole(QPalette::Base);
  return pane;
}

}  // namespace tessel
