#pragma once
#include <functional>
#include <string>

namespace pcm {

// Output files are written under a hidden name reserved in the output
// folder and get their final name only once the conversion succeeded, so a
// person's existing file is never replaced and no broken file ever carries a
// final name. Paths are bytes throughout: a name that is not UTF-8 is used
// exactly as given.

// The longest file name the file systems take, in bytes.
constexpr size_t kOutputNameMax = 255;
// What a reserved name adds to the final name's base: "." before it and
// ".pcm-XXXXXX" after it.
constexpr size_t kReservedNameExtra = 12;

// Whether a file name (no folder) has the form of a reserved output name,
// "." + base + ".pcm-" + six letters or digits + an extension or nothing:
// another run's unfinished output, never an input.
bool IsReservedOutputName(const std::string& fileName);

// Whether anything (a file, a folder, a link even when dangling) has this
// name.
bool PathTaken(const std::string& path);

// Creates a new empty file beside finalPath, "<folder>/.<name>.pcm-XXXXXX<ext>"
// with finalPath's extension, so the encoder still chooses its container by
// the extension. Returns its path, or "" with the reason in `error`.
std::string ReserveTemporaryOutput(const std::string& finalPath, std::string& error);

// Gives the reserved file its final name without ever replacing a file that
// has it. When finalPath is taken meanwhile, numbered(1), numbered(2), ... are
// tried in turn. Returns the name used, or "" with the reason in `error`
// (the temporary file is then left for the caller to remove).
std::string MoveToFinalName(const std::string& tempPath, const std::string& finalPath,
                            const std::function<std::string(int)>& numbered, std::string& error);

// Removes a reserved file; nothing when the path is empty.
void RemoveTemporaryOutput(const std::string& tempPath);

// Creates every missing folder of path, as bytes; false with the reason when
// one cannot be made or a part is not a folder.
bool MakeFolders(const std::string& path, std::string& error);

}  // namespace pcm
