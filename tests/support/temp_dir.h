#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string m_path;
};

// Points XDG_CONFIG_HOME (and, with the second folder, XDG_RUNTIME_DIR) at
// fresh folders for the lifetime of the object, so that a test starts with
// no settings store, and restores the previous values afterwards.
class TempSettings {
 public:
  TempSettings();
  ~TempSettings();
  const std::string& configHome() const { return m_config.path(); }
  std::string storePath() const { return m_config.path() + "/Tarnwell/Fetchwick.conf"; }

 private:
  TempDir m_config;
  std::string m_previous;
  bool m_hadPrevious;
};

// Writes `content` to `path`, replacing what was there.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
