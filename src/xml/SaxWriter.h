// Turns SAX events into XML text through a character writer, which decides
// the output encoding.
#pragma once

#include <memory>
#include <string>

#include "xml/SaxClient.h"
#include "util/streams/CharRW.h"

namespace tessel {

class TSaxWriter : public TSaxClient {
public:
  // OwnsWriter and WriteDeclaration start out set.
  explicit TSaxWriter(std::unique_ptr<TCharWriter> writer);
  ~TSaxWriter() override;

  void Comment(const std::u16string& text) override;
  void ProcessingInstruction(const TPI& pi) override;
  void Characters(TWStringBuf& text) override;
  void StartElement(const TQName& name, const TAttrList* attributes) override;
  void EndElement(const TQName& name) override;
  void StartDocument() override;
  void EndDocument() override;

  virtual void WriteEscaped(const std::u16string& text);
  // Writes the text unchanged (inside a CDATA section when it holds CR, "&",
  // "<" or ">") and returns true, or writes nothing and returns false when
  // the output charset cannot represent one of its units.
  virtual bool WriteCData(TWStringBuf& text);
  virtual void WriteTextData(const std::u16string& text);
  virtual void WriteStartTag(const std::u16string& text);

  TCharWriter& Writer() { return *Writer_; }
  // When cleared, the character writer is left to its creator.
  bool OwnsWriter = true;
  bool WriteDeclaration = true;

protected:
  void Put(char16_t c) { Writer_->WriteChar(c); }
  void Put(const std::u16string& s);
  void PutAscii(const char* s);
  // Character data escaping: CR, "&", "<", ">".
  void PutTextEscaped(const char16_t* p, size_t n);
  // " name=\"value\"" with attribute-value escaping.
  void PutAttribute(const TAttribute& attribute);

private:
  std::unique_ptr<TCharWriter> Writer_;
};

}  // namespace tessel
