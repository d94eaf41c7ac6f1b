#include "ui/AboutWindow.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessel {

QString VersionLine() { return QStringLiteral("Version ") + QStringLiteral(TESSEL_VERSION); }

TAboutWindow::TAboutWindow(QWidget* parent, std::function<void(const QUrl&)> openLink) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  if (!openLink) openLink = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QStringLiteral("Tessel"), this);
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  name->setFont(big);
  layout->addWidget(name);
  auto* version = new QLabel(VersionLine(), this);
  version->setObjectName(QStringLiteral("version"));
  layout->addWidget(version);
  const std::pair<const char*, const char*> links[] = {{kHomePageUrl, "Home page"}, {kLicenceUrl, "Licence"}};
  for (const auto& [url, text] : links) {
    auto* link = new QLabel(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(QString::fromLatin1(url), QString::fromLatin1(text)), this);
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);
    connect(link, &QLabel::linkActivated, this, [openLink](const QString& target) { openLink(QUrl(target)); });
    layout->addWidget(link);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tessel
