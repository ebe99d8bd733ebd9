/* A minimal host of an installed Tarn library: runs the model for one hour and prints the
 * library version, the end time and the maternal plasma iodide concentration. Exits 0 when the
 * run reached its end. */
#include <stdio.h>
#include <tarn/tarn.h>

int main(void) {
  TarnInitialize();
  const uint32_t instance = TarnCreate();
  if (instance == 0) return 1;
  TarnSetDouble(instance, TarnGetSymbolIndex("tstop"), 1.0);
  TarnStartBlocking(instance);
  const double t = TarnGetDouble(instance, TarnGetSymbolIndex("t"));
  const uint32_t version = TarnGetVersion();
  printf("tarn %u.%u t=%g ca_i=%.6g\n", (unsigned)(version >> 16), (unsigned)(version & 0xFFFF), t,
         TarnGetDouble(instance, TarnGetSymbolIndex("ca_i")));
  TarnFinalize();
  return t > 1.0 - 1e-9 ? 0 : 1;
}
