// The scan benchmark's program.
//
//   scan_bench generate FILE BYTES   writes the benchmark page
//   scan_bench scan FILE [ROUNDS]    scans it for "HREF" then "SRC" through
//                                    AddLink, as a page crawl does; prints
//                                    "RESULT scan_mb_s" (best round) and the
//                                    link count on stderr
//   scan_bench scan-once FILE        reads and scans it once, prints nothing:
//                                    the whole-process run timed against grep
//   scan_bench add COUNT [ROUNDS]    lists COUNT distinct links through
//                                    AddLink, prints "RESULT add_links_per_s"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench/scan/page_generator.h"
#include "crawler/core/fetchwick_doc.h"

namespace {

class QuietHost : public IFetchwickHost {
 public:
  bool HasView() const override { return false; }
  void PostLinkFound(LinkFoundMessage) override {}
};

constexpr const char* kPageAddress = "http://bench.example/dir/page.html";

double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

bool ReadWhole(const char* path, std::string& text) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  text.resize(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  return static_cast<bool>(in.read(text.data(), static_cast<std::streamsize>(text.size())));
}

int Generate(const char* path, std::size_t bytes) {
  const std::string page = GeneratePage(bytes);
  std::ofstream out(path, std::ios::binary);
  out.write(page.data(), static_cast<std::streamsize>(page.size()));
  if (!out) {
    std::cerr << "scan_bench: cannot write " << path << "\n";
    return 1;
  }
  std::cerr << "scan_bench: wrote " << page.size() << " bytes to " << path << "\n";
  return 0;
}


int Scan(const char* path, int rounds, bool report) {
  QuietHost host;
  CFetchwickDoc doc(host);
  doc.SetPageAddress(kPageAddress);
  std::string text;
  if (!ReadWhole(path, text)) {
    std::cerr << "scan_bench: cannot read " << path << "\n";
    return 1;
  }
  const double megabytes = static_cast<double>(text.size()) / 1e6;
  doc.SetPageText(std::move(text));

  double best = 0;
  std::size_t links = 0;
  for (int round = 0; round < rounds; ++round) {
    // A page crawl's scan: both keywords, into a fresh list.
    doc.StartNewLinkList();
    const auto start = std::chrono::steady_clock::now();
    doc.ScanForKeyword("HREF");
    doc.ScanForKeyword("SRC");
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (round == 0 || seconds < best) best = seconds;
    links = doc.Links()->Count();
  }
  if (report) {
    std::cerr << "scan_bench: " << megabytes << " MB, " << links << " links listed, best " << best << " s\n";
    std::printf("RESULT scan_mb_s %.1f\n", megabytes / best);
  }
  return links > 0 ? 0 : 1;
}

int Add(std::size_t count, int rounds) {
  // Distinct references of the usual forms: files, pages, directories, queries.
  std::vector<std::string> references;
  references.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    switch (i % 4) {
      case 0: references.push_back("files/archive-" + std::to_string(i) + ".zip"); break;
      case 1: references.push_back("/news/2023/item-" + std::to_string(i) + ".html"); break;
      case 2: references.push_back("http://mirror.example.org/pub/" + std::to_string(i) + "/"); break;
      default: references.push_back("search.php?page=" + std::to_string(i)); break;
    }
  }
  QuietHost host;
  CFetchwickDoc doc(host);
  doc.SetPageAddress(kPageAddress);
  double best = 0;
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::string> urls = references;
    doc.StartNewLinkList();
    const auto start = std::chrono::steady_clock::now();
    for (std::string& url : urls) doc.AddLink(url, Notify::Off);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (doc.Links()->Count() != count) {
      std::cerr << "scan_bench: listed " << doc.Links()->Count() << " of " << count << " links\n";
      return 1;
    }
    if (round == 0 || seconds < best) best = seconds;
  }
  std::cerr << "scan_bench: " << count << " links listed in " << best << " s\n";
  std::printf("RESULT add_links_per_s %.0f\n", static_cast<double>(count) / best);
  return 0;
}

int Usage() {
  std::cerr << "usage: scan_bench generate FILE BYTES | scan FILE [ROUNDS] | scan-once FILE | add COUNT [ROUNDS]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  auto number = [&](std::size_t index, long fallback) {
    return index < args.size() ? std::strtol(args[index].c_str(), nullptr, 10) : fallback;
  };
  if (args.size() == 3 && args[0] == "generate") return Generate(argv[2], static_cast<std::size_t>(number(2, 0)));
  if (args.size() >= 2 && args[0] == "scan") return Scan(argv[2], static_cast<int>(number(2, 5)), true);
  if (args.size() == 2 && args[0] == "scan-once") return Scan(argv[2], 1, false);
  if (args.size() >= 2 && args[0] == "add")
    return Add(static_cast<std::size_t>(number(1, 100000)), static_cast<int>(number(2, 3)));
  return Usage();
}
