#include "ui/window/SecurityBannerView.h"

#include "ui/window/ErrorNet.h"
#include "util/text/LineEscape.h"

namespace tessel {

namespace {

// Background and text of the whole line, and the text of a mark, per
// colour class.
struct TLook {
  const char* Back;
  const char* Text;
  const char* Mark;
};

TLook LookOf(TBannerColour colour) {
  switch (colour) {
    case TBannerColour::Good: return {"#d4edda", "#155724", "#1e7b34"};
    case TBannerColour::Warning: return {"#fff3cd", "#5c3c00", "#8a5a00"};
    case TBannerColour::Bad: return {"#f8d7da", "#721c24", "#b21f2d"};
    case TBannerColour::Neutral: break;
  }
  return {"#e9ecef", "#383d41", "#383d41"};
}

const QString kSignerLink = QStringLiteral("signer:");

}  // namespace

TSecurityBannerView::TSecurityBannerView(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::RichText);
  setWordWrap(false);
  setContentsMargins(6, 3, 6, 3);
  setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(this, &QLabel::linkActivated, this, [this](const QString& link) {
    if (link.startsWith(kSignerLink)) ShowSigner(link.mid(kSignerLink.size()).toInt());
  });
  hide();
}

void TSecurityBannerView::SetMessage(const TMessage* message) {
  Verdict_ = message ? JudgeMessage(*message) : TSecurityVerdict();
  Banner_ = BuildBanner(Verdict_);
  if (!Banner_.Shown) {
    clear();
    setToolTip(QString());
    hide();
    return;
  }
  TLook look = LookOf(Banner_.Colour);
  QString html;
  for (const TBannerSegment& segment : Banner_.Segments) {
    // Names and statuses come from the message: escaped for one line, then
    // for rich text.
    QString text = QString::fromStdString(EscapeLine(segment.Text)).toHtmlEscaped();
    if (segment.Signer) {
      html += QStringLiteral("<a href=\"%1%2\" style=\"color:%3; font-weight:bold\">%4</a>")
                  .arg(kSignerLink)
                  .arg(segment.Layer)
                  .arg(QString::fromLatin1(LookOf(segment.Colour).Mark), text);
    } else if (segment.Colour != TBannerColour::Neutral) {
      html += QStringLiteral("<span style=\"color:%1\">%2</span>")
                  .arg(QString::fromLatin1(LookOf(segment.Colour).Mark), text);
    } else {
      html += text;
    }
  }
  setText(html);
  setToolTip(QString::fromStdString(EscapeLine(VerdictLine(Verdict_))));
  setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; }")
                    .arg(QString::fromLatin1(look.Back), QString::fromLatin1(look.Text)));
  show();
}

QString TSecurityBannerView::ColourClass() const { return QString::fromLatin1(ColourClassName(Banner_.Colour)); }

void TSecurityBannerView::ShowSigner(int32_t layer) {
  if (layer < 0 || static_cast<size_t>(layer) >= Verdict_.Layers.size()) return;
  const TSmimeInfo* info = Verdict_.Layers[static_cast<size_t>(layer)].Info;
  if (!info) return;
  Guarded([&] { info->SignerCertificate.Show(); });
}

}  // namespace tessel
