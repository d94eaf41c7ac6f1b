#include "xml/SaxWriter.h"

namespace tessel {

TSaxWriter::TSaxWriter(std::unique_ptr<TCharWriter> writer) : Writer_(std::move(writer)) {}

TSaxWriter::~TSaxWriter() {
  if (!OwnsWriter) (void)Writer_.release();
}

void TSaxWriter::Put(const std::u16string& s) {
  for (char16_t c : s) Writer_->WriteChar(c);
}

void TSaxWriter::PutAscii(const char* s) {
  for (; *s; ++s) Writer_->WriteChar(static_cast<unsigned char>(*s));
}

void TSaxWriter::PutTextEscaped(const char16_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    switch (char16_t c = p[i]) {
      case u'\r': PutAscii("&#xD;"); break;
      case u'&': PutAscii("&amp;"); break;
      case u'<': PutAscii("&lt;"); break;
      case u'>': PutAscii("&gt;"); break;
      default: Put(c);
    }
  }
}

void TSaxWriter::PutAttribute(const TAttribute& attribute) {
  Put(u' ');
  Put(attribute.Name.QualifiedName);
  PutAscii("=\"");
  for (char16_t c : attribute.Value) {
    switch (c) {
      case u'\t': PutAscii("&#x9;"); break;
      case u'\n': PutAscii("&#xA;"); break;
      case u'\r': PutAscii("&#xD;"); break;
      case u'"': PutAscii("&quot;"); break;
      case u'&': PutAscii("&amp;"); break;
      case u'<': PutAscii("&lt;"); break;
      default: Put(c);
    }
  }
  Put(u'"');
}

void TSaxWriter::Comment(const std::u16string& text) {
  PutAscii("<!--");
  Put(text);
  PutAscii("-->");
}

void TSaxWriter::ProcessingInstruction(const TPI& pi) {
  PutAscii("<?");
  Put(pi.Target);
  if (!pi.Data.empty()) {
    Put(u' ');
    Put(pi.Data);
  }
  PutAscii("?>");
}

void TSaxWriter::Characters(TWStringBuf& text) { PutTextEscaped(text.Data(), static_cast<size_t>(text.Length)); }

void TSaxWriter::StartElement(const TQName& name, const TAttrList* attributes) {
  Put(u'<');
  Put(name.QualifiedName);
  if (attributes)
    for (int32_t i = 0; i < attributes->Count(); ++i) PutAttribute(*attributes->Items(i));
  Put(u'>');
}

void TSaxWriter::EndElement(const TQName& name) {
  PutAscii("</");
  Put(name.QualifiedName);
  Put(u'>');
}

void TSaxWriter::StartDocument() {
  if (!WriteDeclaration) return;
  PutAscii("<?xml version=\"1.0\" encoding=\"");
  PutAscii(Writer_->Name.c_str());
  PutAscii("\"?>");
}

void TSaxWriter::EndDocument() {}

void TSaxWriter::WriteEscaped(const std::u16string& text) { PutTextEscaped(text.data(), text.size()); }

void TSaxWriter::WriteTextData(const std::u16string& text) { PutTextEscaped(text.data(), text.size()); }

bool TSaxWriter::WriteCData(TWStringBuf& text) {
  const char16_t* p = text.Data();
  size_t n = static_cast<size_t>(text.Length);
  bool needsSection = false;
  for (size_t i = 0; i < n; ++i) {
    if (!Writer_->CanWrite(p[i])) return false;
    if (p[i] == u'\r' || p[i] == u'&' || p[i] == u'<' || p[i] == u'>') needsSection = true;
  }
  if (!needsSection) {
    for (size_t i = 0; i < n; ++i) Put(p[i]);
    return true;
  }
  PutAscii("<![CDATA[");
  for (size_t i = 0; i < n; ++i) {
    // "]]>" inside the text would end the section: close it between "]]"
    // and ">" and open a new one, so the text reads back whole.
    if (p[i] == u'>' && i >= 2 && p[i - 1] == u']' && p[i - 2] == u']') PutAscii("]]><![CDATA[");
    Put(p[i]);
  }
  PutAscii("]]>");
  return true;
}

void TSaxWriter::WriteStartTag(const std::u16string& text) {
  Put(u'<');
  Put(text);
  Put(u'>');
}

}  // namespace tessel
