// The C++ runtime's failure paths, replaced by small ones that print nothing.
//
// The runtime's default handler for an exception nobody catches writes the
// exception's demangled type to stderr before aborting. A shell extension has
// no stderr, and that handler drags the demangler and the whole printf
// family into the library: about a third of its size. No exception leaves
// the library's callbacks, so reaching it is a bug either way; the process
// ends the same, silently.
//
// The standard containers and strings report misuse through the runtime's
// std::__throw_* functions, which throw std::length_error and its kin. Those
// classes keep their message in a reference-counted string of their own,
// and linking the functions brings that string's whole runtime code (about
// 40 KiB) along. The definitions below take their place at link time (the
// library's objects come before the runtime archive); they throw the same
// kinds of exception with the same message, as std::exception. The library
// catches std::exception or everything, never these classes by name.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class ERuntimeFailure : public std::exception {
public:
    explicit ERuntimeFailure(const char* what) noexcept : what_(what) {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_; // the runtime passes string literals
};

} // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx

namespace std {
// One line each, as a table of what each failure becomes.
// clang-format off
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char* what) { throw ERuntimeFailure(what); }
void __throw_domain_error(const char* what) { throw ERuntimeFailure(what); }
void __throw_invalid_argument(const char* what) { throw ERuntimeFailure(what); }
void __throw_length_error(const char* what) { throw ERuntimeFailure(what); }
void __throw_out_of_range(const char* what) { throw ERuntimeFailure(what); }
void __throw_out_of_range_fmt(const char* format, ...) { throw ERuntimeFailure(format); }
void __throw_runtime_error(const char* what) { throw ERuntimeFailure(what); }
void __throw_range_error(const char* what) { throw ERuntimeFailure(what); }
void __throw_overflow_error(const char* what) { throw ERuntimeFailure(what); }
void __throw_underflow_error(const char* what) { throw ERuntimeFailure(what); }
// clang-format on
} // namespace std
