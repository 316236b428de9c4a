#pragma once
#include <string>
#include <vector>

#include "Arguments.h"
#include "Sandbox.h"

namespace adapter {

// The file an input argument names as ffmpeg opens it ("x", "file:x"), or
// "" when it names none ("-", "pipe:0", an address, a DVD input).
std::string InputFile(const std::string& input);

// What describing these files may read: each file where it is, and the
// folder of one named as a playlist or list (.m3u8, .ffconcat, ...), where
// its entries lie.
Readable FilesReadable(const std::vector<std::string>& paths);

// What a conversion with these arguments may read: its input files as
// above, a DVD input's folder.
Readable ConversionReadable(const Args& args);

// Pins the format of each file input of a conversion: the probe module
// finds it from the file's bytes as the description does, and "-f NAME"
// goes before the input's "-i", so ffmpeg reads the file as that format and
// no other (a file changed since it was described fails instead of being
// read as whatever it now is). An input whose format is given already, that
// is no file or that does not exist, stays as it is. False with the reason, naming the input,
// in *refusal when an input is refused (a playlist or list without its own
// extension, a file that is no media).
bool PinInputFormats(Args& args, std::string* refusal);

}  // namespace adapter
