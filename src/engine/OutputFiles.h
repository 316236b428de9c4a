#pragma once
#include <functional>
#include <string>
#include <vector>

#include "base/HiddenOutput.h"

namespace pcm {

// Output files are written under a hidden name reserved in the output
// folder and get their final name only once the conversion succeeded, so a
// person's existing file is never replaced and no broken file ever carries a
// final name. Paths are bytes throughout: a name that is not UTF-8 is used
// exactly as given.

// Whether anything (a file, a folder, a link even when dangling) has this
// name.
bool PathTaken(const std::string& path);

// Creates a new empty hidden file beside finalPath (CreateHiddenOutput).
// This process holds its lock until the file is given its name or removed,
// so another run's clean-up leaves it alone. Returns its path, or "" with
// the reason in `error`.
std::string ReserveTemporaryOutput(const std::string& finalPath, std::string& error);

// Gives the reserved file its final name without ever replacing a file that
// has it. When finalPath is taken meanwhile, numbered(1), numbered(2), ... are
// tried in turn. Returns the name used, or "" with the reason in `error`
// (the temporary file is then left for the caller to remove).
std::string MoveToFinalName(const std::string& tempPath, const std::string& finalPath,
                            const std::function<std::string(int)>& numbered, std::string& error);

// Removes a reserved file and lets its lock go; nothing when the path is
// empty.
void RemoveTemporaryOutput(const std::string& tempPath);

// Creates every missing folder of path, as bytes; false with the reason when
// one cannot be made or a part is not a folder. The folders it made are
// added to `made`, outermost first, when it is given.
bool MakeFolders(const std::string& path, std::string& error, std::vector<std::string>* made = nullptr);

// Why MakeFolders(path) could not make path or a file could not be written
// in it, found without making or changing anything: "" when both could be
// done. The parts that exist must be folders, and the nearest of them one
// this process may write in, on a file system that holds files. `exists`
// tells whether path itself is a folder already.
std::string FolderFault(const std::string& path, bool& exists);

// Whether the folder lies on a file system the kernel makes up (processes,
// devices, its own settings): no media there, nothing can be made there,
// and folders without end.
bool SystemFileSystem(const std::string& folder);

}  // namespace pcm
