// std::terminate in the add-in: abort at once. Replaces the C++ runtime's
// default handler, which prints the pending exception's demangled type to
// stderr (nobody reads the host's stderr) and pulls the whole demangler into
// the library. No exception is meant to get this far: every boundary catches.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
