#pragma once

#include <string>

namespace pg {

// An errno value as log lines and messages show it: the number, a colon and the system's
// text, "13: Permission denied". Safe from any thread.
std::string ErrorText(int error);

// The same for a code of getaddrinfo(): its negative EAI_ codes with the resolver's text,
// any other value as ErrorText.
std::string ResolverErrorText(int code);

}  // namespace pg
