// Language runtime pieces for a program built without exceptions.
//
// The program checks every allocation it makes, so operator new gives a null
// pointer when memory runs out instead of throwing; and the few ways into
// std::terminate end the process at once. Without these, the library versions
// would bring in the unwinder, the demangler and a threads library: more than
// half of the executable, for code that never runs.
#include <cstdlib>
#include <new>

void* operator new(std::size_t n) {
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n) {
    return std::malloc(n ? n : 1);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

extern "C" void __cxa_pure_virtual() {
    std::abort();
}

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx
