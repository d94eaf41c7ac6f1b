// The document window as the main window sees it: the factory the program
// gives TKelTesselMainWindow.
#pragma once

#include "MainWindow.h"

namespace tessel {

// Makes a document window (inside parent) together with the object that
// answers for it; both are freed with the window.
TDocumentFactory DocWindowFactory();

}  // namespace tessel
