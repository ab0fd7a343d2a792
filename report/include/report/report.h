// The configuration report: a plain-text snapshot of the computer, the
// adapters with their channels, devices and IDENTIFY data, and the RAID sets
// with their members, delivered to a file, the clipboard or by e-mail.
#pragma once

#include <cstdint>
#include <string>

#include "controller/controller_io.h"
#include "controller/model.h"
#include "events/smtp.h"
#include "platform/clock.h"
#include "platform/ui_services.h"
#include "resources/string_ids.h"

namespace kestrune::rpt {

// How the user asked for the report.
enum class Delivery { SaveToFile = 1, Clipboard = 2, Email = 3 };

// What the save dialog offers.
inline constexpr char kDefaultReportFileName[] = "QV200CFG.txt";
inline constexpr char kReportFileExtension[] = "txt";
inline constexpr char kReportFileFilter[] = "Text Files (*.txt)|*.txt||";

// The whole report text of the model, lines ended by "\r\n". `nowText` is the
// date and time shown in the first line (see CurrentTimeText). The caller
// holds the model lock.
std::wstring BuildReport(const ctl::ConfigurationModel& model, const std::wstring& nowText);

// The local time of `clock` in the report's (and the log's) layout.
std::wstring CurrentTimeText(platform::Clock& clock);

// Reads the driver files again and refreshes every adapter, in the order the
// report expects: support driver file, driver version, adapter driver file,
// adapter and device information, and for a RAID chip its layer version,
// spare drives and full set data.
void RefreshForReport(ctl::CControllerIo& io);

// Refresh and build under one hold of the model lock, with the wait cursor
// shown from start to end.
std::wstring ProduceReportText(ctl::CControllerIo& io, platform::Clock& clock,
                               platform::UiServices& ui);

// Writes the report as the new content of `path`, as UTF-16 little-endian
// code units, without byte-order mark and without terminator. The file is
// written beside the target and renamed over it only when complete, so a
// failed save leaves the old file (or none); a target that is no regular file
// is refused. False when the file cannot be created or fully written, with
// the reason in `why` when given; the caller then shows
// res::kStrReportFileFailure.
bool SaveReportFile(const std::string& path, const std::wstring& report,
                    std::string* why = nullptr);

// Hands the report to the clipboard as Unicode text; false when the clipboard
// is not available (the caller then does nothing).
bool CopyReportToClipboard(platform::UiServices& ui, const std::wstring& report);

// Mails the report as the body of one SMTP dialogue: connect (with the
// account's port, security and authentication), addresses, data, quit,
// stopping at the first failed step with its error text in `error`.
bool MailReport(const std::wstring& server, const evt::SmtpAccount& account,
                const std::wstring& recipients, const std::wstring& subject,
                const std::wstring& sender, const std::wstring& report, std::wstring& error,
                evt::SmtpOptions options = {});
// The same in plain SMTP without authentication, on `port`.
bool MailReport(const std::wstring& server, const std::wstring& recipients,
                const std::wstring& subject, const std::wstring& sender, const std::wstring& report,
                std::wstring& error, evt::SmtpOptions options = {},
                std::uint16_t port = evt::kSmtpPort);

// The failure boxes of the deliveries.
void ShowFileFailure(platform::UiServices& ui);
void ShowMailFailure(platform::UiServices& ui, const std::wstring& error);

}  // namespace kestrune::rpt
