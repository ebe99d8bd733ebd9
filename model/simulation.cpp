// The model's simulation function: the initial section, which derives volumes, flows and
// constants from the parameters and sets up the dosing schedule, and the run loop, which
// recomputes the balance outputs, ends the run at tstop and advances one communication interval
// per pass. Assignments keep the model program's order and arithmetic.
#include <cmath>
#include <cstdint>

#include "model/data_block.h"
#include "model/entry_points.h"
#include "tarn/tarnsim.h"

namespace tarn::model {

using std::pow;

// Maternal volumes from the pre-pregnancy body weight, and the flows.
void DataBlock::MaternalVolumesAndFlows() {
  vfpre = vfc * bwpre;
  vwholeg = vgc * bwpre;
  vgb = vgbc * vwholeg;
  vg = vwholeg - vgb;
  vgj = vgjc * bwpre;
  vk = vkc * bwpre;
  vl = vlc * bwpre;
  vmampre = vmamcpre * bwpre;
  vwholem = bwpre * (vmamc * vmam_sens);
  vmb = vmbc * vwholem;
  vm = vwholem - vmb;
  vplas = vplasc * bwpre;
  vrbc = vrbcc * bwpre;
  vblood = vrbc + vplas;
  vwholesk = vskc * bwpre;
  vskb = vskbc * vwholesk;
  vsk = vwholesk - vskb;
  vttot = vttotc * bwpre;
  vtb = vtbc * vttot;
  vt = vttot - vtb;
  pbrat = vplas / vblood;
  vs = vsc * bwpre - vwholesk - vfpre;
  vr = vrc * bwpre - vttot - vl - vk - vwholeg - vmampre - vblood;
  vs_ipre = vsc * bwpre - vfpre;
  vr_i = vrc * bwpre - vttot - vmampre - vblood;

  // Maternal flows.
  qcpre = pow(bwpre, 0.75) * (pbrat * qcc);
  qg = qgc * qcpre;
  qk = qkc * qcpre;
  ql = qlc * qcpre;
  qsk = qskc * qcpre;
  qmpre = qmcpre * qcpre;
  qm = qmwb * pbrat;
  qt = qtc * qcpre;
  qr = qrc * qcpre - qmpre - qg - qt - ql - qk;
  qs = qcpre * (qsc - qfc) - qsk;
  qr_i = qrc * qcpre - qmpre - qt;
  qs_ipre = qcpre * (qsc - qfc);
}

void DataBlock::InitialSection(uint32_t instance) {
  breastfed = 1 - formulafed;
  // Pulsed dosing starts with an event at pdstart; otherwise dosing is on from the start. A NaN
  // ppuls counts as pulsed.
  if (ppuls != 0) {
    pdsm = 0;
    TarnSimScheduleEvent(instance, kDosingOnEvent, kDosingOnSection, TARN_SCHEDULE_AT_TIME, pdstart,
                         nullptr);
  } else {
    pdsm = 1;
  }
  formulanm_i = formulafed * formulaugl_i * 1000 / mwi;
  formulanm_p = formulafed * formulaugl_p * 1000 / mwclo4;

  MaternalVolumesAndFlows();

  atgipool = ctgipool * vt;
  pmkx_p = pmk_p * pm_p;

  // Infant partition coefficients are the mother's (pg_np and pgj_np are parameters).
  pf_np = pf_p;
  pk_np = pk_p;
  pl_np = pl_p;
  pr_np = pr_p;
  prbc_np = prbc_p;
  ps_np = ps_p;
  psk_np = psk_p;
  pt_np = pt_p;

  // Michaelis constants of perchlorate uptake, from ng/l to the model's amounts.
  km_gpng = km_tpng;
  km_spng = km_tpng;
  km_mkpng = km_tpng;
  km_tp = km_tpng / mwclo4;
  km_gp = km_gpng / mwclo4;
  km_sp = km_spng / mwclo4;
  km_mkp = km_mkpng / mwclo4;
  km_tnpng = km_tpng;
  km_gnpng = km_tpng;
  km_snpng = km_tpng;
  km_tnp = km_tpng / mwclo4;
  km_gnp = km_tpng / mwclo4;
  km_snp = km_tpng / mwclo4;
  km_bp = km_bpng / mwclo4;
  km_bnp = km_bnpng / mwclo4;
}

void DataBlock::ComputeBalances() {
  // Volumes and flows.
  vtot_i = vttot + vr_i + vs_i + vblood + vwholem + vmk;
  balv_i = (bw - vtot_i) * 100 / bw;
  percenttotalvolume_i = vtot_i * 100 / bw;
  vtot_ni = vttot_n + vbody_n + vplasma_n;
  massbalvol_ni = (1 - vbodyc_n - (bw_n - vtot_ni) / bw_n) * 100;
  percenttotalvolume_ni = vtot_ni * 100 / bw_n;
  vtot_p = vmk + vwholem + vblood + vttot + vwholeg + vgj + vwholesk + vr + vs + vl + vk + vf;
  balv_p = (bw - vtot_p) * 100 / bw;
  percenttotalvolume_p = vtot_p * 100 / bw;
  vtot_np = vttot_n + vr_n + vs_n + vwholeg_n + vwholesk_n + vblood_n + vl_n + vk_n + vf_n;
  balv_np = (1 - vbodyc_n - (bw_n - vtot_np) / bw_n) * 100;
  percenttotalvolume_np = (vtot_np + vgj_n) * 100 / bw_n;
  qtot_i = qm + qr_i + qs_i + qt;
  balq_i = qc - qtot_i;
  qtot_ni = qthy_n + qbody_n;
  balq_ni = qc_n - qtot_ni;
  qtot_p = qf - qfi + qcpost;
  balq_p = qc - qtot_p;
  qtot_np = qthy_n + qg_n + qsk_n + qr_n + qs_n + ql_n + qk_n + qf_n;
  balq_np = qc_n - qtot_np;

  // Iodide, mother. The iodine held in T4 and T3 is taken at the present state, like every other
  // term: taken from the previous pass it would lag one interval behind (and be the not-computed
  // marker on the first pass).
  init_i = iaplas_i + iatf_i + iatb_i + iar_i + ias_i + iamb_i + iamk_i + iatgi + 4 * at4_t0 +
           3 * at3_t0;
  at4iod_i = 4 * (at4 + aurinet4 + afecest4 + amk_t4 + aoral_t4);
  at3iod_i = 3 * (at3 + aurinet3 + afecest3 + amk_t3 + aoral_t3);
  mass_i = aplasma_i + atgi + athyb_i + amb_i + amk_i + arp_i + asp_i + aurine_i + at4iod_i +
           at3iod_i + atrans_i + athyt_fi;
  bal_i = init_i + aoral_i - mass_i;

  // Iodide, infant; likewise.
  input_i = 4 * aoral_t4 + aoral_ni + 3 * aoral_t3;
  init_ni = 4 * at4_nt0 + iatgi_n + 3 * at3_nt0 + iaplas_ni + iabody_ni + iatf_ni + iatb_ni;
  at4iod_ni = 4 * (at4_n + aurinet4_n + afecest4_n);
  at3iod_ni = 3 * (at3_n + afecest3_n);
  mass_ni =
      aplasma_ni + abody_ni + athyt_nfi + athyb_ni + aurine_ni + atgi_n + at4iod_ni + at3iod_ni;
  bal_ni = input_i + init_ni - mass_ni;

  // Perchlorate, mother.
  init_p = iaplas_p + iabind_p + iat_p + iatb_p + iask_p + iaskb_p + iagj_p + iag_p + iagb_p +
           iar_p + ias_p + iak_p + ial_p + iarbc_p + iaf_p + iamb_p + iamk_p;
  adam_p = atotpl_p + attot_p + amb_p + amk_p + ask_p + askb_p + ag_p + agb_p + ar_p + as_p +
           atrans_p + aurine_p + al_p + ak_p + agj_p + arbc_p + af_p;
  bal_p = init_p + aintake_p - adam_p;

  // Perchlorate, infant.
  initamt_np = iaplas_np + iabind_np + iarbc_np + iat_np + iatb_np + iask_np + iaskb_np + iagj_np +
               iag_np + iagb_np + iar_np + ias_np + iak_np + ial_np + iaf_np;
  tmass_p = atotp_np + attot_np + ask_np + askb_np + ag_np + agb_np + agj_np + ar_np + as_np +
            aurine_np + al_np + ak_np + arbc_np + af_np;
  bal_np = aoral_np + initamt_np - tmass_p;
}

}  // namespace tarn::model

extern "C" void zzsimulation(uint32_t instance) {
  tarn::model::DataBlock& block = tarn::model::BlockOf(instance);
  if (block.zzicon == 0) {
    zznits(instance, "");
    block.InitialSection(instance);
    zzrset(instance);
  }
  while (!block.zzstopflag && !block.zzstepstop) {
    block.ComputeBalances();
    // The termination request goes to the instance being run, whatever zzinstidx holds.
    if (block.t >= block.tstop) zztrmt(instance, " ");
    TarnSimIntegrate(instance);
  }
}
