#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "dvd/IfoReader.h"

// The records of one IFO file as text, for the adapter that reads the file
// to hand them to the program that lists the DVD. One record a line, a kind
// word and then key=value words whose values hold no blank:
//   ifo set=1 width=720 height=576 coding=MPEG-2 system=PAL aspect=4:3
//   audio number=1 id=128 language=en coding=AC3 channels=2
//   subpicture number=1 id=32 language=en
//   title chain=1 ms=... hours=0 minutes=0 seconds=4 first_sector=0 last_sector=9
//   chapter program=1 first_cell=1 last_cell=1 first_sector=0 last_sector=9 ms=...
//   damaged chain=3
//   end
// Streams before the first title line are the title set's; after one, that
// title's. The end line says the records are complete. Plain C++: the
// adapter uses it too.
namespace pcm::ifo {

std::string IfoLines(const IfoFile& file);

// The records from those lines; null when they are incomplete or malformed.
// The file's path and folder are not in the lines: the caller knows them.
// Unknown kinds and keys are passed over.
std::unique_ptr<IfoFile> ParseIfoLines(std::string_view text);

}  // namespace pcm::ifo
