#include "mime/bodypart.h"

#include <algorithm>

#include "mime/MessageFile.h"
#include "mime/MimeParser.h"
#include "mime/Parameters.h"
#include "util/charsets/Charsets.h"
#include "util/streams/MemoryStream.h"
#include "util/text/StringUtils.h"

namespace tessel {

TBodyPart::TBodyPart() = default;

TBodyPart::TBodyPart(const TTextReader& reader)
    : HeaderStart(static_cast<int32_t>(reader.Current - reader.Base)), Text(reader.Text) {}

TBodyPart::~TBodyPart() {
  // Children die with this part; they must not look for it on the way.
  for (auto& child : Children_) child->Parent_ = nullptr;
  Children_.clear();
  if (Parent_) {
    // Freed while still linked: leave the parent's lists without the
    // parent's ownership freeing this part a second time.
    auto& siblings = Parent_->Children_;
    for (size_t i = siblings.size(); i-- > 0;) {
      if (siblings[i].get() == this) {
        siblings[i].release();
        siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    auto& attached = Parent_->Attachments;
    attached.erase(std::remove(attached.begin(), attached.end(), this), attached.end());
  }
}

namespace {

// Field names looked up for every part, made once.
const std::string kContentDisposition = "content-disposition";
const std::string kContentType = "content-type";
const std::string kName = "name";
const std::string kFileName = "filename";
const std::string kBoundary = "boundary";

bool StartsWithNoCase(std::string_view s, std::string_view lowerPrefix) {
  if (s.size() < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lowerPrefix[i]) return false;
  }
  return true;
}

std::u16string Wide(const std::string* utf8) { return utf8 ? Utf8ToWide(*utf8) : std::u16string(); }

}  // namespace

void TBodyPart::Analyze() {
  const std::string* disposition = Params.Find(kContentDisposition);
  IsAttachment = disposition && SameText(*disposition, "attachment");
  Name = Wide(Params.Find(kName));
  FileName = Wide(Params.Find(kFileName));
  IsText = StartsWith(ContentTypeKey_, "text");
  Attachments.clear();
  for (auto& child : Children_)
    if (child->IsAttachment) Attachments.push_back(child.get());
}

std::unique_ptr<TBodyPart> TBodyPart::NewOfClass() const { return std::make_unique<TBodyPart>(); }

std::unique_ptr<TBodyPart> TBodyPart::CreateFrom(const TBodyPart& prototype, TBodyPart& source, bool deepCopy) {
  std::unique_ptr<TBodyPart> part = prototype.NewOfClass();
  part->TakeOver(source, deepCopy);
  return part;
}

void TBodyPart::TakeOver(TBodyPart& source, bool deepCopy) {
  if (&source == this) return;
  if (deepCopy) {
    for (auto& child : source.Children_) {
      std::unique_ptr<TBodyPart> copy = child->NewOfClass();
      copy->TakeOver(*child, true);
      AddChild(std::move(copy));
    }
  } else {
    for (auto& child : source.Children_) {
      child->Parent_ = this;
      Children_.push_back(std::move(child));
    }
    source.Children_.clear();
    source.Attachments.clear();
  }
  for (auto& child : Children_)
    if (child->IsAttachment && std::find(Attachments.begin(), Attachments.end(), child.get()) == Attachments.end())
      Attachments.push_back(child.get());

  if (deepCopy) {
    Headers = source.Headers;
    Params = source.Params;
    Delimiter = source.Delimiter;
    Name = source.Name;
    ContentType = source.ContentType;
    ContentTypeKey_ = source.ContentTypeKey_;
    TransferEncoding = source.TransferEncoding;
    FileName = source.FileName;
    Problems = source.Problems;
    Findings = source.Findings;
  } else {
    Headers = std::move(source.Headers);
    Params = std::move(source.Params);
    Delimiter = std::move(source.Delimiter);
    Name = std::move(source.Name);
    ContentType = std::move(source.ContentType);
    ContentTypeKey_ = std::move(source.ContentTypeKey_);
    TransferEncoding = std::move(source.TransferEncoding);
    FileName = std::move(source.FileName);
    Problems = std::move(source.Problems);
    Findings = std::move(source.Findings);
  }
  IsMultipart = source.IsMultipart;
  IsAttachment = source.IsAttachment;
  HeaderStart = source.HeaderStart;
  BodyStart = source.BodyStart;
  BodyEnd = source.BodyEnd;
  Text = source.Text;
  IsText = source.IsText;
  Depth = source.Depth;
  Options = source.Options;
}

// --- header ------------------------------------------------------------------

const std::string* TBodyPart::FieldValue(const std::string& name) const {
  for (size_t i = Headers.size(); i-- > 0;)
    if (SameText(Headers[i].Name, name)) return Headers[i].Value.empty() ? nullptr : &Headers[i].Value;
  return nullptr;
}

std::string TBodyPart::GetFieldUtf8(const std::string& name) const { return Params.Value(LowerCase(name)); }

std::u16string TBodyPart::GetField(const std::string& name) const {
  const std::string* value = Params.Find(LowerCase(name));
  return value ? Utf8ToWide(*value) : std::u16string();
}

void TBodyPart::ParseHeaderLine(std::string line, int32_t offset) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) throw EMimeParseError("Invalid header:" + line, offset);
  std::string name(TrimView(std::string_view(line).substr(0, colon)));
  // The value keeps the line's storage.
  std::string_view trimmed = TrimView(std::string_view(line).substr(colon + 1));
  size_t from = static_cast<size_t>(trimmed.data() - line.data()), length = trimmed.size();
  std::string value = std::move(line);
  value.resize(from + length);
  value.erase(0, from);
  std::string key = LowerCase(name);
  if (!StartsWith(key, "content-")) {
    Params.Set(key, value);
  } else {
    // The item is set to the whole value and at once replaced by the main
    // value: set the main value straight away.
    ParseParameters(Params, name, value);
    if (key == kContentType) {
      if (SawContentType_) AddFinding(*this, offset, finding::kRepeatedContentType);
      SawContentType_ = true;
      ContentType = Wide(Params.Find(kContentType));
      ContentTypeKey_ = LowerCase(WideToUtf8(ContentType));
      // Repeated Content-Type lines are each taken in turn: the last decides.
      IsMultipart = StartsWithNoCase(value, "multipart");
      Delimiter = IsMultipart ? "\r\n--" + Params.Value(kBoundary) : std::string();
    } else if (key == "content-transfer-encoding") {
      if (SawEncoding_) AddFinding(*this, offset, finding::kRepeatedEncoding);
      SawEncoding_ = true;
      TransferEncoding = Utf8ToWide(value);
    }
  }
  Headers.push_back(THeaderLine{std::move(name), std::move(value)});
}

// --- tree --------------------------------------------------------------------

TBodyPart* TBodyPart::Children(int32_t i) const {
  return i >= 0 && i < ChildCount() ? Children_[static_cast<size_t>(i)].get() : nullptr;
}

TBodyPart* TBodyPart::AddChild(std::unique_ptr<TBodyPart> child) {
  child->Parent_ = this;
  Children_.push_back(std::move(child));
  return Children_.back().get();
}

std::unique_ptr<TBodyPart> TBodyPart::ExtractChild(const TBodyPart* child) {
  // Searched from the end: the parser works on the last child.
  for (size_t i = Children_.size(); i-- > 0;) {
    if (Children_[i].get() != child) continue;
    std::unique_ptr<TBodyPart> taken = std::move(Children_[i]);
    Children_.erase(Children_.begin() + static_cast<std::ptrdiff_t>(i));
    taken->Parent_ = nullptr;
    Attachments.erase(std::remove(Attachments.begin(), Attachments.end(), child), Attachments.end());
    return taken;
  }
  return nullptr;
}

std::unique_ptr<TBodyPart> TBodyPart::ReplaceChild(const TBodyPart* old, std::unique_ptr<TBodyPart> replacement) {
  for (size_t i = Children_.size(); i-- > 0;) {
    if (Children_[i].get() != old) continue;
    std::unique_ptr<TBodyPart> taken = std::move(Children_[i]);
    taken->Parent_ = nullptr;
    replacement->Parent_ = this;
    Children_[i] = std::move(replacement);
    auto a = std::find(Attachments.begin(), Attachments.end(), old);
    if (a != Attachments.end()) {
      if (Children_[i]->IsAttachment)
        *a = Children_[i].get();
      else
        Attachments.erase(a);
    }
    return taken;
  }
  return nullptr;
}

// --- content -----------------------------------------------------------------

void TBodyPart::GetRawContent(TStream& stream) const {
  if (Text && BodyEnd > BodyStart) Text->CopyTo(BodyStart, BodyEnd, stream);
}

void TBodyPart::GetDecodedContent(TStream& stream) const {
  if (Text && BodyEnd > BodyStart) Text->Decode(BodyStart, BodyEnd, WideToUtf8(TransferEncoding), stream);
}

void TBodyPart::GetWholePart(TStream& stream) const {
  if (Text && BodyEnd > HeaderStart) Text->CopyTo(HeaderStart, BodyEnd, stream);
}

std::unique_ptr<TChainMemoryStream> TBodyPart::GetRawContent() const {
  auto stream = std::make_unique<TChainMemoryStream>();
  GetRawContent(*stream);
  return stream;
}

std::unique_ptr<TChainMemoryStream> TBodyPart::GetDecodedContent() const {
  auto stream = std::make_unique<TChainMemoryStream>();
  GetDecodedContent(*stream);
  return stream;
}

std::unique_ptr<TChainMemoryStream> TBodyPart::GetWholePart() const {
  auto stream = std::make_unique<TChainMemoryStream>();
  GetWholePart(*stream);
  return stream;
}

std::string TBodyPart::GetRawText() const {
  return Text && BodyEnd > BodyStart ? Text->GetString(BodyStart, BodyEnd) : std::string();
}

std::u16string TBodyPart::GetHeaderText() const {
  return Text && BodyStart > HeaderStart ? SystemTextToWide(Text->GetView(HeaderStart, BodyStart)) : std::u16string();
}

// --- embedded messages -------------------------------------------------------

TRFC822BodyPart::~TRFC822BodyPart() {
  // The embedded parts refer into MessageText_: they go first.
  Message_.reset();
}

TBodyPart* TRFC822BodyPart::Message() {
  if (Parsed_) {
    if (!Error_.empty()) throw EMimeParseError(Error_, ErrorOffset_);
    return Message_.get();
  }
  Parsed_ = true;
  if (!Text) return nullptr;
  if (Depth >= ParseOptions().MaxNestingDepth) {
    AddFinding(*this, HeaderStart, finding::kNestingCapMessage);
    return nullptr;
  }

  // An embedded message may only be 7bit, 8bit or binary, but mailers do
  // send base64 and quoted-printable ones; their stored bytes are no
  // message, the decoded bytes are.
  std::string encoding = LowerCase(WideToUtf8(TransferEncoding));
  if (encoding == "base64" || encoding == "quoted-printable") {
    // The decoded copy is no longer than the body; the line-end rule may
    // add to it. Both are charged to the message's memory account.
    const std::shared_ptr<TMemoryAccount>& account = ParseOptions().Account;
    if (account && !account->Take(RawSize())) {
      Error_ = kTooLargeToDecode;
      throw EMimeParseError(Error_, ErrorOffset_);
    }
    TStringStream decoded;
    try {
      GetDecodedContent(decoded);
    } catch (const Exception& e) {
      Problems.Add(e.Message() + " (embedded message)");
    }
    std::string bytes = decoded.TakeDataString();
    ApplyLineEndRule(bytes);
    if (account && static_cast<int64_t>(bytes.size()) > RawSize() &&
        !account->Take(static_cast<int64_t>(bytes.size()) - RawSize())) {
      Error_ = kTooLargeToDecode;
      throw EMimeParseError(Error_, ErrorOffset_);
    }
    MessageText_ = std::make_unique<TText>(std::move(bytes));
  } else {
    MessageText_ = TText::CreateSub(*Text, BodyStart, RawSize());
  }
  try {
    Message_ = ParseBodyPart(*MessageText_->CreateReader(), ParseOptions(), Depth + 1);
  } catch (const EMimeParseError& e) {
    Error_ = e.Message();
    ErrorOffset_ = e.Offset;
    throw;
  }
  return Message_.get();
}

}  // namespace tessel
