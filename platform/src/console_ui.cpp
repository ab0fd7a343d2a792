#include "platform/console_ui.h"

#include "platform/text.h"

namespace kestrune::platform {

ConsoleUi::ConsoleUi(std::FILE* out) : file_(out != nullptr ? out : stderr) {}
ConsoleUi::ConsoleUi(std::ostream& out) : narrow_(&out) {}
ConsoleUi::ConsoleUi(std::wostream& out) : wide_(&out) {}

MsgResult ConsoleUi::UnattendedAnswer(MsgButtons buttons) {
  return ClosedAnswer(buttons);
}

MsgResult ConsoleUi::MessageBox(const std::wstring& text, const std::wstring& caption,
                                MsgButtons buttons, MsgIcon /*icon*/) {
  const std::wstring line = (caption.empty() ? text : caption + L": " + text) + L"\n";
  std::lock_guard lock(mutex_);
  if (wide_ != nullptr) {
    *wide_ << line;
    wide_->flush();
  } else {
    const std::string bytes = ToUtf8(line);
    if (narrow_ != nullptr) {
      narrow_->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      narrow_->flush();
    } else {
      std::fwrite(bytes.data(), 1, bytes.size(), file_);
      std::fflush(file_);
    }
  }
  return UnattendedAnswer(buttons);
}

bool ConsoleUi::SetClipboardText(const std::wstring& /*text*/) {
  return false;
}

}  // namespace kestrune::platform
