#include "bench/scan/page_generator.h"

#include <array>
#include <string_view>
#include <vector>

namespace {

// splitmix64: small, fast, and the same on every standard library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  bool Chance(unsigned percent) { return Below(100) < percent; }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) { return items[Below(N)]; }

 private:
  std::uint64_t m_state;
};

constexpr std::array<std::string_view, 64> kWords = {
    "the",     "of",       "and",     "download", "release",  "notes",  "version", "file",    "archive",
    "project", "page",     "source",  "update",   "security", "mirror", "server",  "install", "guide",
    "manual",  "question", "answer",  "thread",   "reply",    "posted", "by",      "on",      "with",
    "this",    "that",     "from",    "new",      "old",      "list",   "index",   "search",  "results",
    "image",   "gallery",  "photo",   "video",    "report",   "annual", "summary", "data",    "table",
    "form",    "submit",   "account", "login",    "help",     "about",  "contact", "privacy", "terms",
    "Grüße",   "naïve",    "café",    "日本語",   "Привет",   "São",    "€",       "Straße",  "résumé",
    "español"};

constexpr std::array<std::string_view, 12> kExtensions = {".html", ".htm", ".zip", ".pdf", ".png", ".jpg",
                                                           ".tar.gz", ".php", ".asp", ".exe", ".mp3", ".css"};

constexpr std::array<std::string_view, 8> kDirectories = {"docs", "files", "img", "news/2023", "forum/t",
                                                           "download/stable", "static/css", "archive/old"};

constexpr std::array<std::string_view, 5> kHosts = {"https://cdn.example.net", "http://mirror.example.org",
                                                    "https://www.example.com", "http://static.example.de",
                                                    "http://bench.example"};

class PageWriter {
 public:
  PageWriter(std::size_t bytes, std::uint64_t seed) : m_random(seed), m_target(bytes) {
    m_page.reserve(bytes + 4096);
    // A pool of addresses in every form a page writes them.
    for (std::size_t i = 0; i < 30000; ++i) m_pool.push_back(MakeAddress(i));
  }

  std::string Write() {
    Head();
    while (m_page.size() < m_target) {
      const std::size_t block = m_random.Below(100);
      if (block < 36) Paragraph();
      else if (block < 46) Navigation();
      else if (block < 55) Images();
      else if (block < 61) Table();
      else if (block < 66) Script();
      else if (block < 70) Form();
      else if (block < 74) Comment();
      else if (block < 77) Legacy();
      else if (block < 85) Card();
      else if (block < 91) Icon();
      else if (block < 95) Style();
      else Json();
    }
    m_page += "</body></html>\n";
    return std::move(m_page);
  }


 private:
  // Appends the parts in order. Every random draw is made in a statement of
  // its own before it is appended, so the page does not depend on the order
  // in which a compiler evaluates arguments.
  template <typename... Parts>
  void Put(const Parts&... parts) {
    (m_page.append(parts), ...);
  }
  std::string Number(std::size_t below) { return std::to_string(m_random.Below(below)); }

  std::string MakeAddress(std::size_t i) {
    std::string address;
    const std::size_t form = m_random.Below(20);
    if (form < 3) {
      address.append(m_random.Pick(kHosts));
      address += '/';
    } else if (form < 9) {
      address = "/";
    } else if (form < 10) {
      address = "../";
    }
    address.append(m_random.Pick(kDirectories));
    address += '/';
    if (form == 11) return address.append("?page=").append(std::to_string(i));
    if (form == 12) return address;  // a directory
    address.append(Word(false));
    address.append("-").append(std::to_string(i));
    address.append(m_random.Pick(kExtensions));
    if (form == 13) address.append("?v=").append(Number(100));
    return address;
  }

  std::string_view Word(bool anyWord) {
    // Addresses take the ASCII words only.
    return kWords[m_random.Below(anyWord ? kWords.size() : kWords.size() - 10)];
  }

  // Addresses are drawn with a skew: a few are linked from everywhere.
  const std::string& Address() {
    const std::size_t bound = m_random.Chance(50) ? 300 : m_pool.size();
    return m_pool[m_random.Below(bound)];
  }

  void Words(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (i) m_page += ' ';
      m_page += Word(true);
    }
  }

  void Link() {
    Put("<a ");
    if (m_random.Chance(20)) Put("class=\"link\" ");
    const std::size_t quoting = m_random.Below(10);
    const char* quote = quoting < 7 ? "\"" : quoting < 9 ? "'" : "";
    Put("href=", quote, Address());
    if (m_random.Chance(5)) Put("#section-", Number(9));
    Put(quote);
    if (m_random.Chance(30)) {
      Put(" title=\"");
      Words(3);
      Put("\"");
    }
    Put(">");
    Words(1 + m_random.Below(4));
    Put("</a>");
  }

  void Head() {
    Put("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<title>Bench page</title>\n<link rel=\"stylesheet\" href=\"/static/css/site.css\">\n"
        "<link rel=\"icon\" href=\"/favicon.ico\" hreflang=\"en\">\n"
        "<script src=\"https://cdn.example.net/lib/jquery.min.js\"></script>\n</head>\n<body>\n");
  }

  void Paragraph() {
    Put("<p class=\"text\">");
    const std::size_t sentences = 2 + m_random.Below(5);
    for (std::size_t s = 0; s < sentences; ++s) {
      Words(6 + m_random.Below(14));
      if (m_random.Chance(45)) {
        Put(" ");
        Link();
      }
      Put(". ");
    }
    if (m_random.Chance(3)) Put("Write to <a href=\"mailto:webmaster@example.org\">us</a>. ");
    if (m_random.Chance(3)) Put("<a href=\"#top\">Back to top</a>");
    Put("</p>\n");
  }

  void Navigation() {
    Put("<nav><ul class=\"menu\">\n");
    const std::size_t items = 4 + m_random.Below(8);
    for (std::size_t i = 0; i < items; ++i) {
      Put("  <li class=\"item\">");
      Link();
      Put("</li>\n");
    }
    Put("</ul></nav>\n");
  }

  void Images() {
    Put("<div class=\"gallery\">\n");
    const std::size_t count = 1 + m_random.Below(4);
    for (std::size_t i = 0; i < count; ++i) {
      const std::string& address = Address();
      Put("  <img src=\"", address, "\" alt=\"");
      Words(2);
      Put("\" width=\"640\" height=\"480\" loading=\"lazy\"");
      if (m_random.Chance(30)) {
        const std::string& large = Address();
        Put(" srcset=\"", address, " 1x, ", large, " 2x\"");
      }
      Put(">\n");
    }
    Put("</div>\n");
  }

  void Table() {
    Put("<table class=\"files\">\n<tr><th>Name</th><th>Size</th><th>Date</th></tr>\n");
    const std::size_t rows = 3 + m_random.Below(10);
    for (std::size_t i = 0; i < rows; ++i) {
      Put("<tr><td>");
      Link();
      const std::string size = Number(90000);
      const std::string month = std::to_string(1 + m_random.Below(9));
      const std::string day = Number(10);
      Put("</td><td>", size, " KB</td><td>2023-0", month, "-1", day, "</td></tr>\n");
    }
    Put("</table>\n");
  }

  void Script() {
    Put("<script>\n  var config = { src: \"", Address(), "\", retries: 3 };\n",
        "  document.getElementById('x').src = config.src; // load the image\n",
        "  if (location.href.indexOf('#') > 0) { scrollTo(0, 0); }\n</script>\n");
  }

  void Form() {
    Put("<form action=\"/search\" method=\"get\"><input type=\"text\" name=\"q\" placeholder=\"");
    Words(2);
    Put("\"><input type=\"image\" src=\"", Address(), "\" alt=\"Go\"></form>\n");
  }

  void Comment() {
    Put("<!-- ");
    Words(8);
    Put(" old link: <a href=\"", Address(), "\"> -->\n");
  }

  void Legacy() {
    // Pages written by older tools: capitals, unquoted values, line breaks in tags.
    Put("<TABLE BORDER=0><TR><TD><A HREF=", Address(), ">");
    Words(2);
    Put("</A></TD><TD><IMG SRC=\"", Address(), "\" BORDER=0></TD></TR></TABLE>\n<a\nhref=\"", Address(),
        "\">next</a>\n");
  }

  // A teaser card: nested divisions with classes, data and aria attributes.
  void Card() {
    const std::string_view kind = Word(false);
    const std::string id = Number(1000000);
    Put("<div class=\"card card--", kind, " col-md-4 col-sm-6\" data-id=\"", id, "\" data-track=\"teaser\">\n",
        "  <div class=\"card__body\"><h3 class=\"card__title\" aria-label=\"");
    Words(4);
    Put("\">");
    Words(5);
    Put("</h3>\n  <span class=\"meta\">");
    Words(3);
    const std::string day = std::to_string(1 + m_random.Below(9));
    Put("</span> <time datetime=\"2023-05-0", day, "T10:00:00Z\">May</time>\n  ");
    Link();
    Put("\n  </div>\n</div>\n");
  }

  // An inline icon: long path data without a single link.
  void Icon() {
    Put("<button class=\"icon-button\" type=\"button\" aria-label=\"menu\"><svg viewBox=\"0 0 24 24\" "
        "width=\"24\" height=\"24\"><path d=\"M");
    const std::size_t points = 20 + m_random.Below(60);
    for (std::size_t i = 0; i < points; ++i) {
      const std::string whole = Number(24);
      const std::string fraction = Number(100);
      Put(whole, ".", fraction, i % 3 == 2 ? "L" : " ");
    }
    Put("z\"/></svg></button>\n");
  }

  void Style() {
    Put("<style>\n");
    const std::size_t rules = 3 + m_random.Below(10);
    for (std::size_t i = 0; i < rules; ++i) {
      const std::string_view block = Word(false);
      const std::string_view element = Word(false);
      const std::string margin = Number(40);
      const std::string colour = std::to_string(100000 + m_random.Below(800000));
      Put(".", block, "-", std::to_string(i), " > .", element, " { margin: 0 ", margin, "px; color: #", colour,
          "; font: 14px/1.4 sans-serif; }\n");
      if (m_random.Chance(15)) Put(".bg-", std::to_string(i), " { background: url(", Address(), "); }\n");
    }
    Put("</style>\n");
  }

  void Json() {
    Put("<script type=\"application/json\" id=\"state\">{\"items\":[");
    const std::size_t items = 2 + m_random.Below(6);
    for (std::size_t i = 0; i < items; ++i) {
      const std::string id = Number(100000);
      Put(i ? "," : "", "{\"id\":", id, ",\"title\":\"");
      Words(4);
      const std::string& address = Address();
      const std::string score = Number(100);
      Put("\",\"url\":\"", address, "\",\"score\":", score, "}");
    }
    Put("]}</script>\n");
  }

  Random m_random;
  std::size_t m_target;
  std::string m_page;
  std::vector<std::string> m_pool;
};

}  // namespace

std::string GeneratePage(std::size_t bytes, std::uint64_t seed) { return PageWriter(bytes, seed).Write(); }
