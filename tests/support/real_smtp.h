// A real mail server written by others for the tests: aiosmtpd, run by
// tests/support/smtp_server.py on loopback ports, one listener per setup the
// test asks for. What it takes is read back from its output folder.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/source_dir.h"

extern char** environ;

namespace kestrune::test {

class RealSmtp {
 public:
  struct Listener {
    std::string name;
    std::string mode = "plain";  // "plain", "starttls" or "tls"
    std::string cert;
    std::string key;
    bool auth = false;
    bool authRequireTls = true;
    bool authRequired = false;
    std::vector<std::string> exclude;  // AUTH mechanisms not offered
    std::string user;
    std::string password;
  };

  // Starts the server in `folder` (its configuration and output folder).
  RealSmtp(const std::vector<Listener>& listeners, const std::string& folder) : folder_(folder) {
    Start(listeners);
  }
  ~RealSmtp() {
    if (input_ >= 0) ::close(input_);
    if (pid_ > 0) {
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  RealSmtp(const RealSmtp&) = delete;
  RealSmtp& operator=(const RealSmtp&) = delete;

  std::uint16_t Port(const std::string& name) const {
    const auto it = ports_.find(name);
    return it == ports_.end() ? 0 : it->second;
  }

  // The mails taken so far, in order: what the server's parser made of each.
  std::vector<nlohmann::json> Mails() const {
    std::vector<nlohmann::json> mails;
    for (int n = 0;; ++n) {
      std::ifstream file(out_ + "/" + std::to_string(n) + ".json");
      if (!file) break;
      mails.push_back(nlohmann::json::parse(file));
    }
    return mails;
  }
  // A mail's bytes as they arrived.
  std::string Raw(std::size_t n) const {
    std::ifstream file(out_ + "/" + std::to_string(n) + ".eml", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
  // The AUTH attempts: "listener mechanism login ok|refused" each.
  std::string AuthLog() const {
    std::ifstream file(out_ + "/auth.log");
    return {std::istreambuf_iterator<char>(file), {}};
  }

 private:
  void Start(const std::vector<Listener>& listeners) {
    const std::string& folder = folder_;
    nlohmann::json config = nlohmann::json::array();
    for (const Listener& l : listeners) {
      config.push_back({{"name", l.name},
                        {"mode", l.mode},
                        {"cert", l.cert},
                        {"key", l.key},
                        {"auth", l.auth},
                        {"auth_require_tls", l.authRequireTls},
                        {"auth_required", l.authRequired},
                        {"exclude", l.exclude},
                        {"user", l.user},
                        {"password", l.password}});
    }
    const std::string configFile = folder + "/smtp-config.json";
    std::ofstream(configFile) << config.dump();
    out_ = folder + "/mail";
    std::filesystem::create_directories(out_);

    int in[2];
    int out[2];
    ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string script = KESTRUNE_SOURCE_DIR "/tests/support/smtp_server.py";
    std::vector<std::string> args{KESTRUNE_PYTHON3, script, configFile, out_};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned =
        ::posix_spawn(&pid_, KESTRUNE_PYTHON3, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    ASSERT_EQ(spawned, 0) << "cannot run " KESTRUNE_PYTHON3;
    // The one line that says every listener listens (or nothing: it failed).
    std::string line;
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, 30000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    ASSERT_EQ(line.rfind("READY", 0), 0u)
        << "the test mail server did not start (is python3-aiosmtpd installed? "
           "scripts/install-deps.sh)";
    std::istringstream words(line.substr(5));
    for (std::string word; words >> word;) {
      const auto eq = word.find('=');
      ports_[word.substr(0, eq)] = static_cast<std::uint16_t>(std::stoi(word.substr(eq + 1)));
    }
  }

  std::string folder_;
  std::string out_;
  pid_t pid_ = -1;
  int input_ = -1;
  std::map<std::string, std::uint16_t> ports_;
};

}  // namespace kestrune::test
