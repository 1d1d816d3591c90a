#include "proxystub/class_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "contract/ascii_text.h"
#include "contract/link_record.h"
#include "contract/stores.h"

namespace ps {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// UTF-8 to code points; a byte that starts no valid sequence stands for
// U+FFFD, as the settings store decodes it.
std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    char32_t point = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next >> 6) == 2;
      point = (point << 6) | (next & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))) valid = false;
    out += valid ? point : U'\uFFFD';
    i += valid ? length : 1;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

bool IsHexDigit(char32_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(char32_t c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// A key as the file spells it: "/" as "\\", letters, digits and "_-." as
// they are, anything else as %XX (or %UXXXX per UTF-16 unit).
std::string IniKey(std::string_view key) {
  std::string out;
  for (char32_t c : DecodeUtf8(key)) {
    if (c == '/') {
      out += '\\';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == '.') {
      out += static_cast<char>(c);
    } else if (c <= 0xFF) {
      out += {'%', kHex[c >> 4], kHex[c & 0xF]};
    } else {
      const auto unit = [&out](char32_t u) {
        out += {'%', 'U', kHex[u >> 12], kHex[(u >> 8) & 0xF], kHex[(u >> 4) & 0xF], kHex[u & 0xF]};
      };
      if (c < 0x10000) {
        unit(c);
      } else {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
      }
    }
  }
  return out;
}

std::string KeyFromIni(std::string_view text) {
  std::u32string units;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\\') {
      units += U'/';
      ++i;
      continue;
    }
    const std::size_t digits = i + 1 < text.size() && text[i + 1] == 'U' ? 4 : 2;
    const std::size_t first = i + 1 + (digits == 4 ? 1 : 0);
    bool escape = text[i] == '%' && first + digits <= text.size();
    char32_t value = 0;
    for (std::size_t k = 0; escape && k < digits; ++k) {
      escape = IsHexDigit(static_cast<unsigned char>(text[first + k]));
      value = value * 16 + (escape ? HexValue(static_cast<unsigned char>(text[first + k])) : 0);
    }
    if (escape) {
      units += value;
      i = first + digits;
    } else {
      units += static_cast<unsigned char>(text[i]);  // bytes of a key are Latin-1 to the settings store
      ++i;
    }
  }
  std::string key;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    AppendUtf8(key, c);
  }
  return key;
}

// A text as a value in the file: escapes for quotes, backslashes and
// control characters (and, in a byte array, every byte from 0x7F), quoted
// when it holds ";", "," or "=" or begins or ends with a space.
std::string IniText(const std::u32string& text, bool bytes) {
  std::string out;
  bool quote = false;
  bool escapeNextIfDigit = false;
  for (char32_t c : text) {
    if (c == ';' || c == ',' || c == '=') quote = true;
    if (escapeNextIfDigit && IsHexDigit(c)) {
      // A digit right after a numeric escape would be read as part of it.
      out += "\\x";
      out += static_cast<char>(kHex[c >> 4] | 0x20);
      out += static_cast<char>(kHex[c & 0xF] | 0x20);
      continue;
    }
    escapeNextIfDigit = false;
    static constexpr std::string_view kNamed = "\a\b\f\n\r\t\v", kLetters = "abfnrtv";
    if (c == 0) {
      out += "\\0";
      escapeNextIfDigit = true;
    } else if (c < 0x80 && kNamed.find(static_cast<char>(c)) != std::string_view::npos) {
      out += '\\';
      out += kLetters[kNamed.find(static_cast<char>(c))];
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c <= 0x1F || (c >= 0x7F && bytes)) {
      out += "\\x";
      if (c >= 0x10) out += static_cast<char>(kHex[c >> 4] | 0x20);
      out += static_cast<char>(kHex[c & 0xF] | 0x20);
      escapeNextIfDigit = true;
    } else {
      AppendUtf8(out, c);
    }
  }
  if (quote || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) out = '"' + out + '"';
  return out;
}

// A value as the file spells it; text that is not UTF-8, or holds a NUL,
// goes as a byte array.
std::string IniValue(std::string_view value) {
  const std::u32string text = DecodeUtf8(value);
  std::string back;
  for (char32_t c : text) AppendUtf8(back, c);
  if (back == value && value.find('\0') == std::string_view::npos)
    return IniText(value.starts_with('@') ? U"@" + text : text, false);
  std::u32string bytes = U"@ByteArray(";
  for (char c : value) bytes += static_cast<unsigned char>(c);
  return IniText(bytes + U")", true);
}

// What the settings store makes of a value in the file; none for a list or
// a value of another type.
std::optional<std::string> ValueFromIni(std::string_view raw) {
  const std::u32string text = DecodeUtf8(raw);
  std::u32string value;
  bool inQuotes = false;
  bool quoted = false;   // blanks at the end are the value's own once it had quotes
  std::size_t keep = 0;  // without quotes, blanks after this are not
  const auto skipBlanks = [&text](std::size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  };
  std::size_t i = 0;
  skipBlanks(i);
  while (i < text.size()) {
    const char32_t c = text[i++];
    if (c == '"') {
      inQuotes = !inQuotes;
      quoted = true;
      if (!inQuotes) skipBlanks(i);
      keep = value.size();
    } else if (c == ',' && !inQuotes) {
      return std::nullopt;  // a list
    } else if (c == '\\') {
      if (i == text.size()) break;
      const char32_t e = text[i++];
      static constexpr std::u32string_view kLetters = U"abfnrtv\"?'\\", kNamed = U"\a\b\f\n\r\t\v\"?'\\";
      if (const std::size_t at = kLetters.find(e); at != std::u32string_view::npos) {
        value += kNamed[at];
      } else if ((e == 'x' && i < text.size() && IsHexDigit(text[i])) || (e >= '0' && e <= '7')) {
        const unsigned base = e == 'x' ? 16 : 8;
        char32_t number = e == 'x' ? 0 : e - '0';
        while (i < text.size() && (base == 16 ? IsHexDigit(text[i]) : text[i] >= '0' && text[i] <= '7'))
          number = number * base + HexValue(text[i++]);
        value += number & 0xFFFF;
      }
      keep = value.size();
    } else {
      value += c;
      if (inQuotes || (c != ' ' && c != '\t')) keep = value.size();
    }
  }
  if (!quoted) value.resize(keep);
  const std::u32string_view view = value;
  std::string result;
  if (view.starts_with(U"@") && view.ends_with(U")")) {
    if (view.starts_with(U"@ByteArray(")) {
      for (char32_t c : view.substr(11, view.size() - 12)) result += c <= 0xFF ? static_cast<char>(c) : '?';
      return result;
    }
    if (view.starts_with(U"@String(")) {
      for (char32_t c : view.substr(8, view.size() - 9)) AppendUtf8(result, c);
      return result;
    }
    for (std::u32string_view other : {U"@Invalid(", U"@Variant(", U"@Rect(", U"@Size(", U"@Point("})
      if (view.starts_with(other)) return std::nullopt;
  }
  for (char32_t c : view.starts_with(U"@@") ? view.substr(1) : view) AppendUtf8(result, c);
  return result;
}

std::string EntryKey(std::string_view key, std::string_view name) {
  const std::string group = StoreGroupPath(key);
  return group.empty() ? StoreValueKey(name) : group + "/" + StoreValueKey(name);
}

bool ReadWhole(int fd, std::string& text) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

bool WriteWhole(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = ::write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

bool MakeFolders(const std::string& path) {
  for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string part = path.substr(0, at);
    struct stat folder {};
    if (::mkdir(part.c_str(), 0777) != 0 && (::stat(part.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)))
      return false;
    if (at == std::string::npos) return true;
  }
}

// Writes `text` beside `path` and renames it over `path`.
bool ReplaceFile(const std::string& path, std::string_view text) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  const bool written = WriteWhole(fd, text) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<ClassStore> ClassStore::Load() {
  const int fd = ::open(StoreFilePath(kClassesStoreFile).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? std::optional<ClassStore>(ClassStore()) : std::nullopt;
  std::string text;
  const bool read = ReadWhole(fd, text);
  ::close(fd);
  if (!read) return std::nullopt;
  return Parse(text);
}

ClassStore ClassStore::Parse(std::string_view text) {
  ClassStore store;
  std::string section;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      section = KeyFromIni(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      // The root's keys stand under "[General]"; a group of that name is "[%General]".
      if (EqualsAnyCase(section, "General"))
        section.clear();
      else if (EqualsAnyCase(section, "%General"))
        section.erase(0, 1);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    if (key.empty()) continue;
    store.m_entries[section.empty() ? KeyFromIni(key) : section + "/" + KeyFromIni(key)] = line.substr(equals + 1);
  }
  return store;
}

std::optional<std::string> ClassStore::Read(std::string_view key, std::string_view name) const {
  const auto found = m_entries.find(EntryKey(key, name));
  if (found == m_entries.end()) return std::nullopt;
  std::optional<std::string> value = ValueFromIni(found->second);
  if (value && value->size() >= kMaxTextBytes) return std::nullopt;
  return value;
}

void ClassStore::Write(std::string_view key, std::string_view name, std::string_view value) {
  m_entries[EntryKey(key, name)] = IniValue(value);
}

void ClassStore::Delete(std::string_view key) {
  const std::string group = StoreGroupPath(key);
  if (group.empty()) return;
  m_entries.erase(group);
  const std::string prefix = group + "/";
  auto at = m_entries.lower_bound(prefix);
  while (at != m_entries.end() && at->first.starts_with(prefix)) at = m_entries.erase(at);
}

std::string ClassStore::Text() const {
  // One section per first component; the root's keys come first.
  std::map<std::string, std::vector<std::pair<std::string, const std::string*>>> sections;
  for (const auto& [key, value] : m_entries) {
    const std::size_t slash = key.find('/');
    if (slash == std::string::npos)
      sections[""].emplace_back(key, &value);
    else
      sections[key.substr(0, slash)].emplace_back(key.substr(slash + 1), &value);
  }
  std::string text;
  for (const auto& [section, entries] : sections) {
    if (!text.empty()) text += '\n';
    text += section.empty() ? "[General" : EqualsAnyCase(section, "General") ? "[%" : "[";
    text.append(IniKey(section)).append("]\n");
    for (const auto& [key, value] : entries) text.append(IniKey(key)).append("=").append(*value).append("\n");
  }
  return text;
}

bool EditClassStore(const std::function<void(ClassStore&)>& edit) {
  const std::string folder = StoreFolder();
  if (!MakeFolders(folder)) return false;
  // Editors take turns on the folder, which stays put while the file in it
  // is replaced.
  const int lock = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock < 0) return false;
  while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  bool done = false;
  if (std::optional<ClassStore> store = ClassStore::Load()) {
    const ClassStore before = *store;
    edit(*store);
    done = *store == before || ReplaceFile(StoreFilePath(kClassesStoreFile), store->Text());
  }
  ::close(lock);
  return done;
}

}  // namespace ps
