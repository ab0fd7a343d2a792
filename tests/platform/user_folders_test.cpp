#include "platform/user_folders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/scoped_env.h"

namespace kestrune::platform {
namespace {

using test::ScopedEnv;

TEST(UserFolders, FollowTheEnvironmentAndEndInASlash) {
  struct Case {
    const char* home;
    const char* state;   // XDG_STATE_HOME
    const char* config;  // XDG_CONFIG_HOME
    std::string homeFolder, stateFolder, configFolder;
  };
  const std::vector<Case> cases = {
      {"/home/op", nullptr, nullptr, "/home/op/", "/home/op/.local/state/", "/home/op/.config/"},
      {"/home/op/", "", "", "/home/op/", "/home/op/.local/state/", "/home/op/.config/"},
      {"/home/op", "/st", "/cfg/", "/home/op/", "/st/", "/cfg/"},
      // The XDG rules ignore relative values.
      {"/home/op", "st", "./cfg", "/home/op/", "/home/op/.local/state/", "/home/op/.config/"},
      {"/", nullptr, nullptr, "/", "/.local/state/", "/.config/"},
  };
  for (const Case& c : cases) {
    ScopedEnv home("HOME", c.home);
    ScopedEnv state("XDG_STATE_HOME", c.state);
    ScopedEnv config("XDG_CONFIG_HOME", c.config);
    EXPECT_EQ(HomeFolder(), c.homeFolder) << c.home;
    EXPECT_EQ(StateFolder(), c.stateFolder) << c.home;
    EXPECT_EQ(ConfigFolder(), c.configFolder) << c.home;
  }
}

TEST(UserFolders, WithoutHomeThePasswordDatabaseAnswers) {
  const passwd* entry = ::getpwuid(::getuid());
  if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] == '\0')
    GTEST_SKIP() << "this user has no home folder in the password database";
  std::string expected = entry->pw_dir;
  if (expected.back() != '/') expected += '/';
  for (const char* home : {static_cast<const char*>(nullptr), ""}) {
    ScopedEnv unset("HOME", home);
    ScopedEnv state("XDG_STATE_HOME", nullptr);
    EXPECT_EQ(HomeFolder(), expected);
    EXPECT_EQ(StateFolder(), expected + ".local/state/");
  }
}

}  // namespace
}  // namespace kestrune::platform
