#include "xml/QName.h"

#include "xml/KeyText.h"

namespace tessel {

void MakeQName(const std::string& namespaceURI, const std::u16string& prefix, const std::u16string& localName,
               TQName& name) {
  name.LocalName = localName;
  name.Prefix = prefix;
  if (prefix.empty()) {
    name.QualifiedName = localName;
  } else if (localName.empty()) {
    name.QualifiedName = prefix;
  } else {
    name.QualifiedName.assign(prefix).append(u":").append(localName);
  }
  name.NamespaceURI = namespaceURI;
  name.ExpandedName = localName;
  if (!namespaceURI.empty()) {
    name.ExpandedName += u':';
    name.ExpandedName += WideFromKey(namespaceURI);
  }
}

void MakeSimpleQName(const std::u16string& text, TQName& name) {
  name.LocalName = text;
  name.Prefix.clear();
  name.QualifiedName = text;
  name.NamespaceURI.clear();
  name.ExpandedName = text;
}

void MakePI(const std::u16string& target, const std::u16string& data, TPI& pi) {
  pi.Target = target;
  pi.Data = data;
}

}  // namespace tessel
