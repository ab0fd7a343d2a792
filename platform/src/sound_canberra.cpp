// Wave files through libcanberra. libcanberra answers "not found" alike for a
// missing file and for a machine without a sound device, so the file is
// checked here first; every other failure only means "not played".
#include <canberra.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "platform/sound.h"
#include "platform/text.h"

namespace kestrune::platform {

namespace {

bool IsReadableFile(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return false;
  return S_ISREG(info.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

class CanberraSound final : public Sound {
 public:
  CanberraSound() = default;
  ~CanberraSound() override {
    if (context_ != nullptr) ca_context_destroy(context_);
  }
  CanberraSound(const CanberraSound&) = delete;
  CanberraSound& operator=(const CanberraSound&) = delete;

  bool PlayAsync(const std::wstring& path) override {
    const std::string file = ToUtf8(path);
    if (!IsReadableFile(file)) return false;
    std::lock_guard lock(mutex_);
    if (!Context()) return false;
    // Sounds are played once each; caching them in the sound server would only
    // keep files the user may have replaced since.
    return ca_context_play(context_, 0, CA_PROP_MEDIA_FILENAME, file.c_str(),
                           CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr) == CA_SUCCESS;
  }

 private:
  // Made on first use, once: a machine without a sound system keeps failing
  // cheaply instead of retrying the back ends on every event.
  bool Context() {
    if (!tried_) {
      tried_ = true;
      ca_context* context = nullptr;
      if (ca_context_create(&context) == CA_SUCCESS) {
        ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Kestrune",
                                CA_PROP_APPLICATION_ID, "org.kestrune.Kestrune", nullptr);
        context_ = context;
      }
    }
    return context_ != nullptr;
  }

  std::mutex mutex_;
  bool tried_ = false;
  ca_context* context_ = nullptr;
};

}  // namespace

std::shared_ptr<Sound> MakeSystemSound() {
  return std::make_shared<CanberraSound>();
}

}  // namespace kestrune::platform
