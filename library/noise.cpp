// Ornstein-Uhlenbeck noise and its operator zzou.
#include "library/noise.h"

#include <cmath>

#include "library/random_number.h"
#include "tarn/tarnsim_library.h"

namespace tarn {

void OrnsteinUhlenbeckNoise(const EvaluationState& state, double tau, double mean, double sigma,
                            double* noise, double* output, double* lastTime) {
  if (state.stepStart) {
    if (state.initializing) *lastTime = state.t;
    if (state.t > *lastTime) {
      const double delta = state.t - *lastTime;
      const double g = RandomNumber::Gaussian(0, sigma);
      *noise = std::exp(-delta / tau) * *noise + std::sqrt(1 - std::exp(-2 * delta / tau)) * g;
      *lastTime = state.t;
    }
  }
  *output = mean + *noise;
}

}  // namespace tarn

extern "C" void zzou(uint32_t instance, double tau, double mean, double sigma, double* noise,
                     double* output, double* lastTime) {
  if (const auto state = tarn::EvaluationStateOf(instance)) {
    tarn::OrnsteinUhlenbeckNoise(*state, tau, mean, sigma, noise, output, lastTime);
  }
}
