// The security banner of a document window as plain data: one line of
// segments (the layers of the message, outermost first, each with its
// marks), a colour class per segment and one for the whole line. The
// verdicts come from smime/parts/SecurityVerdict.h; this file only words them.
// A widget places the segments and colours them by class.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smime/parts/SecurityVerdict.h"

namespace tessel {

enum class TBannerColour { Neutral, Good, Warning, Bad };
// "none", "good", "warning", "bad" (the names the verdict uses).
const char* ColourClassName(TBannerColour colour);
TBannerColour ColourOf(TVerdict verdict);

struct TBannerSegment {
  std::string Text;
  TBannerColour Colour = TBannerColour::Neutral;
  // Index into the verdict's layers; -1 for separators.
  int32_t Layer = -1;
  // The segment names the signer: a click shows its certificate.
  bool Signer = false;
};

struct TBanner {
  // Only messages with S/MIME layers get a banner.
  bool Shown = false;
  TBannerColour Colour = TBannerColour::Neutral;
  std::vector<TBannerSegment> Segments;
  // The segments' texts one after the other.
  std::string Text() const;
};

TBanner BuildBanner(const TSecurityVerdict& verdict);

// "Alice Example <alice@example.com>", the address alone, the name alone,
// or "unknown signer".
std::string SignerCaption(const TSmimeInfo& info);
// A signing time as the attribute gives it (UTCTime "230415120000Z" or
// GeneralizedTime "20230415120000Z") as "2023-04-15 12:00:00 UTC"; other
// text as it stands.
std::string SigningTimeText(const std::string& value);

}  // namespace tessel
