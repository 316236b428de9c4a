#include "preview/PlaySource.h"

#include "preview/DvdByteSource.h"
#include "queue/RowSource.h"

namespace pcm::preview {

PlaySource PlaySourceOf(const RowSources& sources, const ListRow& row) {
  const PlayInput play = sources.Of(row).Play(row);
  return {PlayPathFor(play.input), play.audioStream, play.begin, play.length};
}

}  // namespace pcm::preview
