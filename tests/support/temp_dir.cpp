#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/fetchwick-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::file(const std::string& name) const { return m_path + "/" + name; }

TempSettings::TempSettings() {
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  m_hadPrevious = previous != nullptr;
  if (previous) m_previous = previous;
  ::setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
}

TempSettings::~TempSettings() {
  if (m_hadPrevious)
    ::setenv("XDG_CONFIG_HOME", m_previous.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
