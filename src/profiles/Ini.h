#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "base/FileRead.h"

namespace pcm {

// A small INI file over SimpleIni: sections and keys are case-insensitive,
// the file is read when opened and every Save replaces it whole.
class IniFile {
 public:
  // A missing or unreadable file reads as empty. Throws CommandError when
  // the path names something other than a regular file or a file larger
  // than any settings file (it is neither read nor written over).
  explicit IniFile(std::string path);
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // The raw value; false when the key is missing.
  bool Get(const std::string& section, const std::string& key, std::string& value) const;
  // A whole decimal number (optional sign, digits, surrounding blanks); the
  // default when the key is missing or holds anything else.
  int GetInt(const std::string& section, const std::string& key, int def) const;
  // Any non-zero whole number is true.
  bool GetBool(const std::string& section, const std::string& key, bool def) const;
  std::string GetString(const std::string& section, const std::string& key, const std::string& def) const;

  // A value with a line break or another control character (other than a
  // tab) would be read back as further lines of the file: it is refused,
  // the key keeps what it had, and Set returns false.
  bool Set(const std::string& section, const std::string& key, const std::string& value);
  void SetInt(const std::string& section, const std::string& key, int value);
  void SetBool(const std::string& section, const std::string& key, bool value) {
    SetInt(section, key, value ? 1 : 0);
  }

  // Writes the file (creating its folder); false when it cannot be written.
  bool Save() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string path_;
};

// True when text holds a control character other than a tab.
bool HasControlCharacter(const std::string& text);

// Reads a whole decimal number that fits an int; blanks around it are allowed.
bool ParseWholeNumber(const std::string& text, int& value);

}  // namespace pcm
