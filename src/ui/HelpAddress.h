#pragma once
#include <string>

namespace pcm {

class ProgramInfo;
class SystemActions;
class UserInterface;

// The help page shipped beside the executable.
inline constexpr const char* kHelpPage = "help.html";

// The address to hand to the desktop. An address with a scheme
// ("https://...") is kept; one without names a page shipped with the
// program ("help.html#support") and becomes the file:// address of that
// page beside the executable, "" when the page is not there.
std::string ResolveAddress(const ProgramInfo& program, const std::string& address);

// Opens the address; when the shipped page is missing or no program can
// open it, a warning says so and where the page is. An empty address
// opens nothing.
void OpenShippedAddress(const ProgramInfo& program, SystemActions& system, UserInterface& ui,
                        const std::string& address);

}  // namespace pcm
