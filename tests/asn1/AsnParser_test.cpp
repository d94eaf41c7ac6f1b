// The two readers on the same input: the tree parser (ParseAsn) and the
// streaming TAsnParser, with the caps that keep hostile input harmless.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "AsnTestUtil.h"
#include "util/system/Exception.h"

using namespace tessel;
using namespace tessel::test;

// The largest single allocation made while a probe is alive. This program
// replaces the global operator new and delete, pairing malloc with new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

bool gProbeOn = false;
std::size_t gLargest = 0;
struct TAllocationProbe {
  TAllocationProbe() { gLargest = 0, gProbeOn = true; }
  ~TAllocationProbe() { gProbeOn = false; }
};

}  // namespace

void* operator new(std::size_t size) {
  if (gProbeOn && size > gLargest) gLargest = size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// The streaming reader's view: one "level:kind" per element ("0:seq",
// "1:oid", "2:u2" for a TUnknown with tag 2), then "!message" when it raised,
// with "@offset" when the reader itself refused the octets there.
std::string Walk(const std::string& octets) {
  TStringStream stream(octets);
  TAsnParser parser(stream);
  std::string out;
  try {
    for (int i = 0; i < 1000; ++i) {
      TAsnElem* e = parser.Next();
      if (!e) break;
      std::string kind = dynamic_cast<TSeq*>(e) ? "seq" : dynamic_cast<TOID*>(e) ? "oid" : "u" + std::to_string(e->Tag);
      out += (out.empty() ? "" : " ") + std::to_string(parser.LastDepth()) + ":" + kind;
    }
  } catch (const EAsnParseError& e) {
    out += std::string(out.empty() ? "" : " ") + "!" + e.what() + "@" + std::to_string(e.Offset);
  } catch (const Exception& e) {
    out += std::string(out.empty() ? "" : " ") + "!" + e.what();
  }
  return out;
}

}  // namespace

TEST(Asn1Readers, same_input_both_readers) {
  // Octets the tree parser's first element takes, or "!offset" where it
  // failed (the first octet of the innermost element it could not read),
  // and what the streaming reader yields. The streaming reader stops
  // quietly where the input ends between elements, and closes an element
  // once its end is passed.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"30 80 02 01 01 00 00 05 00", "7", "0:seq 1:u2"},  // the outermost end marker ends the reading
      {"05 00 06 03 2A 03 04", "2", "0:u5 0:oid"},
      {"30 0B 30 04 06 02 2A 03 A0 00 02 01 07 05 00", "13", "0:seq 1:seq 2:oid 1:seq 1:u2 0:u5"},
      {"A1 07 31 80 04 01 AA 00 00", "9", "0:seq 1:seq 2:u4"},  // constructed of any class: a SEQUENCE
      {"00 00 00 00", "2", "0:u0 0:u0"},                        // end markers with no indefinite element open
      {"30 02 00 00", "4", "0:seq 1:u0"},
      {"02 01 05 FF FF 00", "3", "0:u2 !Unexpected EOF@3"},              // the tree ignores what follows
      {"BF 81 82 03 02 05 00 AA", "7", "0:seq 1:u5 !Unexpected EOF@7"},  // tag octets up to bit 8 clear
      {"04 84 00 00 00 01 AA", "7", "0:u4"},                             // non-minimal length
      {"", "!0", ""},
      {"30", "!0", "!Unexpected EOF@0"},
      {"1F 81", "!0", "!Unexpected EOF@0"},
      {"30 82 01", "!0", "!Unexpected EOF@0"},
      {"30 03 04 05 01 02", "!2", "0:seq !Stream read error"},      // content cut by the end
      {"04 85 00 00 00 00 01 AA", "!0", "!Stream read error@0"},    // five length octets
      {"30 84 80 00 00 00", "!0", "!Stream read error@0"},          // 2^31
      {"30 84 7F FF FF FF 05 00", "!0", "!Stream read error@0"},    // an end beyond 2^31
      {"30 05 02 01 01", "!0", "0:seq 1:u2"},                       // content claims more than remains
      {"30 04 02 01 01 00", "!5", "0:seq 1:u2 !Unexpected EOF@5"},  // a child leaves an octet unused
      {"30 03 02 05 01", "!2", "0:seq !Stream read error"},         // a child longer than its parent
      {"30 09 30 80 02 01 01 00 00 02 01 02 02 01 03", "!9", "0:seq 1:seq 2:u2 1:u2 0:u2"},
      {"30 80 30 01 02 01 05 00 00 05 00", "!4", "0:seq 1:seq 2:u2"},
      {"30 80 02 01 01", "!5", "0:seq 1:u2"},  // no end marker: fails at the end
      {"30 80 02 05 01 00 00", "!2", "0:seq !Stream read error"},
      {"A0 0A 30 80 02 01 01 00 00", "!0", "0:seq 1:seq 2:u2"},  // the parent ends inside its child
  };
  for (auto [hex, tree, walk] : cases) {
    std::string octets = FromHex(hex);
    int32_t taken = -1;
    TAsnParseFailure failure;
    bool parsed = ParseAsn(octets.data(), static_cast<int32_t>(octets.size()), &taken, &failure) != nullptr;
    EXPECT_EQ(parsed ? std::to_string(taken) : "!" + std::to_string(failure.Offset), tree) << hex;
    EXPECT_EQ(parsed, failure.Offset < 0 && failure.Reason.empty()) << hex;
    EXPECT_EQ(Walk(octets), walk) << hex;
  }
}

TEST(Asn1Readers, every_truncation_gives_no_tree) {
  std::string octets = FromHex("30 80 06 03 2A 03 04 A0 80 31 0C 02 01 01 13 02 41 42 9F 2A 02 00 01 00 00 04 81 80") +
                       std::string(128, 'x') + FromHex("00 00");
  ASSERT_TRUE(Parse(octets));
  for (size_t n = 0; n < octets.size(); ++n) EXPECT_FALSE(Parse(octets.substr(0, n))) << n;
}

TEST(Asn1Readers, huge_claimed_length_allocates_little) {
  TStringStream stream(FromHex("04 84 7F FF FF FF 01 02 03"));
  TAsnParser parser(stream);
  TAllocationProbe probe;
  ::operator delete(::operator new(5000));  // the probe is live
  ASSERT_EQ(gLargest, 5000u);
  gLargest = 0;
  EXPECT_FALSE(Parse(FromHex("04 84 7F FF FF FF")));
  EXPECT_LT(gLargest, 4096u);
  EXPECT_THROW(parser.Next(), Exception);
  EXPECT_LE(gLargest, 256u * 1024);
}

TEST(Asn1Readers, nesting_cap) {
  // NULL inside levels SEQUENCEs of definite length (always in two octets).
  auto definite = [](int levels) {
    std::string s = FromHex("05 00");
    for (int i = 0; i < levels; ++i) s = FromHex("30 82") + char(s.size() >> 8) + char(s.size() & 0xFF) + s;
    return s;
  };
  // kMaxAsnDepth levels in all (the NULL is one) parse; one more does not.
  EXPECT_TRUE(Parse(definite(kMaxAsnDepth - 1)));
  EXPECT_FALSE(Parse(definite(kMaxAsnDepth)));
  std::string deep = definite(kMaxAsnDepth);
  TAsnParseFailure failure;
  EXPECT_FALSE(ParseAsn(deep.data(), static_cast<int32_t>(deep.size()), nullptr, &failure));
  EXPECT_EQ(failure.Offset, 4 * kMaxAsnDepth);  // the NULL, one level too deep
  EXPECT_TRUE(Parse(NestedIndefinite(kMaxAsnDepth - 1)));
  EXPECT_FALSE(Parse(NestedIndefinite(kMaxAsnDepth)));
  EXPECT_FALSE(Parse(NestedIndefinite(100000)));
  // The streaming reader counts open elements the same way.
  std::string walk = Walk(NestedIndefinite(kMaxAsnDepth));
  EXPECT_EQ(walk.substr(walk.rfind(' ') + 1), std::to_string(kMaxAsnDepth) + ":u5");
  walk = Walk(NestedIndefinite(kMaxAsnDepth + 1));
  EXPECT_EQ(walk.substr(walk.rfind('!')), "!ASN.1 nesting too deep@" + std::to_string(2 * kMaxAsnDepth));
}
