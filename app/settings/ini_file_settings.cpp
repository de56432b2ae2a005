#include "app/settings/ini_file_settings.h"

#include <sys/stat.h>

#include <cstring>
#include <limits>
#include <string_view>

#include "core/atomic_file.h"

namespace {

// Reading a missing key yields this one-character default; a value that
// itself begins with it is therefore indistinguishable from a missing key.
constexpr char kMissingMark = 0x1A;
constexpr size_t kIntTextLimit = 15;
constexpr size_t kBoolTextLimit = 7;
constexpr size_t kArrayItemLimit = 11;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsBlankLine(std::string_view s) { return Trim(s).empty(); }

// "[name]" with blanks allowed around the name; a header missing its
// closing bracket still starts a new section, so keys below it can never be
// mistaken for keys of the section above.
bool HeaderName(std::string_view text, std::string_view& name) {
  text = Trim(text);
  if (text.empty() || text.front() != '[') return false;
  text.remove_prefix(1);
  const size_t close = text.find(']');
  name = Trim(text.substr(0, close));
  return true;
}

// The key as a caller names it; one that could not be written back as a key
// line of its own is refused.
bool UsableKey(const char* key, std::string_view& trimmed) {
  if (key == nullptr) return false;
  trimmed = Trim(key);
  if (trimmed.empty() || trimmed.front() == '[') return false;
  return trimmed.find_first_of("=\r\n") == std::string_view::npos;
}

struct ParsedInteger {
  bool HasDigits = false;
  bool Negative = false;
  bool Overflow = false;  // magnitude beyond 32 bits
  uint64_t Magnitude = 0;
};

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// A C integer literal as strtol reads it with base 0: optional sign, "0x"
// for hexadecimal, a leading 0 for octal, stopping at the first character
// that is not a digit of the base.
ParsedInteger ParseCInteger(std::string_view text) {
  ParsedInteger result;
  size_t i = 0;
  while (i < text.size() &&
         (IsBlank(text[i]) || text[i] == '\n' || text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    result.Negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      DigitValue(text[i + 2]) < 16) {
    base = 16;
    i += 2;
  } else if (i < text.size() && text[i] == '0') {
    base = 8;
  }
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit >= base) break;
    result.HasDigits = true;
    if (!result.Overflow) {
      result.Magnitude = result.Magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
      if (result.Magnitude > std::numeric_limits<uint32_t>::max()) result.Overflow = true;
    }
  }
  return result;
}

// Out-of-range values saturate as a 32-bit strtol would have them.
int32_t ToInt32(const ParsedInteger& p) {
  constexpr uint64_t kMaxPositive = 2147483647u;
  if (p.Negative) {
    if (p.Overflow || p.Magnitude > kMaxPositive + 1) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(-static_cast<int64_t>(p.Magnitude));
  }
  if (p.Overflow || p.Magnitude > kMaxPositive) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(p.Magnitude);
}

// As strtoul does: a minus sign negates modulo 2^32, overflow saturates.
uint32_t ToUint32(const ParsedInteger& p) {
  if (p.Overflow) return std::numeric_limits<uint32_t>::max();
  const uint32_t magnitude = static_cast<uint32_t>(p.Magnitude);
  return p.Negative ? 0u - magnitude : magnitude;
}

}  // namespace

IniFileSettings::~IniFileSettings() { Close(); }

bool IniFileSettings::Open(const char* path, const char* section, uint32_t mode, uint32_t flags) {
  Close();
  if (path == nullptr || *path == '\0' || section == nullptr) return false;
  const std::string_view sectionName = Trim(section);
  // A name that could not stand in a header line would write a file that
  // no longer reads back.
  if (sectionName.empty() || sectionName.find_first_of("]\r\n") != std::string_view::npos) return false;
  mode &= IniModeRead | IniModeWrite;

  struct stat info;
  const bool exists = ::stat(path, &info) == 0;
  if ((mode & IniModeWrite) && (flags & IniFlagCreateNew) && exists) return false;

  std::string content;
  const bool loaded = !exists || ReadWholeFile(path, content, kMaxFileSize);
  if (mode == IniModeRead && !(exists && loaded)) return false;

  Path = path;
  Section = sectionName;
  Mode = mode;
  Loaded = loaded;
  Parse(content);
  Dirty = false;
  Opened = true;
  return true;
}

void IniFileSettings::Close() {
  if (Opened && (Mode & IniModeWrite)) (void)Flush();
  Opened = false;
  Mode = 0;
  Path.clear();
  Section.clear();
  Lines.clear();
  HasBom = false;
  Loaded = false;
  Dirty = false;
}

bool IniFileSettings::Flush() {
  if (!Opened || !(Mode & IniModeWrite) || !Dirty) return true;
  if (!WriteFileAtomically(Path, Serialize())) return false;
  Dirty = false;
  return true;
}

void IniFileSettings::Parse(const std::string& content) {
  Lines.clear();
  std::string_view rest(content);
  HasBom = rest.substr(0, kBom.size()) == kBom;
  if (HasBom) rest.remove_prefix(kBom.size());
  while (!rest.empty()) {
    const size_t newline = rest.find('\n');
    Line line;
    if (newline == std::string_view::npos) {
      line.Text = rest;
      rest = {};
    } else {
      std::string_view text = rest.substr(0, newline);
      line.End = "\n";
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
        line.End = "\r\n";
      }
      line.Text = text;
      rest.remove_prefix(newline + 1);
    }
    Lines.push_back(std::move(line));
  }
}

std::string IniFileSettings::Serialize() const {
  std::string out;
  if (HasBom) out += kBom;
  for (const Line& line : Lines) {
    out += line.Text;
    out += line.End;
  }
  return out;
}

// New lines follow the file's own convention so that a file kept with CRLF
// endings does not end up with mixed ones.
std::string IniFileSettings::NewLineStyle() const {
  for (const Line& line : Lines) {
    if (!line.End.empty()) return line.End;
  }
  return "\n";
}

size_t IniFileSettings::FindSection() const {
  std::string_view name;
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (HeaderName(Lines[i].Text, name) && EqualsNoCase(name, Section)) return i;
  }
  return std::string::npos;
}

size_t IniFileSettings::SectionEnd(size_t header) const {
  std::string_view name;
  size_t i = header + 1;
  while (i < Lines.size() && !HeaderName(Lines[i].Text, name)) ++i;
  return i;
}

size_t IniFileSettings::FindKey(size_t header, const char* key) const {
  std::string_view wanted;
  if (!UsableKey(key, wanted)) return std::string::npos;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    const std::string_view text = Lines[i].Text;
    const size_t equals = text.find('=');
    if (equals != std::string_view::npos && EqualsNoCase(Trim(text.substr(0, equals)), wanted)) return i;
  }
  return std::string::npos;
}

bool IniFileSettings::FindValue(const char* key, std::string& value) const {
  if (!Opened) return false;
  const size_t header = FindSection();
  if (header == std::string::npos) return false;
  const size_t line = FindKey(header, key);
  if (line == std::string::npos) return false;
  const std::string_view text = Lines[line].Text;
  std::string_view found = Trim(text.substr(text.find('=') + 1));
  if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') && found.back() == found.front()) {
    found = found.substr(1, found.size() - 2);
  }
  value = found;
  return true;
}

bool IniFileSettings::CanWrite() const { return Opened && (Mode & IniModeWrite) && Loaded; }

bool IniFileSettings::WriteValue(const char* key, const std::string& value) {
  std::string_view name;
  if (!CanWrite() || !UsableKey(key, name)) return false;
  // A line break inside a value would start new lines, and with them keys
  // or sections nobody wrote.
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) return false;
  const std::string newline = NewLineStyle();
  std::string text(name);
  text += '=';
  text += value;

  size_t header = FindSection();
  if (header == std::string::npos) {
    if (!Lines.empty()) {
      if (Lines.back().End.empty()) Lines.back().End = newline;
      if (!IsBlankLine(Lines.back().Text)) Lines.push_back({"", newline});
    }
    Lines.push_back({"[" + Section + "]", newline});
    header = Lines.size() - 1;
  }
  const size_t existing = FindKey(header, key);
  if (existing != std::string::npos) {
    Lines[existing].Text = std::move(text);
  } else {
    // After the section's last entry, so a blank line that separates it from
    // the next section stays where it is.
    const size_t end = SectionEnd(header);
    size_t at = header + 1;
    for (size_t i = header + 1; i < end; ++i) {
      if (!IsBlankLine(Lines[i].Text)) at = i + 1;
    }
    if (Lines[at - 1].End.empty()) Lines[at - 1].End = newline;
    Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), newline});
  }
  Dirty = true;
  return true;
}

bool IniFileSettings::ClearSection() {
  if (!CanWrite()) return false;
  const size_t header = FindSection();
  if (header == std::string::npos) return true;
  const size_t end = SectionEnd(header);
  size_t kept = header + 1;
  for (size_t i = header + 1; i < end; ++i) {
    if (IsBlankLine(Lines[i].Text)) {
      if (kept != i) Lines[kept] = std::move(Lines[i]);
      ++kept;
    }
  }
  if (kept != end) {
    Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(kept), Lines.begin() + static_cast<std::ptrdiff_t>(end));
    Dirty = true;
  }
  return true;
}

bool IniFileSettings::ReadString(const char* key, char* buffer, size_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return false;
  std::string value;
  if (!FindValue(key, value)) return false;
  if (!value.empty() && value.front() == kMissingMark) return false;
  size_t length = value.size() < bufferSize - 1 ? value.size() : bufferSize - 1;
  // Cutting a long value must not leave half a UTF-8 character behind.
  if (length < value.size()) {
    for (int step = 0; step < 3 && length > 0 && (static_cast<unsigned char>(value[length]) & 0xC0) == 0x80; ++step) {
      --length;
    }
  }
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
  return true;
}

bool IniFileSettings::ReadInt(const char* key, int32_t& value) {
  std::string text;
  if (!FindValue(key, text)) return false;
  if (text.size() > kIntTextLimit) text.resize(kIntTextLimit);
  if (text.empty()) return false;
  const ParsedInteger parsed = ParseCInteger(text);
  if (!parsed.HasDigits) return false;
  value = ToInt32(parsed);
  return true;
}

bool IniFileSettings::ReadUnsigned(const char* key, uint32_t& value) {
  std::string text;
  if (!FindValue(key, text)) return false;
  if (text.size() > kIntTextLimit) text.resize(kIntTextLimit);
  if (text.empty()) return false;
  const ParsedInteger parsed = ParseCInteger(text);
  if (!parsed.HasDigits) return false;
  value = ToUint32(parsed);
  return true;
}

bool IniFileSettings::ReadBool(const char* key, bool& value) {
  std::string text;
  if (!FindValue(key, text)) return false;
  if (text.size() > kBoolTextLimit) text.resize(kBoolTextLimit);
  if (EqualsNoCase(text, "yes") || EqualsNoCase(text, "true")) {
    value = true;
    return true;
  }
  if (EqualsNoCase(text, "no") || EqualsNoCase(text, "false")) {
    value = false;
    return true;
  }
  return false;
}

bool IniFileSettings::ReadIntArray(const char* key, int32_t* values, size_t& count) {
  if (values == nullptr && count > 0) return false;
  std::string text;
  if (!FindValue(key, text) || text.empty()) return false;
  // Parsed aside first, so an unusable item leaves the caller's array as it was.
  std::vector<int32_t> items;
  size_t pos = 0;
  while (items.size() < count) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size()) break;
    const size_t comma = text.find(',', pos);
    const size_t itemEnd = comma == std::string::npos ? text.size() : comma;
    const size_t itemLength = itemEnd - pos < kArrayItemLimit ? itemEnd - pos : kArrayItemLimit;
    std::string_view item(text.data() + pos, itemLength);
    // Items are plain decimal, whatever their leading zeros.
    ParsedInteger parsed;
    size_t i = 0;
    if (i < item.size() && (item[i] == '+' || item[i] == '-')) parsed.Negative = item[i++] == '-';
    for (; i < item.size() && item[i] >= '0' && item[i] <= '9'; ++i) {
      parsed.HasDigits = true;
      if (!parsed.Overflow) {
        parsed.Magnitude = parsed.Magnitude * 10u + static_cast<uint64_t>(item[i] - '0');
        if (parsed.Magnitude > std::numeric_limits<uint32_t>::max()) parsed.Overflow = true;
      }
    }
    if (!parsed.HasDigits) return false;
    items.push_back(ToInt32(parsed));
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  for (size_t i = 0; i < items.size(); ++i) values[i] = items[i];
  count = items.size();
  return true;
}

bool IniFileSettings::ReadBinary(const char* key, uint8_t* buffer, size_t& count) {
  if (buffer == nullptr && count > 0) return false;
  std::string text;
  if (!FindValue(key, text)) return false;
  if (count > text.size() / 2) return false;
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) {
    const int high = DigitValue(text[2 * i]);
    const int low = DigitValue(text[2 * i + 1]);
    if (high > 15 || low > 15) return false;
    bytes[i] = static_cast<uint8_t>(high * 16 + low);
  }
  if (count > 0) std::memcpy(buffer, bytes.data(), count);
  return true;
}

bool IniFileSettings::WriteString(const char* key, const char* text) {
  if (text == nullptr) return false;
  const std::string value(text);
  // Reading strips one pair of matching quotes and the blanks around a
  // value; a value that would lose either gets one more pair of quotes so
  // that it reads back exactly as written. (A UTF-8 continuation byte is
  // never a quote, so the last byte is the last character here.)
  const bool quoted =
      value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  const bool padded = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  if (quoted || padded) return WriteValue(key, "\"" + value + "\"");
  return WriteValue(key, value);
}

bool IniFileSettings::WriteInt(const char* key, int32_t value) { return WriteValue(key, std::to_string(value)); }

bool IniFileSettings::WriteUnsigned(const char* key, uint32_t value) { return WriteValue(key, std::to_string(value)); }

bool IniFileSettings::WriteBool(const char* key, bool value) { return WriteValue(key, value ? "yes" : "no"); }

bool IniFileSettings::WriteIntArray(const char* key, const int32_t* values, size_t count) {
  if (values == nullptr && count > 0) return false;
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += ',';
    text += std::to_string(values[i]);
  }
  return WriteValue(key, text);
}

bool IniFileSettings::WriteBinary(const char* key, const uint8_t* bytes, size_t count) {
  if (bytes == nullptr && count > 0) return false;
  std::string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 15];
  }
  return WriteValue(key, text);
}
