#pragma once
#include <string>

namespace pcm {
struct ListRow;
class RowSources;
}  // namespace pcm

namespace pcm::preview {

// What the player opens for a list row: what its source plays (a file, a
// DVD row's sectors through the DVD protocol), with the audio stream the
// row chose (0: the player's own choice).
struct PlaySource {
  std::string path;
  int audioStream = 0;
};
PlaySource PlaySourceOf(const RowSources& sources, const ListRow& row);

}  // namespace pcm::preview
