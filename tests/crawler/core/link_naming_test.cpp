#include "crawler/core/link_naming.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CompleteURL, CompletesRelativeReferencesAgainstThePage) {
  struct Case {
    const char* origin;
    const char* base;
    const char* reference;
    const char* complete;
  };
  const Case cases[] = {
      {"http://h", "/dir/", "a.zip", "http://h/dir/a.zip"},
      {"http://h", "/dir/", "/x/b.zip", "http://h/x/b.zip"},
      {"http://h", "/dir/", "../c.zip", "http://h/c.zip"},
      {"http://h", "/dir/", "?q=1", "http://h/dir/?q=1"},
      {"http://h", "/dir/", "//cdn/s.js", "http://h//cdn/s.js"},
      {"http://h", "/dir/", "Dir/File.ZIP", "http://h/dir/Dir/File.ZIP"},
      // Absolute addresses and addresses with a scheme of their own stay.
      {"http://h", "/dir/", "http://other/x.zip", "http://other/x.zip"},
      {"http://h", "/dir/", "http:x.zip", "http:x.zip"},
      {"http://h", "/dir/", "HTTP://other/x.zip", "HTTP://other/x.zip"},
      {"http://h", "/dir/", "ftp://files/x.zip", "ftp://files/x.zip"},
      {"http://h", "/dir/", "MAILTO:someone", "MAILTO:someone"},
      // A scheme is a letter, then letters, digits, "+", "-" or ".", then
      // ":", of any length; a ":" after "/", "?" or anything else is a path's.
      {"http://h", "/dir/", "abcdefghi:x", "abcdefghi:x"},
      {"http://h", "/dir/", "javascript:void(0)", "javascript:void(0)"},
      {"http://h", "/dir/", "svn+ssh.x-1:/r", "svn+ssh.x-1:/r"},
      {"http://h", "/dir/", "page.html?t=12:30", "http://h/dir/page.html?t=12:30"},
      {"http://h", "/dir/", "/x:y", "http://h/x:y"},
      {"http://h", "/dir/", "?a=b:c", "http://h/dir/?a=b:c"},
      {"http://h", "/dir/", "1a:b", "http://h/dir/1a:b"},
      {"http://h", "/dir/", "my file:x", "http://h/dir/my file:x"},
      // Dot segments go from the path of every address with a host, the
      // query stays as written; names that only begin with dots are names.
      {"http://h", "/dir/", "./a.zip", "http://h/dir/a.zip"},
      {"http://h", "/a/b/", "../../../../up.zip", "http://h/up.zip"},
      {"http://h", "/dir/", "sub/./x/../y.html", "http://h/dir/sub/y.html"},
      {"http://h", "/dir/", "..", "http://h/"},
      {"http://h", "/dir/", ".", "http://h/dir/"},
      {"http://h", "/dir/", "sub//..", "http://h/dir/sub/"},
      {"http://h", "/dir/", "../?next=../x/./y", "http://h/?next=../x/./y"},
      {"http://h", "/dir/", "a/..b/.c/...", "http://h/dir/a/..b/.c/..."},
      {"http://h", "/dir/", "http://o/a/./b/../c.zip", "http://o/a/c.zip"},
      {"http://h", "/dir/", "HTTP://o/../c.zip?x", "HTTP://o/c.zip?x"},
      {"http://h", "/dir/", "news:a/../b", "news:a/../b"},
      // The page's own scheme and port carry over to its relative references.
      {"http://h:8080", "/dir/", "a.zip", "http://h:8080/dir/a.zip"},
      {"https://h", "/dir/", "a.zip", "https://h/dir/a.zip"},
      {"https://h:8443", "/dir/", "/b.zip", "https://h:8443/b.zip"},
      {"https://h", "/dir/", "http://h/c.zip", "http://h/c.zip"},
  };
  for (const Case& c : cases) {
    std::string url = c.reference;
    CompleteURL(url, c.origin, c.base);
    EXPECT_EQ(url, c.complete) << c.reference << " on " << c.origin << c.base;
  }
}

TEST(BaseDirectory, IsTheDirectoryOfTheObjectPath) {
  const std::pair<const char*, const char*> cases[] = {
      {"/", "/"},
      {"/dir", "/dir/"},
      {"/dir/", "/dir/"},
      {"/dir/page.html", "/dir/"},
      {"/cgi/prog.cgi?x=1", "/cgi/"},
      {"/dir/?q=1", "/dir/"},
      {"/dir?q=a/b.c", "/dir/"},
      {"/a/b/?next=/c/d.html", "/a/b/"},
      {"/v1.2/", "/v1.2/"},
      {"/dir\\sub\\file.txt", "/dir\\sub\\"},
  };
  for (const auto& [path, expected] : cases) {
    std::string base = "stale";
    BaseDirectory(path, base);
    EXPECT_EQ(base, expected) << path;
  }
}

TEST(ClassifyLink, NamesFilesAndPages) {
  struct Case {
    const char* url;
    const char* name;
    const char* extension;
    std::int32_t isFile;
  };
  const Case cases[] = {
      {"http://h/files/Report.PDF", "Report.pdf", "pdf", 1},
      {"http://h/index.HTML", "index.html", "html", 0},
      {"http://h/a.tar.gz", "a.tar.gz", "gz", 1},
      {"http://h/show.php", "show.php", "php", 1},
      {"http://h/dir/", "h", "", 0},
      {"http://h/cgi/prog.cgi?x=1", "prog.cgi", "cgi", 0},
      // The query gives neither name nor extension, and the verdict stays
      // that of the whole address: a query still makes a page, unless its
      // own tail looks like an extension.
      {"http://h/get.php?id=7", "get.php", "php", 0},
      {"http://h/_static/pydoctheme.css?2022.1", "pydoctheme.css", "css", 1},
      {"http://h/viewdoc/summary?doi=10.1.1.3910", "summary", "", 1},
      {"http://h/odd%20name%20%C3%BC.BIN", "odd name \xC3\xBC.bin", "bin", 1},
      {"http://h/invoice\xE2\x80\xAE" "fdp.exe", "invoice_fdp.exe", "exe", 1},
      {"http://h/dir\\Setup.EXE", "Setup.exe", "exe", 1},
      {"http://h/.htaccess", ".htaccess", "htaccess", 1},
      {"http://h/trailing.", "trailing.", "", 1},
      {"http://example.com", "example.com", "", 0},
      {"http://example.org", "example.org", "", 0},
      {"http://example.net", "example.net", "", 0},
      {"http://example.de", "example.de", "", 1},
      {"http://h:8080", "h", "", 0},
      {"http://h/x.Htm", "x.htm", "htm", 0},
      {"http://h/x.asp", "x.asp", "asp", 0},
      {"http://h/x.pl", "x.pl", "pl", 0},
      {"http://h/x.shtml", "x.shtml", "shtml", 0},
      {"http://h/x.html5", "x.html5", "html5", 1},
      {"http://h/a|b.z*p", "a|b.z*p", "", 0},
  };
  for (const Case& c : cases) {
    std::string name = "stale", extension = "stale";
    EXPECT_EQ(ClassifyLink(c.url, name, extension), c.isFile) << c.url;
    EXPECT_EQ(name, c.name) << c.url;
    EXPECT_EQ(extension, c.extension) << c.url;
  }
}

TEST(ClassifyLink, CutsLongNamesKeepingTheExtension) {
  const std::string stem(300, 'n');
  std::string name, extension;
  EXPECT_EQ(ClassifyLink("http://h/" + stem + ".ZIP", name, extension), 1);
  EXPECT_EQ(name, std::string(kMaxFileName - 4, 'n') + ".zip");
  EXPECT_EQ(ClassifyLink("http://h/a." + stem, name, extension), 1);
  EXPECT_EQ(extension, std::string(kMaxFileName - 2, 'n'));
}

}  // namespace
