// Small models for the runtime's own tests. They register through the same model-side interface
// as generated model code: a registration function, a data block, an initialisation entry that
// binds every symbol, and simulation and derivative entries.
#ifndef TARN_TESTS_SUPPORT_TEST_MODEL_H
#define TARN_TESTS_SUPPORT_TEST_MODEL_H

namespace tarn::test {

using ModelRegistration = void (*)();

// Selects the model that the next TarnInitialize registers (TarnSimMain calls it).
void UseModel(ModelRegistration registration);

}  // namespace tarn::test

#endif  // TARN_TESTS_SUPPORT_TEST_MODEL_H
