#include "xml/Pretty.h"

namespace tessel {

TPretty::TPretty(std::unique_ptr<TCharWriter> writer) : TSaxWriter(std::move(writer)) {}

void TPretty::CloseTag() {
  if (TagOpen_) {
    Put(u'>');
    TagOpen_ = false;
  }
}

void TPretty::StartContent() {
  HasContent_ = true;
  CloseTag();
}

void TPretty::StartDocument() {
  TSaxWriter::StartDocument();
  if (WriteDeclaration) PutCrLf();
}

void TPretty::Comment(const std::u16string& text) {
  StartContent();
  if (text.find(u'\r') != std::u16string::npos) PutCrLf();
  TSaxWriter::Comment(text);
  PutCrLf();
}

void TPretty::ProcessingInstruction(const TPI& pi) {
  StartContent();
  PutCrLf();
  TSaxWriter::ProcessingInstruction(pi);
}

void TPretty::Characters(TWStringBuf& text) {
  StartContent();
  TSaxWriter::Characters(text);
}

bool TPretty::WriteCData(TWStringBuf& text) {
  StartContent();
  return TSaxWriter::WriteCData(text);
}

void TPretty::WriteTextData(const std::u16string& text) {
  StartContent();
  TSaxWriter::WriteTextData(text);
}

void TPretty::StartTag(const std::u16string& qualifiedName, const TAttrList* attributes) {
  CloseTag();
  // The outermost element stays on the line of whatever came before it.
  if (!Indent_.empty()) PutCrLf();
  PutAscii(Indent_.c_str());
  Put(u'<');
  Put(qualifiedName);
  if (attributes && attributes->Count() > 0) {
    // Continuation lines put each further attribute under the first one.
    std::string continuation = Indent_ + " " + std::string(qualifiedName.size(), ' ');
    int32_t n = attributes->Count();
    for (int32_t i = 0; i < n; ++i) {
      if (i > 0) PutAscii(continuation.c_str());
      PutAttribute(*attributes->Items(i));
      if (i < n - 1) PutCrLf();
    }
  }
  HasContent_ = false;
  ChildEnded_ = false;
  TagOpen_ = true;
  Indent_ += "  ";
}

void TPretty::StartElement(const TQName& name, const TAttrList* attributes) {
  StartTag(name.QualifiedName, attributes);
}

void TPretty::WriteStartTag(const std::u16string& text) { StartTag(text, nullptr); }

void TPretty::EndElement(const TQName& name) {
  if (Indent_.size() >= 2) Indent_.resize(Indent_.size() - 2);
  if (ChildEnded_) {
    PutCrLf();
    PutAscii(Indent_.c_str());
  }
  TagOpen_ = false;
  if (HasContent_ || FriendlyEmpty) {
    if (!HasContent_) Put(u'>');
    TSaxWriter::EndElement(name);
  } else {
    PutAscii("/>");
  }
  HasContent_ = true;
  ChildEnded_ = true;
}

void TPretty::EndDocument() { CloseTag(); }

}  // namespace tessel
