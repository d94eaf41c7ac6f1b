// The event interface between the XML parser and its clients, and the base
// class of the writers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "xml/AttrList.h"
#include "xml/QName.h"
#include "util/text/WStringBuf.h"

namespace tessel {

// One reference per event, in this order. An empty reference is skipped, so
// a handler may bind only the events it wants. The parser gets a copy.
struct TSaxEvents {
  std::function<void(const std::u16string& text)> Comment;
  std::function<void(const TPI& pi)> ProcessingInstruction;
  std::function<void(TWStringBuf& text)> Characters;
  // attributes may be nullptr ("no attributes"); the parser always passes a list.
  std::function<void(const TQName& name, const TAttrList* attributes)> StartElement;
  std::function<void(const TQName& name)> EndElement;
  std::function<void()> StartDocument;
  std::function<void()> EndDocument;
};

class TSaxClient {
public:
  // Binds every event of Events to this object's own operation.
  TSaxClient();
  virtual ~TSaxClient() = default;
  TSaxClient(const TSaxClient&) = delete;
  TSaxClient& operator=(const TSaxClient&) = delete;

  virtual void Comment(const std::u16string& /*text*/) {}
  virtual void ProcessingInstruction(const TPI& /*pi*/) {}
  virtual void Characters(TWStringBuf& /*text*/) {}
  virtual void StartElement(const TQName& /*name*/, const TAttrList* /*attributes*/) {}
  virtual void EndElement(const TQName& /*name*/) {}
  virtual void StartDocument() {}
  virtual void EndDocument() {}

  TSaxEvents Events;
};

// Sends StartElement through client's event table with a list holding
// (attrNames[i], attrValues[i]) for each i < count whose value is not empty.
void FireStartElement(TSaxClient& client, const TQName& name, const std::u16string* attrNames,
                      const std::u16string* attrValues, int32_t count);

}  // namespace tessel
