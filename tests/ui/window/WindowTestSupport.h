// What the window tests share: messages built from parts, the S/MIME test
// PKI (tests/smime), a recorder for the error net, answers to the part
// dialogs, and document windows shown on the offscreen platform.
#pragma once

#include <QApplication>
#include <QStringList>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

// TESSEL_TEST_DATA is the S/MIME tests' folder here: the PKI helpers find
// their script beside it.
#include "smime/SmimeTestSupport.h"
#include "ui/window/ErrorNet.h"
#include "ui/window/MimeDocWindow.h"
#include "ui/window/PartDetails.h"

namespace wintest {

using namespace tessel;

inline std::string Leaf(const std::string& type, const std::string& body = "body\r\n",
                        const std::string& extraHeaders = "") {
  return "Content-Type: " + type + "\r\n" + extraHeaders + "\r\n" + body;
}

// A multipart entity of the given subtype holding entities; the boundary
// is derived from tag so that nested multiparts differ.
inline std::string Multipart(const std::string& subtype, const std::vector<std::string>& entities,
                             const std::string& tag = "b") {
  std::string boundary = "=_" + tag;
  std::string out = "Content-Type: multipart/" + subtype + "; boundary=\"" + boundary + "\"\r\n\r\n";
  for (const std::string& e : entities) out += "--" + boundary + "\r\n" + e + "\r\n";
  return out + "--" + boundary + "--\r\n";
}

inline std::string Message(const std::string& entity) { return "MIME-Version: 1.0\r\nSubject: test\r\n" + entity; }

// Multiparts nested depth levels deep, a text part at the bottom.
inline std::string Nested(int depth) {
  std::string inner = Leaf("text/plain", "deepest\r\n");
  for (int i = depth; i > 0; --i) inner = Multipart("mixed", {inner}, "n" + std::to_string(i));
  return Message(inner);
}

// One multipart with count text parts.
inline std::string Wide(int count) {
  std::vector<std::string> parts;
  parts.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) parts.push_back(Leaf("text/plain", "part " + std::to_string(i) + "\r\n"));
  return Message(Multipart("mixed", parts));
}

// Collects what the error net reports while it lives.
class TErrorRecorder {
public:
  TErrorRecorder() : Previous_(SetErrorReporter([this](const QString& t) { Texts.push_back(t); })) {}
  ~TErrorRecorder() { SetErrorReporter(Previous_); }
  QStringList Texts;

private:
  TErrorReporter Previous_;
};

// Answers the dialogs and records what was asked.
class TAnsweringDialogs : public TPartDialogs {
public:
  std::string Answer;  // the file name "chosen"
  bool Replace = false;
  bool Run = true;
  std::vector<TSaveDialogSetup> Setups;
  std::vector<std::string> Replacing, Questions, Failures;

  std::string ChooseSaveFile(QWidget*, const TSaveDialogSetup& setup) override {
    Setups.push_back(setup);
    return Answer;
  }
  bool ConfirmReplace(QWidget*, const std::string& fileName) override {
    Replacing.push_back(fileName);
    return Replace;
  }
  bool ConfirmRun(QWidget*, const std::string& question) override {
    Questions.push_back(question);
    return Run;
  }
  void ReportFailure(QWidget*, const std::string&, const std::string& text) override { Failures.push_back(text); }
};

// A document window on bytes, shown and active.
inline std::unique_ptr<TDocWindow> Open(const std::string& bytes, bool panels = false) {
  auto doc = std::make_unique<TDocWindow>();
  doc->resize(1000, 600);
  doc->show();
  doc->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(doc.get()));
  doc->LoadBytes(bytes);
  doc->SetViewMode(panels);
  QApplication::processEvents();
  return doc;
}

}  // namespace wintest
