#include "profiles/Ini.h"

// Texts are UTF-8 bytes throughout; no wide-character conversion is needed.
#define SI_NO_CONVERSION
// Debian's header keeps the template bodies behind this switch; this file
// is the only one that includes it.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <climits>
#include <cstdint>

#include "ui/CommandError.h"
#include "base/WholeNumber.h"

namespace pcm {

// CSimpleIniA compares sections and keys without regard to case.
struct IniFile::Impl {
  CSimpleIniA ini{true, false, false};
};

IniFile::IniFile(std::string path) : impl_(std::make_unique<Impl>()), path_(std::move(path)) {
  std::string text;
  FileRead r = ReadRegularFile(path_, text, kMaxSettingsFileBytes);
  if (r == FileRead::NotRegular || r == FileRead::TooLarge) {
    throw CommandError("The settings file " + path_ +
                       (r == FileRead::NotRegular ? " is not a regular file" : " is larger than 1 MiB"));
  }
  // A missing or unreadable file reads as empty.
  if (r == FileRead::Ok) impl_->ini.LoadData(text.data(), text.size());
}

IniFile::~IniFile() = default;

bool ParseWholeNumber(const std::string& text, int& value) {
  size_t i = 0, end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
  auto v = ReadSignedWholeNumber<int>(std::string_view(text).substr(i, end - i));
  if (!v) return false;
  value = *v;
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

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text)
    if ((c < 0x20 && c != '\t') || c == 0x7f) return true;
  return false;
}

bool IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  if (HasControlCharacter(section) || HasControlCharacter(key) || HasControlCharacter(value)) return false;
  impl_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
  return true;
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
