#include "ui/SaveNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ui/PartPages.h"

namespace tessel {
namespace {

TEST(SaveNames, dialog_per_command) {
  struct Case {
    TSaveCommand Command;
    const char* FileName;
    const char* Registered;
    const char* Title;
    const char* Initial;
    const char* Filter;
  } cases[] = {
      {TSaveCommand::Content, "report.pdf", ".pdf", "Save bodypart content", "report.pdf",
       ".pdf (*.pdf);;All files (*)"},
      {TSaveCommand::Content, "report.pdf", "", "Save bodypart content", "report.pdf", ".pdf (*.pdf);;All files (*)"},
      {TSaveCommand::Content, "", ".png", "Save bodypart content", "*.png", ".png (*.png);;All files (*)"},
      {TSaveCommand::Content, "", "", "Save bodypart content", "*", "All files (*)"},
      {TSaveCommand::Content, "notes", ".txt", "Save bodypart content", "notes", ".txt (*.txt);;All files (*)"},
      {TSaveCommand::Content, "../../.bashrc", "", "Save bodypart content", "bashrc", "All files (*)"},
      {TSaveCommand::Content, "x.p(d);f", "", "Save bodypart content", "x.p(d);f", "All files (*)"},
      {TSaveCommand::RawContent, "report.pdf", ".pdf", "Save raw bodypart content", "", "All files (*)"},
      {TSaveCommand::WholePart, "report.pdf", ".pdf", "Save bodypart", "*.eml", "EML files (*.eml);;All files (*)"},
  };
  for (const auto& c : cases) {
    const TSaveDialogSetup dialog = SaveDialogSetup(c.Command, c.FileName, c.Registered);
    EXPECT_EQ(dialog.Title, c.Title) << c.FileName;
    EXPECT_EQ(dialog.InitialName, c.Initial) << c.FileName;
    EXPECT_EQ(dialog.Filter, c.Filter) << c.FileName;
  }
}

TEST(SaveNames, plain_file_name_from_hostile_names) {
  struct Case {
    std::string In, Out;
  } cases[] = {
      {"report.pdf", "report.pdf"},
      {"../../.bashrc", "bashrc"},
      {"a/b", "b"},
      {"C:\\Users\\x\\evil.exe", "evil.exe"},
      {"..", ""},
      {".", ""},
      {"dir/", ""},
      {"...hidden.txt", "hidden.txt"},
      {"a\r\nb\tc\x7f\x01.txt", "abc.txt"},
      {"\n.\n.profile", "profile"},
      {"caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
      {"caf\xe9.txt", "caf.txt"},
      {"x\xc2\x85y", "xy"},  // C1 control NEL
      {std::string("nul\0.txt", 8), "nul.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(PlainFileName(c.In), c.Out) << c.In;
}

TEST(SaveNames, long_names_keep_extension_and_characters) {
  const std::string longName = std::string(5000, 'a') + ".pdf";
  const std::string cut = PlainFileName(longName);
  EXPECT_EQ(cut.size(), kMaxPlainFileNameBytes);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".pdf");

  std::string wide;
  for (int i = 0; i < 2000; ++i) wide += "\xe2\x82\xac";  // three-byte characters
  const std::string wideCut = PlainFileName(wide + ".txt");
  EXPECT_LE(wideCut.size(), kMaxPlainFileNameBytes);
  EXPECT_TRUE(IsValidUtf8(wideCut));
  EXPECT_EQ(wideCut.substr(wideCut.size() - 4), ".txt");

  // An "extension" too long to keep is cut with the rest.
  const std::string noExt = PlainFileName("a." + std::string(5000, 'b'));
  EXPECT_EQ(noExt.size(), kMaxPlainFileNameBytes);
}

TEST(SaveNames, never_leaves_the_chosen_folder) {
  namespace fs = std::filesystem;
  const fs::path folder = "/chosen/folder";
  const std::string names[] = {"../../.bashrc",        "a/b",         "/etc/passwd", "..\\..\\x", "..", "...",
                               std::string(5000, '/'), "\x01\x02/..", "a/../../b"};
  for (const auto& name : names) {
    const std::string plain = PlainFileName(name);
    if (plain.empty()) continue;
    EXPECT_EQ(plain.find('/'), std::string::npos) << name;
    EXPECT_NE(plain[0], '.') << name;
    const fs::path target = (folder / plain).lexically_normal();
    EXPECT_EQ(target.parent_path(), folder) << name;
  }
}

TEST(SaveNames, execute_caption) {
  EXPECT_EQ(ExecuteCaption(""), "Execute...");
  EXPECT_EQ(ExecuteCaption("/usr/bin/okular "), "Execute with okular...");
  EXPECT_EQ(ExecuteCaption("\"C:\\Program Files\\Acro\\AcroRd32.exe\" "), "Execute with AcroRd32...");
}

TEST(SaveNames, parts_that_run_code) {
  struct Case {
    const char* Type;
    const char* Name;
    bool Runs;
  } cases[] = {
      {"application/pdf", "report.pdf", false},
      {"application/octet-stream", "invoice.pdf.exe", true},
      {"application/octet-stream", "INSTALL.MSI", true},
      {"text/plain", "run.sh", true},
      {"application/x-shellscript", "notes.txt", true},
      {"Application/X-Desktop; charset=utf-8", "", true},
      {"application/java-archive", "", true},
      {"application/octet-stream", "tool.jar", true},
      {"application/x-msdownload", "", true},
      {"image/png", "a/b/photo.png", false},
      {"image/png", "photo.desktop", true},
      {"text/plain", "exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(RunsCode(c.Type, c.Name), c.Runs) << c.Type << " " << c.Name;
  const std::string q = RunsCodeQuestion("../x.sh", "bash");
  EXPECT_NE(q.find("\"x.sh\""), std::string::npos);
  EXPECT_NE(q.find("sender"), std::string::npos);
  EXPECT_NE(q.find("bash"), std::string::npos);
}

}  // namespace
}  // namespace tessel
