// CFetchwickDoc: the options the dialog hands over, and the file filter.

#include <algorithm>

#include "crawler/core/fetchwick_doc.h"
#include "settings/settings.h"
#include "settings/settings_key.h"

void CFetchwickDoc::ApplyOptions(const CrawlerOptions& options) {
  // An empty folder field cannot name a folder: the folder in use stays.
  if (!options.downloadDir.empty()) {
    std::string folder = options.downloadDir;
    if (folder.back() != '/') folder += '/';
    m_own.SetDirectory(folder);
    // The engine stores the folder and creates it; the crawler itself does
    // not write it, so without an engine it lasts for this run only.
    if (IDownloadEngine* engine = ReadyEngine()) m_link.Checked(engine->SetDLDir(folder.c_str()));
  }

  m_nCrawlDepth = static_cast<int>(std::min(options.crawlDepth, setting::kCrawlDepth.maximum));
  m_bExcludeForeign = options.excludeForeign ? 1 : 0;
  // Stored only where the settings exist already.
  if (auto key = SettingsKey::OpenExistingForWriting(SettingsStore::Fetchwick)) {
    WriteSetting(*key, setting::kCrawlDepth, static_cast<std::uint32_t>(m_nCrawlDepth.load()));
    WriteSetting(*key, setting::kExcludeForeign, static_cast<std::uint32_t>(m_bExcludeForeign.load()));
  }
  SetFileFilter(options.fileFilter);
}

void CFetchwickDoc::SetFileFilter(std::string_view text) {
  // Stored exactly as typed, though it is never read back: every run starts
  // without a filter.
  if (auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick)) WriteFileFilter(*key, text);

  // Every run of ASCII letters, lower-cased, is one extension; anything else
  // (digits, punctuation, spaces, bytes of 128 and above) ends a run. Runs
  // are kept whole, however long.
  m_fileFilter.clear();
  std::string token;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') {
      token += static_cast<char>(c - 'A' + 'a');
    } else if (c >= 'a' && c <= 'z') {
      token += c;
    } else if (!token.empty()) {
      m_fileFilter.insert(std::move(token));
      token.clear();
    }
  }
  if (!token.empty()) m_fileFilter.insert(std::move(token));
  m_host.RebuildView();
}

std::string CFetchwickDoc::FileFilterText() const {
  std::string text;
  for (const std::string& extension : m_fileFilter) {
    text += extension;
    text += ',';
  }
  return text;
}

bool CFetchwickDoc::PassesFilter(const LinkEntry& entry) const {
  return m_fileFilter.empty() || m_fileFilter.count(entry.extension) > 0;
}
