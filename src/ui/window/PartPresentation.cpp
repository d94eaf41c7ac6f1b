#include "ui/window/PartPresentation.h"

#include <cctype>

#include "mime/bodypart.h"
#include "smime/parts/MultipartSigned.h"
#include "smime/parts/SmimeBodyPart.h"
#include "util/charsets/Charsets.h"
#include "util/text/LineEscape.h"

namespace tessel {

namespace {

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A value from a message on one line of a caption or summary box: the
// one escaping rule of our output, so a header cannot add a line.
std::u16string OneLine(const std::u16string& text) { return Utf8ToWide(EscapeLine(WideToUtf8(text))); }

bool IsSignaturePart(const TBodyPart& part) {
  auto* signedParent = dynamic_cast<const TMultipartSigned*>(part.Parent());
  return signedParent && signedParent->SignaturePart == &part;
}

}  // namespace

int PartImageIndex(const TBodyPart& part) {
  const std::string& type = part.ContentTypeKey();
  auto* smime = dynamic_cast<const TSmimeBodyPart*>(&part);
  if (smime && !part.IsAttachment) {
    if (smime->Kind == TSmimeBodyPart::skEnveloped) return piEnveloped;
    if (smime->Kind == TSmimeBodyPart::skSigned) return piSigned;
    return piPlain;
  }
  // An attachment inside a signed multipart is the signed content or the
  // signature itself, and is drawn by what it is.
  if (part.IsAttachment && !dynamic_cast<const TMultipartSigned*>(part.Parent())) {
    if (smime && smime->Kind == TSmimeBodyPart::skEnveloped) return piEnvelopedAttachment;
    if (smime && smime->Kind == TSmimeBodyPart::skSigned) return piSignedAttachment;
    return piAttachment;
  }
  if (type == "message/rfc822") return piMessage;
  if (dynamic_cast<const TMultipartSigned*>(&part)) return piMultipartSigned;
  if (part.IsMultipart) {
    if (type == "multipart/related") return piRelated;
    if (type == "multipart/mixed") return piMixed;
    return piMultipart;
  }
  if (StartsWith(type, "text/")) return piText;
  if (IsSignaturePart(part)) return piSignature;
  return piPlain;
}

std::u16string NodeCaption(const TBodyPart& part, bool locked) {
  std::u16string type = part.GetField("content-type");
  std::u16string caption = type.empty() ? u"( Content Type not specified )" : OneLine(type);
  if (part.IsAttachment && !dynamic_cast<const TSmimeBodyPart*>(&part) && !IsSignaturePart(part))
    caption += u" (\"" + OneLine(part.GetField("filename")) + u"\")";
  if (locked) caption += u" (LOCKED) ";
  return caption;
}

std::u16string SummaryText(const TBodyPart& part, bool locked) {
  std::u16string type = part.GetField("content-type");
  std::u16string text = u"Content-Type: " + (type.empty() ? std::u16string(u"( not specified )") : OneLine(type));
  if (locked) text += u"   ( LOCKED )";
  if (part.FieldValue("content-disposition"))
    text += u"\r\nContent-Disposition: " + OneLine(part.GetField("content-disposition"));
  auto* smime = dynamic_cast<const TSmimeBodyPart*>(&part);
  if (smime && !smime->DecodeOk) text += u"\r\nNot decoded";
  return text;
}

bool HasPlaceholder(const TBodyPart& part) {
  if (part.ContentTypeKey() == "message/rfc822") return true;
  // An S/MIME part whose decoding failed keeps a placeholder as well, so
  // that it can be tried again (after a key was imported, say).
  auto* smime = dynamic_cast<const TSmimeBodyPart*>(&part);
  return smime && (!smime->Decoded || !smime->DecodeOk);
}

}  // namespace tessel
