#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "pullwright/download_engine.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/pullwright/recording_sink.h"
#include "tests/support/body_pattern.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

// Compares file contents without printing megabytes of bytes on failure.
inline ::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << at;
}

// The texts of the events with one code, in order.
inline std::vector<std::string> TextsOf(const std::vector<RecordingSink::Event>& events, std::uint32_t code) {
  std::vector<std::string> texts;
  for (const auto& event : events)
    if (event.status == code) texts.push_back(event.text);
  return texts;
}

// An engine with its own settings store, download folder, test server and
// one recording sink.
class EngineFixture : public ::testing::Test {
 protected:
  void StartEngine(std::uint32_t threads, std::uint32_t maxRetries = 5,
                   std::chrono::milliseconds dataTimeout = std::chrono::seconds(10)) {
    {
      auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
      WriteSetting(*key, setting::kThreadCount, threads);
      WriteSetting(*key, setting::kMaxRetries, maxRetries);
      WriteDownloadDirectory(*key, Folder());
    }
    EngineOptions options;
    options.connectTimeout = std::chrono::seconds(5);
    options.dataTimeout = dataTimeout;
    m_engine = CDownloadEngine::Create(options);
    std::shared_ptr<IConnectionPoint> point;
    ASSERT_EQ(m_engine->FindConnectionPoint(IID_ICallbackItf, &point), S_OK);
    std::uint32_t cookie = 0;
    ASSERT_EQ(point->Advise(m_sink, &cookie), S_OK);
  }

  std::string Folder() const { return m_downloads.path() + "/"; }
  std::string Target(const std::string& name) const { return m_downloads.file(name); }

  void Download(const std::string& name, const std::string& path) {
    ASSERT_EQ(m_engine->DownloadFile(name.c_str(), m_server.Url(path).c_str()), S_OK);
  }

  std::size_t Listed() {
    std::shared_ptr<IEnumFiles> files;
    m_engine->EnumFiles(&files);
    _LinkStructType records[64];
    std::uint32_t fetched = 0;
    files->Next(64, records, &fetched);
    return fetched;
  }

  // Waits until no record is pending or active. A record put back goes from
  // one to the other in one step, so the first idle look is the end.
  bool WaitUntilIdle(std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      std::int32_t busy = 1;
      m_engine->IsDownloading(&busy);
      if (busy == 0 && Listed() == 0) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // The events of one address, in order.
  std::vector<RecordingSink::Event> EventsOf(const std::string& path) const {
    std::vector<RecordingSink::Event> mine;
    for (const auto& event : m_sink->Events())
      if (event.href() == m_server.Url(path)) mine.push_back(event);
    return mine;
  }

  static std::vector<std::uint32_t> Codes(const std::vector<RecordingSink::Event>& events) {
    std::vector<std::uint32_t> codes;
    for (const auto& event : events) codes.push_back(event.status);
    return codes;
  }

  TempSettings m_settings;
  TempDir m_downloads;
  TestServer m_server;
  std::shared_ptr<RecordingSink> m_sink = std::make_shared<RecordingSink>();
  std::shared_ptr<CDownloadEngine> m_engine;
};
