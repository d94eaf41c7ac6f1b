// The mailboxes of an address field (From, Sender, To, ...): display names,
// quoted strings, comments, groups and angle brackets read by their rules,
// so that only the address of each mailbox counts as an address, never
// text that looks like one inside a display name, a quoted string or a
// comment.
//
// The field is read as it stands in the message, before encoded words are
// decoded: an encoded word may only stand in a display name, and decoding
// first would turn "=?utf-8?q?=3Cx=40y=3E?=" into a bracketed address. A
// mailbox that does not follow the rules (two bracketed addresses, words
// before "@" without dots between them, a missing domain) is left out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessel {

struct TMailbox {
  // The local part with quoted strings unquoted ("a b"@x gives a b), and the
  // domain as written.
  std::string LocalPart;
  std::string Domain;

  // LocalPart "@" Domain.
  std::string Address() const { return LocalPart + "@" + Domain; }
};

// Every mailbox of the field value in order, those of groups included.
std::vector<TMailbox> ParseMailboxes(std::string_view field);

// The value of the last header line named name (any case) in a header
// block as it stands (lines end in CR, CR LF or LF; folded lines are
// joined); "" when there is none.
std::string RawHeaderField(std::string_view headerBlock, std::string_view name);

}  // namespace tessel
