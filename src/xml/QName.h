// Qualified names and processing-instruction records, as the parser reports
// them and the writers take them.
#pragma once

#include <string>

namespace tessel {

struct TQName {
  std::u16string LocalName;
  std::u16string Prefix;         // may be empty
  std::u16string QualifiedName;  // Prefix ":" LocalName, or the one that is not empty
  std::string NamespaceURI;      // UTF-8; may be empty
  std::u16string ExpandedName;   // LocalName ":" NamespaceURI, or LocalName alone
};

void MakeQName(const std::string& namespaceURI, const std::u16string& prefix, const std::u16string& localName,
               TQName& name);
// A name without prefix and namespace: LocalName, QualifiedName and
// ExpandedName are all text.
void MakeSimpleQName(const std::u16string& text, TQName& name);

struct TPI {
  std::u16string Target;
  std::u16string Data;
};

void MakePI(const std::u16string& target, const std::u16string& data, TPI& pi);

}  // namespace tessel
