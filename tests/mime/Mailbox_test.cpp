// Address fields read by their rules: which text is a mailbox's address.
#include <gtest/gtest.h>

#include "mime/Mailbox.h"

using namespace tessel;

namespace {

std::string Addresses(const std::string& field) {
  std::string list;
  for (const TMailbox& m : ParseMailboxes(field)) list += (list.empty() ? "" : " ") + m.Address();
  return list;
}

TEST(MailboxList, addresses_and_text_that_only_looks_like_one) {
  const std::pair<const char*, const char*> cases[] = {
      {"alice@example.com", "alice@example.com"},
      {"Alice <alice@example.com>", "alice@example.com"},
      {"  \"Alice, Signer\" <alice@example.com> ", "alice@example.com"},
      {"alice@example.com (Alice <x@evil.example>)", "alice@example.com"},
      {"a@b.example, \"C\" <c@d.example>,e@f.example", "a@b.example c@d.example e@f.example"},
      // In a display name, a quoted string, a comment or an encoded word
      // an address is only text.
      {"\"<alice@example.com>\" <mallory@evil.example>", "mallory@evil.example"},
      {"(<alice@example.com>) mallory@evil.example", "mallory@evil.example"},
      {"=?utf-8?q?=3Calice=40example.com=3E?= <mallory@evil.example>", "mallory@evil.example"},
      {"\"Alice\\\" <alice@example.com>\" <m@evil.example>", "m@evil.example"},
      {"(nested (comment <alice@example.com>)) m@evil.example", "m@evil.example"},
      // Two bracketed addresses in one mailbox: neither is taken.
      {"Alice <alice@example.com> <mallory@evil.example>", ""},
      {"Alice alice@example.com", ""},  // words before "@" without a dot
      {"alice@example.com@evil.example", ""},
      {"alice@", ""},
      {"<alice@example.com", ""},
      {"a..b@example.com", ""},
      {".a@example.com", ""},
      {"", ""},
      {"<>", ""},
      // Groups: their name is no address, their mailboxes are.
      {"Friends: alice@example.com, Bob <bob@example.com>;, carol@example.com",
       "alice@example.com bob@example.com carol@example.com"},
      {"Undisclosed recipients:;", ""},
      {"<alice@example.com>: mallory@evil.example", ""},  // not a group name
      // Quoted local parts, domain literals and an obsolete route.
      {"\"a b\"@example.com", "a b@example.com"},
      {"x@[192.0.2.1]", "x@[192.0.2.1]"},
      {"<@relay.example,@other.example:alice@example.com>", "alice@example.com"},
      // Unterminated pieces run to the end and take nothing with them.
      {"\"alice@example.com", ""},
      {"(alice@example.com", ""}};
  for (const auto& [field, expected] : cases) EXPECT_EQ(Addresses(field), expected) << field;
}

TEST(MailboxList, raw_field_is_the_last_line_unfolded) {
  const std::string header =
      "Subject: s\r\nFrom: first@example.com\r\nfrom : =?utf-8?q?A?=\r\n <second@example.com>\r\n"
      "X-From: no@example.com\r\n\r\nFrom: body@example.com\r\n";
  EXPECT_EQ(RawHeaderField(header, "From"), " =?utf-8?q?A?= <second@example.com>");
  EXPECT_EQ(RawHeaderField("From: lf@example.com\nTo: x\n", "from"), " lf@example.com");
  EXPECT_EQ(RawHeaderField("To: x\r\n", "From"), "");
  EXPECT_EQ(RawHeaderField("\r\nFrom: body@example.com\r\n", "From"), "");
}

}  // namespace

TEST(MailboxList, raw_field_with_every_kind_of_line_end) {
  // Line ends of one kind, mixed, and a lone CR before LF (which ends the
  // line and leaves an empty one: the end of the header block).
  const std::pair<std::string, std::string> cases[] = {{"A: 1\rFrom: cr\rB: 2\r", " cr"},
                                                       {"A: 1\nFrom: lf\n continued\nB: 2\n", " lf continued"},
                                                       {"A: 1\r\nFrom: x\rFrom: y\n\tz\r\n", " y\tz"},
                                                       {"From: a\r\r\nFrom: after the end\r\n", " a"},
                                                       {"From: no line end", " no line end"}};
  for (const auto& [header, value] : cases) EXPECT_EQ(RawHeaderField(header, "from"), value) << header;
  // Many lines of either kind are read once, not once per line.
  for (const char* end : {"\r", "\n"}) {
    std::string big;
    for (int i = 0; i < 200000; ++i) big += "X-Line: some value" + std::string(end);
    big += std::string("From: last") + end;
    EXPECT_EQ(RawHeaderField(big, "From"), " last");
  }
}
