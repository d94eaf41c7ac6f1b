#include "util/Charsets.h"

#include <gtest/gtest.h>

#include "util/MemoryStream.h"

using namespace tessel;

namespace {

std::u16string Read7(const std::string& bytes) {
  TStringStream stream(bytes);
  std::unique_ptr<TCharReader> r = CreateCharReader("utf-7", &stream);
  r->OwnsStream = false;
  std::u16string out;
  while (!r->Eof()) out.push_back(r->ReadChar());
  return out;
}

std::string Write7(const std::u16string& ws) {
  TStringStream stream;
  {
    std::unique_ptr<TCharWriter> w = CreateCharWriter("utf-7", &stream);
    w->OwnsStream = false;
    w->WriteString(ws);
  }
  return stream.DataString();
}

}  // namespace

TEST(Utf7Reader, rfc_examples) {
  EXPECT_EQ(Read7("A+ImIDkQ."), u"A\u2262\u0391.");
  EXPECT_EQ(Read7("Hi Mom -+Jjo--!"), u"Hi Mom -\u263A-!");
  EXPECT_EQ(Read7("+-"), u"+");
  EXPECT_EQ(Read7("+AGE-"), u"a");
  EXPECT_EQ(Read7("+AGEAYgBj"), u"abc");
  EXPECT_THROW(Read7("+x"), Exception);
}

TEST(Utf7Writer, rfc_examples) {
  EXPECT_EQ(Write7(u"A\u2262\u0391."), "A+ImIDkQ.");
  EXPECT_EQ(Write7(u"\u20ACa"), "+IKw-a");
  EXPECT_EQ(Write7(u"\u20AC."), "+IKw.");
  EXPECT_EQ(Write7(u"+"), "+-");
  EXPECT_EQ(Write7(u"\u263A"), "+Jjo-");
}
