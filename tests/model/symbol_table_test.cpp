// The model's symbol table as a host sees it through the public interface: counts, order, types,
// extents, tolerances, attribute flags, default values and the shared data block.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "model/model_fixture.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

constexpr uint32_t kSymbolCount = 1022;
constexpr uint32_t kStateCount = 101;
constexpr double kNotComputed = 5.5555e+33;

using SymbolTableTest = ModelTest;

std::string Name(uint32_t index) {
  const char* name = TarnGetSymbolName(index);
  return name != nullptr ? name : "";
}

std::array<uint32_t, 6> Extents(uint32_t index) {
  std::array<uint32_t, 6> extents{};
  TarnGetSymbolDimensions(index, 0, extents.data());
  return extents;
}

std::array<uint8_t, 11> Flags(uint32_t index) {
  TarnSymbolInfo info{};
  EXPECT_TRUE(TarnGetSymbolInfo(index, &info));
  std::array<uint8_t, 11> flags{};
  std::copy(std::begin(info.attributes), std::end(info.attributes), flags.begin());
  return flags;
}

std::array<uint8_t, 11> Vector(std::initializer_list<uint8_t> leading) {
  std::array<uint8_t, 11> flags{};
  std::copy(leading.begin(), leading.end(), flags.begin());
  return flags;
}

TEST_F(SymbolTableTest, DescribesItsSizeAndFindsNamesInAnyCase) {
  EXPECT_EQ(TarnGetNumberSymbols(), kSymbolCount);
  EXPECT_EQ(TarnGetNumberDerivativeSections(), 1u);
  EXPECT_EQ(TarnGetNumberDiscreteSections(), 2u);
  EXPECT_EQ(Name(1), "t");
  EXPECT_EQ(Name(kSymbolCount), "zzticg");
  EXPECT_EQ(TarnGetSymbolIndex("cint"), 976u);
  EXPECT_EQ(TarnGetSymbolIndex("CINT"), 976u);
  EXPECT_EQ(TarnGetSymbolIndex("ZzTicG"), kSymbolCount);
  EXPECT_EQ(TarnGetSymbolType(976), TARN_SYMBOL_COMM_INTERVAL);
}

TEST_F(SymbolTableTest, SymbolTypesFollowTheFixedOrder) {
  auto expectedType = [](uint32_t index) {
    if (index == 1) return TARN_SYMBOL_INDEPENDENT;
    if (index <= 102) return TARN_SYMBOL_STATE;
    if (index <= 203) return TARN_SYMBOL_DERIVATIVE;
    if (index <= 304) return TARN_SYMBOL_INITIAL_CONDITION;
    if (index <= 975) return TARN_SYMBOL_VARIABLE;
    if (index <= 981) return static_cast<TarnSymbolType>(index - 970);  // cint 6 .. zzierr 11
    if (index <= 993) return TARN_SYMBOL_RUNTIME_FLAG;
    if (index <= 1021) return TARN_SYMBOL_INTEGRATION_CONTROL;
    return TARN_SYMBOL_INDEPENDENT_INITIAL;
  };
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    EXPECT_EQ(TarnGetSymbolType(index), expectedType(index)) << Name(index);
  }
}

TEST_F(SymbolTableTest, ControlBlockHasItsNamesAndDataTypesByPosition) {
  const std::vector<std::string> names = {
      "cint",      "ialg",       "nstp",   "maxt",   "mint",   "zzierr", "zzstopflag", "zzrnfl",
      "zznist",    "zznblk",     "zzfrfl", "zzjefl", "zzndst", "zzicon", "zzicfl",     "zznavr",
      "zzinstidx", "zzstepstop", "nciout", "cioitg", "cjvitg", "cssitg", "dpsitg",     "ecsitg",
      "fdeitg",    "mxoitg",     "nrwitg", "nxeitg", "tjnitg", "tsmitg", "weditg",     "wesitg",
      "wnditg",    "wxditg",     "cieitg", "ubwitg", "lbwitg", "omfitg", "cmd",        "dis",
      "ndbug",     "plt",        "prn",    "malprn", "rrr",    "save",   "zzticg"};
  // D double, L 32-bit integer, B logical.
  const std::string types = "DLLDDBBBLLBBLLBLLBLLBDBBBLBBDBBBBBBLLLLLLLLLLLD";
  ASSERT_EQ(names.size(), types.size());
  for (uint32_t position = 0; position < names.size(); ++position) {
    const uint32_t index = 976 + position;
    EXPECT_EQ(Name(index), names[position]);
    const TarnDataType expected = types[position] == 'D'   ? TARN_DATA_DOUBLE
                                  : types[position] == 'L' ? TARN_DATA_LONG
                                                           : TARN_DATA_LOGICAL;
    EXPECT_EQ(TarnGetSymbolDatatype(index), expected) << names[position];
  }
}

TEST_F(SymbolTableTest, EverythingBeforeTheControlBlockIsDouble) {
  for (uint32_t index = 1; index < 976; ++index) {
    EXPECT_EQ(TarnGetSymbolDatatype(index), TARN_DATA_DOUBLE) << Name(index);
  }
}

TEST_F(SymbolTableTest, StatesPairWithTheirDerivativesAndInitialConditions) {
  for (uint32_t state = 2; state <= kStateCount + 1; ++state) {
    TarnSymbolInfo info{};
    ASSERT_TRUE(TarnGetSymbolInfo(state, &info));
    EXPECT_EQ(info.derivativeIndex, state + kStateCount);
    EXPECT_EQ(info.initialConditionIndex, state + 2 * kStateCount);
    EXPECT_EQ(Name(state + kStateCount), "z" + std::to_string(99993 - 2 * state));
    EXPECT_EQ(Name(state + 2 * kStateCount), "z" + std::to_string(99992 - 2 * state));
  }
  EXPECT_EQ(Name(2), "aoral_i");
  EXPECT_EQ(Name(20), "at4");
  EXPECT_EQ(TarnGetSymbolIndex("z99953"), 121u);
  EXPECT_EQ(TarnGetSymbolIndex("z99952"), 222u);
  EXPECT_EQ(Name(102), "aurine_np");
  EXPECT_EQ(TarnGetSymbolIndex("z99789"), 203u);
  EXPECT_EQ(TarnGetSymbolIndex("z99788"), 304u);
}

TEST_F(SymbolTableTest, OnlyTheFourteenTablesAreArrays) {
  const std::vector<std::pair<const char*, uint32_t>> tables = {
      {"vft", 6},          {"vurinec_n", 4},    {"qcx_n", 10},      {"vmaxthyx_i", 8},
      {"vmaxcx_mki", 6},   {"vmaxthycx_ni", 6}, {"clux_i", 8},      {"clucx_ni", 10},
      {"vprodt4cx_n", 12}, {"clmett4cx_n", 8},  {"clmett3cx_n", 8}, {"t3frac_n", 12},
      {"vformulac", 12},   {"milkingest", 18}};
  for (const auto& [name, length] : tables) {
    EXPECT_EQ(Extents(Index(name)), (std::array<uint32_t, 6>{length, 0, 0, 0, 0, 0})) << name;
  }
  uint32_t arrays = 0;
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    if (Extents(index) != std::array<uint32_t, 6>{}) ++arrays;
  }
  EXPECT_EQ(arrays, tables.size());
  EXPECT_EQ(Extents(Index("bw")), (std::array<uint32_t, 6>{}));
}

TEST_F(SymbolTableTest, EverySymbolHasTheDefaultTolerances) {
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    EXPECT_EQ(TarnGetRelativeError(instance_, index), 0.0001) << Name(index);
    EXPECT_EQ(TarnGetAbsoluteError(instance_, index), 0.0001) << Name(index);
  }
}

TEST_F(SymbolTableTest, AttributeFlagCountsPerFlag) {
  std::array<uint32_t, 11> counts{};
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    const auto flags = Flags(index);
    for (uint32_t flag = 0; flag < 11; ++flag) {
      EXPECT_LE(flags[flag], 1) << Name(index);
      counts[flag] += flags[flag];
    }
  }
  // Flag 2: the parameters, tstop and the tables; flag 4: t, 72 states, all derivatives and 410
  // variables; flag 5: every state, derivative and initial condition and 342 variables.
  EXPECT_EQ(counts, (std::array<uint32_t, 11>{5, 224, 0, 584, 645, 0, 0, 0, 0, 0, 14}));
}

TEST_F(SymbolTableTest, AttributeFlagsOfTheNamedGroups) {
  const auto none = Vector({});
  EXPECT_EQ(Flags(Index("t")), Vector({0, 0, 0, 1}));
  EXPECT_EQ(Flags(Index("aoral_i")), Vector({0, 0, 0, 1, 1}));
  for (const char* unread :
       {"totalingest", "aupmk_i",   "apathy_i", "aprodt4",    "amett4",    "adeiodt4",
        "aelmk_t4",    "aprodt3",   "amett3",   "adeiodt3",   "aelmk_t3",  "apathy_ni",
        "anisthy_ni",  "aprodt4_n", "amett4_n", "adeiodt4_n", "aprodt3_n", "amett3_n",
        "adeiodt3_n",  "aucpl_p",   "aupt_p",   "aupgj_p",    "aupsk_p",   "aupmk_p",
        "aucpl_np",    "aupgj_np",  "aupt_np",  "auc_ti",     "aupsk_np"}) {
    EXPECT_EQ(Flags(Index(unread)), Vector({0, 0, 0, 0, 1})) << unread;
  }
  EXPECT_EQ(Flags(Index("z99953")), Vector({0, 0, 0, 1, 1}));
  EXPECT_EQ(Flags(Index("z99952")), Vector({0, 0, 0, 0, 1}));
  EXPECT_EQ(Flags(Index("mwi")), Vector({0, 1}));
  EXPECT_EQ(Flags(Index("iatb_np")), Vector({0, 1}));
  EXPECT_EQ(Flags(Index("tstop")), Vector({0, 1, 0, 1}));
  EXPECT_EQ(Flags(Index("milkingest")), Vector({0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Flags(Index("pdsm")), Vector({0, 0, 0, 1}));
  EXPECT_EQ(Flags(Index("tmass_p")), Vector({0, 0, 0, 1}));
  EXPECT_EQ(Flags(Index("curine_np")), Vector({0, 0, 0, 0, 1}));
  EXPECT_EQ(Flags(Index("pdosedwugl")), Vector({0, 0, 0, 0, 1}));
  EXPECT_EQ(Flags(Index("bal_np")), none);
  EXPECT_EQ(Flags(Index("balv_i")), none);
  EXPECT_EQ(Flags(Index("bw")), Vector({0, 0, 0, 1, 1}));
  EXPECT_EQ(Flags(Index("z99990")), Vector({0, 0, 0, 1, 1}));
  for (const char* setting : {"cint", "ialg", "nstp", "maxt", "mint"}) {
    EXPECT_EQ(Flags(Index(setting)), Vector({1})) << setting;
  }
  for (uint32_t index = 981; index <= kSymbolCount; ++index) {
    EXPECT_EQ(Flags(index), none) << Name(index);
  }
}

TEST_F(SymbolTableTest, ControlSymbolDefaults) {
  EXPECT_EQ(Double("t"), 0.0);
  EXPECT_EQ(Double("zzticg"), 0.0);
  EXPECT_EQ(Double("cint"), 0.05);
  EXPECT_EQ(Long("ialg"), 14);
  EXPECT_EQ(Long("nstp"), 10);
  EXPECT_EQ(Double("maxt"), 1e9);
  EXPECT_EQ(Double("mint"), 1e-9);
  EXPECT_EQ(Long("zznist"), 2);
  EXPECT_EQ(Long("zznblk"), 1);
  EXPECT_EQ(Bool("zzstopflag"), 0);
  EXPECT_EQ(Long("nciout"), 1);
  EXPECT_EQ(Long("cioitg"), 55555555);
  EXPECT_EQ(Bool("cjvitg"), 1);
  EXPECT_EQ(Double("cssitg"), kNotComputed);
  EXPECT_EQ(Bool("ecsitg"), 0);
  EXPECT_EQ(Long("mxoitg"), 6);
  EXPECT_EQ(Double("tjnitg"), 0.2);
  EXPECT_EQ(Bool("weditg"), 1);
  EXPECT_EQ(Bool("wesitg"), 1);
  EXPECT_EQ(Bool("cieitg"), 1);
  EXPECT_EQ(Long("ubwitg"), -1);
  EXPECT_EQ(Long("lbwitg"), -1);
  EXPECT_EQ(Long("omfitg"), 222);
  const std::vector<std::pair<const char*, int32_t>> outputSettings = {
      {"cmd", 4}, {"dis", 6},     {"ndbug", 0}, {"plt", 6},
      {"prn", 9}, {"malprn", 10}, {"rrr", 8},   {"save", 3}};
  for (const auto& [name, value] : outputSettings) EXPECT_EQ(Long(name), value) << name;
}

TEST_F(SymbolTableTest, ParameterDefaults) {
  EXPECT_EQ(Double("mwi"), 126.9);
  EXPECT_EQ(Double("mwt4"), 776.87);
  EXPECT_EQ(Double("mwclo4"), 99.45);
  EXPECT_EQ(Double("vurine_sens_n"), 1.0);
  EXPECT_EQ(Double("formulafed"), 0.0);
  EXPECT_EQ(Double("pdlength"), 2880.0);
  EXPECT_EQ(Double("idose"), 100.0);
  EXPECT_EQ(Double("bwpre"), 67.8);
  EXPECT_EQ(Double("bw_n0"), 3.512);
  EXPECT_EQ(Double("vttotc"), 0.000235);
  EXPECT_EQ(Double("qcc"), 15.35);
  EXPECT_EQ(Double("pathyc_i"), 1e-05);
  EXPECT_EQ(Double("ctgipool"), 11300000.0);
  EXPECT_EQ(Double("ctgipool_n"), 1716.7);
  EXPECT_EQ(Double("at4_nt0"), 2.0);
  EXPECT_EQ(Double("kprodt4c"), 1.8e-06);
  EXPECT_EQ(Double("vmaxc_gp"), 5000000.0);
  EXPECT_EQ(Double("cluc_p"), 0.125);
  EXPECT_EQ(Double("milktable"), 1.0);
  EXPECT_EQ(Double("iatb_np"), 0.0);
  EXPECT_EQ(Double("tstop"), 24.0);
}

TEST_F(SymbolTableTest, TablesHoldTheirValuesThenTheirBreakpoints) {
  const std::vector<double> vft = {0.0836, 0.0836, 0, -700, 0, 4380};
  const std::vector<double> milkingest = {0.013, 0.013, 0.04, 0.098, 0.14, 0.155,
                                          0.154, 0.148, 0.13, 0,     24,   48,
                                          72,    96,    120,  720,   1440, 2160};
  for (uint32_t i = 0; i < vft.size(); ++i) {
    EXPECT_EQ(TarnGetDouble1(instance_, Index("vft"), i + 1), vft[i]) << i;
  }
  for (uint32_t i = 0; i < milkingest.size(); ++i) {
    EXPECT_EQ(TarnGetDouble1(instance_, Index("milkingest"), i + 1), milkingest[i]) << i;
  }
}

// The 209 parameters, tstop and the tables carry flag 2 and hold values; every other variable,
// state, derivative and initial condition holds the not-computed marker until the model runs.
TEST_F(SymbolTableTest, OnlyConstantsHoldValuesBeforeAnyRun) {
  uint32_t parameters = 0;
  for (uint32_t index = 2; index < 976; ++index) {
    const bool constant = Flags(index)[1] == 1;
    if (Extents(index)[0] != 0) {
      EXPECT_TRUE(constant) << Name(index);
      continue;
    }
    const double value = TarnGetDouble(instance_, index);
    if (constant) {
      EXPECT_NE(value, kNotComputed) << Name(index);
      if (Name(index) != "tstop") ++parameters;
    } else {
      EXPECT_EQ(value, kNotComputed) << Name(index);
    }
  }
  EXPECT_EQ(parameters, 209u);
  EXPECT_EQ(Double("bw"), kNotComputed);
  EXPECT_EQ(Double("at4"), kNotComputed);
}

TEST_F(SymbolTableTest, InstancesShareOneDataBlock) {
  const uint32_t second = TarnCreate();
  ASSERT_NE(second, 0u);
  ASSERT_NE(second, instance_);
  EXPECT_EQ(Long("zzinstidx"), static_cast<int32_t>(second));
  TarnSetDouble(instance_, Index("bwpre"), 70.5);
  EXPECT_EQ(TarnGetDouble(second, Index("bwpre")), 70.5);
  TarnSetLong(second, Index("ialg"), 5);
  EXPECT_EQ(Long("ialg"), 5);
}

// The block keeps every symbol in index order: each table array starts where the one before it
// ends.
TEST_F(SymbolTableTest, TableArraysAreConsecutiveInTheBlock) {
  const uint32_t first = Index("vft");
  for (uint32_t index = first; index < first + 13; ++index) {
    TarnDataType type;
    TarnSymbolValue value{};
    TarnSymbolValue next{};
    std::array<uint32_t, 6> extents{};
    ASSERT_TRUE(TarnGetSymbolValue(instance_, index, &type, &value, extents.data()));
    ASSERT_TRUE(TarnGetSymbolValue(instance_, index + 1, &type, &next, extents.data()));
    EXPECT_EQ(static_cast<const double*>(value.address) + Extents(index)[0],
              static_cast<const double*>(next.address))
        << Name(index);
  }
}

// What the model says about its symbols: every parameter, state, table and run setting, and every
// listed output, has a description, a unit and a group.
TEST_F(SymbolTableTest, EverySymbolAUserTouchesIsExplained) {
  uint32_t explained = 0;
  uint32_t outputs = 0;
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    const TarnSymbolType type = TarnGetSymbolType(index);
    const bool hasDefault = Flags(index)[1] == 1;  // the parameters, tstop and the tables
    const bool setting = type >= TARN_SYMBOL_COMM_INTERVAL && type <= TARN_SYMBOL_MIN_STEP;
    const bool listed = TarnIsSymbolOutput(index);
    outputs += listed ? 1 : 0;
    if (!(hasDefault || setting || listed || type == TARN_SYMBOL_STATE)) continue;
    ++explained;
    EXPECT_STRNE(TarnGetSymbolDescription(index), "") << Name(index);
    EXPECT_STRNE(TarnGetSymbolUnit(index), "") << Name(index);
    EXPECT_STRNE(TarnGetSymbolGroup(index), "") << Name(index);
  }
  EXPECT_EQ(explained, 210u + 14 + 101 + 5 + outputs - 4);  // aucpl_p, aucpl_np, auc_ti, atgi_n
  for (const char* name : {"ca_i", "ca_ni", "ca_p", "ca_np", "athyt_i", "atgi_n", "ct4", "ct3",
                           "ct4_n", "ct3_n", "bw_n", "t"}) {
    EXPECT_TRUE(TarnIsSymbolOutput(Index(name))) << name;
  }
  EXPECT_FALSE(TarnIsSymbolOutput(Index("z99989")));
  EXPECT_STREQ(TarnGetSymbolUnit(Index("conc")), "ug/L");
  EXPECT_STREQ(TarnGetSymbolUnit(Index("ca_np")), "nmol/L");
  EXPECT_STREQ(TarnGetSymbolGroup(Index("aplas_np")), "infant perchlorate");
  EXPECT_EQ(TarnGetSymbolDescription(0), nullptr);
  EXPECT_EQ(TarnGetSymbolUnit(kSymbolCount + 1), nullptr);
  EXPECT_FALSE(TarnIsSymbolOutput(0));
}

// Each state's recorded initial-value parameter is the one the model copies from: a fresh run
// starts every state from its parameter, or from zero.
TEST_F(SymbolTableTest, StatesStartFromTheirRecordedInitialParameter) {
  for (uint32_t state = 2; state <= kStateCount + 1; ++state) {
    if (const uint32_t parameter = TarnGetStateInitialParameter(state); parameter != 0) {
      TarnSetDouble(instance_, parameter, 1000.0 + state);
    }
  }
  TarnPreStep(instance_);
  for (uint32_t state = 2; state <= kStateCount + 1; ++state) {
    const uint32_t parameter = TarnGetStateInitialParameter(state);
    EXPECT_EQ(TarnGetDouble(instance_, state), parameter != 0 ? 1000.0 + state : 0.0)
        << Name(state);
  }
  EXPECT_EQ(Name(TarnGetStateInitialParameter(Index("aplasma_i"))), "iaplas_i");
  EXPECT_EQ(TarnGetStateInitialParameter(Index("iaplas_i")), 0u);
  EXPECT_EQ(TarnGetStateInitialParameter(0), 0u);
}

TEST_F(SymbolTableTest, DefaultsLieWithinTheRecordedBounds) {
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    if (TarnGetSymbolBounds(index, nullptr, nullptr) == 0 || Extents(index)[0] != 0) continue;
    const double value =
        TarnGetSymbolDatatype(index) == TARN_DATA_DOUBLE ? TarnGetDouble(instance_, index)
        : TarnGetSymbolDatatype(index) == TARN_DATA_LONG ? TarnGetLong(instance_, index)
                                                         : TarnGetBool(instance_, index);
    EXPECT_TRUE(TarnIsWithinSymbolBounds(index, value)) << Name(index) << " = " << value;
  }
  struct Case {
    const char* name;
    double value;
    bool within;
  };
  for (const Case& c : {Case{"conc", 0, true}, Case{"conc", -5, false}, Case{"bwpre", 0, false},
                        Case{"vfc", 1, true}, Case{"vfc", 1.01, false}, Case{"ppuls", 0.5, false},
                        Case{"ppuls", 1, true}, Case{"nstp", 0, false}, Case{"ca_p", -1, true},
                        Case{"conc", std::nan(""), false}}) {
    EXPECT_EQ(TarnIsWithinSymbolBounds(Index(c.name), c.value), c.within) << c.name << c.value;
  }
  double minimum = 0;
  double maximum = 0;
  EXPECT_EQ(TarnGetSymbolBounds(Index("bwpre"), &minimum, &maximum),
            TARN_BOUND_MINIMUM | TARN_BOUND_MINIMUM_EXCLUSIVE);
  EXPECT_EQ(minimum, 0.0);
  EXPECT_EQ(maximum, HUGE_VAL);
  EXPECT_EQ(TarnGetSymbolBounds(0, &minimum, &maximum), 0u);
  EXPECT_EQ(minimum, -HUGE_VAL);
  EXPECT_FALSE(TarnIsWithinSymbolBounds(0, 1.0));
}

// The validity range ends where the last physiological table does.
TEST_F(SymbolTableTest, ValidityRangeEndsWithTheTables) {
  double start = -1;
  double end = -1;
  ASSERT_TRUE(TarnGetValidityRange(&start, &end));
  EXPECT_EQ(start, 0.0);
  double lastBreakpoint = 0;
  for (uint32_t index = Index("vft"); index <= Index("milkingest"); ++index) {
    lastBreakpoint = std::max(lastBreakpoint, TarnGetDouble1(instance_, index, Extents(index)[0]));
  }
  EXPECT_EQ(end, lastBreakpoint);
  EXPECT_EQ(end, 4380.0);
}

}  // namespace
}  // namespace tarn::test
