// The findings of a document window's message (smime/parts/SecurityFindings.h),
// as a collapsible list under the structure view: a strip that names how
// many there are and opens the list, one row per finding (part, offset,
// text). Hidden when the message has none. Selecting a row hands its part
// to OnSelect.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "mime/Findings.h"

class QToolButton;
class QTreeWidget;

namespace tessel {

class TFindingsList : public QWidget {
public:
  explicit TFindingsList(QWidget* parent = nullptr);

  // The rows refer to parts of the message the findings came from.
  void SetFindings(std::vector<TMessageFinding> findings);
  void Clear() { SetFindings({}); }
  const std::vector<TMessageFinding>& Findings() const { return Findings_; }

  QToolButton* Toggle() const { return Toggle_; }
  QTreeWidget* List() const { return List_; }
  void SetOpen(bool open);

  std::function<void(TBodyPart* part)> OnSelect;

private:
  std::vector<TMessageFinding> Findings_;
  QToolButton* Toggle_ = nullptr;
  QTreeWidget* List_ = nullptr;
};

// The strip's caption: "Findings (3)".
QString FindingsCaption(size_t count);

}  // namespace tessel

namespace tessel {

// The findings a document window shows: every part's, the bodies' and the
// S/MIME layers', as `--findings` lists them, except that an S/MIME part
// the window has not decoded yet is not decoded for them (decoding waits
// for the user to open the part).
std::vector<TMessageFinding> DocumentFindings(TMessage& message);

}  // namespace tessel
