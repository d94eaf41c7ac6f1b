// The security banner above a document window's views: one line built by
// BannerRules.h from the message's S/MIME layers, coloured by its class;
// the signer's name is a link that shows the signer's certificate (through
// the certificate display hook, so a test can answer it). Hidden for a
// message without S/MIME layers.
#pragma once

#include <QLabel>

#include "ui/BannerRules.h"
#include "mime/Message.h"

namespace tessel {

class TSecurityBannerView : public QLabel {
public:
  explicit TSecurityBannerView(QWidget* parent = nullptr);

  // Judges message (nullptr: none) and shows its banner. The view refers
  // into the message until the next call.
  void SetMessage(const TMessage* message);
  const TBanner& Banner() const { return Banner_; }
  const TSecurityVerdict& Verdict() const { return Verdict_; }
  // The colour class shown ("good", "warning", "bad", "none").
  QString ColourClass() const;
  // What a click on the signer of layer does (also the link's action).
  void ShowSigner(int32_t layer);

private:
  TSecurityVerdict Verdict_;
  TBanner Banner_;
};

}  // namespace tessel
