// The "Notification" page: the subject of event mail and the addresses every
// event is sent to. The list is rebuilt from the stored "Event List" each
// time the page becomes active and written back when it is left.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "settings_ui/sheet_page.h"

namespace Ui {
class CPropPageEmailNotification;
}

namespace kestrune::settings {

// "a;b;" gives the rows "a" and "b": each piece ended by ";" is a row (an
// empty one too); a last piece without ";" is dropped.
std::vector<std::wstring> SplitAddressList(const std::wstring& list);
// Every row followed by ";"; no rows give the empty text.
std::wstring JoinAddressList(const std::vector<std::wstring>& rows);

class CPropPageEmailNotification final : public SheetPage {
 public:
  CPropPageEmailNotification(platform::UiServices& dialogs, std::wstring subject,
                             std::wstring addresses);
  ~CPropPageEmailNotification() override;

  const std::wstring& Subject() const { return subject_; }
  const std::wstring& Addresses() const { return addresses_; }

  bool OnSetActive() override;
  bool OnKillActive() override;

 protected:
  bool DoDataExchange(bool save) override;
  bool HandleCommand(unsigned id) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnAdd();
  void OnRemove();
  std::vector<std::wstring> Rows() const;

  std::unique_ptr<::Ui::CPropPageEmailNotification> ui_;
  std::wstring subject_;
  std::wstring addresses_;
};

}  // namespace kestrune::settings
