// OpenBLAS's thread pool, found through the dynamic loader: this library does not link OpenBLAS
// itself, and the process may have none.
#include "runtime/blas_threads.h"

#include <dlfcn.h>
#include <link.h>

#include <mutex>

namespace tarn {
namespace {

constexpr char kOpenBlas[] = "libopenblas.so.0";
// Stops and joins the pool's threads (OpenBLAS calls it before a fork); exported by OpenBLAS.
constexpr char kShutdown[] = "blas_thread_shutdown_";

// Whether `later` comes after `earlier` in the loader's list, which is in loading order.
bool LoadedAfter(const link_map* later, const link_map* earlier) {
  for (const link_map* map = earlier; map != nullptr; map = map->l_next) {
    if (map == later) return true;
  }
  return false;
}

void StopPoolIfLoadedWithThisLibrary() {
  void* blas = dlopen(kOpenBlas, RTLD_LAZY | RTLD_NOLOAD);
  if (blas == nullptr) return;
  link_map* blasMap = nullptr;
  link_map* ownMap = nullptr;
  Dl_info own{};
  const bool found = dlinfo(blas, RTLD_DI_LINKMAP, &blasMap) == 0 &&
                     dladdr1(reinterpret_cast<const void*>(&StopBlasThreadsThisLibraryStarted),
                             &own, reinterpret_cast<void**>(&ownMap), RTLD_DL_LINKMAP) != 0 &&
                     ownMap != nullptr;
  if (found && LoadedAfter(blasMap, ownMap)) {
    if (auto shutdown = reinterpret_cast<int (*)()>(dlsym(blas, kShutdown))) shutdown();
  }
  dlclose(blas);
}

}  // namespace

void StopBlasThreadsThisLibraryStarted() {
  static std::once_flag once;
  std::call_once(once, StopPoolIfLoadedWithThisLibrary);
}

}  // namespace tarn
