// A client program for cross-process tests, steered line by line on its
// standard input:
//   create               create the engine and advise a sink -> "created <hr>"
//   queue NAME URL       DownloadFile                        -> "queued <hr>"
//   list                 enumerate                           -> "listed <n> <href>..."
//   release              unadvise and release the engine     -> "released"
//   next5null            Next(5) with a null count           -> "next <hr>"
//   stall                the sink blocks for good in its next event, after
//                        printing "stalling"
//   garble               writes garbage, as a hostile client could, into
//                        every status area the engine shared -> "garbled <n>"
// Every event is printed as "event <code> <href>" as it arrives.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
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
    if (stall) {
      Print("stalling");
      for (;;) ::pause();
    }
    Print("event " + std::to_string(dwStatus) + " " + std::string(RecordText(ls.szHref)));
    return S_OK;
  }
  std::atomic<bool> stall{false};
};

// Overwrites the shared status areas (found among this process's open
// descriptors) with random bytes for a while, sparing only the word that
// would close them, so that the engine reads garbage rather than a close.
int Garble() {
  std::vector<std::pair<void*, std::size_t>> areas;
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(fds)) {
      char target[256] = {};
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      if (::readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
      if (std::strncmp(target, "/memfd:pullwright-status", 24) != 0) continue;
      // Opened anew: the library may close its own descriptor meanwhile.
      const int fd = ::open(link.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0) continue;
      struct stat info {};
      void* area = ::fstat(fd, &info) == 0
                       ? ::mmap(nullptr, info.st_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
      ::close(fd);
      if (area != MAP_FAILED) areas.emplace_back(area, static_cast<std::size_t>(info.st_size));
    }
    ::closedir(fds);
  }
  constexpr std::size_t kClosedWord = 20;
  std::mt19937 random(21);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < until) {
    for (auto [area, size] : areas) {
      auto* bytes = static_cast<unsigned char*>(area);
      for (std::size_t at = 0; at < size; ++at)
        if (at / 4 != kClosedWord / 4) bytes[at] = static_cast<unsigned char>(random());
    }
    std::this_thread::yield();
  }
  return static_cast<int>(areas.size());
}

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
    } else if (command == "stall") {
      sink.stall = true;
    } else if (command == "garble") {
      Print("garbled " + std::to_string(Garble()));
    } else if (command == "release") {
      connection.Disconnect();
      Print("released");
    }
  }
  connection.Disconnect();
  ps::CloseClientConnection();
  return 0;
}
