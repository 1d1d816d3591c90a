// http_read_bench URL [FILE]: reads one answer to its end the way a download
// worker does, in reads of 4095 bytes, and writes each read at once to FILE
// when one is named. The benchmark script times it against other tools.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/errors.h"
#include "http/request.h"
#include "http/session.h"

namespace {

constexpr std::size_t kChunk = 4095;

int Fail(const std::string& what) {
  std::fprintf(stderr, "http_read_bench: %s\n", what.c_str());
  return 1;
}

bool WriteAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t wrote = ::write(fd, data, length);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    data += wrote;
    length -= static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return Fail("usage: http_read_bench URL [FILE]");

  auto session = http::Session::Open();
  auto request = session->OpenUrl(argv[1]);
  if (!request) return Fail(http::ErrorMessage(request.error()));
  const int status = (*request)->StatusCode().value_or(0);
  if (status >= 400) return Fail("HTTP status " + std::to_string(status));

  int fd = -1;
  if (argc == 3) {
    fd = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Fail(std::string("cannot create ") + argv[2] + ": " + std::strerror(errno));
  }

  static char buffer[kChunk];
  std::uint64_t total = 0;
  for (;;) {
    const auto got = (*request)->Read(buffer, kChunk);
    if (!got) return Fail(http::ErrorMessage(got.error()));
    if (*got == 0) break;
    if (fd >= 0 && !WriteAll(fd, buffer, *got)) return Fail(std::string("write failed: ") + std::strerror(errno));
    total += *got;
  }
  if (fd >= 0 && ::close(fd) != 0) return Fail(std::string("close failed: ") + std::strerror(errno));

  const auto length = (*request)->QueryHeader("Content-Length");
  if (length && std::strtoull(length->c_str(), nullptr, 10) != total)
    return Fail("read " + std::to_string(total) + " bytes of " + *length);
  std::fprintf(stderr, "http_read_bench: %llu bytes\n", static_cast<unsigned long long>(total));
  return 0;
}
