#include "platform/registry_file.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace regfile {
namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

const char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHexByte(std::string* out, unsigned char b) {
  out->push_back(kHex[b >> 4]);
  out->push_back(kHex[b & 15]);
}

// Escapes for the inside of a quoted string.
void AppendQuoted(std::string* out, std::string_view bytes) {
  out->push_back('"');
  for (char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\': out->append("\\\\"); break;
      case '"': out->append("\\\""); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out->append("\\x");
          AppendHexByte(out, c);
        } else {
          out->push_back(ch);
        }
    }
  }
  out->push_back('"');
}

// Reads a quoted string starting at line[pos] == '"'. Returns the position after
// the closing quote, or npos when the string is malformed.
size_t ReadQuoted(std::string_view line, size_t pos, std::string* out) {
  out->clear();
  if (pos >= line.size() || line[pos] != '"') return std::string_view::npos;
  ++pos;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == '"') return pos + 1;
    if (c != '\\') {
      out->push_back(c);
      ++pos;
      continue;
    }
    if (pos + 1 >= line.size()) return std::string_view::npos;
    const char e = line[pos + 1];
    switch (e) {
      case '\\': out->push_back('\\'); pos += 2; break;
      case '"': out->push_back('"'); pos += 2; break;
      case 'n': out->push_back('\n'); pos += 2; break;
      case 'r': out->push_back('\r'); pos += 2; break;
      case 't': out->push_back('\t'); pos += 2; break;
      case 'x': {
        if (pos + 3 >= line.size()) return std::string_view::npos;
        const int hi = HexDigit(line[pos + 2]);
        const int lo = HexDigit(line[pos + 3]);
        if (hi < 0 || lo < 0) return std::string_view::npos;
        out->push_back(static_cast<char>(hi * 16 + lo));
        pos += 4;
        break;
      }
      default:
        return std::string_view::npos;
    }
  }
  return std::string_view::npos;  // no closing quote
}

// "aa,bb,cc" (possibly empty) into bytes.
bool ReadHexBytes(std::string_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  size_t pos = 0;
  for (;;) {
    if (pos + 2 > text.size()) return false;
    const int hi = HexDigit(text[pos]);
    const int lo = HexDigit(text[pos + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<char>(hi * 16 + lo));
    pos += 2;
    if (pos == text.size()) return true;
    if (text[pos] != ',') return false;
    ++pos;
  }
}

void AppendHexBytes(std::string* out, std::string_view bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) out->push_back(',');
    AppendHexByte(out, static_cast<unsigned char>(bytes[i]));
  }
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool ReadValue(std::string_view text, Value* value) {
  std::string bytes;
  if (!text.empty() && text[0] == '"') {
    if (ReadQuoted(text, 0, &bytes) != text.size()) return false;
    value->type = 1;  // REG_SZ
    value->data = bytes;
    value->data.push_back('\0');
    return true;
  }
  if (StartsWith(text, "expand:")) {
    if (ReadQuoted(text, 7, &bytes) != text.size()) return false;
    value->type = 2;  // REG_EXPAND_SZ
    value->data = bytes;
    value->data.push_back('\0');
    return true;
  }
  if (StartsWith(text, "dword:")) {
    const std::string_view digits = text.substr(6);
    if (digits.size() != 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    value->type = 4;  // REG_DWORD, stored little-endian
    value->data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) value->data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return true;
  }
  if (StartsWith(text, "hex:")) {
    if (!ReadHexBytes(text.substr(4), &bytes)) return false;
    value->type = 3;  // REG_BINARY
    value->data = bytes;
    return true;
  }
  if (StartsWith(text, "hex(")) {
    const size_t close = text.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return false;
    uint32_t type = 0;
    for (size_t i = 4; i < close; ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0) return false;
      type = type * 16 + static_cast<uint32_t>(d);
    }
    if (!ReadHexBytes(text.substr(close + 2), &bytes)) return false;
    value->type = type;
    value->data = bytes;
    return true;
  }
  return false;
}

bool IsNulTerminatedString(const Value& v) { return !v.data.empty() && v.data.back() == '\0'; }

void AppendValue(std::string* out, const Value& v) {
  if (v.type == 1 && IsNulTerminatedString(v)) {
    AppendQuoted(out, std::string_view(v.data).substr(0, v.data.size() - 1));
  } else if (v.type == 2 && IsNulTerminatedString(v)) {
    out->append("expand:");
    AppendQuoted(out, std::string_view(v.data).substr(0, v.data.size() - 1));
  } else if (v.type == 4 && v.data.size() == 4) {
    uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    out->append("dword:");
    for (int shift = 28; shift >= 0; shift -= 4) out->push_back(kHex[(n >> shift) & 15]);
  } else if (v.type == 3) {
    out->append("hex:");
    AppendHexBytes(out, v.data);
  } else {
    out->append("hex(");
    char type[16];
    std::snprintf(type, sizeof type, "%x", static_cast<unsigned>(v.type));
    out->append(type);
    out->append("):");
    AppendHexBytes(out, v.data);
  }
}

bool ReadKeyPath(std::string_view inner, std::string* path) {
  path->clear();
  for (size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] != '%') {
      path->push_back(inner[i]);
      continue;
    }
    if (i + 2 >= inner.size()) return false;
    const int hi = HexDigit(inner[i + 1]);
    const int lo = HexDigit(inner[i + 2]);
    if (hi < 0 || lo < 0) return false;
    path->push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return true;
}

void AppendKeyPath(std::string* out, const std::string& path) {
  for (char ch : path) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || c == '%') {
      out->push_back('%');
      AppendHexByte(out, c);
    } else {
      out->push_back(ch);
    }
  }
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
    const unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool SameName(const std::string& a, const std::string& b) {
  NoCaseLess less;
  return !less(a, b) && !less(b, a);
}

size_t Parse(std::string_view text, Store* store) {
  store->clear();
  size_t damaged = 0;
  Values* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimBlanks(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;

    if (line[0] == '[') {
      std::string path;
      if (line.size() < 2 || line.back() != ']' || !ReadKeyPath(line.substr(1, line.size() - 2), &path)) {
        current = nullptr;  // values below a damaged key line belong to no known key
        ++damaged;
        continue;
      }
      current = &(*store)[path];
      continue;
    }

    std::string name;
    size_t after = std::string_view::npos;
    if (line[0] == '@') {
      after = 1;
    } else if (line[0] == '"') {
      after = ReadQuoted(line, 0, &name);
    }
    Value value;
    if (current == nullptr || after == std::string_view::npos || after >= line.size() || line[after] != '=' ||
        !ReadValue(line.substr(after + 1), &value)) {
      ++damaged;
      continue;
    }
    auto found = current->find(name);
    if (found != current->end()) {
      found->second = value;
    } else {
      current->emplace(name, value);
    }
  }
  return damaged;
}

std::string Serialize(const Store& store) {
  std::string out =
      "; Tavro: per-user settings (the stand-in for HKEY_CURRENT_USER).\n"
      "; Rewritten whole by tavro; edit only while no tavro runs.\n";
  for (const auto& key : store) {
    out.append("\n[");
    AppendKeyPath(&out, key.first);
    out.append("]\n");
    for (const auto& value : key.second) {
      if (value.first.empty()) {
        out.push_back('@');
      } else {
        AppendQuoted(&out, value.first);
      }
      out.push_back('=');
      AppendValue(&out, value.second);
      out.push_back('\n');
    }
  }
  return out;
}

std::string StoreFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/tavro";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/tavro";
  const passwd* pw = getpwuid(getuid());
  if (pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] != '\0') return std::string(pw->pw_dir) + "/.config/tavro";
  return std::string();
}

std::string StorePath() {
  const std::string folder = StoreFolder();
  return folder.empty() ? folder : folder + "/registry.txt";
}

}  // namespace regfile
}  // namespace platform
