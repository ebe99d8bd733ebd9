// The runtime's access to the C heap and the C memory routines.
#ifndef TARN_MEMORY_MEMORY_H
#define TARN_MEMORY_MEMORY_H

#include <cstddef>

namespace tarn {

class Memory {
 public:
  // malloc and free: null on failure, as the C library reports it.
  static void* Malloc(std::size_t size);
  static void Free(void* pointer);
  // memcpy and memset; a length of 0 touches neither pointer.
  static void MemCopy(void* destination, const void* source, std::size_t length);
  static void MemSet(void* buffer, unsigned char value, std::size_t length);
};

}  // namespace tarn

#endif  // TARN_MEMORY_MEMORY_H
