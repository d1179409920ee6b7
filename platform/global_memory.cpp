#include "platform/global_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace px {

namespace {
// The handle points at this header; the bytes follow it, aligned for any use.
struct alignas(std::max_align_t) BlockHeader {
  std::uint64_t magic;
  std::size_t size;
};
constexpr std::uint64_t kMagic = 0x50584D454D424C4BULL;

BlockHeader* HeaderOf(HGLOBAL handle) {
  auto* header = static_cast<BlockHeader*>(handle);
  return (header && header->magic == kMagic) ? header : nullptr;
}
}  // namespace

HGLOBAL GlobalAlloc(unsigned flags, std::size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  void* raw = (flags & GMEM_ZEROINIT) ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                      : std::malloc(sizeof(BlockHeader) + bytes);
  if (!raw) return nullptr;
  auto* header = new (raw) BlockHeader{kMagic, bytes};
  return header;
}

void* GlobalLock(HGLOBAL handle) {
  BlockHeader* header = HeaderOf(handle);
  return header ? static_cast<void*>(header + 1) : nullptr;
}

bool GlobalUnlock(HGLOBAL) { return true; }

std::size_t GlobalSize(HGLOBAL handle) {
  BlockHeader* header = HeaderOf(handle);
  return header ? header->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  BlockHeader* header = HeaderOf(handle);
  if (header) {
    header->magic = 0;
    std::free(header);
  }
  return nullptr;
}

}  // namespace px
