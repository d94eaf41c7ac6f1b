#include "ui/desktop/DesktopContentTypes.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include "util/system/ExternalProgram.h"
#include "util/text/StringUtils.h"

namespace tessel {

namespace {

struct TGObjectUnref {
  void operator()(gpointer p) const { g_object_unref(p); }
};
template <typename T>
using TGObjectPtr = std::unique_ptr<T, TGObjectUnref>;

struct TGFree {
  void operator()(gpointer p) const { g_free(p); }
};
using TGString = std::unique_ptr<char, TGFree>;

struct TGStrvFree {
  void operator()(char** v) const { g_strfreev(v); }
};

struct TGErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};

bool IsFileFieldCode(char c) { return c == 'f' || c == 'F' || c == 'u' || c == 'U'; }

class TDesktopContentTypeDatabase : public TContentTypeDatabase {
public:
  std::string ContentTypeExtension(const std::string& contentType) override {
    // Content types are case-insensitive; the MIME database spells them in lower case.
    QMimeType type = Mime.mimeTypeForName(QString::fromStdString(LowerCase(Trim(contentType))));
    if (!type.isValid()) return std::string();
    QString suffix = type.preferredSuffix();
    if (suffix.isEmpty()) return std::string();
    return "." + suffix.toStdString();
  }

  std::string ExtensionFileType(const std::string& extension) override {
    if (extension.size() < 2 || extension[0] != '.' || extension.find('/') != std::string::npos) return std::string();
    QMimeType type = Mime.mimeTypeForFile(QString::fromStdString("file" + extension), QMimeDatabase::MatchExtension);
    // The default type (application/octet-stream) means "no type known".
    if (!type.isValid() || type.isDefault()) return std::string();
    return type.name().toStdString();
  }

  std::string FileTypeDefaultVerb(const std::string&) override { return "open"; }

  std::string VerbCommand(const std::string& fileType, const std::string& verb) override {
    if (verb != "open" || fileType.empty()) return std::string();
    TGObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(fileType.c_str(), FALSE));
    if (!app) return std::string();
    // A program that needs a terminal cannot run from a bare argument list;
    // leaving it without a command sends the file to GIO, which provides one.
    if (G_IS_DESKTOP_APP_INFO(app.get()) &&
        g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app.get()), G_KEY_FILE_DESKTOP_KEY_TERMINAL))
      return std::string();
    const char* exec = g_app_info_get_commandline(app.get());
    return exec ? DesktopExecToCommand(exec) : std::string();
  }

  bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
    return StartDetachedProgram(program, args);
  }

  void OpenWithDefaultHandler(const std::string& fileNameOrUrl) override {
    std::string uri;
    const char* scheme = g_uri_peek_scheme(fileNameOrUrl.c_str());  // interned, not ours to free
    // A name that exists as a file is a file, even when it looks like "a:b".
    if (scheme && !g_file_test(fileNameOrUrl.c_str(), G_FILE_TEST_EXISTS)) {
      uri = fileNameOrUrl;
    } else {
      TGObjectPtr<GFile> file(g_file_new_for_path(fileNameOrUrl.c_str()));
      TGString fileUri(g_file_get_uri(file.get()));
      if (!fileUri) return;
      uri = fileUri.get();
    }
    GError* error = nullptr;
    g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
    std::unique_ptr<GError, TGErrorFree> owned(error);
  }

private:
  QMimeDatabase Mime;
};

}  // namespace

std::string DesktopExecToCommand(const std::string& exec) {
  gint argc = 0;
  gchar** rawArgv = nullptr;
  if (!g_shell_parse_argv(exec.c_str(), &argc, &rawArgv, nullptr)) return std::string();
  std::unique_ptr<char*, TGStrvFree> argv(rawArgv);

  std::string command;
  bool fileCodeSeen = false;
  for (gint i = 0; i < argc; ++i) {
    std::string word = argv.get()[i];
    if (word.find('"') != std::string::npos) return std::string();
    std::string out;
    bool onlyCodes = true;
    for (size_t k = 0; k < word.size(); ++k) {
      if (word[k] != '%') {
        out += word[k];
        onlyCodes = false;
        continue;
      }
      if (++k == word.size()) break;
      char code = word[k];
      if (code == '%') {
        out += '%';
        onlyCodes = false;
      } else if (IsFileFieldCode(code) && !fileCodeSeen) {
        // Only one file may be passed, so only the first file code counts.
        out += "%1";
        fileCodeSeen = true;
        onlyCodes = false;
      }
      // %i %c %k, the deprecated codes and repeated file codes expand to nothing.
    }
    // A word made only of dropped field codes disappears, as it would on launch.
    if (out.empty() && onlyCodes && !word.empty()) continue;
    if (i > 0 && command.empty()) return std::string();  // the program word itself vanished
    if (!command.empty()) command += ' ';
    command += '"' + out + '"';
  }
  return command;
}

std::unique_ptr<TContentTypeDatabase> CreateDesktopContentTypeDatabase() {
  return std::make_unique<TDesktopContentTypeDatabase>();
}

void UseDesktopContentTypeDatabase() { SetContentTypeDatabase(CreateDesktopContentTypeDatabase()); }

}  // namespace tessel
