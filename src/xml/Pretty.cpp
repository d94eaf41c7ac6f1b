#include "Pretty.h"

namespace tessel {

TPretty::TPretty(std::unique_ptr<TCharWriter> writer) : TSaxWriter(std::move(writer)) {}

void TPretty::CloseTag() {
  if (TagOpen_) {
    Put(u'>');
    TagOpen_ = false;
  }
}

void TPretty::StartDocument() {
  TSaxWriter::StartDocument();
  if (WriteDeclaration) PutCrLf();
}

void TPretty::Comment(const std::u16string& text) {
  HasContent_ = true;
  CloseTag();
  if (text.find(u'\r') != std::u16string::npos) PutCrLf();
  TSaxWriter::Comment(text);
  PutCrLf();
}

void TPretty::ProcessingInstruction(const TPI& pi) {
  HasContent_ = true;
  CloseTag();
  PutCrLf();
  TSaxWriter::ProcessingInstruction(pi);
}

void TPretty::Characters(TWStringBuf& text) {
  HasContent_ = true;
  CloseTag();
  TSaxWriter::Characters(text);
}

bool TPretty::WriteCData(TWStringBuf& text) {
  HasContent_ = true;
  CloseTag();
  return TSaxWriter::WriteCData(text);
}

void TPretty::WriteTextData(const std::u16string& text) {
  HasContent_ = true;
  CloseTag();
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
  if (HasContent_) {
    PutAscii("</");
    Put(name.QualifiedName);
    Put(u'>');
  } else if (FriendlyEmpty) {
    PutAscii("></");
    Put(name.QualifiedName);
    Put(u'>');
  } else {
    PutAscii("/>");
  }
  HasContent_ = true;
  ChildEnded_ = true;
}

void TPretty::EndDocument() { CloseTag(); }

}  // namespace tessel
