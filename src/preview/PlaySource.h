#pragma once
#include <string>

namespace pcm {
struct ListRow;
}

namespace pcm::preview {

// What the player opens for a list row: a file row its file, a DVD row its
// sectors through the DVD protocol, with the audio stream the row chose
// (0: the player's own choice).
struct PlaySource {
  std::string path;
  int audioStream = 0;
};
PlaySource PlaySourceOf(const ListRow& row);

}  // namespace pcm::preview
