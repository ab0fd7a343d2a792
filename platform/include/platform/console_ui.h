// UI services for the command-line programs: message boxes become lines on
// the console, and since nobody is there to answer, every question gets its
// negative answer.
#pragma once

#include <cstdio>
#include <mutex>
#include <ostream>

#include "platform/ui_services.h"

namespace kestrune::platform {

class ConsoleUi final : public UiServices {
 public:
  // Writes UTF-8 to the stream (standard error by default).
  explicit ConsoleUi(std::FILE* out = stderr);
  // Writes UTF-8 bytes to a narrow stream.
  explicit ConsoleUi(std::ostream& out);
  // Writes the wide text as it is; the stream's locale decides its encoding.
  explicit ConsoleUi(std::wostream& out);

  // Writes "caption: text" (or the text alone when there is no caption).
  // Answers Ok to an Ok box, No to Yes/No, Cancel to every other question.
  MsgResult MessageBox(const std::wstring& text, const std::wstring& caption, MsgButtons buttons,
                       MsgIcon icon) override;
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  // There is no clipboard on a console.
  bool SetClipboardText(const std::wstring& text) override;

  static MsgResult UnattendedAnswer(MsgButtons buttons);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::ostream* narrow_ = nullptr;
  std::wostream* wide_ = nullptr;
};

}  // namespace kestrune::platform
