// Peak resident memory of a process that loads libtarn.so, runs the lactation period (4320 h at
// cint 1, perchlorate dosed) once with the algorithm given as the only argument (14 DLSODES, the
// default, or 15 CVODE), and finalises. Prints the peak against the 16 MiB budget; exits 1 when
// the run fails to reach tstop.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#include "tarn/tarn.h"

namespace {

constexpr double kBudgetMiB = 16;

void Set(uint32_t instance, const char* name, double value) {
  TarnSetDouble(instance, TarnGetSymbolIndex(name), value);
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t algorithm = argc > 1 ? static_cast<int32_t>(std::atoi(argv[1])) : 14;
  TarnInitialize();
  const uint32_t instance = TarnCreate();
  TarnSetLong(instance, TarnGetSymbolIndex("ialg"), algorithm);
  Set(instance, "cint", 1);
  Set(instance, "tstop", 4320);
  Set(instance, "conc", 5);
  Set(instance, "pdose", 0.01);
  Set(instance, "pdose_n", 0.001);
  TarnStartBlocking(instance);
  const double reached = TarnGetDouble(instance, TarnGetSymbolIndex("t"));
  TarnFinalize();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;  // ru_maxrss is in KiB
  std::printf(
      "lactation run, algorithm %d: t = %g, peak resident memory %.1f MiB (budget %.0f MiB)\n",
      static_cast<int>(algorithm), reached, peakMiB, kBudgetMiB);
  return reached == 4320 ? 0 : 1;
}
