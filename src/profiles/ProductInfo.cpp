#include "profiles/ProductInfo.h"

#include "profiles/Ini.h"

namespace pcm {

namespace {

constexpr int kKeyRoom = 30;
constexpr int kAddressRoom = 150;

std::string Field(const std::string& data, size_t at, int room) {
  size_t len = static_cast<unsigned char>(data[at]);
  if (len > size_t(room)) len = size_t(room);
  return data.substr(at + 1, len);
}

void PutField(std::string& out, const std::string& text, int room) {
  std::string t = text.substr(0, size_t(room));
  out += char(static_cast<unsigned char>(t.size()));
  out += t;
  out.append(size_t(room) - t.size(), '\0');
}

}  // namespace

std::optional<ProductRecord> ReadProductRecord(const std::string& path, const std::string& key) {
  // Only a regular file is read: a named pipe in its place must not block.
  std::string data;
  if (ReadRegularFile(path, data) != FileRead::Ok) return std::nullopt;
  // A short tail is not a record.
  for (size_t at = 0; at + kProductRecordSize <= data.size(); at += kProductRecordSize) {
    if (Field(data, at, kKeyRoom) != key) continue;
    size_t a2 = at + 1 + kKeyRoom, a3 = a2 + 1 + kAddressRoom, a4 = a3 + 1 + kAddressRoom;
    return ProductRecord{key, Field(data, a3, kAddressRoom), Field(data, a4, kAddressRoom)};
  }
  return std::nullopt;
}

std::string MakeProductRecord(const std::string& key, const std::string& second, const std::string& web,
                              const std::string& support) {
  std::string out;
  PutField(out, key, kKeyRoom);
  PutField(out, second, kAddressRoom);
  PutField(out, web, kAddressRoom);
  PutField(out, support, kAddressRoom);
  return out;
}

}  // namespace pcm
