// Set-up the platform's start-up leaves to the program (Windows only).
#pragma once

namespace jamcrc {

#ifdef _WIN32
// No dialog ever waits for a user: failures are the tool's messages.
void ask_nothing_interactively();
#endif

}  // namespace jamcrc
