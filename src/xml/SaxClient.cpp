#include "xml/SaxClient.h"

namespace tessel {

TSaxClient::TSaxClient() {
  Events.Comment = [this](const std::u16string& text) { Comment(text); };
  Events.ProcessingInstruction = [this](const TPI& pi) { ProcessingInstruction(pi); };
  Events.Characters = [this](TWStringBuf& text) { Characters(text); };
  Events.StartElement = [this](const TQName& name, const TAttrList* attributes) { StartElement(name, attributes); };
  Events.EndElement = [this](const TQName& name) { EndElement(name); };
  Events.StartDocument = [this] { StartDocument(); };
  Events.EndDocument = [this] { EndDocument(); };
}

void FireStartElement(TSaxClient& client, const TQName& name, const std::u16string* attrNames,
                      const std::u16string* attrValues, int32_t count) {
  TAttrList list;
  for (int32_t i = 0; i < count; ++i) {
    if (attrValues[i].empty()) continue;
    TQName attrName;
    MakeSimpleQName(attrNames[i], attrName);
    list.Add(attrName, attrValues[i]);
  }
  if (client.Events.StartElement) client.Events.StartElement(name, &list);
}

}  // namespace tessel
