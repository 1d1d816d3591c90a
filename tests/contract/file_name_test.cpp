#include "contract/file_name.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

TEST(FileNameFromAddress, NamesAndExtensionsComeFromThePathsLastSegment) {
  const std::string u = "\xC3\xBC";  // "ü", two bytes
  struct Case {
    std::string address;
    std::string name;       // the name stored and listed
    std::string extension;  // as written, dot included
  };
  const Case cases[] = {
      {"http://h/odd%20name%20(1)%20%26%20%C3%BC%23.bin", "odd name (1) & " + u + "#.bin", ".bin"},
      {"http://h/files/Report.PDF", "Report.pdf", ".PDF"},
      {"http://h/dir\\Setup.EXE", "Setup.exe", ".EXE"},
      // The query and the fragment give neither the name nor the extension.
      {"http://h/_static/pydoctheme.css?2022.1", "pydoctheme.css", ".css"},
      {"http://h/viewdoc/summary?doi=10.1.1.3910", "summary", ""},
      {"http://h/page.html#part.2", "page.html", ".html"},
      {"http://h/get.php?f=a/b.zip#x/y.pdf", "get.php", ".php"},
      // No last segment: the host names it, without an extension.
      {"https://svn.python.org", "svn.python.org", ""},
      {"http://user@h.example.com:8080/dir/?q=a.zip", "h.example.com", ""},
      {"http://[::1]:81", "[::1]", ""},
      {"http://h/a/..", "h", ""},
      {"http://h/%2E%2E", "h", ""},
      {"http:", "index.html", ""},
      {"http:a", "a", ""},
      // Escapes that are no valid UTF-8 stay as written; so does a lone "%".
      {"http://h/%FF%C3(%C0%AF%E2%82%zz100%.txt", "%FF%C3(%C0%AF%E2%82%zz100%.txt", ".txt"},
      {"http://h/a%2Fb%5Cc%0Ad%09e%7F.txt", "a_b_c_d_e_.txt", ".txt"},
      // Bidirectional controls, raw (as a resolved "&#x202E;" arrives) or
      // escaped, and a leading "-".
      {"http://h/invoice\xE2\x80\xAE" "fdp.exe", "invoice_fdp.exe", ".exe"},
      {"http://h/x%E2%81%A6y%D8%9Cz%E2%80%8F.pdf", "x_y_z_.pdf", ".pdf"},
      {"http://h/-rf.bin", "_rf.bin", ".bin"},
      {"http://h/%2Drf", "_rf", ""},
      {"http://h/.htaccess", ".htaccess", ".htaccess"},
      {"http://h/trailing.", "trailing.", ""},
      {"http://h/a|b.z*p", "a|b.z*p", ""},
      // At most 255 bytes, never half a character, the extension kept when
      // it fits.
      {"http://h/" + std::string(300, 'n') + ".ZIP", std::string(251, 'n') + ".zip", ".ZIP"},
      {"http://h/" + Repeat(u, 150) + ".bin", Repeat(u, 125) + ".bin", ".bin"},
      {"http://h/a." + std::string(300, 'e'), "a." + std::string(253, 'e'), "." + std::string(253, 'e')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileNameFromAddress(c.address), c.name) << c.address;
    EXPECT_EQ(SplitAddressFileName(c.address).extension(), c.extension) << c.address;
  }
}

// The engine cleans whatever name a client sends; a name this rule gave
// must come through unchanged, or the file would not be what the list shows.
TEST(FileNameFromAddress, GivesNamesTheEngineKeepsAsTheyAre) {
  const std::string pieces[] = {"a",   ".",   "..",     "/",      "\\",   "?",   "#",   "-",  "%",     "%2",
                                "%2F", "%C3", "%BC",    "%E2%80", "%AE",   "%0A", "\t", "\xC3", "\xBC", "\xE2\x80\xAE",
                                "%2E", "Z.",  "\x7F", std::string(100, 'x'), "\xF0\x9F\x98\x80"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string address = "http://h/";
    for (int n = std::uniform_int_distribution(0, 12)(random); n > 0; --n)
      address += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
    const std::string name = FileNameFromAddress(address);
    ASSERT_TRUE(!name.empty() && name != "." && name != ".." && name.size() <= kMaxFileName) << address;
    ASSERT_EQ(CleanFileName(name), name) << address;
  }
}

}  // namespace
