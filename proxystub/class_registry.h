#pragma once

#include <optional>
#include <string>

// The engine's entries in the per-user class registry: the ProgIDs, the
// class key with the path of the server program, the AppID and the type
// library. Activation reads the server's path from it.
namespace ps::class_registry {

// Writes the AppID entries. False when the registry cannot be written.
bool RegisterAppId();
// Writes the class entries (the class key is made anew) and the type
// library, with `serverPath` as the program clients start.
bool RegisterClass(const std::string& serverPath);
bool UnregisterAppId();
// Removes the class entries and the type library; the CLSID and AppID keys
// themselves stay.
bool UnregisterClass();

// The program registered to serve the engine class; none when the class
// is not registered (or its path is empty).
std::optional<std::string> LocalServerPath();

}  // namespace ps::class_registry
