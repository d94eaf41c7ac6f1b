// How the document window presents one body part: the tree image, the node
// caption, the summary-box text of the panel view, whether a node waits for
// expansion. Plain functions without
// widgets, so every rule is tested without a screen; the window only places
// what they return.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

class TBodyPart;

// The thirteen structure images, by index into the window's image list.
enum TPartImage : int {
  piPlain = 0,
  piEnveloped = 1,
  piSigned = 2,
  piAttachment = 3,
  piText = 4,
  piMultipart = 5,
  piSignature = 6,
  piSignedAttachment = 7,
  piMultipartSigned = 8,
  piEnvelopedAttachment = 9,
  piRelated = 10,
  piMixed = 11,
  piMessage = 12,
};
constexpr int kPartImageCount = 13;

// The image of part's node (first rule that applies, S/MIME classes
// included).
int PartImageIndex(const TBodyPart& part);

// "Content-Type" main value, with the file name of an attachment; locked
// adds " (LOCKED) ". Text from the message is made one line.
std::u16string NodeCaption(const TBodyPart& part, bool locked);

// The lines of the part's summary box joined by CR LF: the content type
// (with "   ( LOCKED )" when locked), the disposition when there is one,
// and "Not decoded" for an S/MIME part whose last decoding gave nothing.
std::u16string SummaryText(const TBodyPart& part, bool locked);

// Whether part's node gets one empty placeholder child instead of its
// children: an embedded message, or an S/MIME part not yet decoded (or
// whose last decoding gave nothing).
bool HasPlaceholder(const TBodyPart& part);

}  // namespace tessel
