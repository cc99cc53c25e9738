// Linked only into a test build of the program: makes the k-th allocation that
// the program's own code asks for fail, k taken from STEINER_FAIL_ALLOCATION.
// Allocations made inside the C and C++ libraries (stdio buffers and the like)
// are passed through untouched, so that a run fails exactly where the program
// must cope.
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void __libc_free(void *pointer);
// Bounds of the executable's own code, set by the linker.
extern const char __executable_start;
extern const char etext;
}

namespace {

long allocations = 0;

long failing_allocation() {
    static const long k = [] {
        const char *text = getenv("STEINER_FAIL_ALLOCATION");
        return text == nullptr ? 0L : strtol(text, nullptr, 10);
    }();
    return k;
}

bool fail_this_one(const void *caller) {
    const auto *code = static_cast<const char *>(caller);
    if (code < &__executable_start || code >= &etext)
        return false;
    return ++allocations == failing_allocation();
}

} // namespace

extern "C" void *malloc(size_t size) {
    return fail_this_one(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size) {
    return fail_this_one(__builtin_return_address(0)) ? nullptr : __libc_calloc(count, size);
}

extern "C" void *realloc(void *pointer, size_t size) {
    return fail_this_one(__builtin_return_address(0)) ? nullptr : __libc_realloc(pointer, size);
}

extern "C" void free(void *pointer) {
    __libc_free(pointer);
}

// The program's own containers allocate through operator new.
void *operator new(size_t size) {
    if (fail_this_one(__builtin_return_address(0)))
        throw std::bad_alloc();
    void *pointer = __libc_malloc(size == 0 ? 1 : size);
    if (pointer == nullptr)
        throw std::bad_alloc();
    return pointer;
}

void *operator new[](size_t size) {
    return operator new(size);
}

void *operator new(size_t size, const std::nothrow_t &) noexcept {
    if (fail_this_one(__builtin_return_address(0)))
        return nullptr;
    return __libc_malloc(size == 0 ? 1 : size);
}

void *operator new[](size_t size, const std::nothrow_t &tag) noexcept {
    return operator new(size, tag);
}

void operator delete(void *pointer) noexcept {
    __libc_free(pointer);
}

void operator delete[](void *pointer) noexcept {
    __libc_free(pointer);
}

void operator delete(void *pointer, size_t) noexcept {
    __libc_free(pointer);
}

void operator delete[](void *pointer, size_t) noexcept {
    __libc_free(pointer);
}

void operator delete(void *pointer, const std::nothrow_t &) noexcept {
    __libc_free(pointer);
}

void operator delete[](void *pointer, const std::nothrow_t &) noexcept {
    __libc_free(pointer);
}
