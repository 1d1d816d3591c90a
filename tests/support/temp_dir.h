#pragma once

#include <optional>
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

// Sets an environment variable (or, given none, removes it) for the
// lifetime of the object, and puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at fresh folders for the
// lifetime of the object, so that a test starts with no settings store and
// no history, and restores the previous values afterwards.
class TempSettings {
 public:
  const std::string& configHome() const { return m_config.path(); }
  std::string storePath() const { return m_config.path() + "/Tarnwell/Fetchwick.conf"; }
  const std::string& dataHome() const { return m_data.path(); }

 private:
  TempDir m_config;
  ScopedEnv m_variable{"XDG_CONFIG_HOME", m_config.path()};
  TempDir m_data;
  ScopedEnv m_dataVariable{"XDG_DATA_HOME", m_data.path()};
};

// Writes `content` to `path`, replacing what was there.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
