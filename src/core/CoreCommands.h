#pragma once

namespace pcm {

class CoreApp;

// Registers the commands that core pieces carry out (the list, the batch,
// the output folder, the addresses) in the application's command table.
// Window commands (dialogs, choosers, the rename editor) are registered by
// the window.
void RegisterCoreCommands(CoreApp& app);

}  // namespace pcm
