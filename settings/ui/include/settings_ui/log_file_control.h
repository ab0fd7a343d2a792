// What the configuration sheet does to the log file: the logger's pause
// handshake around every change, the held log file reopened, and the backup
// copy of a purge.
#pragma once

#include <string>

#include "events/event_log_thread.h"
#include "platform/ui_services.h"
#include "settings/app_settings.h"

namespace kestrune::settings {

// Changes of the log file go through here, always between Pause and Resume:
//
//   With a logger thread, Pause waits until the thread has written its
//   pause-taken entry and stopped writing, and closes the held log file;
//   Resume lets it write again (it takes "Log File Enabled" anew and writes
//   its resumed entry).
//
//   When the logger's thread could not be made at start-up, nobody writes
//   entries: Pause only closes the held file and Resume does nothing, while
//   the file itself is opened, switched, copied and emptied exactly as with a
//   thread, so the file on disk and the settings agree either way.
//
//   Without a logger object at all, there is no held file to keep: OpenHeld
//   opens the file (making it, emptying it, writing its byte-order mark as
//   asked) and closes it again at once.
class LogFileControl {
 public:
  LogFileControl(AppSettings& settings, evt::EventLogger* logger, platform::UiServices& ui);

  void Pause();
  void Resume();
  // Whether the log file is held open now.
  bool Held() const;
  // Opens the log file the settings name, as the held file; on failure shows
  // message 339 and holds nothing.
  bool OpenHeld(bool truncate);

 private:
  AppSettings& settings_;
  evt::EventLogger* logger_;
  platform::UiServices& ui_;
};

// Pause in the constructor, Resume in the destructor: no way out of a change
// leaves the logger paused.
class LogFilePause {
 public:
  explicit LogFilePause(LogFileControl& control) : control_(control) { control_.Pause(); }
  ~LogFilePause() { control_.Resume(); }
  LogFilePause(const LogFilePause&) = delete;
  LogFilePause& operator=(const LogFilePause&) = delete;

 private:
  LogFileControl& control_;
};

// Copies the file at `from` to `to`, replacing what is there only once the
// whole copy is written and flushed (a failed copy leaves an older file at
// `to` as it was). Copying a file onto itself is refused. On failure returns
// false and the system's text for the error, ending in a line feed.
bool CopyFileReplacing(const std::wstring& from, const std::wstring& to, std::wstring& error);

// Splits a full path into its folder (everything before the file name, ending
// in the separator; empty when there is none) and the file name.
void SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& name);

// Whether the file name of `path` ends in "." + extension (letters compared
// without regard to case).
bool HasExtension(const std::wstring& path, const std::wstring& extension);

}  // namespace kestrune::settings
