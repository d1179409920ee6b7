#include "postrel/mime_message.h"

#include <cstdio>

namespace postrel {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  const std::string s = suffix;
  if (text.size() < s.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = text[text.size() - s.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != s[i]) return false;
  }
  return true;
}

// Printable ASCII without the characters a quoted-string must escape (many
// mail programs mishandle the escapes, so such names take RFC 2231 instead).
bool PlainAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') return false;
  return true;
}

std::string Base64(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// RFC 2231 value characters: attribute-char, everything else %XX.
std::string Rfc2231Encode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '!' || c == '#' || c == '$' || c == '&' || c == '+' || c == '-' || c == '.' ||
                      c == '^' || c == '_' || c == '`' || c == '|' || c == '~';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Cuts a %-encoded text into pieces of about `size` characters without
// splitting a %XX triple or a UTF-8 character's bytes.
std::vector<std::string> CutEncoded(const std::string& encoded, size_t size) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < encoded.size()) {
    size_t end = std::min(encoded.size(), start + size);
    // Step back to a character boundary: not inside %XX, not before a
    // UTF-8 continuation byte (%80..%BF).
    auto continuation = [&](size_t at) {
      return at + 2 < encoded.size() && encoded[at] == '%' &&
             (encoded[at + 1] == '8' || encoded[at + 1] == '9' || encoded[at + 1] == 'A' || encoded[at + 1] == 'B');
    };
    while (end < encoded.size() && end > start + 3 &&
           ((end >= 1 && encoded[end - 1] == '%') || (end >= 2 && encoded[end - 2] == '%') || continuation(end)))
      --end;
    pieces.push_back(encoded.substr(start, end - start));
    start = end;
  }
  return pieces;
}

const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// RFC 5322 date in UTC, independent of the host's locale.
std::string MailDate(std::time_t when) {
  std::tm t{};
  gmtime_r(&when, &t);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[t.tm_wday % 7], t.tm_mday,
                kMonths[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

}  // namespace

const char* ContentTypeOf(const std::string& fileName) {
  if (EndsWithNoCase(fileName, ".jpg") || EndsWithNoCase(fileName, ".jpeg") || EndsWithNoCase(fileName, ".jpe"))
    return "image/jpeg";
  if (EndsWithNoCase(fileName, ".tif") || EndsWithNoCase(fileName, ".tiff")) return "image/tiff";
  if (EndsWithNoCase(fileName, ".bmp")) return "image/bmp";
  if (EndsWithNoCase(fileName, ".pdf")) return "application/pdf";
  return "application/octet-stream";
}

std::string Base64Lines(const std::string& bytes) {
  const std::string flat = Base64(bytes);
  std::string out;
  out.reserve(flat.size() + flat.size() / 76 * 2 + 2);
  for (size_t i = 0; i < flat.size(); i += 76) {
    out.append(flat, i, 76);
    out += "\r\n";
  }
  return out;
}

std::string NameParameters(const std::string& fileName, bool forDisposition) {
  const char* attribute = forDisposition ? "filename" : "name";
  if (PlainAscii(fileName) && fileName.size() <= 60) return std::string(";\r\n ") + attribute + "=" + Quoted(fileName);
  if (!forDisposition) {
    // The name parameter predates RFC 2231; mail programs read RFC 2047
    // words in it, one per line, each whole UTF-8 characters only.
    std::string out = ";\r\n name=\"";
    size_t start = 0;
    bool first = true;
    while (start < fileName.size()) {
      size_t end = std::min(fileName.size(), start + 36);
      while (end < fileName.size() && end > start && (static_cast<unsigned char>(fileName[end]) & 0xC0) == 0x80)
        --end;
      if (end == start) end = std::min(fileName.size(), start + 36);
      out += (first ? "" : "\r\n  ") + ("=?UTF-8?B?" + Base64(fileName.substr(start, end - start)) + "?=");
      first = false;
      start = end;
    }
    return out + "\"";
  }
  const std::vector<std::string> pieces = CutEncoded(Rfc2231Encode(fileName), 48);
  if (pieces.size() == 1) return ";\r\n filename*=UTF-8''" + pieces[0];
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i)
    out += ";\r\n filename*" + std::to_string(i) + "*=" + (i == 0 ? "UTF-8''" : "") + pieces[i];
  return out;
}

std::string BuildMessage(const std::vector<Attachment>& attachments, std::time_t when, uint64_t boundarySeed) {
  // "=_" never occurs in base64 text or in our headers, so the boundary
  // cannot appear inside a part.
  char boundary[64];
  std::snprintf(boundary, sizeof boundary, "=_scan_%016llx", static_cast<unsigned long long>(boundarySeed));
  std::string m;
  m += "MIME-Version: 1.0\r\n";
  m += "Date: " + MailDate(when) + "\r\n";
  m += "Subject: Scanned document\r\n";
  m += "X-Unsent: 1\r\n";
  m += std::string("Content-Type: multipart/mixed;\r\n boundary=\"") + boundary + "\"\r\n";
  m += "\r\nThis is a multi-part message in MIME format.\r\n";
  m += std::string("\r\n--") + boundary + "\r\n";
  m += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 7bit\r\n\r\n\r\n";
  for (const Attachment& a : attachments) {
    m += std::string("--") + boundary + "\r\n";
    m += std::string("Content-Type: ") + ContentTypeOf(a.fileName) + NameParameters(a.fileName, false) + "\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "Content-Disposition: attachment" + NameParameters(a.fileName, true) + "\r\n\r\n";
    m += Base64Lines(a.bytes);
  }
  m += std::string("--") + boundary + "--\r\n";
  return m;
}

}  // namespace postrel
