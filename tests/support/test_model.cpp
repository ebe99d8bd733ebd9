#include "support/test_model.h"

#include "tarn/tarnsim.h"

namespace tarn::test {
namespace {
ModelRegistration selectedModel = nullptr;
}  // namespace

void UseModel(ModelRegistration registration) { selectedModel = registration; }

}  // namespace tarn::test

// The registration entry of a test binary: registers whichever test model the test selected.
extern "C" void TarnSimMain(void) {
  if (tarn::test::selectedModel != nullptr) tarn::test::selectedModel();
}
