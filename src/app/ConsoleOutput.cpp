#include "app/ConsoleOutput.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace pcm {

namespace {

int g_outError = 0;

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(std::string_view text, size_t i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (n == 0 || i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  unsigned char d = static_cast<unsigned char>(text[i + 1]);
  // Overlong forms, surrogates and values past U+10FFFF.
  if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0) || (c == 0xF0 && d < 0x90) ||
      (c == 0xF4 && d >= 0x90))
    return 0;
  return n;
}

void AppendHex(std::string& out, unsigned char c) {
  static const char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[c >> 4];
  out += kDigits[c & 15];
}

void NoAction(int) {}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '\n')
        out += "\\n";
      else if (c == '\r')
        out += "\\r";
      else if (c == '\t')
        out += "\\t";
      else if (c < 0x20 || c == 0x7F)
        AppendHex(out, c);
      else
        out += char(c);
      ++i;
      continue;
    }
    size_t n = Utf8Length(text, i);
    if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      // U+0080..U+009F: control characters a terminal may act on.
      AppendHex(out, c);
      AppendHex(out, static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else if (n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      // A byte of a name that is not UTF-8: escaped, as `ls` shows it, so
      // the name can be told apart from others and typed again; a terminal
      // would show it as a replacement character.
      AppendHex(out, c);
      ++i;
    }
  }
  return out;
}

void Out(const std::string& text) {
  if (g_outError != 0) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    g_outError = errno != 0 ? errno : EIO;
}

int OutError() { return g_outError; }

void SurviveBrokenPipes() {
  struct sigaction sa = {};
  sa.sa_handler = NoAction;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &sa, nullptr);
}

}  // namespace pcm
