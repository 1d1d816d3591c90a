// The registration switches of both window programs, through both
// command-line passes: each ends the real program without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxystub/class_registry.h"
#include "settings/settings_key.h"
#include "tests/support/engine_home.h"

namespace {

using ps::class_registry::AppIdentity;

// Whether `app`'s application entries are in the class registry.
bool Registered(const AppIdentity& app) {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Classes, "AppID\\" + GuidToString(app.appId));
  const auto exe = SettingsKey::OpenForReading(SettingsStore::Classes, std::string("AppID\\") + app.exeKey);
  return key && key->ReadString("") == std::optional<std::string>(app.name) && exe &&
         exe->ReadString("AppID") == GuidToString(app.appId);
}

TEST(RegistrationSwitches, EachEndsTheProgramWithoutAWindow) {
  TempSettings settings;
  struct Case {
    std::vector<std::string> arguments;
    bool registeredAfter;
  };
  // Each runs after the one before it, so each can undo what it did.
  const Case cases[] = {
      {{"-RegServer"}, true},
      {{"/unregserver"}, false},
      {{"/REGSERVER"}, true},
      {{"-UnRegServer"}, false},
      // Followed by a word, the switch is the second pass's register
      // request: nothing written, and no window all the same.
      {{"-RegServer", "now"}, false},
      {{"/Register"}, false},
      {{"-regserver", "x", "-Embedding"}, false},
      {{"-Embedding"}, false},
      {{"/automation"}, false},
      {{"-Unregister", "-Embedding"}, false},
  };
  const std::pair<const char*, AppIdentity> programs[] = {{FETCHWICK_PROGRAM, ps::class_registry::kCrawlerApp},
                                                          {QUEUEBAY_PROGRAM, ps::class_registry::kManagerApp}};
  for (const auto& [program, app] : programs) {
    for (const Case& test : cases) {
      std::vector<std::string> argv{program};
      argv.insert(argv.end(), test.arguments.begin(), test.arguments.end());
      // A window would keep the program running past the limit.
      EXPECT_EQ(RunProgram(argv, 20000), 0) << program << testing::PrintToString(test.arguments);
      EXPECT_EQ(Registered(app), test.registeredAfter) << program << testing::PrintToString(test.arguments);
    }
  }
  // Each program writes only its own entries.
  EXPECT_EQ(RunProgram({FETCHWICK_PROGRAM, "-RegServer"}), 0);
  EXPECT_FALSE(Registered(ps::class_registry::kManagerApp));
}

}  // namespace
