// Movable global memory blocks, as the host expects for the page bitmap: the
// scan module allocates, the host locks, reads and frees.
#pragma once

#include <cstddef>
#include <cstdint>

namespace px {

using HGLOBAL = void*;

inline constexpr unsigned GMEM_FIXED = 0x0000;
inline constexpr unsigned GMEM_MOVEABLE = 0x0002;
inline constexpr unsigned GMEM_ZEROINIT = 0x0040;
inline constexpr unsigned GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

/// A block of `bytes` bytes (zero-filled with GMEM_ZEROINIT), or null.
HGLOBAL GlobalAlloc(unsigned flags, std::size_t bytes);
/// Address of the block's bytes, or null for a null handle.
void* GlobalLock(HGLOBAL handle);
/// Always true here: blocks never move.
bool GlobalUnlock(HGLOBAL handle);
/// Size given to GlobalAlloc, 0 for a null handle.
std::size_t GlobalSize(HGLOBAL handle);
/// Frees the block; returns null (the Windows convention for success).
HGLOBAL GlobalFree(HGLOBAL handle);

}  // namespace px
