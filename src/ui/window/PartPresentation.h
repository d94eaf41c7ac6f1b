// How the document window presents one body part: the tree image, the node
// caption, the summary-box text of the panel view, whether a node waits for
// expansion, and which content pages the part gets. Plain functions without
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

// A part whose bytes from HeaderStart to BodyEnd number this many or more
// is not put into the content pages until the user asks: loading a
// multi-megabyte attachment into a text box on every pointer move would
// stall the window.
constexpr int64_t kContentSizeLimit = 100000;
// What the content pages show instead of such a part.
extern const char16_t* const kSizeLimitText;

struct TContentPages {
  bool OverSizeLimit = false;  // shown only on request
  bool Decoded = false;        // the "Transport-Decoded" page, before the text scan
  bool SmimeInfo = false;      // the part is a PKCS #7 object
};
TContentPages ContentPagesFor(const TBodyPart& part);

// Whether decoded bytes may go into the "Transport-Decoded" page: no byte
// 0 to 8, 11, 12 or 14 to 31 (TAB, LF, CR and everything from 32 up is
// text).
bool IsDisplayableText(std::string_view bytes);

}  // namespace tessel
