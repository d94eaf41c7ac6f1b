// A SAX writer that puts every element on a line of its own, indented by two
// blanks per level, with attributes after the first aligned under it.
#pragma once

#include <string>

#include "xml/SaxWriter.h"

namespace tessel {

class TPretty : public TSaxWriter {
public:
  explicit TPretty(std::unique_ptr<TCharWriter> writer);

  void Comment(const std::u16string& text) override;
  void ProcessingInstruction(const TPI& pi) override;
  void Characters(TWStringBuf& text) override;
  void StartElement(const TQName& name, const TAttrList* attributes) override;
  void EndElement(const TQName& name) override;
  void StartDocument() override;
  void EndDocument() override;
  bool WriteCData(TWStringBuf& text) override;
  void WriteTextData(const std::u16string& text) override;
  void WriteStartTag(const std::u16string& text) override;

  // Empty elements as "<a></a>" instead of "<a/>".
  bool FriendlyEmpty = false;

private:
  void CloseTag();
  // Something goes inside the current element.
  void StartContent();
  void PutCrLf() { PutAscii("\r\n"); }
  void StartTag(const std::u16string& qualifiedName, const TAttrList* attributes);

  std::string Indent_;       // two blanks per open element
  bool HasContent_ = false;  // something was written inside the current element
  bool ChildEnded_ = false;  // an element ended since the last start tag
  bool TagOpen_ = false;     // a start tag still lacks its ">"
};

}  // namespace tessel
