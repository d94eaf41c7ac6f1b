// The read-only name/value panes of the document window (the header
// summary and the S/MIME information).
#pragma once

#include <QWidget>

namespace tessel {

QWidget* CreatePropertyPane(QWidget* parent);

}  // namespace tessel
