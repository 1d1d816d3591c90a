#pragma once

#include <optional>
#include <string>

#include "contract/identities.h"

// The engine's entries in the per-user class registry: the ProgIDs, the
// class key with the path of the server program, the AppID and the type
// library. Activation reads the server's path from it.
namespace ps::class_registry {

// A program's application identity: the AppID key named by its GUID, whose
// default value is the program's name, and the key named by its executable
// whose "AppID" value holds the GUID.
struct AppIdentity {
  Guid appId;
  const char* name;
  const char* exeKey;
};
inline constexpr AppIdentity kEngineApp{APPID_Pullwright, registration::kEngineAppName, registration::kEngineExeKey};
inline constexpr AppIdentity kCrawlerApp{APPID_Fetchwick, registration::kCrawlerAppName, registration::kCrawlerExeKey};
inline constexpr AppIdentity kManagerApp{APPID_Queuebay, registration::kManagerAppName, registration::kManagerExeKey};

// Writes the AppID entries of `app`. False when the registry cannot be written.
bool RegisterAppId(const AppIdentity& app);
// Writes the class entries (the class key is made anew) and the type
// library, with `serverPath` as the program clients start.
bool RegisterClass(const std::string& serverPath);
// Removes them; the AppID key itself stays.
bool UnregisterAppId(const AppIdentity& app);
// Removes the class entries and the type library; the CLSID and AppID keys
// themselves stay.
bool UnregisterClass();

// The program registered to serve the engine class; none when the class
// is not registered (or its path is empty).
std::optional<std::string> LocalServerPath();

// Registers the engine program beside the running program when it is there
// and the registry names another one, or none, or names it only in part (a
// registration cut short): so an installed copy registers itself at its
// first use, and an install over an older one replaces the older path.
// False when it tried and could not write.
bool RegisterEngineBesideMe(const char* engineProgram = "pullwright");

// The running program's own path; empty when it cannot be told.
std::string RunningProgramPath();

}  // namespace ps::class_registry
