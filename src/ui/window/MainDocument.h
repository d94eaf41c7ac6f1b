// The document window as the main window sees it: the factory the program
// gives TKelTesselMainWindow.
#pragma once

#include "ui/MainWindow.h"

namespace tessel {

enum TSignerMemory : bool { kKeepStoresAsTheyAre = false, kRememberSigners = true };

// Makes a document window (inside parent) together with the object that
// answers for it; both are freed with the window. With kRememberSigners
// every message loaded adds its verified signers' certificates to
// "AddressBook" (the viewer's way; tests keep the stores as they are).
TDocumentFactory DocWindowFactory(TSignerMemory signers = kKeepStoresAsTheyAre);

}  // namespace tessel
