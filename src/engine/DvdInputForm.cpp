#include "engine/DvdInputForm.h"

#include <charconv>
#include <cmath>
#include <set>

namespace pcm {

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '/';
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (Unreserved(c)) {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool PercentDecode(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
      if (hi < 0 || lo < 0) return false;
      *out += char(hi * 16 + lo);
      i += 2;
    } else if (Unreserved(c)) {
      *out += char(c);
    } else {
      return false;
    }
  }
  return true;
}

std::string Number(double value) {
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

std::string Hex(int value) {
  char buf[16];
  auto result = std::to_chars(buf, buf + sizeof buf, value, 16);
  return "0x" + std::string(buf, result.ptr);
}

// Whole text as a number of the given type; base 16 takes a "0x" prefix.
template <typename T>
bool ReadWhole(const std::string& text, T* value, int base = 10) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (base == 16) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    begin += 2;
  }
  if (begin == end || *begin == '-' || *begin == '+') return false;
  auto result = std::from_chars(begin, end, *value, base);
  return result.ec == std::errc() && result.ptr == end;
}

bool ReadSeconds(const std::string& text, double* value) {
  const char* end = text.data() + text.size();
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  auto result = std::from_chars(text.data(), end, *value, std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr != end) {
    result = std::from_chars(text.data(), end, *value);
    if (result.ec != std::errc() || result.ptr != end) return false;
  }
  return std::isfinite(*value);
}

bool ReadSectors(const std::string& text, std::vector<DvdSectorRange>* ranges) {
  ranges->clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string item = text.substr(start, comma - start);
    size_t dash = item.find('-');
    DvdSectorRange r;
    if (dash == std::string::npos || !ReadWhole(item.substr(0, dash), &r.first) ||
        !ReadWhole(item.substr(dash + 1), &r.last))
      return false;
    ranges->push_back(r);
    start = comma + 1;
  }
  return true;
}

bool AudioIdValid(int id) {
  return id == 0 || (id >= 0x80 && id <= 0x8f) || (id >= 0xa0 && id <= 0xa7) || (id >= 0xc0 && id <= 0xdf);
}

std::string Check(const DvdInputForm& f) {
  if (f.folder.empty()) return "no DVD folder";
  if (f.titleSet < 1 || f.titleSet > 99) return "the title set is not 1 to 99";
  if (f.programChain < 1) return "the program chain is not a positive number";
  if (f.sectors.empty()) return "no sectors to read";
  for (const auto& r : f.sectors)
    if (r.first > r.last || r.last >= 0xffffff) return "a sector range is impossible";
  if (!AudioIdValid(f.audioId)) return "the audio stream id is not one of a DVD";
  if (f.subtitleId != 0 && (f.subtitleId < 0x20 || f.subtitleId > 0x3f))
    return "the subtitle stream id is not one of a DVD";
  if (!(f.trimBegin >= 0) || !std::isfinite(f.trimBegin)) return "the trim begin is not a time";
  if (!(f.trimEnd >= 0) || !std::isfinite(f.trimEnd)) return "the trim end is not a time";
  if (f.trimEnd > 0 && f.trimEnd <= f.trimBegin) return "the trim end is not after its begin";
  return "";
}

}  // namespace

bool IsDvdInput(const std::string& text) {
  return text.compare(0, std::char_traits<char>::length(kDvdInputPrefix), kDvdInputPrefix) == 0;
}

std::string EncodeDvdInput(const DvdInputForm& form) {
  std::string sectors;
  for (const auto& r : form.sectors) {
    if (!sectors.empty()) sectors += ',';
    sectors += std::to_string(r.first) + "-" + std::to_string(r.last);
  }
  return std::string(kDvdInputPrefix) + "folder=" + PercentEncode(form.folder) +
         "&titleset=" + std::to_string(form.titleSet) + "&pgc=" + std::to_string(form.programChain) +
         "&sectors=" + sectors + "&audio=" + Hex(form.audioId) + "&subtitle=" + Hex(form.subtitleId) +
         "&begin=" + Number(form.trimBegin) + "&end=" + Number(form.trimEnd);
}

bool DecodeDvdInput(const std::string& text, DvdInputForm* form, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = "bad DVD input: " + why;
    return false;
  };
  if (!IsDvdInput(text)) return fail("it does not start with " + std::string(kDvdInputPrefix));
  *form = DvdInputForm();
  std::set<std::string> seen;
  size_t start = std::char_traits<char>::length(kDvdInputPrefix);
  while (start <= text.size()) {
    size_t amp = text.find('&', start);
    if (amp == std::string::npos) amp = text.size();
    std::string field = text.substr(start, amp - start);
    start = amp + 1;
    size_t eq = field.find('=');
    if (eq == std::string::npos) return fail("a field without a value");
    std::string key = field.substr(0, eq);
    std::string raw = field.substr(eq + 1);
    if (!seen.insert(key).second) return fail("the field " + key + " is given twice");
    bool ok;
    if (key == "folder")
      ok = PercentDecode(raw, &form->folder);
    else if (key == "titleset")
      ok = ReadWhole(raw, &form->titleSet);
    else if (key == "pgc")
      ok = ReadWhole(raw, &form->programChain);
    else if (key == "sectors")
      ok = ReadSectors(raw, &form->sectors);
    else if (key == "audio")
      ok = ReadWhole(raw, &form->audioId, 16);
    else if (key == "subtitle")
      ok = ReadWhole(raw, &form->subtitleId, 16);
    else if (key == "begin")
      ok = ReadSeconds(raw, &form->trimBegin);
    else if (key == "end")
      ok = ReadSeconds(raw, &form->trimEnd);
    else
      return fail("unknown field " + PercentEncode(key));
    if (!ok) return fail("unreadable " + key);
  }
  for (const char* key : {"folder", "titleset", "pgc", "sectors"})
    if (!seen.count(key)) return fail(std::string("no ") + key);
  std::string why = Check(*form);
  if (!why.empty()) return fail(why);
  return true;
}

}  // namespace pcm
