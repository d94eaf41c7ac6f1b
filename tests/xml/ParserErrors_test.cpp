// Every error the parser raises, with the exact message, and the limits
// that keep hostile input from exhausting memory, time or the stack.
#include <gtest/gtest.h>

#include <chrono>

#include "XmlTestUtil.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

struct TErrorCase {
  const char* Input;
  const char* Message;
};

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

}  // namespace

TEST(xml_errors, grammar_messages) {
  const TErrorCase cases[] = {
      {"<?xml version='1.0'?>", "Unexpected EOF"},
      {"<?xml?><a/>", "WhiteSpaceEpected"},
      {"<?xml-stylesheet href='x'?><a/>", "WhiteSpaceEpected"},
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
      {"<a x='1' X='2'/>", "NSC \"Uniqueness of Attributes\" violated"},
      {"<p:a/>", "NSC: \"Prefix Declared\" violated"},
      {"<a>]]></a>", "]]> is not allowed in this position"},
      {"<a/>text", "Unexpected characters after root element"},
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
      {"<!DOCTYPE a [<!NOTATION n FOO>]><a/>", "External ID expected"},
      {"<!DOCTYPE a [<!ELEMENT a ANY> junk]><a/>", "\"]\" expected!"},
      {"<!DOCTYPE a [<!ELEMENTa ANY>]><a/>", "WhiteSpaceEpected"},
      {"<!DOCTYPE a [] x><a/>", "\">\" expected!"},
      {"<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e</a>", "\";\" expected!"},
      {"<a>&undeclared;</a>", "Entity undeclared not declared"},
      {"<a x='&undeclared;'/>", "External entities not allowed in attributes"},
      {"<!DOCTYPE a [<!ENTITY e '<b/>'>]><a x='&e;'/>", "External entities not allowed in attributes"},
      {"<!DOCTYPE a [<!ENTITY e '&e;'>]><a>&e;</a>", "WFC \"Enitities cannot recurse\" violated"},
      {"<!DOCTYPE a [<!ENTITY e '<b>&f;</b>'><!ENTITY f '&e;'>]><a>&e;</a>",
       "WFC \"Enitities cannot recurse\" violated"},
      {"<!DOCTYPE a [<!ENTITY % p '%q;'>]><a/>", "Entity q not declared"},
      {"<!DOCTYPE a [%q;]><a/>", "Entity q not declared"},
      {"<!DOCTYPE a [<!ENTITY e 'x&#65'>]><a/>", "character expected!"},
      {"<!DOCTYPE a [<!ENTITY e 'x&#65x;'>]><a/>", "; expected"},
      {"<a>&#65</a>", "\";\" expected at the end of a reference!"},
      {"<a>&#x1F600;</a>", "UCS-4 not implemented!"},
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
      {"<a x='1", "Unexpected EOF"},
      {"", "Unexpected EOF"},
      {"<!-- only a comment -->  ", "Unexpected EOF"},
  };
  for (const TErrorCase& c : cases) EXPECT_EQ(ParseError(c.Input), c.Message) << c.Input;
}

TEST(xml_errors, encoding_messages) {
  EXPECT_EQ(ParseError("<?xml version='1.0' encoding='x-unknown'?><a/>"), "Unsupported encoding: x-unknown");
  EXPECT_EQ(ParseError(std::string("\0\0\0<\0\0\0a", 8)), "Unsupported encoding: UCS-4BE");
  EXPECT_EQ(ParseError(std::string("<\0\0\0a\0\0\0", 8)), "Unsupported encoding: UCS-4LE");
  // Bytes the decoder of the declared charset refuses; a NUL byte that no
  // mark explains is reported as the character it is.
  EXPECT_EQ(ParseError(std::string("\0<a/>", 5)), "Invalid character : #x00000000");
  EXPECT_EQ(ParseError("\xfe<a/>"), "Illegar UTF-8 character beginning with #xFE");
  EXPECT_EQ(ParseError("\xef\xbb\xbf<a/>"), "\"<\" expected!");  // no UTF-8 byte-order mark
}

TEST(xml_errors, missing_input_and_stream_errors) {
  TQXMLParser p;
  try {
    p.Parse(nullptr);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Input to the entity not found");
  }
  // A file that cannot be opened raises the platform's file error.
  EXPECT_ANY_THROW(p.ParseFile(u"/nonexistent/dir/file.xml"));
}

TEST(xml_errors, end_tag_at_the_top_of_an_entity) {
  EXPECT_EQ(ParseError("text</a>", false), "End tag not allowed at the top level of an entity");
  EXPECT_EQ(ParseError("<!DOCTYPE a [<!ENTITY e '</a><a>'>]><a>&e;</a>"),
            "End tag not allowed at the top level of an entity");
  // An element opened in an entity must close there.
  EXPECT_EQ(ParseError("<!DOCTYPE a [<!ENTITY e '<b>'>]><a>&e;</b></a>"), "Unexpected EOF");
}

TEST(xml_errors, position_is_kept_beside_the_message) {
  TQXMLParser p;
  try {
    p.Parse(Bytes("<a>\r\n  <b>\n   </c>\n</a>"));
    FAIL();
  } catch (const EXMLParseError& e) {
    EXPECT_EQ(e.Message(), "WFC \"Element Type Match\" violated");
    EXPECT_EQ(e.Line, 3);
    EXPECT_EQ(e.Column, 7);  // the character after the offending name
  }
  try {
    p.Parse(Bytes("<a>\n\x01</a>"));
    FAIL();
  } catch (const EXMLParseError& e) {
    EXPECT_EQ(e.Line, 2);
    EXPECT_EQ(e.Column, 1);
  }
}

TEST(xml_limits, exponential_entities_stop_at_the_expansion_cap) {
  std::string doc = "<!DOCTYPE a [<!ENTITY l0 '<x>lol</x>'>";
  for (int i = 1; i <= 10; ++i) {
    doc += "<!ENTITY l" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) doc += "&l" + std::to_string(i - 1) + ";";
    doc += "'>";
  }
  doc += "]><a>&l10;</a>";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ParseError(doc), "Entity expansion exceeds the limit of 10000000 characters");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(xml_limits, parameter_entities_doubling_in_entity_values) {
  std::string doc = "<!DOCTYPE a [<!ENTITY % p0 '0123456789'>";
  for (int i = 1; i <= 40; ++i)
    doc += "<!ENTITY % p" + std::to_string(i) + " '%p" + std::to_string(i - 1) + ";%p" +
           std::to_string(i - 1) + ";'>";
  doc += "]><a/>";
  EXPECT_EQ(ParseError(doc), "Entity expansion exceeds the limit of 10000000 characters");
}

TEST(xml_limits, self_reproducing_parameter_entity_in_the_dtd) {
  // The text of p is "%p;": every reference puts the reference back.
  EXPECT_EQ(ParseError("<!DOCTYPE a [<!ENTITY % p '&#37;p;'> %p; ]><a/>"),
            "Entity expansion exceeds the limit of 10000000 characters");
}

TEST(xml_limits, cap_is_adjustable_and_counts_text_entities) {
  TQXMLParser p;
  p.MaxExpansionChars = 20;
  std::string doc = "<!DOCTYPE a [<!ENTITY e '0123456789'>]><a>&e;&e;</a>";
  EXPECT_EQ(ParseLog(doc, true, &p), "[SD]S(a)T(0123456789)T(0123456789)E(a)[ED]");
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ENTITY e '0123456789'>]><a x='&e;'>&e;&e;</a>", true, &p),
            "[SD]S(a x=0123456789)!Entity expansion exceeds the limit of 20 characters");
}

TEST(xml_limits, deep_nesting_is_refused_not_overflowing) {
  std::string deep = Repeat("<a>", 100000) + Repeat("</a>", 100000);
  EXPECT_EQ(ParseError(deep), "Elements nested deeper than 2000 levels");
  std::string ok = Repeat("<a>", 2000) + Repeat("</a>", 2000);
  EXPECT_EQ(ParseError(ok), "");
  TQXMLParser p;
  p.MaxElementDepth = 3;
  EXPECT_EQ(ParseLog("<a><b><c><d/></c></b></a>", true, &p),
            "[SD]S(a)S(b)S(c)!Elements nested deeper than 3 levels");
}

TEST(xml_limits, entities_count_toward_element_depth) {
  TQXMLParser p;
  p.MaxElementDepth = 2;
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ENTITY e '<b><c/></b>'>]><a>&e;</a>", true, &p),
            "[SD]S(a)S(b)!Elements nested deeper than 2 levels");
}

TEST(xml_limits, long_entity_chains_and_model_groups) {
  std::string doc = "<!DOCTYPE a [<!ENTITY e0 '<x/>'>";
  for (int i = 1; i <= 100; ++i)
    doc += "<!ENTITY e" + std::to_string(i) + " '<y>&e" + std::to_string(i - 1) + ";</y>'>";
  doc += "]><a>&e100;</a>";
  EXPECT_EQ(ParseError(doc), "Entities nested deeper than 64 levels");
  std::string groups = "<!DOCTYPE a [<!ELEMENT a " + Repeat("(", 100000) + "b" + Repeat(")", 100000) + ">]><a/>";
  EXPECT_EQ(ParseError(groups), "Content model groups nested deeper than 200 levels");
}

TEST(xml_limits, external_parameter_entity_recursion) {
  TQXMLParser p;
  p.SystemIdResolver = [](const std::u16string& id) -> std::unique_ptr<TStream> {
    if (id == u"self.ent") return Bytes("<!ENTITY x 'y'> %self;");
    return nullptr;
  };
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ENTITY % self SYSTEM 'self.ent'> %self;]><a/>", true, &p),
            "[SD]!WFC \"Enitities cannot recurse\" violated");
}

TEST(xml_limits, garbage_never_crashes) {
  // A cheap deterministic fuzz: every prefix of a rich document and some
  // byte flips must either parse or fail with a message.
  std::string doc =
      "<?xml version='1.0' encoding='UTF-8'?><!DOCTYPE a [<!ENTITY e '<b x=\"1\">t&#38;</b>'>"
      "<!ENTITY t 'text'><!ATTLIST a x CDATA #IMPLIED><!ELEMENT a (#PCDATA|b)*>]>"
      "<a xmlns:p='urn:p' p:x='&t;'>&e;<![CDATA[c]]><!--c--><?p d?>&#x41;\xc3\xa9</a>";
  for (size_t n = 0; n <= doc.size(); ++n) (void)ParseError(doc.substr(0, n));
  uint32_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string d = doc;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245 + 12345;
      d[(seed >> 8) % d.size()] = static_cast<char>(seed >> 24);
    }
    (void)ParseError(d);
  }
  SUCCEED();
}
