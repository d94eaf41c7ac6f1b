// What a parse needs beyond the bytes: the classes parts get by content
// type, the hooks that build a message's security summary, and the limits.
// It travels with the parse as a value: a message keeps its own copy, and
// embedded messages and inner S/MIME roots parse with the options of the
// message that holds them. Nothing about parsing is process-wide.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace tessel {

class TBodyPart;
class TMessage;

// Parts nested deeper than this below the outermost message are not split
// further: a multipart there is kept as a leaf holding its raw content, and
// an embedded message there is not parsed. Every level costs stack in the
// parser and in each walk over the tree; real mail nests a dozen levels at
// most, so 100 leaves room for any of it and stays far from the stack limit.
constexpr int32_t kMaxNestingDepth = 100;

// The message-level security summary. The S/MIME layer derives its summary
// from this and builds it through TMessageHooks.
class TSecuritySummary {
public:
  virtual ~TSecuritySummary() = default;
};

// What a layer above the MIME model shares among the parts of one message
// (the S/MIME layer: the user's certificate stores, read once a message).
// Each message makes its own for its copy of the options, so nothing of it
// outlives the message or passes to another one.
class TParseContext {
public:
  virtual ~TParseContext() = default;
};

// What a layer above the MIME model adds to every message; any may be left
// null.
struct TMessageHooks {
  // The shared context of a new message (made by every parse, before the
  // summary).
  std::shared_ptr<TParseContext> (*CreateContext)() = nullptr;
  // A new, empty summary (made by every parse).
  std::unique_ptr<TSecuritySummary> (*CreateSummary)() = nullptr;
  // Fills the summary once the parts are collected.
  void (*BuildSummary)(TMessage& message) = nullptr;
};

// The memory one message may use beyond its text: its parts with their
// header data, and the decoded copies that embedded messages in base64 or
// quoted-printable and S/MIME layers parse from. A copy inside a copy, or a
// flood of empty parts, would otherwise multiply a file's size many times.
class TMemoryAccount {
public:
  explicit TMemoryAccount(int64_t limit) : Left_(limit) {}
  // Takes bytes from the account; false, taking nothing, when they do not fit.
  bool Take(int64_t bytes) {
    if (bytes > Left_) return false;
    Left_ -= bytes;
    return true;
  }
  int64_t Left() const { return Left_; }

private:
  int64_t Left_;
};

// Makes an empty part of one class.
using TPartFactory = std::unique_ptr<TBodyPart> (*)();

struct TParseOptions {
  // Class choice: a finished part whose lower-cased content type is a key
  // here is remade as that class (taking over its fields and children) and
  // analysed again; when that fails the plain part stays.
  std::map<std::string, TPartFactory> PartClasses;
  TMessageHooks Hooks;
  // See kMaxNestingDepth; also bounds the chain of peeled S/MIME layers.
  int32_t MaxNestingDepth = kMaxNestingDepth;
  // Bytes that searches for absent delimiters may scan in one parse before
  // the parser indexes the text's delimiter lines; negative: twice the text
  // length plus 1 MB. Tests set 0 to make every search use the index.
  int64_t DelimiterScanBudget = -1;
  // The limit of the memory account of each message parsed with these
  // options; negative: three times the message's size plus 48 MB, so that
  // a message of size S opens in about 4 S + 64 MB or not at all.
  int64_t MemoryLimit = -1;
  // The account of the message being parsed, set by the message for its
  // own copy of the options (none: no limit).
  std::shared_ptr<TMemoryAccount> Account;
  // The layer context of the message being parsed, set like Account (none
  // for parts parsed outside a message).
  std::shared_ptr<TParseContext> Context;

  // Sets the class for a content type (any letter case).
  void SetPartClass(const std::string& contentType, TPartFactory factory);
  // The class for a lower-cased content type, or nullptr.
  TPartFactory FindPartClass(const std::string& contentType) const;
};

// Plain MIME: embedded messages ("message/rfc822") get their class, nothing
// else does, and messages get no security summary.
const TParseOptions& MimeParseOptions();

}  // namespace tessel
