#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "crawler/core/fetchwick_doc.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/crawler/core/recording_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

// A document without the engine, talking straight to the local test server.
inline DocOptions LocalDocOptions(EngineUse engine = EngineUse::None) {
  DocOptions options;
  options.engine = engine;
  options.sessions.proxy = http::ProxyMode::Direct;
  options.sessions.connectTimeout = std::chrono::seconds(5);
  options.sessions.receiveTimeout = std::chrono::seconds(10);
  return options;
}

// A document with a settings store of its own (written before it is made),
// a download folder, a recording host and the local test server. The
// document goes first when the test ends, then the server.
class DocTest : public ::testing::Test {
 protected:
  using Clock = std::chrono::steady_clock;

  // Stores a 32-bit setting for the document made next.
  void Store(const DwordSetting& setting, std::uint32_t value) {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_TRUE(key);
    ASSERT_TRUE(WriteSetting(*key, setting, value));
  }
  void StoreDownloadDirectory(const std::string& folder) {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_TRUE(key);
    ASSERT_TRUE(WriteDownloadDirectory(*key, folder));
  }

  CFetchwickDoc& MakeDoc(DocOptions options = LocalDocOptions()) {
    m_doc.reset();
    m_doc = std::make_unique<CFetchwickDoc>(m_host, std::move(options));
    m_host.Watch(m_doc.get());
    return *m_doc;
  }
  CFetchwickDoc& Doc() { return *m_doc; }
  void DestroyDoc() {
    m_host.Watch(nullptr);
    m_doc.reset();
  }

  // Plays the view: hands the next crawl-done message to the document.
  bool DeliverCrawlDone() {
    auto message = m_host.TakeCrawlDone();
    if (!message) return false;
    m_doc->OnCrawlDone(*message);
    return true;
  }

  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const RecordedRequest& request : m_server.Requests()) targets.push_back(request.target);
    return targets;
  }

  TempSettings m_settings;
  TempDir m_downloads;
  TestServer m_server;
  RecordingHost m_host;
  std::unique_ptr<CFetchwickDoc> m_doc;

  void TearDown() override { DestroyDoc(); }
};

// The links of a list, in list order.
inline std::vector<std::string> ListedUrls(const LinkList& list) {
  std::vector<std::string> urls;
  for (const LinkEntry* entry : list.Entries()) urls.push_back(entry->url);
  return urls;
}
