// The details side of the document window on real parts: which pages show,
// what the memos and the summary hold, the size guard and its buttons, the
// S/MIME rows and their certificate button, and the save and execute
// commands with their dialogs answered by the test.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <filesystem>
#include <map>

#include "WindowTestSupport.h"
#include "controls/PropExplorer.h"
#include "smime/cms/Certificate.h"
#include "smime/stores/CertificateStore.h"
#include "smime/parts/SecuritySummary.h"
#include "util/system/ContentTypes.h"
#include "ui/window/PartDetails.h"

namespace {

using namespace wintest;
using namespace smimetest;
namespace fs = std::filesystem;

// Content types and programs as a test sets them; starts nothing.
class TRecordingDatabase : public TContentTypeDatabase {
public:
  std::map<std::string, std::string> Extensions;  // content type -> ".ext"
  std::map<std::string, std::string> Commands;    // ".ext" -> command line
  std::vector<std::vector<std::string>> Started;
  std::vector<std::string> Opened;

  std::string ContentTypeExtension(const std::string& type) override { return Get(Extensions, type); }
  std::string ExtensionFileType(const std::string& ext) override { return Commands.count(ext) ? ext : ""; }
  std::string FileTypeDefaultVerb(const std::string&) override { return ""; }
  std::string VerbCommand(const std::string& type, const std::string& verb) override {
    return verb == "open" ? Get(Commands, type) : "";
  }
  bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
    Started.push_back({program});
    Started.back().insert(Started.back().end(), args.begin(), args.end());
    return true;
  }
  void OpenWithDefaultHandler(const std::string& name) override { Opened.push_back(name); }

private:
  static std::string Get(const std::map<std::string, std::string>& m, const std::string& k) {
    auto it = m.find(k);
    return it == m.end() ? "" : it->second;
  }
};

std::string Attachment(const std::string& type, const std::string& name, const std::string& body,
                       const std::string& encoding = "base64") {
  return "Content-Type: " + type + "\r\nContent-Transfer-Encoding: " + encoding +
         "\r\nContent-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n" + body;
}

std::string Bytes(size_t count) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s += static_cast<char>((i * 37 + 11) & 0xFF);
  return s;
}

bool Visible(TDocWindow& doc, int page) { return doc.ContentPages()->isTabVisible(page); }

std::string Names(TPEItem& parent) {
  std::string out;
  for (int32_t i = 0; i < parent.Count(); ++i) out += (i ? "," : "") + parent.Child(i)->Name;
  return out;
}

// The children as "name=value" joined by "|".
std::string Rows(TPEItem& parent) {
  std::string out;
  for (int32_t i = 0; i < parent.Count(); ++i)
    out += (i ? "|" : "") + parent.Child(i)->Name + "=" + parent.Child(i)->Value();
  return out;
}

TPEItem* Row(TPEItem& parent, const std::string& name) {
  for (int32_t i = 0; i < parent.Count(); ++i)
    if (parent.Child(i)->Name == name) return parent.Child(i);
  return nullptr;
}

class PartDetails : public ::testing::Test {
protected:
  void SetUp() override {
    Dialogs = std::make_shared<TAnsweringDialogs>();
    Previous = SetContentTypeDatabase(std::unique_ptr<TRecordingDatabase>(Db = new TRecordingDatabase));
  }
  void TearDown() override { SetContentTypeDatabase(std::move(Previous)); }
  std::unique_ptr<TDocWindow> OpenParts(const std::vector<std::string>& parts) {
    auto doc = Open(Message(Multipart("mixed", parts)));
    doc->Details().SetDialogs(Dialogs);
    return doc;
  }
  TBodyPart* Child(TDocWindow& doc, int i) { return doc.Message()->Roots(0)->Children(i); }

  std::shared_ptr<TAnsweringDialogs> Dialogs;
  TRecordingDatabase* Db = nullptr;
  std::unique_ptr<TContentTypeDatabase> Previous;
  TTempDir Temp{"tessel-part-details"};
  fs::path Folder = Temp.Path();
};

TEST_F(PartDetails, pages_and_memo_text_per_encoding_and_content) {
  const std::string image = Base64(Bytes(50000));
  auto doc = OpenParts({Attachment("image/png", "a.png", image),
                        Leaf("text/plain", "caf=C3=A9 =3D ok\r\n", "Content-Transfer-Encoding: quoted-printable\r\n"),
                        Leaf("text/plain", "seven\r\n", "Content-Transfer-Encoding: 7bit\r\n"),
                        Leaf("text/plain", "raw text\r\n", "Content-Transfer-Encoding: binary\r\n"),
                        Leaf("text/plain", "bin\x01\r\n", "Content-Transfer-Encoding: Binary\r\n"),
                        Leaf("text/plain", "QUJD=AAA\r\n", "Content-Transfer-Encoding: base64\r\n"),
                        Leaf("text/plain", std::string("before\0after\xE9\r\n", 14))});
  TErrorRecorder errors;
  struct Case {
    int Part;
    bool Decoded;
    int Front;
  } cases[] = {
      {0, false, kRawPage},     // image bytes are no text
      {1, true, kDecodedPage},  // quoted-printable text
      {2, false, kRawPage},     // 7bit: nothing to decode
      {3, true, kDecodedPage},  // binary is decoded and scanned like any other
      {4, false, kRawPage},     // ... and a control byte hides it
      {5, true, kDecodedPage},  // a fault is shown in the page itself
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Part);
    doc->ShowPartDetails(Child(*doc, c.Part));
    EXPECT_EQ(Visible(*doc, kDecodedPage), c.Decoded);
    EXPECT_FALSE(Visible(*doc, kSmimePage));
    EXPECT_EQ(doc->ContentPages()->currentIndex(), c.Front);
    EXPECT_EQ(doc->HasDecodedContent(), c.Decoded);
    EXPECT_FALSE(doc->Details().RawButton()->isVisible());
  }
  doc->ShowPartDetails(Child(*doc, 0));
  EXPECT_TRUE(doc->RawMemo()->toPlainText().startsWith(QString::fromStdString(image.substr(0, 76))));
  doc->ShowPartDetails(Child(*doc, 1));
  EXPECT_EQ(doc->DecodedMemo()->toPlainText(), QString::fromUtf8("caf\xC3\xA9 = ok\n"));
  doc->ShowPartDetails(Child(*doc, 5));
  const QString fault = doc->DecodedMemo()->toPlainText();
  EXPECT_TRUE(fault.startsWith("The content cannot be decoded: ") && fault.contains("Invalid input"))
      << fault.toStdString();
  EXPECT_TRUE(doc->RawMemo()->toPlainText().startsWith("QUJD=AAA\n"));
  EXPECT_TRUE(errors.Texts.isEmpty()) << errors.Texts.join("|").toStdString();
  // Memo text is UTF-8 when valid, else Latin-1, and keeps a NUL.
  EXPECT_EQ(MemoText("a\r\nb\xC3\xA9"), QString::fromUtf8("a\nb\xC3\xA9"));
  doc->ShowPartDetails(Child(*doc, 6));
  const QString raw = doc->RawMemo()->toPlainText();
  EXPECT_TRUE(raw.contains("after") && raw.contains(QChar(0xE9))) << raw.toStdString();
}

TEST_F(PartDetails, guarded_part_shows_the_notice_until_asked) {
  const std::string text = std::string(200000, 'x') + "\r\n";
  auto doc = OpenParts({Leaf("text/plain", text, "Content-Transfer-Encoding: quoted-printable\r\n"),
                        Leaf("application/octet-stream", std::string(120000, 'y'))});
  TBodyPart* big = Child(*doc, 0);
  doc->ShowPartDetails(big);
  const QString guard = QStringLiteral("Body size exceeds 100K\n  ");
  EXPECT_EQ(doc->RawMemo()->toPlainText(), guard);
  EXPECT_EQ(doc->DecodedMemo()->toPlainText(), guard);
  EXPECT_TRUE(Visible(*doc, kDecodedPage));  // offered without the scan
  QPushButton* raw = doc->Details().RawButton();
  QPushButton* decoded = doc->Details().DecodedButton();
  EXPECT_EQ(raw->text(), "Display content");
  EXPECT_TRUE(raw->isVisibleTo(doc->RawMemo()));
  EXPECT_TRUE(decoded->isVisibleTo(doc->DecodedMemo()));
  // Below the first line of the notice, inside the box.
  EXPECT_GT(raw->y(), doc->RawMemo()->fontMetrics().lineSpacing());

  QTest::mouseClick(decoded, Qt::LeftButton);
  EXPECT_FALSE(raw->isVisibleTo(doc->RawMemo()));
  EXPECT_FALSE(decoded->isVisibleTo(doc->DecodedMemo()));
  EXPECT_EQ(doc->RawMemo()->toPlainText().size(), 200001);
  EXPECT_EQ(doc->DecodedMemo()->toPlainText().size(), 200001);
  EXPECT_EQ(doc->ContentPages()->currentIndex(), kDecodedPage);

  // Without a decoded page the guard still covers the raw one.
  doc->ShowPartDetails(Child(*doc, 1));
  EXPECT_EQ(doc->RawMemo()->toPlainText(), guard);
  EXPECT_FALSE(Visible(*doc, kDecodedPage));
  QTest::mouseClick(doc->Details().RawButton(), Qt::LeftButton);
  EXPECT_EQ(doc->RawMemo()->toPlainText().size(), 120000);
}

TEST_F(PartDetails, header_summary_keeps_repeated_lines_and_splits_parameters) {
  auto doc = Open(Message("Received: from a\r\nReceived: from b\r\n" +
                          Leaf("text/plain; charset=\"utf-8\"; format=flowed; name=\"a;b=c\"; odd", "x\r\n")));
  TPEItem& root = doc->HeaderInfo()->Root();
  EXPECT_EQ(Rows(root), "MIME-Version=1.0|Subject=test|Received=from a|Received=from b|Content-Type=text/plain");
  // Quotes protect both separators.
  EXPECT_EQ(Rows(*root.Child(4)), " charset=\"utf-8\"| format=flowed| name=\"a;b=c\"|= odd");
  EXPECT_TRUE(doc->HeaderMemo()->toPlainText().startsWith("MIME-Version: 1.0\nSubject: test\nReceived: from a\n"));
}

TEST_F(PartDetails, saving_writes_through_the_dialog_and_never_a_half_file) {
  const std::string pdf = Bytes(3000);
  auto doc = OpenParts({Attachment("application/pdf", "report.pdf", Base64(pdf)),
                        Attachment("application/octet-stream", "../../.bashrc", Base64("x")),
                        Attachment("application/pdf", "bad.pdf", "QUJD\r\n=AAA\r\nQUJD\r\n")});
  TBodyPart* report = Child(*doc, 0);
  doc->SetLocked(report, true);
  doc->ShowPartDetails(report);

  // Cancelled: nothing written.
  doc->Actions().SaveContent->trigger();
  ASSERT_EQ(Dialogs->Setups.size(), 1u);
  EXPECT_EQ(Dialogs->Setups[0].Title, "Save bodypart content");
  EXPECT_EQ(Dialogs->Setups[0].InitialName, "report.pdf");
  EXPECT_EQ(Dialogs->Setups[0].Filter, ".pdf (*.pdf);;All files (*)");
  EXPECT_TRUE(fs::is_empty(Folder));

  // Into a folder that does not exist yet.
  const fs::path target = Folder / "new" / "report.pdf";
  Dialogs->Answer = target.string();
  doc->Actions().SaveContent->trigger();
  EXPECT_EQ(ReadFileBytes(target), pdf);
  EXPECT_TRUE(Dialogs->Replacing.empty());

  // An existing file is kept unless the user agrees.
  WriteFile(target, "old");
  doc->Actions().SaveRaw->trigger();
  EXPECT_EQ(Dialogs->Replacing.size(), 1u);
  EXPECT_EQ(ReadFileBytes(target), "old");
  Dialogs->Replace = true;
  doc->Actions().SaveRaw->trigger();
  EXPECT_EQ(ReadFileBytes(target), Base64(pdf));
  doc->Actions().SaveWhole->trigger();
  EXPECT_EQ(Dialogs->Setups.back().InitialName, "*.eml");
  EXPECT_EQ(ReadFileBytes(target).substr(0, 39), "Content-Type: application/pdf\r\nContent-");

  // A decoding fault: reported, and the old file stays whole.
  WriteFile(target, "old");
  doc->SetLocked(Child(*doc, 2), true);
  doc->Actions().SaveContent->trigger();
  EXPECT_EQ(ReadFileBytes(target), "old");
  ASSERT_EQ(Dialogs->Failures.size(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), fs::directory_iterator()), 1);

  // A hostile name is proposed as a plain name.
  doc->SetLocked(Child(*doc, 1), true);
  doc->Actions().SaveContent->trigger();
  EXPECT_EQ(Dialogs->Setups.back().InitialName, "bashrc");
}

TEST_F(PartDetails, execute_names_the_program_and_asks_before_running_code) {
  Db->Extensions["application/pdf"] = ".pdf";
  Db->Commands[".pdf"] = "\"/usr/bin/pdfview\" \"%1\"";
  Db->Commands[".sh"] = "/usr/bin/editor %1";
  auto doc = OpenParts({Attachment("application/pdf", "report.pdf", Base64("%PDF")),
                        Attachment("application/octet-stream", "../../run me.sh", Base64("echo hi\n")),
                        Attachment("application/octet-stream", "a\x01/b\\..\\x.unknown", Base64("?")),
                        Leaf("text/plain", "not an attachment\r\n")});
  QAction* execute = doc->Actions().Execute;

  doc->SetLocked(Child(*doc, 0), true);
  doc->UpdateCommands();
  EXPECT_TRUE(execute->isVisible());
  EXPECT_EQ(execute->text(), "&Execute with pdfview...");
  execute->trigger();
  ASSERT_EQ(Db->Started.size(), 1u);
  EXPECT_EQ(Db->Started[0][0], "/usr/bin/pdfview");
  const std::string temp = Db->Started[0][1];
  EXPECT_EQ(fs::path(temp).extension(), ".pdf");
  EXPECT_EQ(fs::path(temp).parent_path().string() + "/", TTempFiles::TempDirectory());
  EXPECT_EQ(ReadFileBytes(temp), "%PDF");
  EXPECT_TRUE(Dialogs->Questions.empty());

  // A shell script: the desktop opens it by its extension, so the caption
  // names that program. Refused, nothing runs.
  doc->SetLocked(Child(*doc, 1), true);
  doc->UpdateCommands();
  EXPECT_EQ(execute->text(), "&Execute with editor...");
  Dialogs->Run = false;
  execute->trigger();
  ASSERT_EQ(Dialogs->Questions.size(), 1u);
  EXPECT_NE(Dialogs->Questions[0].find("\"run me.sh\" came from the message's sender"), std::string::npos);
  EXPECT_NE(Dialogs->Questions[0].find("editor"), std::string::npos);
  EXPECT_EQ(Db->Started.size() + Db->Opened.size(), 1u);
  Dialogs->Run = true;
  execute->trigger();
  ASSERT_EQ(Db->Opened.size(), 1u);
  EXPECT_EQ(fs::path(Db->Opened[0]).extension(), ".sh");

  // Unknown everywhere: the desktop's default handler, still in the temporary folder.
  doc->SetLocked(Child(*doc, 2), true);
  doc->UpdateCommands();
  EXPECT_EQ(execute->text(), "&Execute...");
  execute->trigger();
  ASSERT_EQ(Db->Opened.size(), 2u);
  EXPECT_EQ(fs::path(Db->Opened[1]).parent_path().string() + "/", TTempFiles::TempDirectory());
  EXPECT_EQ(fs::path(Db->Opened[1]).extension(), ".unknown");

  doc->SetLocked(Child(*doc, 3), true);
  doc->UpdateCommands();
  EXPECT_FALSE(execute->isVisible());
  EXPECT_FALSE(execute->isEnabled());

  // The temporary files go with the window.
  std::vector<std::string> made = doc->Details().TempFiles().Names();
  EXPECT_EQ(made.size(), 3u);
  doc.reset();
  for (const std::string& name : made) EXPECT_FALSE(fs::exists(name)) << name;
}

TEST_F(PartDetails, signature_part_shows_its_rows_once_built_and_opens_the_certificate) {
  const std::string content = Leaf("text/plain", "signed\r\n");
  const std::string signature = Openssl("cms -sign -binary -outform DER -signer alice.pem -inkey alice.key", content);
  auto doc = Open(MultipartSignedEntity(content, signature));
  doc->Details().SetDialogs(Dialogs);
  TBodyPart* root = doc->Message()->Roots(0);
  TBodyPart* sig = root->Children(1);
  doc->ShowPartDetails(sig);
  EXPECT_TRUE(Visible(*doc, kSmimePage));
  EXPECT_EQ(doc->ContentPages()->currentIndex(), kSmimePage);
  TPEItem& info = doc->SmimeInfo()->Root();
  EXPECT_EQ(Names(info), "Certificates,SignerInfos,ASN.1");
  EXPECT_EQ(info.Child(0)->Value(), " (1) ");
  TPEItem* certificate = Row(*info.Child(0), "Certificate");
  ASSERT_NE(certificate, nullptr);
  EXPECT_EQ(certificate->ButtonHint, "Display certificate...");
  EXPECT_EQ(Names(*certificate), "SerialNumber,Subject,Issuer");
  EXPECT_GT(info.Child(2)->Count(), 0);  // the ASN.1 tree

  // The execute item is never offered for the signature.
  doc->SetLocked(sig, true);
  doc->UpdateCommands();
  EXPECT_FALSE(doc->Actions().Execute->isVisible());
  doc->SetLocked(nullptr, true);

  // Built once: moving away and back does not parse the signature again.
  doc->ShowPartDetails(root->Children(0));
  EXPECT_FALSE(Visible(*doc, kSmimePage));
  const int builds = doc->Details().RowBuilds();
  doc->ShowPartDetails(sig);
  EXPECT_EQ(doc->Details().RowBuilds(), builds);
  EXPECT_EQ(Names(doc->SmimeInfo()->Root()), "Certificates,SignerInfos,ASN.1");

  std::string shown;
  SetCertificateDisplayHook([&](const TCertificate& c, const std::string&) {
    shown = JoinNameValues(c.SubjectParts(), ",", "=");
    return 0;
  });
  certificate = Row(*doc->SmimeInfo()->Root().Child(0), "Certificate");
  ASSERT_TRUE(certificate->OnButtonClick);
  certificate->OnButtonClick(*certificate);
  SetCertificateDisplayHook(nullptr);
  EXPECT_EQ(shown, JoinNameValues(TCertificate(Cert("alice")).SubjectParts(), ",", "="));
  EXPECT_NE(shown.find("alice"), std::string::npos) << shown;
}

TEST_F(PartDetails, opening_a_signed_message_remembers_its_signer_when_asked) {
  TStoreSandbox sandbox;
  auto book = [] { return TCertStore::Open("AddressBook")->Certificates(); };
  const std::string bytes = Pkcs7Mime(SignOpaque(PkiContent()), "signed-data", "From: alice@example.com\r\n");
  {
    auto doc = Open(bytes);  // a window of its own keeps the stores as they are
    EXPECT_TRUE(book().empty());
  }
  auto doc = std::make_unique<TDocWindow>();
  doc->SetRememberSigners(true);
  doc->LoadBytes(bytes);
  EXPECT_EQ(book(), std::vector<crypto::TCertHandle>{Cert("alice")});
}

}  // namespace
