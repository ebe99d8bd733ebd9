// The model's data block: every symbol of the model, in index order, each at its natural
// alignment (doubles on 8 bytes, integers on 4, logicals on 1), declared from the rows of
// symbol_table.def. Shared instances are bound to the one block, zzsim; an independent instance
// to a block of its own, made from kDefaultBlock.
#ifndef TARN_MODEL_DATA_BLOCK_H
#define TARN_MODEL_DATA_BLOCK_H

#include <cstdint>

#include "tarn/tarnsim.h"

// Helpers for expanding the parenthesised columns of a symbol_table.def row.
#define TARN_MODEL_UNPARENTHESIZE(...) __VA_ARGS__
#define TARN_MODEL_FIRST_OF(first, ...) first

namespace tarn::model {

// Held by a double the model has not computed yet.
inline constexpr double kNotComputed = 5.5555e+33;
// Held by an integer control symbol that has not been set yet.
inline constexpr int32_t kNotComputedInteger = 55555555;

template <TarnDataType dataType>
struct ElementType;
template <>
struct ElementType<TARN_DATA_DOUBLE> {
  using type = double;
};
template <>
struct ElementType<TARN_DATA_LONG> {
  using type = int32_t;
};
template <>
struct ElementType<TARN_DATA_LOGICAL> {
  using type = TarnLogical;
};

// A scalar for first extent 0, otherwise a one-dimensional array of that many elements.
template <typename Element, uint32_t firstExtent>
struct Storage {
  using type = Element[firstExtent];
};
template <typename Element>
struct Storage<Element, 0> {
  using type = Element;
};

template <TarnDataType dataType, uint32_t firstExtent>
using SymbolStorage = typename Storage<typename ElementType<dataType>::type, firstExtent>::type;

// The symbols as members named after them, and the model's sections as member functions that
// read and write them. The sections keep no state of their own.
struct DataBlock {
#define TARN_SYMBOL(name, dataType, symbolType, extents, flags, sectionKey, stringLength, value) \
  SymbolStorage<TARN_DATA_##dataType, TARN_MODEL_FIRST_OF extents> name;
#include "model/symbol_table.def"
#undef TARN_SYMBOL

  // Initial section, between run initialisation and reset: derived volumes, flows and
  // parameters, and the dosing schedule (an event for `instance` when dosing is pulsed).
  void InitialSection(uint32_t instance);
  void MaternalVolumesAndFlows();
  // Volume, flow and mass balances, recomputed once per pass of the run loop.
  void ComputeBalances();

  // Section 500: every derivative, algebraic quantity, initial condition and output variable
  // from t and the states. The parts run in this order; each reads only what the parts before
  // it, the initial section, the parameters, t and the states have set.
  void DerivativeSection();
  void DosingBodyWeightAgeAndIngestion();
  void MaternalIodide();
  void MaternalThyroidHormones();
  void RadioIodideTracer();
  void InfantIodideAndThyroidHormones();
  void InfantT4AndT3Elimination(double bw_n075);
  void MaternalPerchlorate();
  void MaternalPerchlorateUptake(double bw075);
  void InfantPerchlorateBinding();
  void InfantGrowth();
  void InfantPerchlorate();
  // Initial conditions of the states; the reset copies them into the states.
  void IodideAndHormoneInitialConditions();
  void PerchlorateInitialConditions();
  void OutputVariables();

  // Discrete sections 1000 and 1001: perchlorate dosing on (for pdlength hours) and off.
  void StartDosing(uint32_t instance);
  void StopDosing(uint32_t instance);

  // Table functions: piecewise-linear time courses, extended linearly beyond their ends. Each
  // reads its array (values, then breakpoints) at every call.
  double vft_table(double x) const;
  double vurinec_n_table(double x) const;
  double qcx_n_table(double x) const;
  double vmaxthyx_i_table(double x) const;
  double vmaxcx_mki_table(double x) const;
  double vmaxthycx_ni_table(double x) const;
  double clux_i_table(double x) const;
  double clucx_ni_table(double x) const;
  double vprodt4cx_n_table(double x) const;
  double clmett4cx_n_table(double x) const;
  double clmett3cx_n_table(double x) const;
  double t3frac_n_table(double x) const;
  double vformulac_table(double x) const;
  double milkingest_table(double x) const;
};

// Discrete sections and the events that lead to them.
inline constexpr uint32_t kDosingOnSection = 1000;
inline constexpr uint32_t kDosingOffSection = 1001;
inline constexpr uint32_t kDosingOnEvent = 1;
inline constexpr uint32_t kDosingOffEvent = 2;

// Every symbol at its default value.
extern const DataBlock kDefaultBlock;
extern DataBlock zzsim;

// The block `instance` is bound to: its own for an independent instance, else zzsim.
inline DataBlock& BlockOf(uint32_t instance) {
  void* own = TarnSimGetInstanceBlock(instance);
  return own != nullptr ? *static_cast<DataBlock*>(own) : zzsim;
}

}  // namespace tarn::model

#endif  // TARN_MODEL_DATA_BLOCK_H
