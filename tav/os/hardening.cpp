#include <sodium.h>

#include "tav/os/hardening.h"

namespace tav {

__attribute__((noinline)) void WipeStack() {
    volatile unsigned char area[64 * 1024];
    sodium_memzero(const_cast<unsigned char*>(area), sizeof area);
    __asm__ __volatile__("" : : "r"(area) : "memory");
}

}  // namespace tav
