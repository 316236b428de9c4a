#include "preview/PlaySource.h"

#include "dvd/DvdInputForm.h"
#include "dvd/DvdJob.h"
#include "preview/DvdByteSource.h"

namespace pcm::preview {

PlaySource PlaySourceOf(const ListRow& row) {
  const std::string input = PlayInputOf(row);
  PlaySource source{PlayPathFor(input), 0};
  DvdInputForm form;
  std::string error;
  if (IsDvdInput(input) && DecodeDvdInput(input, &form, &error)) source.audioStream = form.audioId;
  return source;
}

}  // namespace pcm::preview
