// The small boxes: the wait box without and with Cancel, the report's Send
// dialog over the longest event list, and a message box whose caption is
// longer than its text.
#include <QApplication>
#include <QTimer>
#include <string>

#include "app/send_dialog.h"
#include "platform_qt/busy_wait_box.h"
#include "platform_qt/qt_ui_services.h"
#include "shots.h"

namespace kestrune::shots {
namespace {

bool ShootBoxes(const QString& folder) {
  bool ok = true;
  {
    platform_qt::BusyWaitBox box(nullptr);
    box.show();
    ok = Save(box, folder, "wait") && ok;
    box.OfferCancel([] {});
    ok = Save(box, folder, "wait-cancel") && ok;
  }
  {
    // Eight addresses, 219 characters.
    std::wstring to;
    for (int i = 0; i < 8; ++i) to += std::wstring(26, static_cast<wchar_t>(L'a' + i)) + L";";
    to += L"zz;";
    app::CSendConfigDlg send(L"mail.example.com", to, L"Kestrune configuration");
    send.show();
    ok = Save(send, folder, "send") && ok;
  }
  {
    platform_qt::QtUiServices ui;
    QTimer::singleShot(0, qApp, [&] {
      if (QWidget* box = QApplication::activeModalWidget()) {
        ok = Save(*box, folder, "message-caption") && ok;
        box->close();
      }
    });
    ui.MessageBox(L"No.", L"Delete Spare Drive", platform::MsgButtons::Ok,
                  platform::MsgIcon::Error);
  }
  return ok;
}

const FamilyEntry kBoxes(QStringLiteral("boxes"), &ShootBoxes);

}  // namespace
}  // namespace kestrune::shots
