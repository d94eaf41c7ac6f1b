// Part paths: how the command line and the windows name one part of a
// message. The message's roots are 1, 2, ... in root order; a child is its
// parent's path, ".", and its 1-based index; the embedded message of a
// "message/rfc822" part (or the inner root of an S/MIME part) is that
// part's only child, ".1".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mime/Message.h"

namespace tessel {

// "1.2.1" -> {1, 2, 1}; false for anything that is not dot-separated
// positive numbers.
bool ParsePartPath(const std::string& text, std::vector<int32_t>& path);

// The part at path, or nullptr when there is none. An embedded message on
// the way that does not parse raises the parser's exception.
TBodyPart* FindPart(TMessage& message, const std::vector<int32_t>& path);

// Every part in depth-first order, embedded messages expanded. leaf: the
// part has nothing below it. An embedded message that does not parse is
// reported through failed (with the path of the part that holds it), and
// that part counts as a leaf.
using TPartVisit = std::function<void(const std::string& path, TBodyPart& part, bool leaf)>;
using TPartFailure = std::function<void(const std::string& path, const std::string& message)>;
void ForEachPart(TMessage& message, const TPartVisit& visit, const TPartFailure& failed);

}  // namespace tessel
