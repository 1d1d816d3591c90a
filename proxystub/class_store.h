#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The per-user class registry's file, read and written without Qt in the
// INI form QSettings gives the settings store, so that each reads what the
// other wrote. Keys are registry-shaped paths ("a\\b"); a key's default
// value has the empty name.
namespace ps {

class ClassStore {
 public:
  // The store as it is on disk; empty when there is no file yet. None when
  // the file is there but cannot be read.
  static std::optional<ClassStore> Load();
  static ClassStore Parse(std::string_view text);

  // As the settings store reads a text: one of 260 bytes or more, or a
  // value that is no text, reads as missing.
  std::optional<std::string> Read(std::string_view key, std::string_view name = {}) const;
  void Write(std::string_view key, std::string_view name, std::string_view value);
  // Removes `key` with everything below it.
  void Delete(std::string_view key);

  std::string Text() const;
  bool operator==(const ClassStore&) const = default;

 private:
  // The store's own keys ("a/b/@default") to their values as they stand in
  // the file, so that entries written by others go back unchanged.
  std::map<std::string, std::string> m_entries;
};

// Reads the store, lets `edit` change it and writes it back whole, under a
// lock that other editors of the class registry wait for; readers see the
// old file or the new one, never a part. Nothing is written when nothing
// changed. False when the store could not be read or written.
bool EditClassStore(const std::function<void(ClassStore&)>& edit);

}  // namespace ps
