// The model language's random-number generator: the minimal standard multiplicative congruential
// generator (Park and Miller, CACM 1988), multiplier 16807 and modulus 2^31 - 1, stepped with
// Schrage's decomposition so that 32-bit arithmetic never overflows.
//
// The state is one static value shared by every caller and every instance, without a lock.
#ifndef TARN_LIBRARY_RANDOM_NUMBER_H
#define TARN_LIBRARY_RANDOM_NUMBER_H

#include <cstdint>

namespace tarn {

class RandomNumber {
 public:
  RandomNumber() = delete;

  // Sets the state. The generator moves for seeds 1 .. 2147483646; a multiple of the modulus
  // (0 among them) stays where it is.
  static void Seed(int32_t seed);
  // One step; returns state / (2^31 - 1), in [0, 1).
  static double MinStd();
  // Exponentially distributed with mean 1: -ln of a MinStd draw. A zero draw only comes from a
  // state that never moves again, so it is not redrawn and gives +infinity.
  static double Exponential();
  // One step; a + (b - a) * state / 2^31. A zero step result is replaced by 2^31 - 1, so a
  // itself is never returned.
  static double Uniform(double a, double b);
  // Twelve steps as in Uniform; mean + deviation * (sum of state / 2^31 - 6).
  static double Gaussian(double mean, double deviation);

 private:
  // new = 16807 * (state mod 127773) - 2836 * (state div 127773); not yet brought into range.
  static int32_t Advance();
  // One step whose zero or negative result is moved up by the modulus, as Uniform and Gaussian
  // take it; the state / 2^31.
  static double NextFraction();

  static int32_t state_;
};

}  // namespace tarn

#endif  // TARN_LIBRARY_RANDOM_NUMBER_H
