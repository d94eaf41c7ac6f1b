// Which of the formats offered by a drag-and-drop source the viewer takes.
//
// The first offered format that fits wins, in the source's order: a list of
// files ("text/uri-list"), or a message offered as data ("message/rfc822",
// or the format Windows mail clients name "Internet Message
// (rfc822/rfc1522)", bare or in Qt's wrapping of Windows formats).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessel {

enum class TDropKind { None, Files, Message };

struct TDropChoice {
  TDropKind Kind = TDropKind::None;
  std::string Format;  // the offered format to ask for
};

TDropKind DropKindOfFormat(std::string_view format);
TDropChoice ChooseDropFormat(const std::vector<std::string>& offered);

// The local file names of a "text/uri-list" payload, in order. Comment
// lines and URLs that do not name a local file are left out; "%XX" escapes
// are decoded, and a name that would hold a NUL byte is left out whole.
std::vector<std::string> LocalFilesOfUriList(std::string_view uriList);

// The caption of a window showing a dropped message: the decoded subject +
// " (Dropped file)", or "Dropped File" without a subject. Control characters
// of the subject show as blanks, so no subject can fake a second line.
std::string DroppedCaption(const std::string& subjectUtf8);

}  // namespace tessel
