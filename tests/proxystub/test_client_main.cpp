// A client program for cross-process tests, steered line by line on its
// standard input:
//   create               create the engine and advise a sink -> "created <hr>"
//   queue NAME URL       DownloadFile                        -> "queued <hr>"
//   list                 enumerate                           -> "listed <n> <href>..."
//   release              unadvise and release the engine     -> "released"
//   next5null            Next(5) with a null count           -> "next <hr>"
// Every event is printed as "event <code> <href>" as it arrives.
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "proxystub/engine_connection.h"

namespace {

std::mutex g_print;

void Print(const std::string& line) {
  std::lock_guard lock(g_print);
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

struct PrintingSink : ICallbackItf {
  HRESULT DownloadStatus(std::uint32_t dwStatus, const char*, const _LinkStructType& ls) override {
    Print("event " + std::to_string(dwStatus) + " " + std::string(RecordText(ls.szHref)));
    return S_OK;
  }
};

}  // namespace

int main() {
  PrintingSink sink;
  ps::EngineConnection connection;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "create") {
      HRESULT hr = connection.CreateEngine();
      if (SUCCEEDED(hr)) hr = connection.AdviseSink(&sink);
      Print("created " + Hex(hr));
    } else if (command == "queue") {
      std::string name, url;
      words >> name >> url;
      const HRESULT hr = connection.engine() ? connection.engine()->DownloadFile(name.c_str(), url.c_str()) : E_POINTER;
      Print("queued " + Hex(hr));
    } else if (command == "list") {
      std::string listed;
      std::size_t count = 0;
      std::shared_ptr<IEnumFiles> files;
      if (connection.engine() && SUCCEEDED(connection.engine()->EnumFiles(&files))) {
        _LinkStructType records[5];
        for (;;) {
          std::uint32_t fetched = 0;
          const HRESULT hr = files->Next(5, records, &fetched);
          for (std::uint32_t i = 0; i < fetched; ++i, ++count) listed += " " + std::string(RecordText(records[i].szHref));
          if (hr != S_OK) break;
        }
      }
      Print("listed " + std::to_string(count) + listed);
    } else if (command == "next5null") {
      std::shared_ptr<IEnumFiles> files;
      HRESULT hr = connection.engine() ? connection.engine()->EnumFiles(&files) : E_POINTER;
      _LinkStructType records[5];
      if (SUCCEEDED(hr)) hr = files->Next(5, records, nullptr);
      Print("next " + Hex(hr));
    } else if (command == "release") {
      connection.Disconnect();
      Print("released");
    }
  }
  connection.Disconnect();
  ps::CloseClientConnection();
  return 0;
}
