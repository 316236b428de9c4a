#pragma once
#include <cstdint>
#include <string>

namespace pcm {
struct ListRow;
class RowSources;
}  // namespace pcm

namespace pcm::preview {

// What the player opens for a list row: what its source plays (a file, a
// DVD row's sectors through the DVD protocol), with the audio stream the
// row chose (0: the player's own choice), and the part that is converted:
// from `begin` seconds, `length` seconds long (0: not known).
struct PlaySource {
  std::string path;
  int audioStream = 0;
  int32_t begin = 0;
  int32_t length = 0;
};
PlaySource PlaySourceOf(const RowSources& sources, const ListRow& row);

}  // namespace pcm::preview
