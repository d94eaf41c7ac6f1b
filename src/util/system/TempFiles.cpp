#include "util/system/TempFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "util/system/WinError.h"

namespace tessel {

namespace {

// Prefixes and extensions may come from file names in messages; these caps
// keep prefix + number + extension well below the 255-byte name limit.
constexpr size_t kMaxPrefix = 64;
constexpr size_t kMaxExtension = 64;
// Numbers tried before giving up: far more temporary files than anyone makes,
// but a bound on the loop when the directory misbehaves.
constexpr uint32_t kMaxNumber = 0x100000;

// One file-name component: no separator, no NUL or control byte, so the name
// cannot leave the directory (".." stays harmless inside a longer name), and
// no longer than max bytes, cut before a UTF-8 continuation byte.
std::string CleanNamePart(const std::string& s, size_t max) {
  std::string r;
  r.reserve(s.size());
  for (unsigned char c : s) r += (c < 0x20 || c == 0x7F || c == '/' || c == '\\') ? '_' : static_cast<char>(c);
  if (r.size() > max) {
    size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(r[cut]) & 0xC0) == 0x80) --cut;
    r.resize(cut);
  }
  return r;
}

std::string NumberedName(const std::string& dir, const std::string& prefix, uint32_t number,
                         const std::string& extension) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%04X", number);
  return dir + prefix + hex + extension;
}

}  // namespace

// The first name from number `from` on for which nothing (not even a
// dangling link) exists and which this object has not handed out already (a
// name from NewTempFileName has no file until its caller makes one); its
// number goes to `number`.
std::string TTempFiles::FirstFreeName(const std::string& dir, const std::string& prefix, const std::string& extension,
                                      uint32_t from, uint32_t& number) const {
  for (number = from; number < kMaxNumber; ++number) {
    std::string name = NumberedName(dir, prefix, number, extension);
    bool given = false;
    for (const auto& e : Entries_) given = given || e.Name == name;
    if (given) continue;
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0) {
      if (errno == ENOENT) return name;
      RaiseSystemError("Cannot create file \"" + name + "\".", static_cast<uint32_t>(errno));
    }
  }
  RaiseSystemError("Cannot create file \"" + NumberedName(dir, prefix, number, extension) + "\".",
                   static_cast<uint32_t>(EEXIST));
}

TTempFileStream::TTempFileStream(TTempFiles* owner, const std::string& fileName)
    : TFileStream(fileName, TFileMode::CreateExclusive), Owner_(nullptr) {
  if (!owner) return;
  for (auto& e : owner->Entries_) {
    if (e.Name == fileName && !e.Stream && !e.NotCreated) {
      e.Stream = this;
      Owner_ = owner;
      return;
    }
  }
}

TTempFileStream::~TTempFileStream() {
  if (!Owner_) return;
  for (auto& e : Owner_->Entries_)
    if (e.Stream == this) e.Stream = nullptr;
}

TTempFiles::TTempFiles(bool deleteOnFree) : DeleteOnFree_(deleteOnFree) {}

TTempFiles::~TTempFiles() {
  for (auto& e : Entries_) {
    if (e.Stream) {
      // The stream belongs to its caller; it only loses its link to us (and,
      // when the file goes, its handle on it).
      e.Stream->Owner_ = nullptr;
      if (DeleteOnFree_) e.Stream->Close();
      e.Stream = nullptr;
    }
    if (DeleteOnFree_ && !e.NotCreated) ::unlink(e.Name.c_str());  // failures are ignored
  }
}

std::string TTempFiles::TempDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string base = env && *env ? env : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.back() != '/') base += '/';
  std::string dir = base + "tessel-" + std::to_string(::getuid());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    RaiseSystemError("Cannot create temporary directory \"" + dir + "\".", static_cast<uint32_t>(errno));
  // An existing directory is used only when it is the user's own and
  // private (and not a link to one): otherwise another user could plant or
  // read our files. Nobody else can swap it afterwards as long as its parent
  // is sticky (/tmp) or the user's own.
  struct stat st;
  if (::lstat(dir.c_str(), &st) != 0)
    RaiseSystemError("The temporary directory \"" + dir + "\" is not usable.", static_cast<uint32_t>(errno));
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
    RaiseSystemError("The temporary directory \"" + dir + "\" is not private to the user.",
                     static_cast<uint32_t>(EACCES));
  return dir + "/";
}

namespace {

std::string CleanExtension(const std::string& extension) {
  std::string e = extension.empty() || extension[0] != '.' ? "." + extension : extension;
  return CleanNamePart(e, kMaxExtension);
}

}  // namespace

std::string TTempFiles::NewTempFileName(const std::string& prefix, const std::string& extension) {
  uint32_t number;
  std::string name =
      FirstFreeName(TempDirectory(), CleanNamePart(prefix, kMaxPrefix), CleanExtension(extension), 1, number);
  Entries_.push_back({name});
  return name;
}

std::unique_ptr<TTempFileStream> TTempFiles::NewTempFile(const std::string& prefix, const std::string& extension) {
  std::string dir = TempDirectory();
  std::string cleanPrefix = CleanNamePart(prefix, kMaxPrefix);
  std::string cleanExtension = CleanExtension(extension);
  uint32_t number = 1;
  for (;;) {
    std::string name = FirstFreeName(dir, cleanPrefix, cleanExtension, number, number);
    Entries_.push_back({name});
    try {
      return std::make_unique<TTempFileStream>(this, name);
    } catch (const EWinException& e) {
      if (e.ErrorCode == EEXIST && number + 1 < kMaxNumber) {
        // Someone made the file between the look and the create.
        Entries_.pop_back();
        ++number;
        continue;
      }
      Entries_.back().NotCreated = true;
      throw;
    }
  }
}

const std::vector<std::string>& TTempFiles::Names() const {
  NameCache_.clear();
  for (const auto& e : Entries_) NameCache_.push_back(e.Name);
  return NameCache_;
}

}  // namespace tessel
