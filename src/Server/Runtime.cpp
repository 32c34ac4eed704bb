// The C++ runtime's last resort, replaced by one that prints nothing.
//
// The runtime's default handler for an exception nobody catches writes the
// exception's demangled type to stderr before aborting. A shell extension has
// no stderr, and that handler drags the demangler and the whole printf
// family into the library: about a third of its size. No exception leaves
// the library's callbacks, so reaching this is a bug either way; the process
// ends the same, silently.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx
