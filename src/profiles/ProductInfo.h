#pragma once
#include <optional>
#include <string>

namespace pcm {

// One record of "softinfo.dat": fixed 484 bytes, four length-prefixed
// strings (key of 30 characters, three addresses of 150).
struct ProductRecord {
  std::string key;
  std::string webAddress;      // third string
  std::string supportAddress;  // fourth string
};

constexpr int kProductRecordSize = 484;

// The record whose key equals `key`; nullopt when the file or the record is
// missing. A length byte larger than its field is cut to the field.
std::optional<ProductRecord> ReadProductRecord(const std::string& path, const std::string& key);

// Builds one record (for the shipped file and for tests); texts longer than
// their field are cut.
std::string MakeProductRecord(const std::string& key, const std::string& second, const std::string& web,
                              const std::string& support);

}  // namespace pcm
