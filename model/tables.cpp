// The model's fourteen table functions. Each table array holds its values followed by as many
// increasing breakpoints; a lookup interpolates linearly and extends the end segments.
#include <cstddef>
#include <cstdint>

#include "model/data_block.h"
#include "tarn/tarnsim.h"

namespace tarn::model {
namespace {

template <std::size_t length>
double LookUp(const double (&table)[length], double x) {
  static_assert(length % 2 == 0, "a table holds as many values as breakpoints");
  constexpr auto breakpoints = static_cast<int32_t>(length / 2);
  return zztable(table, 1, breakpoints, 0, 0, x, 0, 0);
}

}  // namespace

double DataBlock::vft_table(double x) const { return LookUp(vft, x); }
double DataBlock::vurinec_n_table(double x) const { return LookUp(vurinec_n, x); }
double DataBlock::qcx_n_table(double x) const { return LookUp(qcx_n, x); }
double DataBlock::vmaxthyx_i_table(double x) const { return LookUp(vmaxthyx_i, x); }
double DataBlock::vmaxcx_mki_table(double x) const { return LookUp(vmaxcx_mki, x); }
double DataBlock::vmaxthycx_ni_table(double x) const { return LookUp(vmaxthycx_ni, x); }
double DataBlock::clux_i_table(double x) const { return LookUp(clux_i, x); }
double DataBlock::clucx_ni_table(double x) const { return LookUp(clucx_ni, x); }
double DataBlock::vprodt4cx_n_table(double x) const { return LookUp(vprodt4cx_n, x); }
double DataBlock::clmett4cx_n_table(double x) const { return LookUp(clmett4cx_n, x); }
double DataBlock::clmett3cx_n_table(double x) const { return LookUp(clmett3cx_n, x); }
double DataBlock::t3frac_n_table(double x) const { return LookUp(t3frac_n, x); }
double DataBlock::vformulac_table(double x) const { return LookUp(vformulac, x); }
double DataBlock::milkingest_table(double x) const { return LookUp(milkingest, x); }

}  // namespace tarn::model
