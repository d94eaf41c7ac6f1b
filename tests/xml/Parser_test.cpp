// The parser's events: order, pieces of character data, namespaces,
// entities of every kind, encodings, and the rules where this parser
// deliberately differs from XML 1.0.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "XmlTestUtil.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

// A parser whose external entities come from a table of texts, by public
// or system identifier; Opened counts what was asked for.
struct TTableParser {
  TTableParser(std::map<std::u16string, std::string> files) {
    P.SystemIdResolver = [this, files](const std::u16string& id) -> std::unique_ptr<TStream> {
      ++Opened[id];
      return files.count(id) ? Bytes(files.at(id)) : nullptr;
    };
    P.PublicIdResolver = P.SystemIdResolver;
  }
  std::string Log(const std::string& doc) { return ParseLog(doc, true, &P); }
  TQXMLParser P;
  std::map<std::u16string, int> Opened;
};

// Rows of input and event log; the input is an external parsed entity
// rather than a document where IsDocument is cleared.
struct TLogCase {
  std::string Input, Log;
  bool IsDocument = true;
};

void ExpectLogs(std::initializer_list<TLogCase> cases) {
  for (const TLogCase& c : cases) EXPECT_EQ(ParseLog(c.Input, c.IsDocument), c.Log) << c.Input;
}

}  // namespace

TEST(XmlEvents, order_text_pieces_and_line_ends) {
  ExpectLogs({{"<?xml version='1.0'?>\n<!--c1--><?pi  data here ?>\n<!DOCTYPE r [<!--hidden--><?hidden?>]>"
               "<r a='1'><e/>t<!--c2--><?p?></r><!--c3-->\n",
               "[SD]C(c1)P(pi|data here )S(r a=1)S(e)E(e)T(t)C(c2)P(p|)E(r)C(c3)[ED]"},
              {" <!--c--> ", "[SD]C(c)!Unexpected EOF"},  // events before an error stay delivered
              // An external parsed entity: no document events, no single root.
              {"<?xml encoding='UTF-8'?>a<b/>c<d></d>", "T(a)S(b)E(b)T(c)S(d)E(d)", false},
              {"", "", false},
              // A reference ends a piece; a CDATA section joins the text around it;
              // there is never an empty piece.
              {"<a>x&amp;y</a>", "[SD]S(a)T(x&)T(y)E(a)[ED]"},
              {"<a>1<![CDATA[<b>&amp;]]>2</a>", "[SD]S(a)T(1<b>&amp;2)E(a)[ED]"},
              {"<a>&#65;&#x42;c</a>", "[SD]S(a)T(A)T(B)T(c)E(a)[ED]"},
              {"<a> <b/>\n\t<c/> </a>", "[SD]S(a)T( )S(b)E(b)T(\n\t)S(c)E(c)T( )E(a)[ED]"},
              {"<a><![CDATA[]]></a>", "[SD]S(a)E(a)[ED]"},
              {"<a>]]]x]]</a>", "[SD]S(a)T(]]]x]])E(a)[ED]"},
              {"<a>1\r\n2\r3\n4\r\r\n5</a>", "[SD]S(a)T(1\n2\n3\n4\n\n5)E(a)[ED]"},
              {"<a>&#13;&#10;</a>", "[SD]S(a)T(\r)T(\n)E(a)[ED]"},
              // Attribute values: control characters become blanks, references stay.
              {"<a x='1\r\n2\t3&#10;&#9;&lt;' y=\"'\"/>", "[SD]S(a x=1 2 3\n\t< y=')E(a)[ED]"}});
}

TEST(XmlEvents, chunk_boundaries_and_unset_events) {
  // Long text crosses the decoder's chunks: CR LF pairs, multi-byte
  // characters and markup split across a boundary read as if in one piece.
  // The events left unset (comments, instructions, ends) are skipped.
  std::string body;
  for (int i = 0; i < 70000; ++i) body += i % 7 == 0 ? "\r\n" : i % 5 == 0 ? "\xc3\xa9" : "x";
  std::string doc = "<?p?><!--c--><a>" + body + "<b/>" + body + "</a>";
  TQXMLParser p;
  std::u16string text;
  int elements = 0;
  p.Events.Characters = [&](TWStringBuf& b) { text += b.GetValue(); };
  p.Events.StartElement = [&](const TQName&, const TAttrList*) { ++elements; };
  p.Parse(Bytes(doc));
  std::u16string expected;
  for (int i = 0; i < 70000; ++i) expected += i % 7 == 0 ? u"\n" : i % 5 == 0 ? u"\u00e9" : u"x";
  EXPECT_EQ(elements, 2);
  EXPECT_EQ(text, expected + expected);
}

TEST(XmlNamespaces, scoping_and_resolution) {
  ExpectLogs(
      {{"<r xmlns='urn:d' xmlns:p='urn:p'><p:a p:x='1' y='2'/><b xmlns='urn:e'/><c/>"
        "<p:d xmlns:p='urn:q'/><p:e/></r>",
        "[SD]S(r{urn:d} xmlns:p{#}=urn:p xmlns=urn:d)S(p:a{urn:p} p:x{urn:p}=1 y=2)E(p:a)"
        "S(b{urn:e} xmlns=urn:e)E(b)S(c{urn:d})E(c)S(p:d{urn:q} xmlns:p{#}=urn:q)E(p:d)"
        "S(p:e{urn:p})E(p:e)E(r)[ED]"},
       // Declarations apply to the whole tag, whatever their place in it;
       // attributes come sorted by expanded name (xmlns:p is "p:" + marker).
       {"<p:a p:x='1' xmlns:p='urn:p'/>", "[SD]S(p:a{urn:p} xmlns:p{#}=urn:p p:x{urn:p}=1)E(p:a)[ED]"},
       {"<a xml:lang='en'/>", "[SD]S(a xml:lang{http://www.w3.org/XML/1998/namespace}=en)E(a)[ED]"},
       // An empty declaration binds nothing.
       {"<a xmlns:p='urn:p'><p:b xmlns:p=''/></a>", "[SD]S(a xmlns:p{#}=urn:p)!NSC: \"Prefix Declared\" violated"},
       // Expanded names decide uniqueness: two prefixes, one namespace.
       {"<a xmlns:p='urn:x' xmlns:q='urn:x' p:v='1' q:v='2'/>", "[SD]!NSC \"Uniqueness of Attributes\" violated"},
       // End tags compare qualified names exactly, and so do prefixes.
       {"<r xmlns:p='u' xmlns:q='u'><p:a></q:a></r>",
        "[SD]S(r xmlns:p{#}=u xmlns:q{#}=u)S(p:a{u})!WFC \"Element Type Match\" violated"},
       {"<a xmlns:p='u'><P:b/></a>", "[SD]S(a xmlns:p{#}=u)!NSC: \"Prefix Declared\" violated"}});
}

TEST(XmlNamespaces, undeclared_prefixes_and_bindings_restored) {
  TQXMLParser p;
  p.SkipPrefixDeclared = true;
  EXPECT_EQ(ParseLog("<p:a q:x='1'/>", true, &p), "[SD]S(p:a q:x=1)E(p:a)[ED]");
  p.SkipPrefixDeclared = false;
  p.PrefixResolver = [](const std::u16string& prefix) { return prefix == u"p" ? std::string("urn:r") : ""; };
  EXPECT_EQ(ParseLog("<p:a/>", true, &p), "[SD]S(p:a{urn:r})E(p:a)[ED]");
  EXPECT_EQ(ParseLog("<q:a/>", true, &p), "[SD]!NSC: \"Prefix Declared\" violated");
  // Bindings and the default namespace are undone after a parse, also after
  // one that fails inside their scope.
  p.PrefixResolver = nullptr;
  EXPECT_EQ(ParseLog("<a xmlns='urn:a' xmlns:q='urn:q'><b/></a>", true, &p),
            "[SD]S(a{urn:a} xmlns:q{#}=urn:q xmlns=urn:a)S(b{urn:a})E(b)E(a)[ED]");
  EXPECT_EQ(p.DefaultNamespace, u"");
  EXPECT_EQ(p.Bindings.Top(u"xmlns:q"), nullptr);
  EXPECT_EQ(ParseLog("<a xmlns:q='urn:q'><b>", true, &p), "[SD]S(a xmlns:q{#}=urn:q)S(b)!Unexpected EOF");
  EXPECT_EQ(p.Bindings.Top(u"xmlns:q"), nullptr);
  EXPECT_EQ(ParseLog("<q:a/>", true, &p), "[SD]!NSC: \"Prefix Declared\" violated");
}

TEST(XmlEntities, internal_and_parameter_entities) {
  ExpectLogs({// The first declaration wins.
              {"<!DOCTYPE a [<!ENTITY t 'one'><!ENTITY t 'two'>]><a x='&t;'>&t;</a>", "[SD]S(a x=one)T(one)E(a)[ED]"},
              // References in entity values: character references are replaced at
              // declaration, general references when the entity is used.
              {"<!DOCTYPE a [<!ENTITY t 'T'><!ENTITY m 'a&#38;#38;b&t;'>]><a>&m;</a>", "[SD]S(a)T(a&)T(b)T(T)E(a)[ED]"},
              // A markup entity is read again from its start on every reference.
              {"<!DOCTYPE a [<!ENTITY m '<b/>'>]><a>&m;&m;</a>", "[SD]S(a)S(b)E(b)S(b)E(b)E(a)[ED]"},
              // A quote from an entity does not end an attribute value.
              {"<!DOCTYPE a [<!ENTITY q '\" b=\"x'>]><a x=\"&q;\"/>", "[SD]S(a x=\" b=\"x)E(a)[ED]"},
              // Text parameter entities in entity values and between declarations.
              {"<!DOCTYPE a [<!ENTITY % q \"it's\"><!ENTITY e 'say %q;'>"
               "<!ENTITY % decl '<!ENTITY f \"F\">'>%decl;]><a>&e;&f;</a>",
               "[SD]S(a)T(say it's)T(F)E(a)[ED]"}});
}

TEST(XmlEntities, replacement_text_joins_the_text_after_it) {
  ExpectLogs({// Text before the reference ends there; the replacement text joins the
              // text after it.
              // "]" and a CR from a character reference in the value are read like
              // the document's own (a CR becomes LF).
              {"<!DOCTYPE a [<!ENTITY e 'x]y&#13;z'>]><a>1&e;2</a>", "[SD]S(a)T(1)T(x]y\nz2)E(a)[ED]"},
              {"<!DOCTYPE a [<!ENTITY e 'a]]>b'>]><a>&e;</a>", "[SD]S(a)!]]> is not allowed in this position"},
              // A text reference that ends a markup entity ends its character data.
              {"<!DOCTYPE a [<!ENTITY t 'tt'><!ENTITY m '<b>&t;</b>&t;'>]><a>&m;x&t;</a>",
               "[SD]S(a)S(b)T(tt)E(b)T(tt)T(x)T(tt)E(a)[ED]"},
              // Character data in the replacement text, then markup from the document.
              {"<!DOCTYPE a [<!ENTITY t 'one two'>]><a>&t;<b/>&t;&amp;</a>",
               "[SD]S(a)T(one two)S(b)E(b)T(one two&)E(a)[ED]"}});
}

TEST(XmlEntities, external_kinds_through_resolvers) {
  TTableParser t({{u"ext.xml", "<?xml encoding='UTF-8'?>text<b>in</b>"},
                  {u"dtd.dtd", "<?xml version='1.0'?><!ENTITY fromdtd 'D'>"},
                  {u"decls.ent", "<!ENTITY fromext 'X'>"},
                  {u"value.ent", "<?xml encoding='iso-8859-2'?>v\xb1lue"}});
  EXPECT_EQ(t.Log("<!DOCTYPE a SYSTEM 'dtd.dtd' [<!ENTITY e SYSTEM 'ext.xml'>"
                  "<!ENTITY % d SYSTEM 'decls.ent'>%d;<!ENTITY % v SYSTEM 'value.ent'>"
                  "<!ENTITY w '[%v;]'><!NOTATION n SYSTEM 'n'><!ENTITY u SYSTEM 'none.bin' NDATA n>]>"
                  "<a>&e;|&e;|&fromdtd;&fromext;&w;&u;</a>"),
            "[SD]S(a)T(text)S(b)T(in)E(b)T(|)T(text)S(b)T(in)E(b)T(|)T(D)T(X)T([v\xc4\x85lue])E(a)[ED]");
  // Each external entity is fetched once and read again from memory; the
  // unparsed one is never opened.
  EXPECT_EQ(t.Opened[u"ext.xml"], 1);
  EXPECT_EQ(t.Opened.count(u"none.bin"), 0u);
  // An external general entity cannot be used in an attribute.
  EXPECT_EQ(t.Log("<!DOCTYPE a [<!ENTITY e SYSTEM 'ext.xml'>]><a x='&e;'/>"),
            "[SD]!External entities not allowed in attributes");
  // A missing external subset fails the parse.
  EXPECT_EQ(t.Log("<!DOCTYPE a SYSTEM 'missing.dtd'><a/>").substr(0, 5), "[SD]!");
  // The public identifier is asked first; what it gives is used alone.
  TTableParser pub({{u"-//X//DTD Y//EN", "<!ENTITY p 'public'>"}});
  EXPECT_EQ(pub.Log("<!DOCTYPE a PUBLIC '-//X//DTD Y//EN' 'y.dtd'><a>&p;</a>"), "[SD]S(a)T(public)E(a)[ED]");
  EXPECT_EQ(pub.Opened, (std::map<std::u16string, int>{{u"-//X//DTD Y//EN", 1}}));
}

TEST(XmlEntities, files_relative_to_the_including_entity) {
  namespace fs = std::filesystem;
  test::TTempDir temp("tessel-xml");
  const fs::path& dir = temp.Path();
  fs::create_directories(dir / "sub");
  const std::pair<const char*, const char*> files[] = {
      {"doc.xml", "<!DOCTYPE a SYSTEM 'sub/doc.dtd' [<!ENTITY t SYSTEM 'sub/t.xml'>]><a>&t;&d;</a>"},
      {"sub/doc.dtd", "<!ENTITY % inner SYSTEM 'inner.ent'>%inner;"},
      {"sub/inner.ent", "<!ENTITY d SYSTEM 'd.xml'>"},
      {"sub/d.xml", "<d/>"},
      {"sub/t.xml", "T"}};
  for (auto [name, text] : files) std::ofstream(dir / name, std::ios::binary) << text;
  TQXMLParser p;
  TRecorder r;
  r.Attach(p);
  p.ParseFile(W((dir / "doc.xml").string()));
  EXPECT_EQ(r.Log, "[SD]S(a)T(T)S(d)E(d)E(a)[ED]");
}

TEST(XmlEncodings, declarations_marks_and_first_bytes) {
  // The same bytes after the declaration read as ISO 8859-2 and as UTF-8.
  ExpectLogs({
      {"<?xml version='1.0' encoding='ISO-8859-2'?><a>\xb1\xe6</a>", "[SD]S(a)T(\xc4\x85\xc4\x87)E(a)[ED]"},
      {"<?xml version='1.0' encoding='windows-1250'?><a x='\x8a'>\x9c</a>", "[SD]S(a x=\xc5\xa0)T(\xc5\x9b)E(a)[ED]"},
      {"<?xml version='1.0' encoding='UTF-8'?><a>\xc4\x85</a>", "[SD]S(a)T(\xc4\x85)E(a)[ED]"},
      {"+ADw-a+AD4-caf+AOk-+ADw-/a+AD4-", "[SD]S(a)T(caf\xc3\xa9)E(a)[ED]"},  // UTF-7 known by its first bytes
  });
  // Without a declaration the input is UTF-8, whatever Encoding says.
  TQXMLParser p;
  p.Encoding = u"iso-8859-2";
  EXPECT_EQ(ParseLog("<a>\xc4\x85</a>", true, &p), "[SD]S(a)T(\xc4\x85)E(a)[ED]");
  // UTF-16 of both byte orders, with and without a byte-order mark.
  auto utf16 = [](const std::u16string& s, bool big, bool bom) {
    std::string b = bom ? (big ? "\xfe\xff" : "\xff\xfe") : "";
    for (char16_t c : s) b += big ? std::string{char(c >> 8), char(c)} : std::string{char(c), char(c >> 8)};
    return b;
  };
  std::u16string doc = u"<?xml version='1.0' encoding='UTF-16'?><a>\u0105\u4e00</a>";
  for (bool big : {false, true})
    for (bool bom : {false, true})
      EXPECT_EQ(ParseLog(utf16(doc, big, bom)), "[SD]S(a)T(\xc4\x85\xe4\xb8\x80)E(a)[ED]") << big << bom;
  EXPECT_EQ(ParseLog(utf16(u"<a>x</a>", false, true)), "[SD]S(a)T(x)E(a)[ED]");
}

TEST(XmlParser, reset_between_parses_and_stream_ownership) {
  TQXMLParser p;
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ENTITY e 'x'><!ENTITY m '<b/>'>]><a>&e;", true, &p).substr(0, 5), "[SD]S");
  EXPECT_EQ(p.GeneralEntityTexts.Count(), 1);
  // The next parse starts without the entities of the failed one.
  EXPECT_EQ(ParseLog("<a>&e;</a>", true, &p), "[SD]S(a)!Entity e not declared");
  EXPECT_EQ(p.GeneralEntityTexts.Count(), 0);
  EXPECT_EQ(p.GeneralEntities.Count(), 0);
  EXPECT_FALSE(p.InDoctype);
  // Standalone is recorded.
  EXPECT_EQ(ParseLog("<?xml version='1.0' standalone='yes'?><a/>", true, &p), "[SD]S(a)E(a)[ED]");
  EXPECT_TRUE(p.Standalone);
  // The parser frees the stream it is given and closes the document's
  // input when the parse ends.
  p.Parse(Bytes("<a/>"));
  EXPECT_FALSE(p.DocumentEntity()->HasInput());
}

TEST(XmlParser, many_attributes_and_entity_references) {
  // Sibling start tags with the same hundred names, in reverse order: each
  // arrives sorted, and the names of one tag are no duplicates of the next.
  auto name = [](int i) { return " a" + std::string(i < 10 ? "0" : "") + std::to_string(i); };
  std::string tag = "<b", sorted;
  for (int i = 99; i >= 0; --i) tag += name(i) + "='" + std::to_string(i) + "'";
  for (int i = 0; i < 100; ++i) sorted += name(i) + "=" + std::to_string(i);
  EXPECT_EQ(ParseLog("<a>" + tag + "/>" + tag + "/></a>"),
            "[SD]S(a)S(b" + sorted + ")E(b)S(b" + sorted + ")E(b)E(a)[ED]");
  EXPECT_EQ(ParseError("<a>" + tag + " A42='x'/></a>"), "NSC \"Uniqueness of Attributes\" violated");
  // A thousand entities with markup, each referred to: every name finds its own.
  std::string dtd = "<!DOCTYPE a [", refs;
  for (int i = 0; i < 1000; ++i) {
    dtd += "<!ENTITY e" + std::to_string(i) + " '<b>" + std::to_string(i) + "</b>'>";
    refs = "&E" + std::to_string(i) + ";" + refs;  // names without regard to case, as declared
  }
  std::string log = ParseLog(dtd + "<!ENTITY e5 '<c/>'>]><a>" + refs + "</a>");
  EXPECT_EQ(log.substr(0, 31), "[SD]S(a)S(b)T(999)E(b)S(b)T(998");
  EXPECT_NE(log.find("S(b)T(5)E(b)"), std::string::npos);  // the first declaration counts
  EXPECT_EQ(log.find("S(c)"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 20), "S(b)T(0)E(b)E(a)[ED]");
}

// Rules of this parser that differ from XML 1.0, each shown once.
TEST(XmlParser, deliberate_differences_from_xml_1_0) {
  // 1. Attribute names are unique without regard to case.
  EXPECT_EQ(ParseError("<a x='1' X='2'/>"), "NSC \"Uniqueness of Attributes\" violated");
  // 2. Entity names are looked up without regard to case.
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ENTITY e 'x'>]><a>&E;</a>"), "[SD]S(a)T(x)E(a)[ED]");
  // 3. Digit is ASCII only, Extender U+00B7 only.
  EXPECT_EQ(ParseError("<a\u0661/>"), "\">\" expected!");
  EXPECT_EQ(ParseError("<a\xd9\xa1/>"), "\">\" expected!");
  EXPECT_EQ(ParseError("<a\xe3\x83\xbc/>"), "\">\" expected!");
  // 4. ATTLIST defaults are not applied and attribute types not used.
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ATTLIST a d CDATA 'def' t NMTOKEN #IMPLIED>]><a t=' x '/>"),
            "[SD]S(a t= x )E(a)[ED]");
  // 5. The external subset is read before the internal one, so its
  //    declarations win and it cannot use parameter entities declared
  //    in the internal subset.
  TTableParser t({{u"x.dtd", "<!ENTITY e 'external'>"}});
  EXPECT_EQ(t.Log("<!DOCTYPE a SYSTEM 'x.dtd' [<!ENTITY e 'internal'>]><a>&e;</a>"), "[SD]S(a)T(external)E(a)[ED]");
  // 6. A UTF-8 byte-order mark is not recognised.
  EXPECT_EQ(ParseError("\xef\xbb\xbf<a/>"), "\"<\" expected!");
  // 7. Characters outside the Basic Multilingual Plane cannot be read.
  EXPECT_EQ(ParseError("<a>&#x10000;</a>"), "UCS-4 not implemented!");
  // 8. A document starting with "<?xml" followed by anything is a declaration.
  EXPECT_EQ(ParseError("<?xml-stylesheet href='s'?><a/>"), "WhiteSpaceEpected");
  EXPECT_EQ(ParseError("<?xml version='1.0'?><?xml-stylesheet href='s'?><a/>"), "");
  // 9. White space before encoding and standalone is optional; the version
  //    is not compared with 1.0; a text declaration needs no encoding.
  EXPECT_EQ(ParseError("<?xml version='9.9'encoding='UTF-8'standalone='no'?><a/>"), "");
  // 10. Parameter-entity references are expanded wherever white space may
  //     stand, in the internal subset too.
  EXPECT_EQ(ParseError("<!DOCTYPE a [<!ENTITY % t 'ANY'><!ELEMENT a %t;>]><a/>"), "");
  // 11. An external subset or parameter entity ends silently where its
  //     declarations end: conditional sections are not read.
  EXPECT_EQ(
      TTableParser({{u"c.dtd", "<![IGNORE[ junk ]]><!ENTITY e 'never'>"}}).Log("<!DOCTYPE a SYSTEM 'c.dtd'><a>&e;</a>"),
      "[SD]S(a)!Entity e not declared");
  // 12. "&" that starts no character reference stays in an entity value;
  //     recursion is found only when an entity is referenced.
  EXPECT_EQ(ParseError("<!DOCTYPE a [<!ENTITY e 'a & b'><!ENTITY r '&r;'>]><a/>"), "");
  // 13. A reference to an unparsed entity in content has no effect.
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!NOTATION n SYSTEM 'n'><!ENTITY u SYSTEM 'u' NDATA n>]><a>&u;</a>"),
            "[SD]S(a)E(a)[ED]");
  // 14. Only entities whose text holds no markup may be used in attributes.
  EXPECT_EQ(ParseError("<!DOCTYPE a [<!ENTITY n '1'><!ENTITY e '&n;'>]><a x='&e;'/>"),
            "External entities not allowed in attributes");
  // 15. Names in declarations and PI targets may hold colons; a QName may
  //     begin with ":"; the reserved prefixes are not checked.
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ENTITY a:b 'x'>]><?p:i?><:a xmlns:xml='urn:other'/>"),
            "[SD]P(p:i|)S(:a xmlns:xml{#}=urn:other)E(:a)[ED]");
  // 16. The standalone declaration is recorded only.
  EXPECT_EQ(TTableParser({{u"s.dtd", "<!ENTITY e 'ext'>"}})
                .Log("<?xml version='1.0' standalone='yes'?><!DOCTYPE a SYSTEM 's.dtd'><a>&e;</a>"),
            "[SD]S(a)T(ext)E(a)[ED]");
  // 17. In content, a text entity is read again as input, so a character
  //     reference to CR in it arrives as LF.
  EXPECT_EQ(ParseLog("<!DOCTYPE a [<!ENTITY e 'a&#13;b'>]><a>&e;</a>"), "[SD]S(a)T(a\nb)E(a)[ED]");
}
