// The S/MIME parse options: a program that sets nothing up opens S/MIME
// messages through the one way in, and plain MIME options in the same
// process leave those parts plain.
#include <thread>

#include "SmimeTestSupport.h"
#include "mime/MessageFile.h"

using namespace tessel;
using namespace smimetest;

namespace {

const std::string kFrom = "From: Alice Signer <Alice@Example.com>\r\n";

}  // namespace

TEST(SmimeParseOptions, messages_open_with_smime_classes_without_any_setup) {
  TStoreSandbox stores;
  std::string message = Pkcs7Mime(SignOpaque(PkiContent()), "signed-data", kFrom);
  fs::path file = stores.Root() / "signed.eml";
  WriteFile(file, message);
  std::unique_ptr<TMessage> m = OpenMessageFile(file.string(), SmimeParseOptions(), TFileAccess::Map);
  ASSERT_NE(dynamic_cast<TSmimeBodyPart*>(m->Roots(0)), nullptr);
  EXPECT_EQ(m->RootCount(), 2);  // the signed layer is peeled
  ASSERT_NE(SecurityInfoOf(*m), nullptr);
  EXPECT_TRUE(SecurityInfoOf(*m)->SignatureValid);

  // Plain options afterwards in the same process: nothing was left behind.
  std::unique_ptr<TMessage> plain = OpenMessageBytes(message, MimeParseOptions());
  EXPECT_EQ(dynamic_cast<TSmimeBodyPart*>(plain->Roots(0)), nullptr);
  EXPECT_EQ(plain->RootCount(), 1);
  EXPECT_EQ(plain->SecurityInfo, nullptr);

  // An embedded message and a layer inside a layer parse with the options
  // of the message that holds them.
  std::unique_ptr<TMessage> outer =
      OpenMessageBytes("Content-Type: message/rfc822\r\n\r\n" + message, SmimeParseOptions());
  EXPECT_NE(dynamic_cast<TSmimeBodyPart*>(outer->RootPart->InnerRoot()), nullptr);
  std::unique_ptr<TMessage> twice =
      OpenMessageBytes(Pkcs7Mime(SignOpaque(message), "signed-data", kFrom), SmimeParseOptions());
  EXPECT_EQ(twice->RootCount(), 3);
}

TEST(SmimeParseOptions, a_bare_signed_object_opens_as_one_smime_part) {
  TStoreSandbox stores;
  std::string der = SignOpaque(PkiContent());
  std::unique_ptr<TMessage> m = OpenMessageBytes(der, SmimeParseOptions());
  auto* part = dynamic_cast<TSmimeBodyPart*>(m->Roots(0));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->Kind, TSmimeBodyPart::skSigned);
  EXPECT_EQ(m->RootCount(), 2);
}

TEST(SmimeParseOptions, every_thread_gets_the_same_complete_options) {
  const TParseOptions* seen[4] = {};
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &SmimeParseOptions(); });
  for (auto& t : threads) t.join();
  for (const TParseOptions* options : seen) {
    EXPECT_EQ(options, &SmimeParseOptions());
    EXPECT_NE(options->FindPartClass("multipart/signed"), nullptr);
    EXPECT_NE(options->FindPartClass("application/x-pkcs7-mime"), nullptr);
    EXPECT_NE(options->FindPartClass("message/rfc822"), nullptr);
    EXPECT_NE(options->Hooks.BuildSummary, nullptr);
  }
  EXPECT_EQ(MimeParseOptions().FindPartClass("multipart/signed"), nullptr);
}
