// The SAX writer and the pretty printer, byte for byte, through character
// writers of several charsets.
#include <gtest/gtest.h>

#include <functional>

#include "XmlTestUtil.h"
#include "util/Charsets.h"
#include "util/MemoryStream.h"
#include "xml/Pretty.h"
#include "xml/SaxWriter.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

TQName Q(const char* name) {
  TQName q;
  MakeSimpleQName(W(name), q);
  return q;
}

// Runs body on a writer of class T over a fresh stream and returns the bytes
// written once the writer (and with it the character writer) is freed.
template <class T>
std::string Written(const std::string& charset, const std::function<void(T&)>& body) {
  TStringStream out;
  {
    std::unique_ptr<TCharWriter> cw = CreateCharWriter(charset, &out);
    cw->OwnsStream = false;
    T writer(std::move(cw));
    body(writer);
  }
  return out.DataString();
}

void Text(TSaxClient& w, const std::u16string& s) {
  TWStringBuf b(s);
  w.Characters(b);
}

// The key tree of the configuration file's worked example, shortened.
void WriteSettings(TPretty& w) {
  w.StartDocument();
  w.StartElement(Q("Key"), nullptr);
  w.StartElement(Q("View"), nullptr);
  w.StartElement(Q("AsPanels"), nullptr);
  TWStringBuf one(u"1");
  EXPECT_TRUE(w.WriteCData(one));
  w.EndElement(Q("AsPanels"));
  w.EndElement(Q("View"));
  w.StartElement(Q("window"), nullptr);
  const std::u16string names[] = {u"W", u"H", u"T", u"L", u"empty"};
  const std::u16string values[] = {u"640", u"480", u"10", u"20", u""};
  FireStartElement(w, Q("placement"), names, values, 5);
  w.EndElement(Q("placement"));
  w.StartElement(Q("mru"), nullptr);
  w.EndElement(Q("mru"));
  w.EndElement(Q("window"));
  w.EndElement(Q("Key"));
  w.EndDocument();
}

}  // namespace

TEST(xml_writer, plain_events_and_escaping) {
  std::string got = Written<TSaxWriter>("utf-8", [](TSaxWriter& w) {
    w.StartDocument();
    w.Comment(u"c <&> kept");
    TPI pi;
    MakePI(u"target", u"", pi);
    w.ProcessingInstruction(pi);
    MakePI(u"t2", u"some data", pi);
    w.ProcessingInstruction(pi);
    TAttrList attrs;
    attrs.Add(Q("b"), u"a\"b<c>&d\t\n\r");
    attrs.Add(Q("A"), u"1");
    w.StartElement(Q("p:root"), &attrs);
    Text(w, u"x\r\n<y> & \t\u00e9");
    w.WriteEscaped(u"]]>");
    w.WriteTextData(u"<&>");
    w.WriteStartTag(u"v");
    w.EndElement(Q("v"));
    w.EndElement(Q("p:root"));
    w.EndDocument();
  });
  EXPECT_EQ(got,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!--c <&> kept--><?target?><?t2 some data?>"
            "<p:root A=\"1\" b=\"a&quot;b&lt;c>&amp;d&#x9;&#xA;&#xD;\">"
            "x&#xD;\n&lt;y&gt; &amp; \t\xc3\xa9]]&gt;&lt;&amp;&gt;<v></v></p:root>");
}

TEST(xml_writer, declaration_names_the_writers_charset_and_can_be_left_out) {
  auto decl = [](TSaxWriter& w) { w.StartDocument(); };
  EXPECT_EQ(Written<TSaxWriter>("ISO-8859-2", decl),
            "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>");
  // An unknown charset falls back to ISO 8859-2, and the declaration says so.
  EXPECT_EQ(Written<TSaxWriter>("koi8-r", decl), "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>");
  EXPECT_EQ(Written<TPretty>("utf-8",
                             [](TPretty& w) {
                               w.WriteDeclaration = false;
                               w.StartDocument();
                               w.StartElement(Q("a"), nullptr);
                               w.EndElement(Q("a"));
                             }),
            "<a/>");
}

TEST(xml_writer, cdata_sections_and_refusal) {
  auto cdata = [](const std::u16string& s, bool* ok) {
    return [s, ok](TSaxWriter& w) {
      TWStringBuf b(s);
      *ok = w.WriteCData(b);
    };
  };
  bool ok = false;
  EXPECT_EQ(Written<TSaxWriter>("utf-8", cdata(u"x<y", &ok)), "<![CDATA[x<y]]>");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Written<TSaxWriter>("utf-8", cdata(u"plain text", &ok)), "plain text");
  EXPECT_EQ(Written<TSaxWriter>("utf-8", cdata(u"a\rb", &ok)), "<![CDATA[a\rb]]>");
  // "]]>" inside the text must not end the section early.
  EXPECT_EQ(Written<TSaxWriter>("utf-8", cdata(u"a]]>b&", &ok)), "<![CDATA[a]]]]><![CDATA[>b&]]>");
  // U+20AC has no byte in ISO 8859-2: nothing is written.
  EXPECT_EQ(Written<TSaxWriter>("iso-8859-2", cdata(u"5 \u20ac & more", &ok)), "");
  EXPECT_FALSE(ok);
}

TEST(xml_writer, cdata_with_brackets_reads_back_whole) {
  std::string doc = Written<TSaxWriter>("utf-8", [](TSaxWriter& w) {
    w.StartElement(Q("a"), nullptr);
    TWStringBuf b(u"]]>]]]>x<");
    w.WriteCData(b);
    w.EndElement(Q("a"));
  });
  EXPECT_EQ(ParseLog(doc), "[SD]S(a)T(]]>]]]>x<)E(a)[ED]");
}

TEST(xml_pretty, four_line_document) {
  std::string got = Written<TPretty>("utf-8", [](TPretty& w) {
    w.StartDocument();
    w.StartElement(Q("Key"), nullptr);
    w.StartElement(Q("View"), nullptr);
    Text(w, u"1");
    w.EndElement(Q("View"));
    w.EndElement(Q("Key"));
    w.EndDocument();
  });
  EXPECT_EQ(got, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Key>\r\n  <View>1</View>\r\n</Key>");
}

TEST(xml_pretty, settings_tree_utf8_both_empty_styles) {
  std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<Key>\r\n"
      "  <View>\r\n"
      "    <AsPanels>1</AsPanels>\r\n"
      "  </View>\r\n"
      "  <window>\r\n"
      "    <placement H=\"480\"\r\n"
      "               L=\"20\"\r\n"
      "               T=\"10\"\r\n"
      "               W=\"640\"/>\r\n"
      "    <mru/>\r\n"
      "  </window>\r\n"
      "</Key>";
  EXPECT_EQ(Written<TPretty>("utf-8", WriteSettings), expected);
  std::string friendly = expected;
  friendly.replace(friendly.find("\"640\"/>"), 7, "\"640\"></placement>");
  friendly.replace(friendly.find("<mru/>"), 6, "<mru></mru>");
  EXPECT_EQ(Written<TPretty>("utf-8",
                             [](TPretty& w) {
                               w.FriendlyEmpty = true;
                               WriteSettings(w);
                             }),
            friendly);
}

TEST(xml_pretty, comments_instructions_and_text_placement) {
  std::string got = Written<TPretty>("utf-8", [](TPretty& w) {
    w.StartDocument();
    w.Comment(u"info");
    w.StartElement(Q("Key"), nullptr);
    w.Comment(u"two\r\nlines");
    TPI pi;
    MakePI(u"pi", u"d", pi);
    w.ProcessingInstruction(pi);
    w.WriteStartTag(u"value");
    w.WriteTextData(u"a&b");
    w.EndElement(Q("value"));
    w.EndElement(Q("Key"));
    w.EndDocument();
  });
  EXPECT_EQ(got,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--info-->\r\n<Key>\r\n"
            "<!--two\r\nlines-->\r\n\r\n<?pi d?>\r\n  <value>a&amp;b</value>\r\n</Key>");
}

TEST(xml_pretty, iso_8859_2_bytes) {
  std::string got = Written<TPretty>("iso-8859-2", [](TPretty& w) {
    w.StartDocument();
    TAttrList attrs;
    attrs.Add(Q("miasto"), u"\u0141\u00f3d\u017a");
    w.StartElement(Q("k"), &attrs);
    TWStringBuf text(u"\u017c\u00f3\u0142w & \u20ac");
    // The euro sign has no byte here: the CDATA form is refused, the text
    // goes out escaped and the writer drops what it cannot represent.
    EXPECT_FALSE(w.WriteCData(text));
    w.Characters(text);
    w.EndElement(Q("k"));
    w.EndDocument();
  });
  EXPECT_EQ(got,
            "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<k miasto=\"\xa3\xf3" "d\xbc\">"
            "\xbf\xf3\xb3w &amp; </k>");
}

TEST(xml_pretty, utf7_bytes_with_closed_run) {
  std::string got = Written<TPretty>("utf-7", [](TPretty& w) {
    w.StartDocument();
    TAttrList attrs;
    attrs.Add(Q("t"), u"x&y");
    w.StartElement(Q("a"), &attrs);
    Text(w, u"caf\u00e9 <");
    w.EndElement(Q("a"));
    w.EndDocument();
  });
  EXPECT_EQ(got,
            "+ADwA?xml version+AD0AIg-1.0+ACIA encoding+AD0AIg-UTF-7+ACIA?+AD4A\r\n"
            "+ADwA-a t+AD0AIg-x+ACYA-amp+ADsA-y+ACIAPg-caf+AOkA +ACYA-lt+ADsAPA-/a+AD4A-");
}

TEST(xml_pretty, output_reads_back_to_the_same_events) {
  for (const char* charset : {"utf-8", "iso-8859-2", "utf-7"}) {
    std::string doc = Written<TPretty>(charset, WriteSettings);
    EXPECT_EQ(ParseLog(doc),
              "[SD]S(Key)T(\n  )S(View)T(\n    )S(AsPanels)T(1)E(AsPanels)T(\n  )E(View)T(\n  )"
              "S(window)T(\n    )S(placement H=480 L=20 T=10 W=640)E(placement)T(\n    )S(mru)E(mru)"
              "T(\n  )E(window)T(\n)E(Key)[ED]")
        << charset;
  }
}

TEST(xml_writer, writer_left_to_its_creator) {
  TStringStream out;
  std::unique_ptr<TCharWriter> cw = CreateCharWriter("utf-8", &out);
  cw->OwnsStream = false;
  TCharWriter* raw = cw.get();
  {
    TSaxWriter w(std::move(cw));
    w.OwnsWriter = false;
    w.WriteStartTag(u"x");
  }
  raw->WriteChar(u'!');  // still alive
  delete raw;
  EXPECT_EQ(out.DataString(), "<x>!");
}
