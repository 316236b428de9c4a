#include "profiles/Ini.h"

// Texts are UTF-8 bytes throughout; no wide-character conversion is needed.
#define SI_NO_CONVERSION
// Debian's header keeps the template bodies behind this switch; this file
// is the only one that includes it.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <climits>

namespace pcm {

// CSimpleIniA compares sections and keys without regard to case.
struct IniFile::Impl {
  CSimpleIniA ini{true, false, false};
};

IniFile::IniFile(std::string path) : impl_(new Impl), path_(std::move(path)) {
  impl_->ini.LoadFile(path_.c_str());  // a missing file reads as empty
}

IniFile::~IniFile() { delete impl_; }

bool ParseWholeNumber(const std::string& text, int& value) {
  size_t i = 0, end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
  bool neg = false;
  if (i < end && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i >= end) return false;
  long long v = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (neg) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  value = int(v);
  return true;
}

bool IniFile::Get(const std::string& section, const std::string& key, std::string& value) const {
  const char* v = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (!v) return false;
  value = v;
  return true;
}

int IniFile::GetInt(const std::string& section, const std::string& key, int def) const {
  std::string text;
  int v;
  if (!Get(section, key, text) || !ParseWholeNumber(text, v)) return def;
  return v;
}

bool IniFile::GetBool(const std::string& section, const std::string& key, bool def) const {
  std::string text;
  int v;
  if (!Get(section, key, text) || !ParseWholeNumber(text, v)) return def;
  return v != 0;
}

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& def) const {
  std::string text;
  return Get(section, key, text) ? text : def;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  impl_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
}

void IniFile::SetInt(const std::string& section, const std::string& key, int value) {
  Set(section, key, std::to_string(value));
}

// Written through a temporary file and renamed, so a failed write never
// leaves a half file behind.
bool IniFile::Save() const {
  std::string text;
  if (impl_->ini.Save(text) < 0) return false;
  QString path = QString::fromStdString(path_);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly)) return false;
  out.write(text.data(), qint64(text.size()));
  return out.commit();
}

}  // namespace pcm
