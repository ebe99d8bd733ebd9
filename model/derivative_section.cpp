// The model's derivative function: section 500, the continuous derivative section, and the two
// discrete sections that switch perchlorate dosing on and off.
//
// Section 500 is a sequence of plain assignments in the model program's order, with its
// arithmetic as written: the order of every floating-point operation is part of the model's
// results, so nothing here is reassociated or factored. The one liberty taken is that a pure
// subexpression repeated within a part is computed once and reused, which gives the same bits:
// the three-quarter powers of the body weights (bw075 = bw^0.75, bw_n075 = bw_n^0.75, the
// allometric scaling of clearances and permeabilities), the powers of the infant's age in years,
// days^4.4, and vft_table(0), looked up once per evaluation into z99997.
//
// z99999 to z99990 hold the results of the function references of the section; z99989 down to
// z99789 are the derivatives and z99988 down to z99788 the initial conditions of the states named
// beside them.
#include <cmath>
#include <cstdint>

#include "model/data_block.h"
#include "model/entry_points.h"
#include "tarn/tarnsim.h"

namespace tarn::model {

using std::exp;
using std::pow;

void DataBlock::DerivativeSection() {
  DosingBodyWeightAgeAndIngestion();
  MaternalIodide();
  MaternalThyroidHormones();
  RadioIodideTracer();
  InfantIodideAndThyroidHormones();
  MaternalPerchlorate();
  InfantPerchlorateBinding();
  InfantGrowth();
  InfantPerchlorate();
  IodideAndHormoneInitialConditions();
  PerchlorateInitialConditions();
  OutputVariables();
}

// Maternal doses, body weight with the fat course, the infant's age and weight, and milk and
// formula ingestion.
void DataBlock::DosingBodyWeightAgeAndIngestion() {
  rdose_i = idose * 1000 / (mwi * 24);
  z99989 = rdose_i;  // daoral_i/dt
  z99997 = vft_table(0);
  vfi = (vf_sens * z99997 + vfc) * bwpre;
  z99996 = vft_table(t);
  vf = (vf_sens * z99996 + vfc) * bwpre;
  bwpost = bwpre + z99997 * vf_sens * bwpre + vwholem - vmampre + vmk;
  bw = bwpost + vf - vfi;
  rdosedwng_p = (dwbwmom * dwsmom * bw + (1 - dwsmom) * dwtmom) * conc / 24;
  rpdose = bw * pdose / (mwclo4 * 24);
  rdose_p = (rdosedwng_p / mwclo4 + rpdose) * pdsm;
  z99987 = rdose_p;  // daintake_p/dt
  days = t / 24 + 1e-33;
  z99999 = exp(days * -0.0032);
  z99998 = milkingest_table(t);
  years = days / 365;
  months = years * 12;
  z99995 = exp(months * -0.0555);
  bw_n = ((1 - z99995) * 13.642 + bw_n0) * bw_sens_n;
  const double days44 = pow(days, 4.4);
  ktrans = (((days44 * (z99999 * 0.16)) / (days44 + pow(2.9, 4.4)) + 0.012) * (1 - milktable) +
            (milktable * z99998)) *
           (ingest_sens * breastfed * bw_n) / 24;
  z99985 = ktrans;  // dtotalingest/dt
  cmk_i = amk_i / vmk;
  rtrans_i = (ktrans * breastfed) * cmk_i;
  z99983 = rtrans_i;  // datrans_i/dt
  cmk_p = amk_p / vmk;
  rtrans_p = (ktrans * breastfed) * cmk_p;
  z99981 = rtrans_p;  // datrans_p/dt
  rvform = vformulac_table(t) * ingest_sens;
  rformula_i = (bw_n * rvform) * formulanm_i;
  ridose_n = idose_n * 1000 / (mwi * 24);
  roral_ni = rtrans_i + rformula_i + ridose_n;
  z99979 = roral_ni;  // daoral_ni/dt
  rformula_p = (bw_n * rvform) * formulanm_p;
  rpdose_n = bw_n * pdose_n / (mwclo4 * 24);
  roral_np = rtrans_p + rformula_p + rpdose_n;
  z99977 = roral_np;  // daoral_np/dt
}

// Maternal iodide: plasma, kidney and rapidly perfused tissue, slowly perfused tissue, mammary
// gland and milk, thyroid blood and follicles.
void DataBlock::MaternalIodide() {
  z99991 = z99997;
  qfi = qfc * qcpre * (vf_sens * z99991 / vfc + 1);
  qf = qfi * vf / vfi;
  qc = qs + qg + qr + qt + qsk + qm + ql + qk + qf;
  qs_i = qf + qs_ipre;
  cr_i = arp_i / (vr_i + vm);
  cvrp_i = cr_i / prp_i;
  vs_i = vf + vs_ipre;
  cs_i = asp_i / vs_i;
  cvsp_i = cs_i / psp_i;
  cvmb_i = amb_i / (vmb * pbrat);
  cthyb_i = athyb_i / (pbrat * vtb);
  cvtotal_i = (qr_i * cvrp_i + qs_i * cvsp_i + qm * cvmb_i + qt * cthyb_i) / qc;
  ca_i = aplasma_i / vplas;
  const double bw075 = pow(bw, 0.75);
  kmett4 = bw075 * kmett4c;
  rmett4 = kmett4 * at4;
  rdeiodt4 = (4 - t3frac * 3) * rmett4;
  kmett3 = bw075 * kmett3c;
  rmett3 = kmett3 * at3;
  rdeiodt3 = rmett3 * 3;
  raplasma_i = (cvtotal_i - ca_i) * qc + rdose_i + rdeiodt4 + rdeiodt3;
  z99975 = raplasma_i;  // daplasma_i/dt
  rurine_i = clux_i_table(t) * clux_sens * cvrp_i;
  z99973 = rurine_i;  // daurine_i/dt
  rarp_i = (ca_i - cvrp_i) * qr_i - rurine_i;
  z99971 = rarp_i;  // darp_i/dt
  rasp_i = (ca_i - cvsp_i) * qs_i;
  z99969 = rasp_i;  // dasp_i/dt
  pamk_i = bw075 * pamkc_i;
  vmax_mki = bw075 * (vmaxcx_mki_table(t) * vmaxmk_sens);
  cvmb_p = amb_p / vmb;
  rupmk_i = vmax_mki * cvmb_i / (cvmb_i + (cvmb_p / km_mkp + 1) * km_mki);
  ramb_i = (ca_i - cvmb_i) * qm + ((cmk_i / pmk_i) - cvmb_i) * pamk_i - rupmk_i;
  z99967 = ramb_i;  // damb_i/dt
  ramk_i = rupmk_i + pamk_i * (cvmb_i - (cmk_i / pmk_i)) - rtrans_i;
  z99965 = ramk_i;   // damk_i/dt
  z99963 = rupmk_i;  // daupmk_i/dt
  vmaxthy_i = vmaxthyx_i_table(t) * vmaxthyx_sens;
  cvtb_p = atb_p / (vtb * pbrat);
  rnisthy_i = vmaxthy_i * cthyb_i / (cthyb_i + (cvtb_p / km_tp + 1) * kmthy_i);
  pathy_i = bw075 * pathyc_i;
  cthyt_fi = athyt_fi / vt;
  rpathy_i = (cthyb_i - cthyt_fi / pthy_i) * pathy_i;
  rathyb_i = (ca_i - cthyb_i) * qt - rnisthy_i - rpathy_i;
  z99961 = rathyb_i;  // dathyb_i/dt
  kbind_i = pow(vt, 0.75) * kbindc_i;
  aremain_i = atgipool - atgi;
  cremain_i = aremain_i / vt;
  rbind_i = vt * kbind_i * cthyt_fi * cremain_i;
  rathyt_fi = rnisthy_i + rpathy_i - rbind_i;
  z99959 = rathyt_fi;  // dathyt_fi/dt
  z99957 = rpathy_i;   // dapathy_i/dt
}

// Maternal T4 and T3: production from thyroglobulin, metabolism, urinary and faecal loss, and
// transfer to milk.
void DataBlock::MaternalThyroidHormones() {
  const double bw075 = pow(bw, 0.75);
  kprodt4 = bw075 * (atgipool * kprodt4c);
  fractionalpool = atgi / atgipool;
  rprodt4 = kprodt4 * fractionalpool;
  kprodt3 = bw075 * (atgipool * kprodt3c);
  rprodt3 = kprodt3 * fractionalpool;
  ratgi = rbind_i - rprodt4 * 4 - rprodt3 * 3;
  z99955 = ratgi;  // datgi/dt
  cluft4 = bw075 * cluft4c;
  vdt4 = vdt4c * bw;
  aft4 = frconvt4 * at4;
  cft4 = aft4 / vdt4;
  rurinet4 = cluft4 * cft4;
  clfecesft4 = bw075 * clfecesft4c;
  rfecest4 = clfecesft4 * cft4;
  clmilkft4 = bw075 * clmilkft4c;
  relmk_ft4 = clmilkft4 * cft4;
  rt4 = rprodt4 - rmett4 - rurinet4 - rfecest4 - relmk_ft4;
  z99953 = rt4;        // dat4/dt
  z99951 = rprodt4;    // daprodt4/dt
  z99949 = rmett4;     // damett4/dt
  z99947 = rdeiodt4;   // dadeiodt4/dt
  z99945 = rurinet4;   // daurinet4/dt
  z99943 = rfecest4;   // dafecest4/dt
  z99941 = relmk_ft4;  // daelmk_t4/dt
  cmk_t4 = amk_t4 / vmk;
  rtrans_t4 = ktrans * cmk_t4;
  rmilk_t4 = relmk_ft4 - rtrans_t4;
  z99939 = rmilk_t4;   // damk_t4/dt
  z99937 = rtrans_t4;  // daoral_t4/dt
  clut3 = bw075 * clut3c;
  vdt3 = vdt3c * bw;
  ct3 = at3 / vdt3;
  rurinet3 = clut3 * ct3;
  clmilkt3 = bw075 * clmilkt3c;
  relmk_t3 = clmilkt3 * ct3;
  clfecest3 = bw075 * clfecest3c;
  rfecest3 = clfecest3 * ct3;
  rt3 = t3frac * rmett4 + rprodt3 - rmett3 - rurinet3 - relmk_t3 - rfecest3;
  z99935 = rt3;       // dat3/dt
  z99933 = rprodt3;   // daprodt3/dt
  z99931 = rmett3;    // damett3/dt
  z99929 = rdeiodt3;  // dadeiodt3/dt
  z99927 = rurinet3;  // daurinet3/dt
  z99925 = rfecest3;  // dafecest3/dt
  z99923 = relmk_t3;  // daelmk_t3/dt
  cmk_t3 = amk_t3 / vmk;
  rtrans_t3 = ktrans * cmk_t3;
  rmkt3 = relmk_t3 - rtrans_t3;
  z99921 = rmkt3;      // damk_t3/dt
  z99919 = rtrans_t3;  // daoral_t3/dt
}

// Radio-iodide tracer in the maternal thyroid, given as a pulse around tstop - 24.
void DataBlock::RadioIodideTracer() {
  cthyt_free_rai = athyt_free_rai / vt;
  rbindmom_rai = vt * cthyt_free_rai * cremain_i * kbind_i;
  fractional_poolmom_rai = atgraimom / atgipool;
  rprodt4_rai = kprodt4 * fractional_poolmom_rai;
  riodut4_rai = rprodt4_rai * 4;
  rprodt3_rai = fractional_poolmom_rai * kprodt3;
  riodut3_rai = rprodt3_rai * 3;
  ratgraimom = rbindmom_rai - riodut4_rai - riodut3_rai;
  z99917 = ratgraimom;  // datgraimom/dt
  z99990 = pulse(t, tstop - 24, 48, tstop);
  cthyb_rai = cthyb_i * 0.001 * z99990;
  rnisthy_rai = vmaxthy_i * cthyb_rai / (cthyb_i + (cvtb_p / km_tp + 1) * kmthy_i);
  rpathy_rai = (cthyb_rai - cthyt_free_rai / pthy_i) * pathy_i;
  rathyt_free_rai = rnisthy_rai + rpathy_rai - rbindmom_rai;
  z99915 = rathyt_free_rai;  // dathyt_free_rai/dt
}

// Infant iodide, thyroid and T4/T3.
void DataBlock::InfantIodideAndThyroidHormones() {
  vplasma_n = vplasc_n * bw_n;
  vrbc_n = bw_n * vrbcc_n;
  vblood_n = vplasma_n + vrbc_n;
  pbrat_n = vplasma_n / vblood_n;
  qc_n = qcx_n_table(t) * pbrat_n * qcc_sens_n;
  qthy_n = qtc_n * qc_n;
  qbody_n = qc_n - qthy_n;
  vtg_n = (months * 0.063 + 1.3857) * vthy_sens_n;
  vttot_n = vtg_n / 1000;
  vtb_n = vttot_n * vtbc_n;
  cthyb_ni = athyb_ni / (pbrat_n * vtb_n);
  vbody_n = vbodyc_n * bw_n - vttot_n - vplasma_n;
  cvbody_ni = abody_ni / (vbody_n * pbody_ni);
  cv_ni = (qthy_n * cthyb_ni + qbody_n * cvbody_ni) / qc_n;
  ca_ni = aplasma_ni / vplasma_n;
  clmett4c_n = clmett4cx_n_table(t) * clmett4cx_sens_n;
  clmett4_n = clmett4c_n * bw_n;
  vdt4_n = bw_n * vdt4c_n;
  ct4_n = at4_n / vdt4_n;
  ramett4_n = clmett4_n * ct4_n;
  t3fraction_n = t3frac_n_table(t) * t3frac_sens_n;
  rdeiodt4_n = (4 - t3fraction_n * 3) * ramett4_n;
  clmett3c_n = clmett3cx_n_table(t) * clmett3cx_sens_n;
  clmett3_n = clmett3c_n * bw_n;
  vdt3_n = bw_n * vdt3c_n;
  ct3_n = at3_n / vdt3_n;
  ramett3_n = clmett3_n * ct3_n;
  rdeiodt3_n = ramett3_n * 3;
  raplasma_ni = (cv_ni - ca_ni) * qc_n + rtrans_i + rformula_i + rdeiodt4_n + rdeiodt3_n + ridose_n;
  z99913 = raplasma_ni;  // daplasma_ni/dt
  clu_ni = clucx_ni_table(t) * cluxc_ni_sens * bw_n;
  raurine_ni = clu_ni * cvbody_ni;
  rabody_ni = (ca_ni - cvbody_ni) * qbody_n - raurine_ni;
  z99911 = rabody_ni;   // dabody_ni/dt
  z99909 = raurine_ni;  // daurine_ni/dt
  vmaxthy_ni = vmaxthycx_ni_table(t) * vmaxthyx_sens_n * bw_n;
  cvtb_np = atb_np / (vtb_n * pbrat_n);
  ranisthy_ni = vmaxthy_ni * cthyb_ni / (cthyb_ni + (cvtb_np / km_tnp + 1) * kmthy_ni);
  const double bw_n075 = pow(bw_n, 0.75);
  pathy_ni = bw_n075 * pathyc_ni;
  vt_n = vttot_n - vtb_n;
  cthyt_nfi = athyt_nfi / vt_n;
  rpathy_ni = (cthyb_ni - cthyt_nfi / pthy_ni) * pathy_ni;
  rathyb_ni = (ca_ni - cthyb_ni) * qthy_n - ranisthy_ni - rpathy_ni;
  z99907 = rathyb_ni;  // dathyb_ni/dt
  kbind_ni = pow(vttot_n, 0.75) * kbindc_ni;
  atgipool_n = ctgipool_n * vtg_n;
  if (atgi_n >= atgipool_n) {
    aremain_ni = 0;
    fractionalpool_n = 1;
  } else {
    aremain_ni = atgipool_n - atgi_n;
    fractionalpool_n = atgi_n / atgipool_n;
  }
  cremain_ni = aremain_ni / vt_n;
  rbind_ni = vt_n * kbind_ni * cthyt_nfi * cremain_ni;
  rathyt_ni = ranisthy_ni + rpathy_ni - rbind_ni;
  z99905 = rathyt_ni;    // dathyt_nfi/dt
  z99903 = rpathy_ni;    // dapathy_ni/dt
  z99901 = ranisthy_ni;  // danisthy_ni/dt
  vprodt4_n = vprodt4cx_n_table(t) * vprodt4cx_sens_n * bw_n;
  raprodt4_n = vprodt4_n * fractionalpool_n;
  vprodt3_n = vprodt4_n * vprodt3f_n;
  raprodt3_n = vprodt3_n;
  ratgi_n = rbind_ni - raprodt4_n * 4 - raprodt3_n * 3;
  z99899 = ratgi_n;  // datgi_n/dt
  InfantT4AndT3Elimination(bw_n075);
}

// Infant T4 and T3: urinary and faecal elimination and the balances; bw_n075 = bw_n^0.75.
void DataBlock::InfantT4AndT3Elimination(double bw_n075) {
  cluft4_n = bw_n075 * cluft4c_n;
  cft4_n = ct4_n * frconvt4_n;
  rurinet4_n = cft4_n * cluft4_n;
  clfecest4_n = bw_n075 * clfecest4c_n;
  rfecest4_n = ct4_n * clfecest4_n;
  rat4_n = raprodt4_n - ramett4_n - rurinet4_n - rfecest4_n + rtrans_t4;
  z99897 = rat4_n;      // dat4_n/dt
  z99895 = raprodt4_n;  // daprodt4_n/dt
  z99893 = ramett4_n;   // damett4_n/dt
  z99891 = rdeiodt4_n;  // dadeiodt4_n/dt
  z99889 = rurinet4_n;  // daurinet4_n/dt
  z99887 = rfecest4_n;  // dafecest4_n/dt
  clfecest3_n = bw_n075 * clfecest3c_n;
  rfecest3_n = ct3_n * clfecest3_n;
  rat3_n = t3fraction_n * ramett4_n + raprodt3_n - ramett3_n - rfecest3_n + ktrans * cmk_t3;
  z99885 = rat3_n;      // dat3_n/dt
  z99883 = raprodt3_n;  // daprodt3_n/dt
  z99881 = rfecest3_n;  // dafecest3_n/dt
  z99879 = ramett3_n;   // damett3_n/dt
  z99877 = rdeiodt3_n;  // dadeiodt3_n/dt
}

// Maternal perchlorate in every compartment.
void DataBlock::MaternalPerchlorate() {
  const double bw075 = pow(bw, 0.75);
  vmax_bp = bw075 * vmaxc_bp / mwclo4;
  kunb_p = bw075 * kunbc_p;
  ca_p = aplas_p / vplas;
  cabind_p = abind_p / vplas;
  rbind_p = vmax_bp * ca_p / (ca_p + km_bp) - kunb_p * cabind_p;
  z99875 = rbind_p;  // dabind_p/dt
  cs_p = as_p / vs;
  cvs_p = cs_p / ps_p;
  cr_p = ar_p / (vr + vm);
  cvr_p = cr_p / pr_p;
  cvskb_p = askb_p / (vskb * pbrat);
  cf_p = af_p / vf;
  cvf_p = cf_p / pf_p;
  ck_p = ak_p / vk;
  cvk_p = ck_p / pk_p;
  cl_p = al_p / vl;
  cvl_p = cl_p / pl_p;
  rv_p = qs * cvs_p + qr * cvr_p + qt * cvtb_p + qsk * cvskb_p + qm * cvmb_p + qf * cvf_p +
         qk * cvk_p + (ql + qg) * cvl_p;
  parbc_p = bw075 * parbcc_p;
  crbc_p = arbc_p / vrbc;
  rrbc_p = (ca_p - crbc_p / prbc_p) * parbc_p;
  rplas_p = rv_p - rrbc_p - rbind_p - ca_p * qc;
  z99873 = rplas_p;  // daplas_p/dt
  atotpl_p = aplas_p + abind_p;
  catot_p = atotpl_p / vplas;
  z99871 = catot_p;  // daucpl_p/dt
  z99869 = rrbc_p;   // darbc_p/dt
  ras_p = (ca_p - cvs_p) * qs;
  z99867 = ras_p;  // das_p/dt
  rar_p = (ca_p - cvr_p) * qr;
  z99865 = rar_p;  // dar_p/dt
  cvgb_p = agb_p / (vgb * pbrat);
  ral_p = ca_p * ql + qg * cvgb_p - (ql + qg) * cvl_p;
  z99863 = ral_p;  // dal_p/dt
  clu_p = bw075 * cluc_p;
  rau_p = clu_p * cvk_p;
  rak_p = (ca_p - cvk_p) * qk - rau_p;
  z99861 = rak_p;  // dak_p/dt
  z99859 = rau_p;  // daurine_p/dt
  raf_p = (ca_p - cvf_p) * qf;
  z99857 = raf_p;  // daf_p/dt
  MaternalPerchlorateUptake(bw075);
}

// Maternal perchlorate in the tissues that take it up actively: thyroid, gut, skin and mammary
// gland; bw075 = bw^0.75.
void DataBlock::MaternalPerchlorateUptake(double bw075) {
  pat_p = bw075 * patc_p;
  vmax_tp = bw075 * vmaxc_tp / mwclo4;
  rupt_p = vmax_tp * cvtb_p / (cvtb_p + (cthyb_i / kmthy_i + 1) * km_tp);
  ct_p = at_p / vt;
  ratb_p = (ca_p - cvtb_p) * qt - rupt_p + ((ct_p / pt_p) - cvtb_p) * pat_p;
  z99855 = ratb_p;  // datb_p/dt
  rat_p = pat_p * (cvtb_p - (ct_p / pt_p)) + rupt_p;
  z99853 = rat_p;   // dat_p/dt
  z99851 = rupt_p;  // daupt_p/dt
  pag_p = bw075 * pagc_p;
  cg_p = ag_p / vg;
  ragb_p = (ca_p - cvgb_p) * qg + (cg_p / pg_p - cvgb_p) * pag_p;
  z99849 = ragb_p;  // dagb_p/dt
  pagj_p = bw075 * pagjc_p;
  vmax_gp = bw075 * vmaxc_gp / mwclo4;
  rupgj_p = vmax_gp * cg_p / (cg_p + km_gp);
  cgj_p = agj_p / vgj;
  rag_p = (cvgb_p - cg_p / pg_p) * pag_p - rupgj_p + ((cgj_p / pgj_p) - cg_p) * pagj_p;
  z99847 = rag_p;  // dag_p/dt
  ragj_p = rupgj_p + rdose_p + pagj_p * (cg_p - (cgj_p / pgj_p));
  z99845 = ragj_p;   // dagj_p/dt
  z99843 = rupgj_p;  // daupgj_p/dt
  pask_p = bw075 * paskc_p;
  vmax_sp = bw075 * vmaxc_sp / mwclo4;
  rupsk_p = vmax_sp * cvskb_p / (cvskb_p + km_sp);
  csk_p = ask_p / vsk;
  raskb_p = (ca_p - cvskb_p) * qsk - rupsk_p + ((csk_p / psk_p) - cvskb_p) * pask_p;
  z99841 = raskb_p;  // daskb_p/dt
  rask_p = rupsk_p + pask_p * (cvskb_p - (csk_p / psk_p));
  z99839 = rask_p;   // dask_p/dt
  z99837 = rupsk_p;  // daupsk_p/dt
  pamk_p = bw075 * pamkc_p;
  vmax_mkp = bw075 * vmaxc_mkp / mwclo4;
  rupmk_p = vmax_mkp * cvmb_p / (cvmb_p + (cvmb_i / km_mki + 1) * km_mkp);
  ramb_p = (ca_p - cvmb_p) * qm - rupmk_p + ((cmk_p / pmkx_p) - cvmb_p) * pamk_p;
  z99835 = ramb_p;  // damb_p/dt
  ramk_p = rupmk_p - rtrans_p + pamk_p * (cvmb_p - (cmk_p / pmkx_p));
  z99833 = ramk_p;   // damk_p/dt
  z99831 = rupmk_p;  // daupmk_p/dt
}

// Perchlorate binding in the infant's plasma.
void DataBlock::InfantPerchlorateBinding() {
  const double bw_n075 = pow(bw_n, 0.75);
  vmax_bnp = bw_n075 * vmaxc_bnp / mwclo4;
  kunb_np = bw_n075 * kunbc_np;
  ca_np = aplas_np / vplasma_n;
  cabind_np = abind_np / vplasma_n;
  rbind_np = vmax_bnp * ca_np / (ca_np + km_bnp) - kunb_np * cabind_np;
  z99829 = rbind_np;  // dabind_np/dt
}

// Infant organ volumes (polynomials in age) and the flows scaled from them.
void DataBlock::InfantGrowth() {
  const double years2 = pow(years, 2);
  const double years3 = pow(years, 3);
  const double years4 = pow(years, 4);
  const double years5 = pow(years, 5);
  vfx_n = ((years3 * 51.963 + ((years5 * 0.0165) - years4 * 1.9784)) - years2 * 459.38 +
           years * 1566.8 + 1004.2) *
          vf_sens_n;
  vf_n = vfx_n / 1000;
  vfc_n = vf_n / bw_n;
  qf_n = vfc_n / vfc * qfc * qc_n;
  vgx_n = ((years3 * 0.5823 + ((years5 * 0.0008) - years4 * 0.0356)) - years2 * 4.0437 +
           years * 17.888 + 7.54) *
          vgit_sens_n;
  vwholeg_n = vgx_n / 1000;
  vgc_n = vwholeg_n / bw_n;
  qg_n = vgc_n / vgc * qgc * qc_n;
  vkx_n = ((years3 * 1.1729 + ((years5 * 0.0009737) - years4 * 0.0561)) - years2 * 10.34 +
           years * 44.604 + 28.291) *
          vk_sens_n;
  vk_n = vkx_n / 1000;
  vkc_n = vk_n / bw_n;
  qk_n = vkc_n / vkc * qkc * qc_n;
  vlx_n = ((years3 * 7.9052 + ((years5 * 0.0072) - years4 * 0.3975)) - years2 * 65.624 +
           years * 262.02 + 157.52) *
          vl_sens_n;
  vl_n = vlx_n / 1000;
  vlc_n = vl_n / bw_n;
  ql_n = vlc_n / vlc * qlc * qc_n;
  vskx_n = ((years3 * 4.2762 + (years4 * -0.00992)) - years2 * 62.185 + years * 432.78 + 203.2) *
           vsk_sens_n;
  vwholesk_n = vskx_n / 1000;
  vskc_n = vwholesk_n / bw_n;
  qsk_n = vskc_n / vskc * qskc * qc_n;
  qs_n = qc_n * qsc_n - qsk_n - qf_n;
  qr_n = qc_n * qrc_n - qg_n - qthy_n - ql_n - qk_n;
  vsumcmpt_n = vwholesk_n + (vl_n + vk_n + vf_n + vttot_n + vwholeg_n) + vblood_n;
  vremain_n = bw_n * vbodyc_n - vsumcmpt_n;
  z99994 = exp(months * 0.0118);
  z99993 = exp(z99994 * -4.033);
  vgit_n = (1 - z99993) * 10.497 - 10.266;
  vr_n = vgit_n * 2.596 * vr_sens_n;
  vs_n = (vremain_n - vr_n) * vs_sens_n;
}

// Infant perchlorate in every compartment.
void DataBlock::InfantPerchlorate() {
  cvs_np = as_np / (vs_n * ps_np);
  cvr_np = ar_np / (vr_n * pr_np);
  vskb_n = vskbc_n * vwholesk_n;
  cvskb_np = askb_np / (vskb_n * pbrat_n);
  cf_np = af_np / vf_n;
  cvf_np = cf_np / pf_np;
  ck_np = ak_np / vk_n;
  cvk_np = ck_np / pk_np;
  cl_np = al_np / vl_n;
  cvl_np = cl_np / pl_np;
  rv_np = qs_n * cvs_np + qr_n * cvr_np + qthy_n * cvtb_np + qsk_n * cvskb_np + qf_n * cvf_np +
          qk_n * cvk_np + (ql_n + qg_n) * cvl_np;
  const double bw_n075 = pow(bw_n, 0.75);
  parbc_np = bw_n075 * parbcc_np;
  crbc_np = arbc_np / vrbc_n;
  rrbc_np = (ca_np - crbc_np / prbc_np) * parbc_np;
  rplas_np = rv_np - rrbc_np - rbind_np - ca_np * qc_n;
  z99827 = rplas_np;  // daplas_np/dt
  atotp_np = aplas_np + abind_np;
  catot_np = atotp_np / vplasma_n;
  z99825 = catot_np;  // daucpl_np/dt
  z99823 = rrbc_np;   // darbc_np/dt
  pag_np = bw_n075 * pagc_np;
  vgb_n = vgbc_n * vwholeg_n;
  cvgb_np = agb_np / (vgb_n * pbrat_n);
  vg_n = vwholeg_n - vgb_n;
  cg_np = ag_np / vg_n;
  ragb_np = (ca_np - cvgb_np) * qg_n + (cg_np / pg_np - cvgb_np) * pag_np;
  z99821 = ragb_np;  // dagb_np/dt
  pagj_np = bw_n075 * pagjc_np;
  vgj_n = vgjc * bw_n;
  cgj_np = agj_np / vgj_n;
  vmax_gnp = bw_n075 * vmaxc_gnp / mwclo4;
  rupgj_np = vmax_gnp * cg_np / (cg_np + km_gnp);
  rag_np = (cvgb_np - cg_np / pg_np) * pag_np + ((cgj_np / pgj_np) - cg_np) * pagj_np - rupgj_np;
  z99819 = rag_np;  // dag_np/dt
  ragj_np = rupgj_np + (pagj_np * (cg_np - (cgj_np / pgj_np)) + roral_np);
  z99817 = ragj_np;   // dagj_np/dt
  z99815 = rupgj_np;  // daupgj_np/dt
  ras_np = (ca_np - cvs_np) * qs_n;
  z99813 = ras_np;  // das_np/dt
  rar_np = (ca_np - cvr_np) * qr_n;
  z99811 = rar_np;  // dar_np/dt
  ral_np = ca_np * ql_n + cvgb_np * qg_n - (ql_n + qg_n) * cvl_np;
  z99809 = ral_np;  // dal_np/dt
  rau_np = clucx_ni_table(t) * cluxc_np_sens * bw_n * cvk_np;
  rak_np = (ca_np - cvk_np) * qk_n - rau_np;
  z99807 = rak_np;  // dak_np/dt
  raf_np = (ca_np - cvf_np) * qf_n;
  z99805 = raf_np;  // daf_np/dt
  pat_np = bw_n075 * patc_np;
  vmax_tnp = vmaxthy_ni / 25;
  rupt_np = vmax_tnp * cvtb_np / (cvtb_np + (cthyb_ni / kmthy_ni + 1) * km_tnp);
  ct_np = at_np / vt_n;
  ratb_np = (ca_np - cvtb_np) * qthy_n - rupt_np + ((ct_np / pt_np) - cvtb_np) * pat_np;
  z99803 = ratb_np;  // datb_np/dt
  rat_np = pat_np * (cvtb_np - (ct_np / pt_np)) + rupt_np;
  z99801 = rat_np;   // dat_np/dt
  z99799 = rupt_np;  // daupt_np/dt
  attot_np = at_np + atb_np;
  cttot_np = attot_np / vttot_n;
  z99797 = cttot_np;  // dauc_ti/dt
  pask_np = bw_n075 * paskc_np;
  vsk_n = vwholesk_n - vskb_n;
  csk_np = ask_np / vsk_n;
  vmax_snp = bw_n075 * vmaxc_snp / mwclo4;
  rupsk_np = vmax_snp * cvskb_np / (cvskb_np + km_snp);
  raskb_np = (ca_np - cvskb_np) * qsk_n + ((csk_np / psk_np) - cvskb_np) * pask_np - rupsk_np;
  z99795 = raskb_np;  // daskb_np/dt
  rask_np = rupsk_np + pask_np * (cvskb_np - (csk_np / psk_np));
  z99793 = rask_np;   // dask_np/dt
  z99791 = rupsk_np;  // daupsk_np/dt
  z99789 = rau_np;    // daurine_np/dt
}

// Initial conditions of the iodide and hormone states.
void DataBlock::IodideAndHormoneInitialConditions() {
  z99988 = 0;          // aoral_i(0)
  z99986 = 0;          // aintake_p(0)
  z99984 = 0;          // totalingest(0)
  z99982 = 0;          // atrans_i(0)
  z99980 = 0;          // atrans_p(0)
  z99978 = 0;          // aoral_ni(0)
  z99976 = 0;          // aoral_np(0)
  z99974 = iaplas_i;   // aplasma_i(0)
  z99972 = 0;          // aurine_i(0)
  z99970 = iar_i;      // arp_i(0)
  z99968 = ias_i;      // asp_i(0)
  z99966 = iamb_i;     // amb_i(0)
  z99964 = iamk_i;     // amk_i(0)
  z99962 = 0;          // aupmk_i(0)
  z99960 = iatb_i;     // athyb_i(0)
  z99958 = iatf_i;     // athyt_fi(0)
  z99956 = 0;          // apathy_i(0)
  z99954 = iatgi;      // atgi(0)
  z99952 = at4_t0;     // at4(0)
  z99950 = 0;          // aprodt4(0)
  z99948 = 0;          // amett4(0)
  z99946 = 0;          // adeiodt4(0)
  z99944 = 0;          // aurinet4(0)
  z99942 = 0;          // afecest4(0)
  z99940 = 0;          // aelmk_t4(0)
  z99938 = 0;          // amk_t4(0)
  z99936 = 0;          // aoral_t4(0)
  z99934 = at3_t0;     // at3(0)
  z99932 = 0;          // aprodt3(0)
  z99930 = 0;          // amett3(0)
  z99928 = 0;          // adeiodt3(0)
  z99926 = 0;          // aurinet3(0)
  z99924 = 0;          // afecest3(0)
  z99922 = 0;          // aelmk_t3(0)
  z99920 = 0;          // amk_t3(0)
  z99918 = 0;          // aoral_t3(0)
  z99916 = 0;          // atgraimom(0)
  z99914 = 0;          // athyt_free_rai(0)
  z99912 = iaplas_ni;  // aplasma_ni(0)
  z99910 = iabody_ni;  // abody_ni(0)
  z99908 = 0;          // aurine_ni(0)
  z99906 = iatb_ni;    // athyb_ni(0)
  z99904 = iatf_ni;    // athyt_nfi(0)
  z99902 = 0;          // apathy_ni(0)
  z99900 = 0;          // anisthy_ni(0)
  z99898 = iatgi_n;    // atgi_n(0)
  z99896 = at4_nt0;    // at4_n(0)
  z99894 = 0;          // aprodt4_n(0)
  z99892 = 0;          // amett4_n(0)
  z99890 = 0;          // adeiodt4_n(0)
  z99888 = 0;          // aurinet4_n(0)
  z99886 = 0;          // afecest4_n(0)
  z99884 = at3_nt0;    // at3_n(0)
  z99882 = 0;          // aprodt3_n(0)
  z99880 = 0;          // afecest3_n(0)
  z99878 = 0;          // amett3_n(0)
  z99876 = 0;          // adeiodt3_n(0)
}

// Initial conditions of the perchlorate states.
void DataBlock::PerchlorateInitialConditions() {
  z99874 = iabind_p;   // abind_p(0)
  z99872 = iaplas_p;   // aplas_p(0)
  z99870 = 0;          // aucpl_p(0)
  z99868 = iarbc_p;    // arbc_p(0)
  z99866 = ias_p;      // as_p(0)
  z99864 = iar_p;      // ar_p(0)
  z99862 = ial_p;      // al_p(0)
  z99860 = iak_p;      // ak_p(0)
  z99858 = 0;          // aurine_p(0)
  z99856 = iaf_p;      // af_p(0)
  z99854 = iatb_p;     // atb_p(0)
  z99852 = iat_p;      // at_p(0)
  z99850 = 0;          // aupt_p(0)
  z99848 = iagb_p;     // agb_p(0)
  z99846 = iag_p;      // ag_p(0)
  z99844 = iagj_p;     // agj_p(0)
  z99842 = 0;          // aupgj_p(0)
  z99840 = iaskb_p;    // askb_p(0)
  z99838 = iask_p;     // ask_p(0)
  z99836 = 0;          // aupsk_p(0)
  z99834 = iamb_p;     // amb_p(0)
  z99832 = iamk_p;     // amk_p(0)
  z99830 = 0;          // aupmk_p(0)
  z99828 = iabind_np;  // abind_np(0)
  z99826 = iaplas_np;  // aplas_np(0)
  z99824 = 0;          // aucpl_np(0)
  z99822 = iarbc_np;   // arbc_np(0)
  z99820 = iagb_np;    // agb_np(0)
  z99818 = iag_np;     // ag_np(0)
  z99816 = iagj_np;    // agj_np(0)
  z99814 = 0;          // aupgj_np(0)
  z99812 = ias_np;     // as_np(0)
  z99810 = iar_np;     // ar_np(0)
  z99808 = ial_np;     // al_np(0)
  z99806 = iak_np;     // ak_np(0)
  z99804 = iaf_np;     // af_np(0)
  z99802 = iatb_np;    // atb_np(0)
  z99800 = iat_np;     // at_np(0)
  z99798 = 0;          // aupt_np(0)
  z99796 = 0;          // auc_ti(0)
  z99794 = iaskb_np;   // askb_np(0)
  z99792 = iask_np;    // ask_np(0)
  z99790 = 0;          // aupsk_np(0)
  z99788 = 0;          // aurine_np(0)
}

// Output variables: concentrations, rates per day and percentages for the host.
void DataBlock::OutputVariables() {
  pdosedwugl = pdose / 1000 * bw / 2;
  milkperday = ktrans * 24;
  rvurine_n = vurinec_n_table(t) * vurine_sens_n * bw_n;
  vttotc_n = vttot_n / bw_n;
  vrc_n = vr_n / bw_n;
  vsc_n = vs_n / bw_n;
  z99992 = z99997;
  qcpost = (qfc * vf_sens * z99992 / vfc + 1) * qcpre + qm - qmpre;
  curine_i = rurine_i * 24 / vurine;
  percenturine_i = aurine_i * 100 / (aoral_i + 1e-33);
  athyt_i = atgi + athyt_fi;
  ct4 = at4 / vdt4;
  athyt_rai = atgraimom + athyt_free_rai;
  cbody_ni = abody_ni / vbody_n;
  curine_ni = raurine_ni / rvurine_n;
  percenturine_ni = aurine_ni * 100 / (input_i + 1e-33);
  rprodt4kg_n = raprodt4_n / bw_n;
  curinet4_n = rurinet4_n / rvurine_n;
  curine_p = rau_p * 24 / vurine;
  attot_p = at_p + atb_p;
  cttot_p = attot_p / vttot;
  rttob_p = ct_p / (cvtb_p + 1e-33);
  ablood_np = aplas_np + abind_np + arbc_np;
  cs_np = as_np / vs_n;
  cr_np = ar_np / vr_n;
  curine_np = rau_np / rvurine_n;
}

// Section 1000: dosing on, and off again pdlength hours later.
void DataBlock::StartDosing(uint32_t instance) {
  pdsm = 1;
  TarnSimScheduleEvent(instance, kDosingOffEvent, kDosingOffSection, TARN_SCHEDULE_AT_TIME,
                       t + pdlength, nullptr);
  TarnSimDiscreteEventOccurred(instance, kDosingOnSection);
}

// Section 1001: dosing off.
void DataBlock::StopDosing(uint32_t instance) {
  pdsm = 0;
  TarnSimDiscreteEventOccurred(instance, kDosingOffSection);
}

}  // namespace tarn::model

extern "C" void zzderivative(uint32_t instance, uint32_t section) {
  tarn::model::DataBlock& block = tarn::model::BlockOf(instance);
  switch (section) {
    case TARN_SECTION_DERIVATIVE:
      block.DerivativeSection();
      break;
    case tarn::model::kDosingOnSection:
      block.StartDosing(instance);
      break;
    case tarn::model::kDosingOffSection:
      block.StopDosing(instance);
      break;
    default:  // destruction (1), communication points (2) and unknown sections: nothing to do
      break;
  }
}
