// The runtime's access to the C heap and the C memory routines.
#include "memory/memory.h"

#include <cstdlib>
#include <cstring>

namespace tarn {

void* Memory::Malloc(std::size_t size) { return std::malloc(size); }

void Memory::Free(void* pointer) { std::free(pointer); }

void Memory::MemCopy(void* destination, const void* source, std::size_t length) {
  // memcpy with a null pointer is undefined even for length 0.
  if (length != 0) std::memcpy(destination, source, length);
}

void Memory::MemSet(void* buffer, unsigned char value, std::size_t length) {
  if (length != 0) std::memset(buffer, value, length);
}

}  // namespace tarn
