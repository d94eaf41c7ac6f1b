// tessel --import-p12 FILE [--password-file F]: puts a certificate with its
// private key from a PKCS #12 file into the "My" store (the key as a file of
// mode 0600), and the file's other certificates (its issuers) into
// "AddressBook", where chains find them as intermediates.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>
#include <string>

#include "ui/cli/Command.h"
#include "smime/cms/Certificate.h"
#include "smime/stores/CertificateStore.h"
#include "smime/openssl/CryptoPlatform.h"

namespace tessel::cli {

namespace {

// Reads one line from the terminal with echo off; false when there is no
// terminal to ask.
bool AskPassword(const std::string& fileName, std::string& password) {
  int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  termios saved;
  bool haveTermios = tcgetattr(fd, &saved) == 0;
  if (haveTermios) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::string prompt = "Password for " + fileName + ": ";
  ssize_t ignored = write(fd, prompt.data(), prompt.size());
  (void)ignored;
  password.clear();
  char c;
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = !password.empty();
      break;
    }
    if (c == '\n' || c == '\r') break;
    password += c;
  }
  if (haveTermios) tcsetattr(fd, TCSAFLUSH, &saved);
  close(fd);
  return ok;
}

// The first line of the file, without its line end.
std::string FirstLine(const std::string& bytes) {
  size_t end = bytes.find_first_of("\r\n");
  return end == std::string::npos ? bytes : bytes.substr(0, end);
}

std::string Describe(const crypto::TCertHandle& cert) {
  TCertificate c(cert);
  std::string name = c.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName);
  if (name.empty()) name = c.SubjectParts().empty() ? c.SerialNumber() : c.SubjectParts().front();
  return "\"" + name + "\"";
}

int RunImportP12(TCommandContext& ctx) {
  bool bad = false;
  std::string passwordFile = TakeOption(ctx.Args, "--password-file", bad);
  if (int status = FileArgument(ctx, bad, "--import-p12 FILE [--password-file F]")) return status;
  const std::string& fileName = ctx.Args[0];
  std::string bytes;
  if (int status = ReadCommandFile(ctx, fileName, bytes)) return status;

  crypto::TCertHandle cert;
  crypto::TPrivateKey key;
  std::vector<crypto::TCertHandle> others;
  crypto::TPkcs12Result result = crypto::ReadPkcs12(bytes, nullptr, cert, key, others);
  if (result == crypto::TPkcs12Result::WrongPassword) {
    std::string password;
    if (!passwordFile.empty()) {
      std::string text;
      if (int status = ReadCommandFile(ctx, passwordFile, text)) return status;
      password = FirstLine(text);
    } else if (!AskPassword(fileName, password)) {
      ctx.Err << "tessel: \"" << fileName
              << "\" is protected by a password and there is no terminal to ask for it; give it with "
                 "--password-file F\n";
      return ExitUsage;
    }
    result = crypto::ReadPkcs12(bytes, &password, cert, key, others);
  }
  switch (result) {
    case crypto::TPkcs12Result::Ok: break;
    case crypto::TPkcs12Result::NotPkcs12:
      ctx.Err << "tessel: \"" << fileName << "\" is not a PKCS #12 file\n";
      return ExitNotParsed;
    case crypto::TPkcs12Result::WrongPassword:
      ctx.Err << "tessel: the password for \"" << fileName << "\" is not correct\n";
      return ExitNotParsed;
    case crypto::TPkcs12Result::NoCertificate:
      ctx.Err << "tessel: \"" << fileName << "\" holds no certificate\n";
      return ExitNotParsed;
  }
  if (!key) {
    ctx.Err << "tessel: \"" << fileName << "\" holds no private key; add its certificate with --import-cert instead\n";
    return ExitNotParsed;
  }

  std::string error;
  TCertStore::TAddResult added = TCertStore::AddCertificateWithKey("My", cert, key, error);
  if (added == TCertStore::TAddResult::Failed) {
    ctx.Err << "tessel: " << error << "\n";
    return ExitUnreadable;
  }
  ctx.Out << (added == TCertStore::TAddResult::Added ? "Added to \"My\": " : "Already in \"My\": ") << Describe(cert)
          << " with its private key\n";
  for (const crypto::TCertHandle& other : others) {
    TCertStore::TAddResult r = TCertStore::AddCertificate("AddressBook", other, error);
    if (r == TCertStore::TAddResult::Failed)
      ctx.Err << "tessel: " << error << "\n";
    else if (r == TCertStore::TAddResult::Added)
      ctx.Out << "Added to \"AddressBook\": " << Describe(other) << "\n";
  }
  return ExitDone;
}

const TCommandRegistrar kImportP12Command("--import-p12", "FILE [--password-file F]",
                                          "add a certificate and its private key from a PKCS #12 file to "
                                          "the \"My\" store",
                                          RunImportP12);

}  // namespace

}  // namespace tessel::cli
