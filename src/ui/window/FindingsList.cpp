#include "ui/window/FindingsList.h"

#include <QHeaderView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/window/ErrorNet.h"
#include "util/text/LineEscape.h"

namespace tessel {

QString FindingsCaption(size_t count) { return QStringLiteral("Findings (%1)").arg(count); }

TFindingsList::TFindingsList(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  Toggle_ = new QToolButton(this);
  Toggle_->setCheckable(true);
  Toggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  Toggle_->setArrowType(Qt::RightArrow);
  Toggle_->setAutoRaise(true);
  Toggle_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  Toggle_->setToolTip(QStringLiteral("What reading the message had to repair or guess"));
  layout->addWidget(Toggle_);
  List_ = new QTreeWidget(this);
  List_->setColumnCount(3);
  List_->setHeaderLabels({QStringLiteral("Part"), QStringLiteral("Offset"), QStringLiteral("Finding")});
  List_->setRootIsDecorated(false);
  List_->setUniformRowHeights(true);
  List_->setSelectionMode(QAbstractItemView::SingleSelection);
  List_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List_->header()->setStretchLastSection(true);
  layout->addWidget(List_, 1);
  List_->hide();
  connect(Toggle_, &QToolButton::toggled, this, [this](bool open) { SetOpen(open); });
  connect(List_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (!item || !OnSelect) return;
    int row = List_->indexOfTopLevelItem(item);
    if (row < 0 || static_cast<size_t>(row) >= Findings_.size()) return;
    TBodyPart* part = Findings_[static_cast<size_t>(row)].Part;
    Guarded([&] { OnSelect(part); });
  });
  hide();
}

void TFindingsList::SetOpen(bool open) {
  if (Toggle_->isChecked() != open) Toggle_->setChecked(open);
  Toggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
  List_->setVisible(open);
}

void TFindingsList::SetFindings(std::vector<TMessageFinding> findings) {
  List_->clear();
  Findings_ = std::move(findings);
  for (const TMessageFinding& f : Findings_) {
    auto* item = new QTreeWidgetItem(List_);
    item->setText(0, QString::fromStdString(EscapeLine(f.Path)));
    item->setText(1, QString::number(f.Offset));
    item->setText(2, QString::fromStdString(EscapeLine(f.Text)));
    item->setToolTip(2, item->text(2));
  }
  List_->resizeColumnToContents(0);
  List_->resizeColumnToContents(1);
  Toggle_->setText(FindingsCaption(Findings_.size()));
  setVisible(!Findings_.empty());
}

}  // namespace tessel

#include "smime/parts/SecurityFindings.h"
#include "smime/parts/SmimeBodyPart.h"

namespace tessel {

namespace {

void WalkForFindings(TFindingCollector& collector, TBodyPart& part, const std::string& path) {
  TBodyPart* inner = nullptr;
  std::string error;
  if (auto* smime = dynamic_cast<TSmimeBodyPart*>(&part)) {
    inner = smime->Decoded ? smime->CurrentDecodedPart() : nullptr;
  } else {
    try {
      inner = part.InnerRoot();
    } catch (const std::exception& e) {
      error = e.what();
    }
  }
  collector.Visit(path, part, !inner && part.ChildCount() == 0, inner);
  if (!error.empty()) collector.Failed(path, error);
  if (inner) {
    WalkForFindings(collector, *inner, path + ".1");
    return;
  }
  for (int32_t i = 0; i < part.ChildCount(); ++i)
    WalkForFindings(collector, *part.Children(i), path + "." + std::to_string(i + 1));
}

}  // namespace

std::vector<TMessageFinding> DocumentFindings(TMessage& message) {
  TFindingCollector collector(message, true, SecurityFindingHook(message));
  for (int32_t i = 0; i < message.RootCount(); ++i)
    WalkForFindings(collector, *message.Roots(i), std::to_string(i + 1));
  return collector.Result();
}

}  // namespace tessel
