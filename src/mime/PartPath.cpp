#include "mime/PartPath.h"

#include "util/system/Exception.h"

namespace tessel {

bool ParsePartPath(const std::string& text, std::vector<int32_t>& path) {
  path.clear();
  size_t i = 0;
  while (true) {
    int64_t n = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      n = n * 10 + (text[i] - '0');
      if (n > INT32_MAX) return false;
      ++i;
      ++digits;
    }
    if (digits == 0 || n == 0) return false;
    path.push_back(static_cast<int32_t>(n));
    if (i == text.size()) return true;
    if (text[i] != '.') return false;
    ++i;
  }
}

TBodyPart* FindPart(TMessage& message, const std::vector<int32_t>& path) {
  if (path.empty()) return nullptr;
  TBodyPart* part = message.Roots(path[0] - 1);
  for (size_t i = 1; part && i < path.size(); ++i) {
    if (TBodyPart* inner = part->InnerRoot())
      part = path[i] == 1 ? inner : nullptr;
    else
      part = part->Children(path[i] - 1);
  }
  return part;
}

namespace {

void Walk(TBodyPart& part, const std::string& path, const TPartVisit& visit, const TPartFailure& failed) {
  TBodyPart* inner = nullptr;
  std::string error;
  try {
    inner = part.InnerRoot();
  } catch (const Exception& e) {
    error = e.Message();
  }
  visit(path, part, !inner && part.ChildCount() == 0);
  if (!error.empty()) failed(path, error);
  if (inner) {
    Walk(*inner, path + ".1", visit, failed);
    return;
  }
  for (int32_t i = 0; i < part.ChildCount(); ++i)
    Walk(*part.Children(i), path + "." + std::to_string(i + 1), visit, failed);
}

}  // namespace

void ForEachPart(TMessage& message, const TPartVisit& visit, const TPartFailure& failed) {
  for (int32_t i = 0; i < message.RootCount(); ++i) Walk(*message.Roots(i), std::to_string(i + 1), visit, failed);
}

}  // namespace tessel
