// Window-procedure thunks: a few bytes of executable memory per window that
// replace the window handle argument with the host object and jump on.
#pragma once
#include <cstddef>
#include <cstdint>

namespace quillet {

// The 32-bit x86 layout: call +4 / target / pop ecx / mov [esp+4], self / jmp [ecx].
constexpr size_t kThunkSizeI686 = 20;
// The x86-64 layout: mov rcx, self / mov rax, target / jmp rax.
constexpr size_t kThunkSizeX64 = 22;

void FillThunkI686(uint8_t out[kThunkSizeI686], uint32_t self, uint32_t target);
void FillThunkX64(uint8_t out[kThunkSizeX64], uint64_t self, uint64_t target);

// Allocates executable scratch memory, fills the thunk for this build's
// architecture and flushes the instruction cache. Null on failure.
void* BuildThunk(const void* self, const void* target);
void FreeThunk(void* thunk);

}  // namespace quillet
