// The engine's interfaces through proxies and stubs over a real socket,
// against the real engine (with no workers, so records stay queued).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "contract/status.h"
#include "tests/proxystub/loopback.h"
#include "tests/pullwright/recording_sink.h"

namespace {

std::uint32_t AdviseOn(IDownloadEngine& engine, std::shared_ptr<ICallbackItf> sink) {
  std::shared_ptr<IConnectionPoint> cp;
  EXPECT_EQ(engine.FindConnectionPoint(IID_ICallbackItf, &cp), S_OK);
  std::uint32_t cookie = 0;
  EXPECT_EQ(cp->Advise(std::move(sink), &cookie), S_OK);
  return cookie;
}

TEST(ProxyStub, CallsCarryTheirArgumentsAndResultsBothWays) {
  Loopback loop;
  auto engine = loop.Engine(loop.Connect());
  ASSERT_TRUE(engine);
  auto sink = std::make_shared<RecordingSink>();
  EXPECT_EQ(AdviseOn(*engine, sink), 1u);

  ASSERT_EQ(engine->DownloadFile("a.bin", "http://127.0.0.1:9/dir/a.bin"), S_OK);
  // The engine reports before DownloadFile returns, so the event is there.
  const auto events = sink->Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].status, STATUS_QUEUED);
  EXPECT_EQ(events[0].text, "");
  EXPECT_EQ(events[0].href(), "http://127.0.0.1:9/dir/a.bin");
  EXPECT_EQ(events[0].name(), "a.bin");

  std::int32_t downloading = 7;
  EXPECT_EQ(engine->IsDownloading(&downloading), S_OK);
  EXPECT_EQ(downloading, 0);
  EXPECT_EQ(engine->IsDownloading(nullptr), E_POINTER);

  TempDir folder;
  const std::string path = folder.path() + "/";
  ASSERT_EQ(engine->SetDLDir(path.c_str()), S_OK);
  char buffer[260];
  ASSERT_EQ(engine->GetDLDir(sizeof buffer, buffer), S_OK);
  EXPECT_EQ(std::string(buffer), path);
  // A buffer too small for the folder is never written past its end.
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(engine->GetDLDir(sizeof small, small), E_FAIL);
  EXPECT_EQ(std::string(small, sizeof small), std::string(8, 'x'));
  EXPECT_EQ(engine->GetDLDir(260, nullptr), E_FAIL);

  std::shared_ptr<IConnectionPoint> other;
  EXPECT_EQ(engine->FindConnectionPoint(IID_IEnumFiles, &other), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(other);
}

TEST(ProxyStub, TextsTheWireCannotCarryAreRefusedWithoutACall) {
  Loopback loop;
  auto engine = loop.Engine(loop.Connect());
  auto sink = std::make_shared<RecordingSink>();
  AdviseOn(*engine, sink);
  const std::string tooLong(260, 'n');
  EXPECT_EQ(engine->DownloadFile(tooLong.c_str(), "http://h/x"), E_INVALIDARG);
  EXPECT_EQ(engine->DownloadFile("x", ("http://h/" + tooLong).c_str()), E_INVALIDARG);
  EXPECT_EQ(engine->CancelDownloadFile(tooLong.c_str()), E_INVALIDARG);
  EXPECT_EQ(engine->DownloadFile(nullptr, "http://h/x"), E_POINTER);
  EXPECT_TRUE(ListedHrefs(*engine).empty());
  EXPECT_TRUE(sink->Events().empty());
  // 259 bytes still travel whole (a file name that long is then cut to
  // what file systems take, so the address shows it).
  const std::string longestHref = "http://h/" + std::string(259 - 9, 'n');
  EXPECT_EQ(engine->DownloadFile("x", longestHref.c_str()), S_OK);
  ASSERT_EQ(sink->Events().size(), 1u);
  EXPECT_EQ(sink->Events()[0].href(), longestHref);
}

TEST(ProxyStub, NextKeepsItsRulesAcrossTheConnection) {
  Loopback loop;
  auto engine = loop.Engine(loop.Connect());
  for (const char* href : {"http://h/1", "http://h/2", "http://h/3"}) ASSERT_EQ(engine->DownloadFile("f", href), S_OK);
  std::shared_ptr<IEnumFiles> files;
  ASSERT_EQ(engine->EnumFiles(&files), S_OK);
  _LinkStructType records[5];
  // Refused on this side: the enumeration does not move.
  EXPECT_EQ(files->Next(5, records, nullptr), E_POINTER);
  EXPECT_EQ(files->Next(1, records, nullptr), S_OK);
  EXPECT_EQ(RecordText(records[0].szHref), "http://h/1");
  std::uint32_t fetched = 99;
  EXPECT_EQ(files->Next(5, records, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(RecordText(records[0].szHref), "http://h/2");
  EXPECT_EQ(RecordText(records[1].szHref), "http://h/3");
  EXPECT_EQ(files->Next(0, records, &fetched), S_OK);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(files->Skip(1), E_NOTIMPL);
  std::shared_ptr<IEnumFiles> clone;
  EXPECT_EQ(files->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(files->Reset(), S_OK);
  EXPECT_EQ(files->Next(5, records, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 3u);
}

TEST(ProxyStub, ARequestForMoreRecordsThanOneFrameHoldsIsSplit) {
  Loopback loop;
  auto engine = loop.Engine(loop.Connect());
  for (int i = 0; i < 300; ++i) ASSERT_EQ(engine->DownloadFile("f", ("http://h/" + std::to_string(i)).c_str()), S_OK);
  std::shared_ptr<IEnumFiles> files;
  ASSERT_EQ(engine->EnumFiles(&files), S_OK);
  std::vector<_LinkStructType> records(400);
  std::uint32_t fetched = 0;
  EXPECT_EQ(files->Next(400, records.data(), &fetched), S_FALSE);
  ASSERT_EQ(fetched, 300u);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(RecordText(records[i].szHref), "http://h/" + std::to_string(i));
}

TEST(ProxyStub, ASinkMayCallTheEngineWhileTheEngineWaitsForIt) {
  Loopback loop;
  auto engine = loop.Engine(loop.Connect());
  struct CallingSink : ICallbackItf {
    std::shared_ptr<IDownloadEngine> engine;
    std::atomic<HRESULT> inner{E_FAIL};
    HRESULT DownloadStatus(std::uint32_t, const char*, const _LinkStructType&) override {
      std::int32_t downloading = 0;
      inner = engine->IsDownloading(&downloading);
      return S_OK;
    }
  };
  auto sink = std::make_shared<CallingSink>();
  sink->engine = engine;
  AdviseOn(*engine, sink);
  // The client waits in DownloadFile, the engine waits in the sink, the
  // sink waits in IsDownloading: all three must get through.
  EXPECT_EQ(engine->DownloadFile("a", "http://h/a"), S_OK);
  EXPECT_EQ(sink->inner.load(), S_OK);
  sink->engine.reset();
}

TEST(ProxyStub, OnlyCookiesAdvisedThroughAConnectionCanBeUnadvisedThroughIt) {
  Loopback loop;
  auto first = loop.Engine(loop.Connect());
  auto second = loop.Engine(loop.Connect());
  auto sink = std::make_shared<RecordingSink>();
  const std::uint32_t cookie = AdviseOn(*first, sink);
  std::shared_ptr<IConnectionPoint> otherCp;
  ASSERT_EQ(second->FindConnectionPoint(IID_ICallbackItf, &otherCp), S_OK);
  EXPECT_EQ(otherCp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(second->DownloadFile("a", "http://h/a"), S_OK);
  EXPECT_EQ(sink->Events().size(), 1u);

  std::shared_ptr<IConnectionPoint> cp;
  ASSERT_EQ(first->FindConnectionPoint(IID_ICallbackItf, &cp), S_OK);
  EXPECT_EQ(cp->Unadvise(cookie), S_OK);
  EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(second->DownloadFile("b", "http://h/b"), S_OK);
  EXPECT_EQ(sink->Events().size(), 1u);
}

}  // namespace
