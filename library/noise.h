// Ornstein-Uhlenbeck noise for the model language's noise operator.
#ifndef TARN_LIBRARY_NOISE_H
#define TARN_LIBRARY_NOISE_H

#include "library/evaluation_state.h"

namespace tarn {

// Exact discretisation of the Ornstein-Uhlenbeck process dX = -X/tau dt + sigma sqrt(2/tau) dW
// (Gillespie, Phys. Rev. E 1996). At a step start (while initializing *lastTime first becomes
// t), when t is past *lastTime by delta: *noise = exp(-delta/tau) * *noise
// + sqrt(1 - exp(-2 delta/tau)) * g with g drawn from the shared generator's Gaussian(0, sigma),
// and *lastTime = t. At every call *output = mean + *noise. Initialisation does not reset *noise.
void OrnsteinUhlenbeckNoise(const EvaluationState& state, double tau, double mean, double sigma,
                            double* noise, double* output, double* lastTime);

}  // namespace tarn

#endif  // TARN_LIBRARY_NOISE_H
