// Every error the parser raises, with the exact message, and the limits
// that keep hostile input from exhausting memory, time or the stack.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "XmlTestUtil.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

// Input (an external parsed entity where IsDocument is cleared) and message.
struct TErrorCase {
  std::string Input;
  const char* Message;
  bool IsDocument = true;
};

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

}  // namespace

TEST(XmlErrors, messages) {
  const TErrorCase cases[] = {
      {"<?xml?><a/>", "WhiteSpaceEpected"},
      {"<?xml encoding='UTF-8'?><a/>", "\"version\" expected!"},
      {"<?xml version=1.0?><a/>", "' or \" expected"},
      {"<?xml version='1.0\"?><a/>", "\"'\" expected!"},
      {"<?xml version=''?><a/>", "Expected at least 1 occurrences of char from set"},
      {"<?xml version='1.0' encoding='8bit'?><a/>", "Expected at least 1 occurrences of char from set"},
      {"<?xml version='1.0' standalone='maybe'?><a/>", "\"yes\" or \"no\" expected"},
      {"<?xml version='1.0' ?x><a/>", "\"?>\" expected!"},
      {"<?xml version='1.0'?>x<a/>", "\"<\" expected!"},
      {"<a></b>", "WFC \"Element Type Match\" violated"},
      {"<a x='1'y='2'/>", "\">\" expected!"},
      {"<a x></a>", "\"=\" expected!"},
      {"<a x='<'/>", "WFC \"No < in Attribute Values\" violated"},
      {"<p:a/>", "NSC: \"Prefix Declared\" violated"},
      {"<a>]]></a>", "]]> is not allowed in this position"},
      {"<a/><b/>", "Unexpected characters after root element"},
      {"<1a/>", "QName expected"},
      {"<a:1/>", "QName expected"},
      {"<a><?1?></a>", "Name expected"},
      {"<a><?XmL data?></a>", "\"XmL\" is not an allowed name for a PI"},
      {"<?xml version='1.0'?><?xml again?><a/>", "\"xml\" is not an allowed name for a PI"},
      {"<a><?pi?x></a>", "\"?>\" expected!"},
      {"<a><!-- a -- b --></a>", "\">\" expected!"},
      {"<!DOCTYPE a PUBLIC 'a{b' 'x'><a/>", "Illegal character in PubidLiteral"},
      {"<!DOCTYPE a [<!ELEMENT a (b|c,d)>]><a/>", "')' expected"},
      {"<!DOCTYPE a [<!ELEMENT a (#PCDATA|b)>]><a/>", "\")*\" expected!"},
      {"<!DOCTYPE a [<!ELEMENT a FOO>]><a/>", "\"(\" expected!"},
      {"<!DOCTYPE a [<!ATTLIST a b (x|) #IMPLIED>]><a/>", "Expected at least 1 occurrences of char from set"},
      {"<!DOCTYPE a [<!ENTITY e FOO>]><a/>", "External ID expected"},
      {"<!DOCTYPE a [<!ELEMENT a ANY> junk]><a/>", "\"]\" expected!"},
      {"<!DOCTYPE a [<!ELEMENTa ANY>]><a/>", "WhiteSpaceEpected"},
      {"<!DOCTYPE a [] x><a/>", "\">\" expected!"},
      {"<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e</a>", "\";\" expected!"},
      {"<a>&undeclared;</a>", "Entity undeclared not declared"},
      {"<a x='&undeclared;'/>", "External entities not allowed in attributes"},
      {"<!DOCTYPE a [<!ENTITY e '&e;'>]><a>&e;</a>", "WFC \"Enitities cannot recurse\" violated"},
      {"<!DOCTYPE a [<!ENTITY e '<b>&f;</b>'><!ENTITY f '&e;'>]><a>&e;</a>",
       "WFC \"Enitities cannot recurse\" violated"},
      {"<!DOCTYPE a [<!ENTITY % p '%q;'>]><a/>", "Entity q not declared"},
      {"<!DOCTYPE a [%q;]><a/>", "Entity q not declared"},
      {"<!DOCTYPE a [<!ENTITY e 'x&#65'>]><a/>", "character expected!"},
      {"<!DOCTYPE a [<!ENTITY e 'x&#65x;'>]><a/>", "; expected"},
      {"<a>&#65</a>", "\";\" expected at the end of a reference!"},
      {"<a>&#0;</a>", "Invalid character (#x0000) in input"},
      {"<a x='&#xFFFE;'/>", "Invalid character (#xFFFE) in input"},
      {"<a>&#;</a>", "'' is not a valid integer value"},
      {"<a>&#99999999999;</a>", "'99999999999' is not a valid integer value"},
      {"<a>\x01</a>", "Invalid character : #x00000001"},
      {"<a>\xef\xbf\xbe</a>", "Invalid character : #x0000FFFE"},
      {"<a>\xf0\x9f\x98\x80</a>", "Invalid character : #x0000D83D"},
      {"<a>\xc0\x80</a>", "Illegal character"},
      {"<a>\x80</a>", "Illegar UTF-8 character beginning with #x80"},
      {"<a>", "Unexpected EOF"},
      {"", "Unexpected EOF"},
      {"<!-- only a comment -->  ", "Unexpected EOF"},
      // Ends of elements that do not match up with the entity they are in.
      {"text</a>", "End tag not allowed at the top level of an entity", false},
      {"<!DOCTYPE a [<!ENTITY e '</a><a>'>]><a>&e;</a>", "End tag not allowed at the top level of an entity"},
      {"<!DOCTYPE a [<!ENTITY e '<b>'>]><a>&e;</b></a>", "Unexpected EOF"},
      // Encodings, and bytes the decoder of the declared charset refuses; a
      // NUL byte that no mark explains is reported as the character it is.
      {"<?xml version='1.0' encoding='x-unknown'?><a/>", "Unsupported encoding: x-unknown"},
      {std::string("\0\0\0<\0\0\0a", 8), "Unsupported encoding: UCS-4BE"},
      {std::string("<\0\0\0a\0\0\0", 8), "Unsupported encoding: UCS-4LE"},
      {std::string("\0<a/>", 5), "Invalid character : #x00000000"},
      {"\xfe<a/>", "Illegar UTF-8 character beginning with #xFE"}};
  for (const TErrorCase& c : cases) EXPECT_EQ(ParseError(c.Input, c.IsDocument), c.Message) << c.Input;
}

TEST(XmlErrors, position_beside_the_message_and_missing_input) {
  // The column is that of the character after the offending name.
  EXPECT_EQ(ParseErrorAt(Bytes("<a>\r\n  <b>\n   </c>\n</a>")), "WFC \"Element Type Match\" violated @3:7");
  EXPECT_EQ(ParseErrorAt(Bytes("<a>\n\x01</a>")), "Invalid character : #x00000001 @2:1");
  EXPECT_EQ(ParseErrorAt(nullptr), "Input to the entity not found @1:1");
  // A file that cannot be opened raises the platform's file error.
  EXPECT_ANY_THROW(TQXMLParser().ParseFile(u"/nonexistent/dir/file.xml"));
}

TEST(XmlLimits, expanding_entities_stop_at_the_cap) {
  // Billion laughs: ten levels of ten references each.
  std::string laughs = "<!DOCTYPE a [<!ENTITY l0 '<x>lol</x>'>";
  for (int i = 1; i <= 10; ++i)
    laughs += "<!ENTITY l" + std::to_string(i) + " '" + Repeat("&l" + std::to_string(i - 1) + ";", 10) + "'>";
  // Parameter entities doubling inside entity values.
  std::string doubling = "<!DOCTYPE a [<!ENTITY % p0 '0123456789'>";
  for (int i = 1; i <= 40; ++i)
    doubling += "<!ENTITY % p" + std::to_string(i) + " '" + Repeat("%p" + std::to_string(i - 1) + ";", 2) + "'>";
  auto start = std::chrono::steady_clock::now();
  for (const std::string& doc : {laughs + "]><a>&l10;</a>", doubling + "]><a/>",
                                 // p's text is "%p;": every reference puts the reference back.
                                 std::string("<!DOCTYPE a [<!ENTITY % p '&#37;p;'> %p; ]><a/>")})
    EXPECT_EQ(ParseError(doc), "Entity expansion exceeds the limit of 10000000 characters") << doc.substr(0, 60);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(XmlLimits, lowered_caps_and_recursion) {
  // Text entities count toward the expansion cap; elements from entities
  // count toward the depth.
  TQXMLParser p;
  p.MaxExpansionChars = 20;
  p.MaxElementDepth = 3;
  p.SystemIdResolver = [](const std::u16string& id) -> std::unique_ptr<TStream> {
    return id == u"self.ent" ? Bytes("%self;") : nullptr;
  };
  const std::pair<const char*, const char*> cases[] = {
      {"<!DOCTYPE a [<!ENTITY e '0123456789'>]><a>&e;&e;</a>", "[SD]S(a)T(0123456789)T(0123456789)E(a)[ED]"},
      {"<!DOCTYPE a [<!ENTITY e '0123456789'>]><a x='&e;'>&e;&e;</a>",
       "[SD]S(a x=0123456789)!Entity expansion exceeds the limit of 20 characters"},
      {"<a><b><c><d/></c></b></a>", "[SD]S(a)S(b)S(c)!Elements nested deeper than 3 levels"},
      {"<!DOCTYPE a [<!ENTITY e '<c><d/></c>'>]><a><b>&e;</b></a>",
       "[SD]S(a)S(b)S(c)!Elements nested deeper than 3 levels"},
      {"<!DOCTYPE a [<!ENTITY % self SYSTEM 'self.ent'> %self;]><a/>",
       "[SD]!WFC \"Enitities cannot recurse\" violated"}};
  for (auto [doc, log] : cases) EXPECT_EQ(ParseLog(doc, true, &p), log) << doc;
}

TEST(XmlLimits, deep_nesting_is_refused_not_overflowing) {
  EXPECT_EQ(ParseError(Repeat("<a>", 100000) + Repeat("</a>", 100000)), "Elements nested deeper than 2000 levels");
  EXPECT_EQ(ParseError(Repeat("<a>", 2000) + Repeat("</a>", 2000)), "");
  std::string chain = "<!DOCTYPE a [<!ENTITY e0 '<x/>'>";
  for (int i = 1; i <= 100; ++i)
    chain += "<!ENTITY e" + std::to_string(i) + " '<y>&e" + std::to_string(i - 1) + ";</y>'>";
  EXPECT_EQ(ParseError(chain + "]><a>&e100;</a>"), "Entities nested deeper than 64 levels");
  // The exact edge: a chain of kMaxEntityDepth open entities is read, one
  // more is refused, in content and among the declarations alike (external
  // parameter entities p0.ent, p1.ent, ..., each holding a reference to the
  // one before).
  std::string params = "<!DOCTYPE a [";
  for (int i = 0; i <= kMaxEntityDepth; ++i)
    params += "<!ENTITY % p" + std::to_string(i) + " SYSTEM 'p" + std::to_string(i) + ".ent'>";
  TQXMLParser withFiles;
  withFiles.SystemIdResolver = [](const std::u16string& id) -> std::unique_ptr<TStream> {
    int n = std::stoi(KeyFromWide(id).substr(1));
    return Bytes(n == 0 ? "<!ENTITY x 'y'>" : "%p" + std::to_string(n - 1) + ";");
  };
  const std::string deepest = std::to_string(kMaxEntityDepth - 1), tooDeep = std::to_string(kMaxEntityDepth);
  const std::string refused = "Entities nested deeper than " + tooDeep + " levels";
  EXPECT_EQ(ParseError(chain + "]><a>&e" + deepest + ";</a>"), "");
  EXPECT_EQ(ParseError(chain + "]><a>&e" + tooDeep + ";</a>"), refused);
  EXPECT_EQ(ParseError(params + "%p" + deepest + ";]><a/>", true, &withFiles), "");
  EXPECT_EQ(ParseError(params + "%p" + tooDeep + ";]><a/>", true, &withFiles), refused);
  std::string groups = "<!DOCTYPE a [<!ELEMENT a " + Repeat("(", 100000) + "b" + Repeat(")", 100000) + ">]><a/>";
  EXPECT_EQ(ParseError(groups), "Content model groups nested deeper than 200 levels");
}

// "" when text parses or is refused with a parse error placed inside it:
// a line of the text and a column no further than one past that line's end
// (an error inside an entity is placed in the entity's text, which here is
// on one line of the document, so that bound holds too). Otherwise what
// was wrong.
std::string RefusalOutsideInput(const std::string& text) {
  std::vector<size_t> lengths{0};
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lengths.push_back(0);
    } else {
      ++lengths.back();
    }
  }
  size_t longest = *std::max_element(lengths.begin(), lengths.end());
  TQXMLParser parser;
  try {
    parser.Parse(Bytes(text));
  } catch (const EXMLParseError& e) {
    if (e.Line < 1 || static_cast<size_t>(e.Line) > lengths.size())
      return "line " + std::to_string(e.Line) + ": " + e.Message();
    if (e.Column < 1 || static_cast<size_t>(e.Column) > longest + 1)
      return "column " + std::to_string(e.Column) + ": " + e.Message();
    return "";
  } catch (const std::exception& e) {
    return std::string("not a parse error: ") + e.what();
  }
  return "";
}

TEST(XmlLimits, prefixes_and_byte_flips_are_placed_refusals) {
  // Every prefix of a rich document and some byte flips either parse or
  // fail with a parse error that says where, inside the input.
  const std::string doc =
      "<?xml version='1.0' encoding='UTF-8'?><!DOCTYPE a [<!ENTITY e '<b x=\"1\">t&#38;#38;</b>'>"
      "<!ENTITY t 'text'><!ATTLIST a x CDATA #IMPLIED><!ELEMENT a (#PCDATA|b)*>]>"
      "<a xmlns:p='urn:p' p:x='&t;'>&e;<![CDATA[c]]><!--c--><?p d?>&#x41;\xc3\xa9</a>";
  ASSERT_EQ(ParseError(doc), "");
  int refused = 0;
  for (size_t n = 0; n <= doc.size(); ++n) {
    EXPECT_EQ(RefusalOutsideInput(doc.substr(0, n)), "") << n;
    refused += !ParseError(doc.substr(0, n)).empty();
  }
  EXPECT_EQ(refused, static_cast<int>(doc.size()));  // only the whole document parses
  uint32_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string d = doc;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245 + 12345;
      d[(seed >> 8) % d.size()] = static_cast<char>(seed >> 24);
    }
    EXPECT_EQ(RefusalOutsideInput(d), "") << round;
  }
}
