#pragma once

#include <string>
#include <string_view>

// The per-user stores: the programs' settings and the class registry. Both
// are files in one folder, $XDG_CONFIG_HOME/Tarnwell (or ~/.config/Tarnwell),
// read from the environment at every call. The settings store reads and
// writes them through QSettings, the interface library the class registry
// without Qt; both name keys and values alike, as below.
inline constexpr char kSettingsStoreFile[] = "Fetchwick.conf";
inline constexpr char kClassesStoreFile[] = "Classes.conf";

std::string StoreFolder();
std::string StoreFilePath(const char* fileName);

// A registry-shaped key path ("a\\b", empty components dropped) as the
// store's group ("a/b"), each component escaped.
std::string StoreGroupPath(std::string_view subkey);
// A value's name in its group; the key's default value (the empty name)
// gets one no escaped name can have.
std::string StoreValueKey(std::string_view name);
inline constexpr char kDefaultValueKey[] = "@default";

// Escaping of one key or value name, since the store treats "/" and "\\"
// as group separators.
std::string EscapeSettingsName(std::string_view name);
std::string UnescapeSettingsName(std::string_view escaped);
