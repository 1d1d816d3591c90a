#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contract/stores.h"

class QSettings;

// The per-user stores. Each is one QSettings file under the user's
// configuration folder ($XDG_CONFIG_HOME/Tarnwell/NAME.conf). The class
// registry's is written by the interface library too, without Qt, in the
// same form (proxystub/class_store.h).
enum class SettingsStore {
  Fetchwick,  // the programs' settings and the address history
  Classes,    // the class registry used to find and start the engine
};

// A registry-shaped key over QSettings: a store plus a subkey path whose
// components are separated by "\\". Value and subkey names are escaped so
// that "/", "\\" and "%" survive a round trip. QSettings takes care of
// locking the file and merging changes between processes; a key writes its
// changes through when it is closed or destroyed.
class SettingsKey {
 public:
  enum class Access { Read, Write };

  // Fails (null) when the store file does not exist.
  static std::unique_ptr<SettingsKey> OpenForReading(SettingsStore store, std::string_view subkey = {});
  // Creates the store when it is missing; fails when it cannot be created.
  static std::unique_ptr<SettingsKey> OpenOrCreateForWriting(SettingsStore store, std::string_view subkey = {});
  // Fails when the store does not exist yet.
  static std::unique_ptr<SettingsKey> OpenExistingForWriting(SettingsStore store, std::string_view subkey = {});

  // Where a store lives, read from the environment at every call.
  static std::string StorePath(SettingsStore store);

  ~SettingsKey();
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  // Readers use a 260-byte buffer: a stored text of 260 bytes or more reads
  // as missing. An empty name is the key's default value.
  std::optional<std::string> ReadString(std::string_view name) const;
  bool WriteString(std::string_view name, std::string_view value);

  // A failed read (missing, or not a 32-bit number) leaves `value` untouched.
  bool ReadDword(std::string_view name, std::uint32_t& value) const;
  bool WriteDword(std::string_view name, std::uint32_t value);

  bool DeleteValue(std::string_view name);
  // Deletes a subkey of this key with everything below it.
  bool DeleteSubkey(std::string_view subkey);
  bool SubkeyExists(std::string_view subkey) const;

  // Names of the values directly under this key, enumerated by index from 0;
  // nullopt when there are no more.
  std::optional<std::string> EnumValueName(std::uint32_t index) const;
  std::vector<std::string> ValueNames() const;

  // Writes pending changes to disk; false when the store could not be written.
  bool Close();

 private:
  SettingsKey(std::unique_ptr<QSettings> settings, Access access);
  static std::unique_ptr<SettingsKey> Open(SettingsStore store, std::string_view subkey, Access access,
                                           bool createStore);

  std::unique_ptr<QSettings> m_settings;
  Access m_access;
};
