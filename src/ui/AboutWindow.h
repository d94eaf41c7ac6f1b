// The about box: the program's name, "Version " and the version compiled
// into the program, two links opened with the desktop's handler, and "OK".
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

namespace tessel {

inline constexpr char kHomePageUrl[] = "https://tessel.example.org/";
inline constexpr char kLicenceUrl[] = "https://tessel.example.org/licence.html";

// "Version " + the version the build compiled in.
QString VersionLine();

class TAboutWindow : public QDialog {
  Q_OBJECT
public:
  // openLink opens a clicked link; by default the desktop's handler
  // (tests record the call instead).
  explicit TAboutWindow(QWidget* parent = nullptr, std::function<void(const QUrl&)> openLink = {});
};

}  // namespace tessel
