#include "preview/PlaySource.h"

#include "dvd/DvdJob.h"
#include "preview/DvdByteSource.h"
#include "queue/ListRow.h"

namespace pcm::preview {

PlaySource PlaySourceOf(const ListRow& row) {
  const bool dvd = row.dvd && row.dvd->file;
  return {PlayPathFor(PlayInputOf(row)), dvd ? row.dvd->audioId : 0};
}

}  // namespace pcm::preview
