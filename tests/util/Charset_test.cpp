#include "util/Charsets.h"

#include <gtest/gtest.h>

#include <string>

#include "util/MemoryStream.h"

using namespace tessel;

namespace {

// Reads bytes with a fresh reader of charset until Eof.
std::u16string ReadAll(const std::string& charset, const std::string& bytes) {
  auto* stream = new TStringStream(bytes);
  std::unique_ptr<TCharReader> r = CreateCharReader(charset, stream);
  if (!r) {
    delete stream;
    ADD_FAILURE() << "no reader for " << charset;
    return u"";
  }
  std::u16string out;
  while (!r->Eof()) out.push_back(r->ReadChar());
  return out;
}

std::string WriteAll(const std::string& charset, const std::u16string& ws) {
  TStringStream stream;
  {
    std::unique_ptr<TCharWriter> w = CreateCharWriter(charset, &stream);
    w->OwnsStream = false;
    w->WriteString(ws);
    w->Flush();
  }
  return stream.DataString();
}

std::string ErrorOf(const std::string& charset, const std::string& bytes) {
  try {
    ReadAll(charset, bytes);
  } catch (const EIllegalChar& e) {
    return std::string("EIllegalChar:") + e.what();
  } catch (const Exception& e) {
    return std::string("Exception:") + e.what();
  }
  return "no error";
}

}  // namespace

TEST(CharsetRegistry, lookup_is_exact_after_lower_casing) {
  auto a = FindCharReader("ISO-8859-2");
  auto b = FindCharReader("iso-8859-2");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Name, "iso-8859-2");
  EXPECT_EQ(b->Name, "iso-8859-2");
  EXPECT_EQ(FindCharReader(" iso-8859-2"), nullptr);
  EXPECT_EQ(FindCharReader("iso-8859-2 "), nullptr);
  EXPECT_EQ(FindCharReader("latin2"), nullptr);
  EXPECT_EQ(FindCharReader("iso-8859-12"), nullptr);
  EXPECT_EQ(FindCharReader("ucs-4"), nullptr);
  EXPECT_EQ(FindCharReader("utf-16"), nullptr);
  EXPECT_EQ(FindCharReader("cp1250"), nullptr);
}

TEST(CharsetRegistry, codec_names) {
  EXPECT_EQ(FindCharReader("utf-8")->Name, "UTF-8");
  EXPECT_EQ(FindCharWriter("UTF-8")->Name, "UTF-8");
  EXPECT_EQ(FindCharReader("utf-7")->Name, "UTF-7");
  EXPECT_EQ(FindCharWriter("utf-7")->Name, "UTF-7");
  EXPECT_EQ(FindCharReader("widestring")->Name, "widestring");
  EXPECT_EQ(FindCharReader("UTF-16LE")->Name, "UTF-16LE");
  EXPECT_EQ(FindCharWriter("utf-16be")->Name, "UTF-16BE");
  EXPECT_EQ(FindCharReader("")->Name, "");
  EXPECT_EQ(FindCharWriter("Windows-1250")->Name, "windows-1250");
}

TEST(CharsetRegistry, unknown_writer_falls_back_to_latin2) {
  auto w = FindCharWriter("koi8-r");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Name, "iso-8859-2");
  EXPECT_EQ(WriteAll("koi8-r", u"\u0160\u00E9"), "\xA9\xE9");
  EXPECT_EQ(CreateCharReader("koi8-r", nullptr), nullptr);
}

TEST(CharsetEightBit, euro_position_and_unreadable_bytes) {
  EXPECT_EQ(ReadAll("iso-8859-15", "\xA4"), u"\u20AC");
  EXPECT_EQ(ReadAll("iso-8859-1", "\xA4"), u"\u00A4");
  EXPECT_EQ(ReadAll("iso-8859-7", "\xA4"), u"\u00A4");
  EXPECT_EQ(ReadAll("", "\xE9"), u"\u00E9");
  EXPECT_EQ(ReadAll("us-ascii", "\x80\xFF"), u"\u0080\u00FF");
  EXPECT_EQ(ErrorOf("iso-8859-2", std::string(1, '\0')), "EIllegalChar:");
  EXPECT_EQ(ErrorOf("windows-1250", "\x81"), "EIllegalChar:");
  EXPECT_EQ(WriteAll("iso-8859-1", u"\u20AC"), "");
  EXPECT_FALSE(FindCharWriter("iso-8859-1")->CanWrite(u'\u20AC'));
  EXPECT_EQ(WriteAll("windows-1250", u"\u20AC"), "\x80");
  EXPECT_TRUE(FindCharWriter("windows-1250")->CanWrite(u'\u20AC'));
}

TEST(CharsetUtf8, basic_sequences) {
  EXPECT_EQ(ReadAll("utf-8", "\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(ErrorOf("utf-8", "\xC0\x80"), "EIllegalChar:Illegal character");
  EXPECT_EQ(ErrorOf("utf-8", "\x80"), "EIllegalChar:Illegar UTF-8 character beginning with #x80");
  EXPECT_EQ(ReadAll("utf-8", "\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(WideToUtf8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(Utf8ToWide("\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(Utf8ToWide(std::string("ab\0\xC3\xA9", 5)), u"ab");
  EXPECT_EQ(WriteAll("widestring", u"A"), std::string("A\0", 2));
}
