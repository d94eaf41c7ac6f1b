// The parser reads names, references and end tags straight from its decoded
// chunk when they lie whole in it, and unit by unit when they straddle the
// chunk's end. Both ways must give the same events, the same messages and
// the same error positions, wherever the chunk happens to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "XmlTestUtil.h"

using namespace tessel;
using namespace tessel::xmltest;

namespace {

const std::string kProlog = "<!DOCTYPE r [<!ENTITY ent 'entity text'>]>";
const std::string kRootStart = "<r xmlns:a='urn:a' xmlns='urn:d'>";

// Filler text of n units, with a line end of the given style every 37 units.
std::string Filler(size_t n, const std::string& lineEnd) {
  std::string s;
  while (s.size() < n) s += s.size() % 37 == 36 ? lineEnd : "x";
  s.resize(n);
  return s;
}

std::string Document(size_t fill, const std::string& lineEnd, const std::string& body) {
  return kProlog + kRootStart + "<f>" + Filler(fill, lineEnd) + "</f>" + body + "</r>";
}

// " @line:column" (1-based) of the unit at offset, counting CR LF, CR and
// LF as one line end each.
std::string Position(const std::string& text, size_t offset) {
  int line = 1;
  size_t start = 0;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) ++line;
    if (text[i] == '\r' || text[i] == '\n') start = i + 1;
  }
  return " @" + std::to_string(line) + ":" + std::to_string(offset - start + 1);
}

std::string Normalized(std::string s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      out += '\n';
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Filler sizes that move the chunk's end across the span units after the
// filler.
std::vector<size_t> FillSizesAroundChunkEnd(size_t span) {
  const size_t chunk = TEntity::kChunkUnits;
  size_t before = kProlog.size() + kRootStart.size() + 3;
  std::vector<size_t> sizes;
  for (size_t end = 0; end < span + 8; ++end) sizes.push_back(chunk - before - 4 - 1 + end);
  return sizes;
}

}  // namespace

// The events after the filler element, and whether the filler came as one
// Characters event holding it with its line ends made LF.
std::string EventsAfterFiller(const std::string& text, size_t fill, const std::string& lineEnd, bool& fillerWhole) {
  std::string log = ParseLog(text);
  std::string filler = "S(f{urn:d})T(" + Normalized(Filler(fill, lineEnd)) + ")E(f)";
  size_t at = log.find(filler);
  fillerWhole = at != std::string::npos;
  return fillerWhole ? log.substr(at + filler.size()) : log.substr(0, 200);
}

TEST(XmlChunkEdges, events_do_not_depend_on_where_the_chunk_ends) {
  const std::string bodies[] = {
      "<a:b x='1' a:y='v'>t</a:b>", "<longer-name.with-dots>t</longer-name.with-dots >",
      "<c>&amp;&lt;&gt;&apos;&quot;&#65;&#x42;&#0000067;&#x0044;&#1234567;</c>", "<e>a&ent;b&ent;</e>",
      "<g a:z='&amp;&#x41;&ent;'/>", "<h:i xmlns:h='urn:h'><h:j/></h:i>",
      // Start tags: white space of every kind, quotes of both kinds, a
      // binding after the name it binds, values read unit by unit.
      "<k  a = 'x'\tb=\"y\"\r\n c='z'  /><k\n/>", "<m:k m:a='1' xmlns:m='urn:m' B='2' a='3'>t</m:k>",
      "<k a='&lt;' b='p\tq' c='r\r\ns' d=\"'\">t</k >"};
  for (const std::string& body : bodies) {
    for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
      // A short filler: everything lies whole in the first chunk.
      bool whole = false;
      std::string expected = EventsAfterFiller(Document(5, lineEnd, body), 5, lineEnd, whole);
      ASSERT_TRUE(whole);
      for (size_t fill : FillSizesAroundChunkEnd(body.size())) {
        std::string events = EventsAfterFiller(Document(fill, lineEnd, body), fill, lineEnd, whole);
        ASSERT_TRUE(whole) << body << " with " << fill << " filler units";
        ASSERT_EQ(events, expected) << body << " with " << fill << " filler units";
      }
    }
  }
}

TEST(XmlChunkEdges, errors_and_their_positions_do_not_depend_on_where_the_chunk_ends) {
  // Body, message, and the text after which the error is reported.
  const struct {
    std::string Body;
    const char* Message;
    std::string ReportedAfter;
  } cases[] = {{"<h></hh>", "WFC \"Element Type Match\" violated", "</hh"},
               {"<h></h:h>", "WFC \"Element Type Match\" violated", "</h:h"},
               {"<a:h></a:hh>", "WFC \"Element Type Match\" violated", "</a:hh"},
               {"<h>&#x110000;</h>", "UCS-4 not implemented!", "&#x110000;"},
               {"<h>&#1;</h>", "Invalid character (#x0001) in input", "&#1;"},
               {"<h>&#;</h>", "'' is not a valid integer value", "&#;"},
               {"<h>&#65x</h>", "\";\" expected at the end of a reference!", "&#65x"},
               {"<h>&nope;</h>", "Entity nope not declared", "&nope;"},
               {"<h>&am p;</h>", "\";\" expected!", "&am "},
               {"<h>&1;</h>", "Name expected", "&1"},
               {"<h>&a:b.c-1_::d0;</h>", "Entity a:b.c-1_::d0 not declared", "&a:b.c-1_::d0;"},
               {"<h>&a.b\t;</h>", "\";\" expected!", "&a.b\t"},
               {"<b:h/>", "NSC: \"Prefix Declared\" violated", "<b:h"},
               {"<h x='1' x='2'/>", "NSC \"Uniqueness of Attributes\" violated", "x='2'"},
               {"<h x='1' X='2'/>", "NSC \"Uniqueness of Attributes\" violated", "X='2'"},
               {"<h a='1'b='2'/>", "\">\" expected!", "<h a='1'b"},
               {"<h a='1' b/>", "\"=\" expected!", "<h a='1' b/"},
               {"<h a=1/>", "' or \" expected", "<h a=1"},
               {"<h a='<'/>", "WFC \"No < in Attribute Values\" violated", "<h a='<"},
               {"<h a:b:c='1'/>", "\"=\" expected!", "<h a:b:"},
               {"<h a='1' / >", "\">\" expected!", "<h a='1' /"},
               {"<h:/>", "QName expected", "<h:/"}};
  for (const auto& c : cases) {
    for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
      for (size_t fill : FillSizesAroundChunkEnd(c.Body.size())) {
        std::string text = Document(fill, lineEnd, c.Body);
        size_t offset = text.find(c.ReportedAfter, text.size() - c.Body.size() - 4) + c.ReportedAfter.size();
        ASSERT_EQ(ParseErrorAt(Bytes(text)), c.Message + Position(text, offset))
            << c.Body << " with " << fill << " filler units, " << static_cast<int>(lineEnd[0]);
      }
    }
  }
}

namespace {

// A stream that is not held in memory and hands out at most 1,000 bytes a
// read, as a pipe may.
class TTrickleStream : public TStream {
public:
  explicit TTrickleStream(std::string bytes) : Bytes_(std::move(bytes)) {}
  int32_t Read(void* buffer, int32_t count) override {
    size_t n = std::min({static_cast<size_t>(count), size_t{1000}, Bytes_.size() - Pos_});
    std::memcpy(buffer, Bytes_.data() + Pos_, n);
    Pos_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int32_t Seek(int32_t offset, int origin) override {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? static_cast<int64_t>(Pos_) : Size();
    Pos_ = static_cast<size_t>(std::clamp<int64_t>(base + offset, 0, Size()));
    return static_cast<int32_t>(Pos_);
  }

private:
  int64_t Size() const { return static_cast<int64_t>(Bytes_.size()); }
  std::string Bytes_;
  size_t Pos_ = 0;
};

// The events of parsing stream, then "!", the error message and its place.
std::string LogOf(std::unique_ptr<TStream> stream) {
  TQXMLParser p;
  TRecorder r;
  r.Attach(p);
  try {
    p.Parse(std::move(stream));
  } catch (const EXMLParseError& e) {
    return r.Log + "!" + e.Message() + " at " + std::to_string(e.Line) + ":" + std::to_string(e.Column);
  }
  return r.Log;
}

}  // namespace

TEST(XmlChunkEdges, streamed_input_reads_like_memory_wherever_its_window_ends) {
  // A stream not in memory is read through a window of bytes. Characters of
  // one to three bytes cross its ends at every offset; a run without ASCII
  // is longer than the window; faults (an undecodable byte, a cut sequence,
  // a four-byte sequence, whose surrogates XML text refuses, a wrong end
  // tag) lie beyond the first window. Events, messages and positions are
  // those of the same bytes read from memory.
  std::string mixed, euros;
  for (int i = 0; i < 25000; ++i) mixed += "a\xc3\xa9\xe2\x82\xac";
  for (int i = 0; i < 30000; ++i) euros += "\xe2\x82\xac";
  const std::string tails[] = {
      mixed + "</a>", euros + "</a>", mixed + "\xff</a>", euros + "\xe2\x82</a>", mixed + "\xf0\x9f\x98\x80</a>",
      mixed + "</b>"};
  for (size_t shift = 0; shift < 12; ++shift) {
    for (const std::string& tail : tails) {
      std::string text = "<?xml version='1.0'?><a>" + std::string(TEntity::kWindowBytes - 40 + shift, 'x') + tail;
      std::string expected = LogOf(Bytes(text));
      ASSERT_EQ(LogOf(std::make_unique<TTrickleStream>(text)), expected)
          << "shift " << shift << ", tail of " << tail.size() << " bytes";
      ASSERT_EQ(expected.ends_with("E(a)[ED]"), &tail < &tails[2])
          << expected.substr(expected.size() - std::min<size_t>(expected.size(), 300));
    }
  }
}

TEST(XmlChunkEdges, line_numbers_count_every_line_end_of_long_input) {
  // Many line ends in one chunk and over several chunks, in each style and
  // mixed, with an error after them.
  for (const char* lineEnd : {"\n", "\r\n", "\r", "\r\n\n\r"}) {
    for (size_t lines : {size_t{10}, size_t{40000}, size_t{200000}}) {
      std::string text = "<r>";
      for (size_t i = 0; i < lines; ++i) text += (i % 3 == 0 ? "ab" : "") + std::string(lineEnd);
      text += "abc</q>";
      EXPECT_EQ(ParseErrorAt(Bytes(text)), "WFC \"Element Type Match\" violated" + Position(text, text.size() - 1))
          << lines << " lines";
    }
  }
}

TEST(XmlChunkEdges, pooled_attributes_do_not_leak_between_elements) {
  // Parent and child read their attributes into the same storage; each
  // element reports only its own, with its own namespace.
  std::string log = ParseLog(
      "<r xmlns:p='urn:p' p:a='1' b='2' c='3'><s b='x'><t xmlns:p='urn:q' p:a='y'/></s><u/><v p:a='z' "
      "c=''/></r>");
  EXPECT_EQ(log,
            "[SD]S(r p:a{urn:p}=1 b=2 c=3 xmlns:p{#}=urn:p)S(s b=x)S(t p:a{urn:q}=y xmlns:p{#}=urn:q)E(t)E(s)"
            "S(u)E(u)S(v p:a{urn:p}=z c=)E(v)E(r)[ED]");
}

TEST(XmlRepeats, entity_texts_and_prefixes_are_looked_up_afresh_when_they_change) {
  const struct {
    std::string Input;
    std::string Log;
  } cases[] = {
      // The same name in any case is the same entity.
      {"<!DOCTYPE r [<!ENTITY e 'one'>]><r>&e;&E;&e;</r>", "[SD]S(r)T(one)T(one)T(one)E(r)[ED]"},
      // A CR and "]]>" in an entity's text are read like the document's own.
      {"<!DOCTYPE r [<!ENTITY e 'a&#13;&#10;b'>]><r>&e;&e;</r>", "[SD]S(r)T(a\nb)T(a\nb)E(r)[ED]"},
      {"<!DOCTYPE r [<!ENTITY e ']]&#62;'>]><r>&e;</r>", "[SD]S(r)!]]> is not allowed in this position"},
      {"<!DOCTYPE r [<!ENTITY e ']'>]><r>&e;]&e;</r>", "[SD]S(r)T(]])T(])E(r)[ED]"},
      // A prefix bound again inside an element, and again after it ended.
      {"<p:r xmlns:p='urn:1'><p:s xmlns:p='urn:2'><p:t/></p:s><p:u/></p:r>",
       "[SD]S(p:r{urn:1} xmlns:p{#}=urn:1)S(p:s{urn:2} xmlns:p{#}=urn:2)S(p:t{urn:2})E(p:t)E(p:s)S(p:u{urn:1})E(p:u)"
       "E(p:r)[ED]"},
      // Values read into the same place one after another, longer, shorter,
      // empty, with a reference and with a TAB that becomes a blank.
      {"<r a='long value'><s a='x'/><s a=''/><s a='x&#9;y'/><s a=\"p\tq\"/><s a='long value'/></r>",
       "[SD]S(r a=long value)S(s a=x)E(s)S(s a=)E(s)S(s a=x\ty)E(s)S(s a=p q)E(s)S(s a=long value)E(s)E(r)[ED]"},
      // An empty binding undeclares the prefix for the element's content only.
      {"<p:r xmlns:p='urn:1'><s xmlns:p=''><p:t/></s></p:r>",
       "[SD]S(p:r{urn:1} xmlns:p{#}=urn:1)S(s xmlns:p{#}=)!NSC: \"Prefix Declared\" violated"}};
  for (const auto& c : cases) EXPECT_EQ(ParseLog(c.Input), c.Log) << c.Input;

  // One parser, two documents that give the same entity name different texts.
  TQXMLParser parser;
  EXPECT_EQ(ParseLog("<!DOCTYPE r [<!ENTITY e 'one'>]><r>&e;</r>", true, &parser), "[SD]S(r)T(one)E(r)[ED]");
  EXPECT_EQ(ParseLog("<!DOCTYPE r [<!ENTITY e 'two'>]><r>&e;</r>", true, &parser), "[SD]S(r)T(two)E(r)[ED]");
  EXPECT_EQ(ParseLog("<r>&e;</r>", true, &parser), "[SD]S(r)!Entity e not declared");
}
