// The frame of a viewer started on files: one page per document window,
// with the view switch and the body-part commands in its menu bar. It is
// the smallest host a document window needs; the commands it shows are the
// document windows' own actions.
#pragma once

#include <QMainWindow>

#include "ui/window/DocWindowHost.h"

class QActionGroup;
class QMenu;
class QTabWidget;

namespace tessel {

class TViewerWindow : public QMainWindow, public TDocWindowHost {
public:
  TViewerWindow();
  ~TViewerWindow() override;

  // A new document window on fileName (shown as its own page).
  TDocWindow* OpenFile(const QString& fileName);
  TDocWindow* ActiveDocument() const;
  void SetViewMode(bool panels);
  bool PanelsMode() const { return Panels_; }

  void UpdateBodyPartMenu(TDocWindow* doc) override;
  void DocumentClosed(TDocWindow* doc) override;

private:
  void CloseDocument(int index);

  QTabWidget* Pages_;
  QMenu* BodyPartMenu_;
  QAction* GoStructure_;
  QAction* ViewTree_;
  QAction* ViewPanels_;
  bool Panels_ = false;
};

}  // namespace tessel
