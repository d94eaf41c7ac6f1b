// The SAX writer and the pretty printer, byte for byte, through character
// writers of several charsets.
#include <gtest/gtest.h>

#include <functional>

#include "XmlTestUtil.h"
#include "util/charsets/Charsets.h"
#include "util/streams/MemoryStream.h"
#include "xml/Pretty.h"
#include "xml/SaxWriter.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

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

TEST(XmlWriter, plain_events_and_escaping) {
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

TEST(XmlWriter, declaration_names_the_writers_charset_and_can_be_left_out) {
  // An unknown charset falls back to ISO 8859-2, and the declaration says so.
  EXPECT_EQ(Written<TSaxWriter>("koi8-r", [](TSaxWriter& w) { w.StartDocument(); }),
            "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>");
  std::string bare = Written<TPretty>("utf-8", [](TPretty& w) {
    w.WriteDeclaration = false;
    w.StartDocument();
    w.StartElement(Q("a"), nullptr);
    w.EndElement(Q("a"));
  });
  EXPECT_EQ(bare, "<a/>");
}

TEST(XmlWriter, cdata_sections_and_refusal) {
  const struct {
    const char* Charset;
    std::u16string Text;
    std::string Bytes;
    bool Taken;
  } cases[] = {{"utf-8", u"x<y", "<![CDATA[x<y]]>", true},
               {"utf-8", u"plain text", "plain text", true},
               {"utf-8", u"a\rb", "<![CDATA[a\rb]]>", true},
               // "]]>" inside the text must not end the section early: the sections
               // read back as the text.
               {"utf-8", u"a]]>b&", "<![CDATA[a]]]]><![CDATA[>b&]]>", true},
               {"utf-8", u"]]>]]]>x<", "<![CDATA[]]]]><![CDATA[>]]]]]><![CDATA[>x<]]>", true},
               // U+20AC has no byte in ISO 8859-2: nothing is written.
               {"iso-8859-2", u"5 \u20ac & more", "", false}};
  for (const auto& c : cases) {
    bool ok = !c.Taken;
    EXPECT_EQ(Written<TSaxWriter>(c.Charset,
                                  [&](TSaxWriter& w) {
                                    TWStringBuf b(c.Text);
                                    ok = w.WriteCData(b);
                                  }),
              c.Bytes);
    EXPECT_EQ(ok, c.Taken) << c.Bytes;
    if (c.Taken && c.Text.find(u'\r') == std::u16string::npos) {  // a CR would read back as a line end
      EXPECT_EQ(ParseLog("<a>" + c.Bytes + "</a>"), "[SD]S(a)T(" + N(c.Text) + ")E(a)[ED]") << c.Bytes;
    }
  }
}

TEST(XmlPretty, settings_tree_utf8_both_empty_styles) {
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

TEST(XmlPretty, comments_instructions_and_text_placement) {
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

TEST(XmlPretty, bytes_in_iso_8859_2_and_utf7) {
  // Characters the charset lacks (the euro sign in ISO 8859-2) are dropped;
  // UTF-7 runs are closed.
  const struct {
    const char *Charset, *Element, *Attribute;
    std::u16string Value, Text;
    std::string Bytes;
  } cases[] = {{"iso-8859-2", "k", "miasto", u"\u0141\u00f3d\u017a", u"\u017c\u00f3\u0142w & \u20ac",
                "<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<k miasto=\"\xa3\xf3"
                "d\xbc\">\xbf\xf3\xb3w &amp; </k>"},
               {"utf-7", "a", "t", u"x&y", u"caf\u00e9 <",
                "+ADwA?xml version+AD0AIg-1.0+ACIA encoding+AD0AIg-UTF-7+ACIA?+AD4A\r\n"
                "+ADwA-a t+AD0AIg-x+ACYA-amp+ADsA-y+ACIAPg-caf+AOkA +ACYA-lt+ADsAPA-/a+AD4A-"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Written<TPretty>(c.Charset,
                               [&](TPretty& w) {
                                 w.StartDocument();
                                 TAttrList attrs;
                                 attrs.Add(Q(c.Attribute), c.Value);
                                 w.StartElement(Q(c.Element), &attrs);
                                 Text(w, c.Text);
                                 w.EndElement(Q(c.Element));
                                 w.EndDocument();
                               }),
              c.Bytes);
  }
}

TEST(XmlPretty, output_reads_back_to_the_same_events) {
  for (const char* charset : {"utf-8", "iso-8859-2", "utf-7"}) {
    std::string doc = Written<TPretty>(charset, WriteSettings);
    EXPECT_EQ(ParseLog(doc),
              "[SD]S(Key)T(\n  )S(View)T(\n    )S(AsPanels)T(1)E(AsPanels)T(\n  )E(View)T(\n  )"
              "S(window)T(\n    )S(placement H=480 L=20 T=10 W=640)E(placement)T(\n    )S(mru)E(mru)"
              "T(\n  )E(window)T(\n)E(Key)[ED]")
        << charset;
  }
}

TEST(XmlWriter, writer_left_to_its_creator) {
  TStringStream out;
  std::unique_ptr<TCharWriter> cw = CreateCharWriter("utf-8", &out);
  cw->OwnsStream = false;
  {
    TSaxWriter w(std::unique_ptr<TCharWriter>(cw.get()));
    w.OwnsWriter = false;
    w.WriteStartTag(u"x");
  }
  cw->WriteChar(u'!');  // still alive
  EXPECT_EQ(out.DataString(), "<x>!");
}
