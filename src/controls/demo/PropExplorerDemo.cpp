// A window with the property explorer filled with a sample message header,
// to try the control by hand: expand and collapse, drag the divider, edit
// values, step the "Yes"/"No" row with a second click, press "...".
//   propexplorer_demo [--read-only] [--grab FILE.png [SCALE]]
// --grab saves a picture of the filled control (at SCALE device pixels per
// pixel, 1 unless given) and ends, for a look without a display
// (QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QImage>
#include <QMessageBox>

#include <cstring>
#include <string>
#include <vector>

#include "controls/PropExplorer.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tessel::TPropExplorer pe;
  pe.setWindowTitle(QStringLiteral("Property explorer"));
  pe.resize(520, 360);
  pe.SetNameColWidth(120);
  const char* grab = nullptr;
  qreal scale = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--read-only") == 0)
      pe.SetReadOnly(true);
    else if (std::strcmp(argv[i], "--grab") == 0 && i + 1 < argc)
      grab = argv[++i];
    else if (grab && i + 1 == argc)
      scale = QString::fromLocal8Bit(argv[i]).toDouble();
  }

  pe.BeginUpdate();
  tessel::TPEItem& root = pe.Root();
  root.AddItem("From", "\"Alice Example\" <alice@example.org>");
  root.AddItem("To", "bob@example.net, carol@example.com");
  root.AddItem("Subject", "Quarterly figures (draft 3)");
  root.AddItem("Date", "Sun, 06 Dec 2026 21:15:00 +0100");
  root.AddItem("Message-ID", "<20261206201500.4711@mail.example.org>");
  tessel::TPEItem* type = root.AddItem("Content-Type", "multipart/signed");
  type->AddItem("protocol", "application/pkcs7-signature");
  type->AddItem("micalg", "sha-256");
  type->AddItem("boundary", "----=_Part_0_1234567890");
  pe.AddValue("Signed Data/Version", "1");
  pe.AddValue("Signed Data/Certificates/SerialNumber", "01:9A:3F:77:C2");
  pe.AddValue("Signed Data/Certificates", "1")
      ->AddItems("IssuerName", std::vector<std::string>{"C=DE", "O=Example Trust", "OU=a", "OU=b", "CN=Example CA"});
  tessel::TPEItem* flag = root.AddItem("Verified", "Yes");
  flag->Values = std::vector<std::string>{"Yes", "No"};
  tessel::TPEItem* cert = root.AddItem("Certificate", "CN=Alice Example");
  cert->ButtonHint = "Show the certificate";
  cert->OnButtonClick = [&pe](tessel::TPEItem& item) {
    QMessageBox::information(&pe, QStringLiteral("Certificate"), QString::fromStdString(item.Value()));
  };
  root.AddItem("References", std::string(2000, 'x'));
  pe.EndUpdate();

  pe.show();
  if (grab) {
    type->SetExpanded(true);
    pe.Root().Child(pe.Root().Count() - 4)->SetExpanded(true);
    pe.Select(flag);
    QApplication::processEvents();
    QImage image(pe.size() * scale, QImage::Format_ARGB32);
    image.setDevicePixelRatio(scale);
    pe.render(&image);
    return image.save(QString::fromLocal8Bit(grab)) ? 0 : 1;
  }
  return app.exec();
}
