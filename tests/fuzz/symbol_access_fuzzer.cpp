// Fuzz target: the symbol interface of the host API, on a model with a symbol of every data type,
// arrays of one and two dimensions and string arrays. Each input is a sequence of calls to the
// descriptive queries, the generic, indexed and typed value functions, the array helpers and the
// symbol watches, with arbitrary instance numbers, symbol indexes, data types, extents, index sets
// and texts. After every call the target checks that
//   - no descriptor changed (data type, extents, string length);
//   - nothing changed outside what the call may write: no symbol other than the one addressed,
//     and for an element write no other element of it (a write past storage shows up here);
//   - a write in the symbol's own data type and shape reads back the same through
//     TarnGetSymbolValue and the indexed read, and a refused write changed nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "support/shapes_model.h"
#include "support/test_model.h"
#include "tarn/tarn.h"

namespace {

using tarn::test::ShapesModel;
using Extents = std::array<uint32_t, 6>;

// Stops the fuzzer with the reason when a property does not hold.
void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "violated: %s\n", property);
  std::abort();
}

uint32_t ElementSize(uint32_t dataType, uint32_t stringLength) {
  switch (dataType) {
    case TARN_DATA_SHORT:
      return 2;
    case TARN_DATA_LONG:
    case TARN_DATA_FLOAT:
      return 4;
    case TARN_DATA_DOUBLE2:
    case TARN_DATA_DOUBLE:
      return 8;
    case TARN_DATA_LOGICAL:
      return 1;
    case TARN_DATA_STRING:
      return stringLength;
    default:
      return 0;
  }
}

uint32_t ElementCount(const Extents& extents) {
  uint32_t count = 1;
  for (uint32_t extent : extents) {
    if (extent == 0) break;
    count *= extent;
  }
  return count;
}

// What the model registered for one symbol, read once through the descriptive queries.
struct Symbol {
  uint32_t dataType = 0;
  uint32_t stringLength = 0;
  Extents extents{};
  uint32_t elementSize = 0;
  uint32_t elementCount = 0;
  bool Scalar() const { return extents[0] == 0; }
  size_t Bytes() const { return static_cast<size_t>(elementSize) * elementCount; }
};

std::vector<Symbol> symbols;  // [index], entry 0 unused
uint32_t symbolCount = 0;

Symbol Describe(uint32_t index) {
  TarnSymbolInfo info{};
  Require(TarnGetSymbolInfo(index, &info), "every registered index is described");
  Symbol symbol;
  symbol.dataType = info.dataType;
  symbol.stringLength = info.stringLength;
  std::copy(info.extents, info.extents + 6, symbol.extents.begin());
  symbol.elementSize = ElementSize(symbol.dataType, symbol.stringLength);
  symbol.elementCount = ElementCount(symbol.extents);
  return symbol;
}

// The bytes of every symbol of an instance: a scalar's value from the union, the storage of a
// string or an array.
using Snapshot = std::vector<std::vector<uint8_t>>;

Snapshot Take(uint32_t instance) {
  Snapshot snapshot(symbolCount + 1);
  for (uint32_t index = 1; index <= symbolCount; ++index) {
    const Symbol& symbol = symbols[index];
    TarnDataType dataType;
    TarnSymbolValue value;
    Extents extents;
    Require(TarnGetSymbolValue(instance, index, &dataType, &value, extents.data()),
            "a registered symbol of an existing instance reads");
    Require(dataType == symbol.dataType && extents == symbol.extents,
            "the read reports the symbol's own type and shape");
    std::vector<uint8_t>& bytes = snapshot[index];
    if (symbol.dataType == TARN_DATA_STRING || !symbol.Scalar()) {
      const auto* storage = static_cast<const uint8_t*>(value.address);
      bytes.assign(storage, storage + symbol.Bytes());
    } else {
      const auto* raw = reinterpret_cast<const uint8_t*>(&value);
      bytes.assign(raw, raw + symbol.elementSize);
    }
  }
  return snapshot;
}

void RequireDescriptorsUnchanged() {
  Require(TarnGetNumberSymbols() == symbolCount, "the symbol count stays");
  for (uint32_t index = 1; index <= symbolCount; ++index) {
    const Symbol now = Describe(index);
    Require(now.dataType == symbols[index].dataType && now.extents == symbols[index].extents &&
                now.stringLength == symbols[index].stringLength,
            "no call changes a descriptor");
  }
}

// Every symbol but `written` is as before; of `written`, only the bytes [first, first + length).
void RequireOnlyChanged(const Snapshot& before, const Snapshot& after, uint32_t written,
                        size_t first, size_t length) {
  for (uint32_t index = 1; index <= symbolCount; ++index) {
    const std::vector<uint8_t>& a = before[index];
    const std::vector<uint8_t>& b = after[index];
    if (index != written) {
      Require(a == b, "a call changes only the symbol it addresses");
      continue;
    }
    for (size_t i = 0; i < a.size(); ++i) {
      if (i >= first && i < first + length) continue;
      Require(a[i] == b[i], "an element write changes only its element");
    }
  }
}

bool ValidIndexSet(const Extents& set, const Extents& extents) {
  for (int i = 0; i < 6; ++i) {
    const bool valid = extents[i] == 0 ? set[i] == 0 : set[i] >= 1 && set[i] <= extents[i];
    if (!valid) return false;
  }
  return true;
}

size_t FlatOffset(const Extents& set, const Extents& extents) {
  size_t offset = 0;
  size_t stride = 1;
  for (int i = 0; i < 6 && extents[i] != 0; ++i) {
    offset += (set[i] - 1) * stride;
    stride *= extents[i];
  }
  return offset;
}

// Status messages are counted: an invalid index set must send exactly one.
int invalidIndexMessages = 0;
void CountMessage(uint32_t, uint32_t, const char* text) {
  Require(text != nullptr, "messages carry text");
  if (std::strcmp(text, "Error: Invalid array index.") == 0) ++invalidIndexMessages;
}
void IgnoreWatch(uint32_t, uint32_t, uint32_t) {}

class Session {
 public:
  explicit Session(FuzzedDataProvider& data) : data_(data) {}

  void Run() {
    UseModelAndInitialize();
    const int calls = data_.ConsumeIntegralInRange(1, 48);
    for (int call = 0; call < calls && data_.remaining_bytes() > 0; ++call) OneCall();
    TarnFinalize();
  }

 private:
  void UseModelAndInitialize() {
    tarn::test::UseModel(data_.ConsumeBool() ? ShapesModel::Register
                                             : ShapesModel::RegisterWithoutUserData);
    TarnInitialize();
    instances_.clear();
    const int count = data_.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < count; ++i) {
      const uint32_t instance = TarnCreate();
      Require(instance != 0, "an instance can be created");
      TarnAddStatusCallback(instance, 0, CountMessage);
      instances_.push_back(instance);
    }
  }

  // An existing instance most of the time, else any number.
  uint32_t AnyInstance() {
    if (data_.ConsumeIntegralInRange(0, 7) != 0) {
      return instances_[data_.ConsumeIntegralInRange<size_t>(0, instances_.size() - 1)];
    }
    return data_.PickValueInArray<uint32_t>({0u, 98u, 99u, 100u, 0xFFFFFFFFu});
  }
  bool Exists(uint32_t instance) const {
    for (uint32_t i : instances_) {
      if (i == instance) return true;
    }
    return false;
  }

  uint32_t AnyIndex() {
    if (data_.ConsumeIntegralInRange(0, 7) != 0) {
      return data_.ConsumeIntegralInRange<uint32_t>(1, symbolCount);
    }
    return data_.PickValueInArray<uint32_t>({0u, symbolCount + 1, 0x7FFFFFFFu, 0xFFFFFFFFu});
  }

  uint32_t AnyDataType(uint32_t own) {
    return data_.ConsumeBool() ? own : data_.ConsumeIntegralInRange<uint32_t>(0, 9);
  }

  // The symbol's own extents, or extents of any shape.
  Extents AnyExtents(const Symbol& symbol) {
    if (data_.ConsumeBool()) return symbol.extents;
    Extents extents{};
    for (uint32_t& extent : extents) {
      extent = data_.ConsumeBool() ? 0 : data_.ConsumeIntegralInRange<uint32_t>(0, 5);
    }
    return extents;
  }

  // A valid index set of the symbol, or any six numbers.
  Extents AnyIndexSet(const Symbol& symbol) {
    Extents set{};
    if (data_.ConsumeIntegralInRange(0, 3) != 0) {
      for (int i = 0; i < 6 && symbol.extents[i] != 0; ++i) {
        set[i] = data_.ConsumeIntegralInRange<uint32_t>(1, symbol.extents[i]);
      }
      return set;
    }
    for (uint32_t& index : set) {
      index = data_.PickValueInArray<uint32_t>({0u, 1u, 2u, 3u, 4u, 5u, 7u, 0xFFFFFFFFu});
    }
    return set;
  }

  std::string AnyText() { return data_.ConsumeRandomLengthString(40); }

  TarnSymbolValue AnyValue() {
    TarnSymbolValue value;
    const uint64_t bits = data_.ConsumeIntegral<uint64_t>();
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  void OneCall() {
    const uint32_t instance = AnyInstance();
    const uint32_t index = AnyIndex();
    const bool known = index >= 1 && index <= symbolCount && Exists(instance);
    const Symbol symbol = known ? symbols[index] : Symbol{};
    const Snapshot before = TakeAll();
    invalidIndexMessages = 0;
    switch (data_.ConsumeIntegralInRange(0, 11)) {
      case 0:
        Queries(index, instance);
        break;
      case 1:
        SetGeneric(instance, index, known, symbol, before);
        return;
      case 2:
        GetIndexed(instance, index, known, symbol);
        break;
      case 3:
        SetIndexed(instance, index, known, symbol, before);
        return;
      case 4:
        TypedScalar(instance, index, known, symbol, before);
        return;
      case 5:
        TypedIndexed(instance, index, known, symbol, before);
        return;
      case 6:
        Helpers(symbol);
        break;
      case 7:
        Watch(instance, index);
        break;
      case 8:
        TarnGetSymbolIndex(AnyText().c_str());
        break;
      case 9:
        Lookup();
        break;
      case 10:
        CreateOrDestroy();
        return;
      default:
        TarnCalcDeriv(instance, data_.ConsumeIntegral<uint32_t>());
        return;
    }
    RequireDescriptorsUnchanged();
    RequireOnlyChanged(before, TakeAll(), 0, 0, 0);
  }

  // The snapshot of the first instance (all instances share the model's data block).
  Snapshot TakeAll() const { return Take(instances_.front()); }

  void Queries(uint32_t index, uint32_t instance) {
    TarnSymbolInfo info;
    const bool valid = index >= 1 && index <= symbolCount;
    Require(TarnGetSymbolInfo(index, &info) == valid, "info exactly for valid indexes");
    Require(!TarnGetSymbolInfo(index, nullptr), "no info into a null record");
    Require((TarnGetSymbolName(index) != nullptr) == valid, "names exactly for valid indexes");
    Require((TarnGetSymbolDatatype(index) == TARN_DATA_INVALID) == !valid, "data type sentinel");
    Require((TarnGetSymbolType(index) == TARN_SYMBOL_INVALID) == !valid, "symbol type sentinel");
    Extents extents{};
    TarnGetSymbolDimensions(index, 0, extents.data());
    TarnGetSymbolDimensions(index, 0, nullptr);
    Require((TarnGetRelativeError(instance, index) == -1.0) == !valid, "tolerance sentinel");
    if (valid) {
      Require(TarnGetSymbolIndex(TarnGetSymbolName(index)) <= index, "a name finds its symbol");
    }
  }

  void SetGeneric(uint32_t instance, uint32_t index, bool known, const Symbol& symbol,
                  const Snapshot& before) {
    const uint32_t dataType = AnyDataType(symbol.dataType);
    const Extents extents = AnyExtents(symbol);
    TarnSymbolValue value = AnyValue();
    // The caller's buffer is shaped by the type and extents it passes, as a host's would be.
    const uint32_t size = ElementSize(dataType, symbol.stringLength);
    const bool scalar = extents[0] == 0;
    std::vector<uint8_t> buffer;
    std::string text = AnyText();
    if (!scalar) {
      const size_t bytes = static_cast<size_t>(size) * ElementCount(extents);
      buffer = data_.ConsumeBytes<uint8_t>(bytes);
      buffer.resize(bytes);
      value.address = buffer.empty() ? nullptr : buffer.data();
    } else if (dataType == TARN_DATA_STRING) {
      value.address = text.data();
    }
    const bool withExtents = data_.ConsumeIntegralInRange(0, 15) != 0;
    TarnSetSymbolValue(instance, index, static_cast<TarnDataType>(dataType), value,
                       withExtents ? extents.data() : nullptr);
    RequireDescriptorsUnchanged();
    const Snapshot after = TakeAll();
    const bool own =
        known && withExtents && dataType == symbol.dataType && extents == symbol.extents;
    if (!own) {
      RequireOnlyChanged(before, after, 0, 0, 0);
      return;
    }
    RequireOnlyChanged(before, after, index, 0, symbol.Bytes());
    const std::vector<uint8_t>& stored = after[index];
    if (!symbol.Scalar()) {
      if (value.address != nullptr) Require(stored == buffer, "an array reads back");
    } else if (dataType == TARN_DATA_STRING) {
      RequireText(stored.data(), symbol.stringLength, text);
    } else {
      Require(std::memcmp(stored.data(), &value, symbol.elementSize) == 0, "a scalar reads back");
    }
  }

  // A text written into a string element of `capacity` bytes: cut to capacity - 1, terminated.
  static void RequireText(const uint8_t* element, uint32_t capacity, const std::string& text) {
    if (capacity == 0) return;
    const size_t length = std::min<size_t>(std::strlen(text.c_str()), capacity - 1);
    Require(std::memcmp(element, text.c_str(), length) == 0 && element[length] == 0,
            "a text reads back cut to its storage");
  }

  void GetIndexed(uint32_t instance, uint32_t index, bool known, const Symbol& symbol) {
    const Extents set = AnyIndexSet(symbol);
    TarnDataType dataType = TARN_DATA_INVALID;
    TarnSymbolValue value;
    std::memset(&value, 0xA5, sizeof value);
    TarnGetSymbolValueIndexed(instance, index, &dataType, &value, set.data());
    TarnGetSymbolValueIndexed(instance, index, nullptr, nullptr, set.data());
    TarnGetSymbolValueIndexed(instance, index, &dataType, &value, nullptr);
    if (!known) return;
    Require(dataType == symbol.dataType, "the indexed read reports the data type");
  }

  void SetIndexed(uint32_t instance, uint32_t index, bool known, const Symbol& symbol,
                  const Snapshot& before) {
    const uint32_t dataType = AnyDataType(symbol.dataType);
    const Extents set = AnyIndexSet(symbol);
    TarnSymbolValue value = AnyValue();
    const std::string text = AnyText();
    if (dataType == TARN_DATA_STRING) value.address = const_cast<char*>(text.c_str());
    TarnSetSymbolValueIndexed(instance, index, static_cast<TarnDataType>(dataType), &value,
                              set.data());
    TarnSetSymbolValueIndexed(instance, index, static_cast<TarnDataType>(dataType), nullptr,
                              set.data());
    RequireDescriptorsUnchanged();
    const Snapshot after = TakeAll();
    const bool validSet = known && ValidIndexSet(set, symbol.extents);
    if (known) Require(invalidIndexMessages == (validSet ? 0 : 1), "one message per bad set");
    if (!validSet || dataType != symbol.dataType) {
      RequireOnlyChanged(before, after, 0, 0, 0);
      return;
    }
    const size_t first = FlatOffset(set, symbol.extents) * symbol.elementSize;
    RequireOnlyChanged(before, after, index, first, symbol.elementSize);
    if (dataType == TARN_DATA_STRING) {
      RequireText(after[index].data() + first, symbol.stringLength, text);
    } else {
      Require(std::memcmp(after[index].data() + first, &value, symbol.elementSize) == 0,
              "an element reads back");
      TarnDataType readType;
      TarnSymbolValue read;
      TarnGetSymbolValueIndexed(instance, index, &readType, &read, set.data());
      Require(std::memcmp(&read, &value, symbol.elementSize) == 0,
              "an element reads back through the indexed read");
    }
  }

  template <typename T>
  void TypedScalarOf(uint32_t instance, uint32_t index, T value, TarnDataType code,
                     T (*get)(uint32_t, uint32_t), void (*set)(uint32_t, uint32_t, T), bool known,
                     const Symbol& symbol, const Snapshot& before) {
    get(instance, index);
    set(instance, index, value);
    RequireDescriptorsUnchanged();
    const Snapshot after = TakeAll();
    if (!known || symbol.dataType != code) {
      RequireOnlyChanged(before, after, 0, 0, 0);
      Require(get(instance, index) == T{}, "a getter of another type returns zero");
      return;
    }
    RequireOnlyChanged(before, after, index, 0, symbol.elementSize);
    if constexpr (std::is_same_v<T, const char*>) {
      RequireText(after[index].data(), symbol.stringLength, value);
    } else {
      Require(std::memcmp(after[index].data(), &value, sizeof value) == 0,
              "a typed write reads back");
    }
  }

  void TypedScalar(uint32_t instance, uint32_t index, bool known, const Symbol& symbol,
                   const Snapshot& before) {
    const std::string text = AnyText();
    switch (data_.ConsumeIntegralInRange(0, 5)) {
      case 0:
        TypedScalarOf<int16_t>(instance, index, data_.ConsumeIntegral<int16_t>(), TARN_DATA_SHORT,
                               TarnGetShort, TarnSetShort, known, symbol, before);
        break;
      case 1:
        TypedScalarOf<int32_t>(instance, index, data_.ConsumeIntegral<int32_t>(), TARN_DATA_LONG,
                               TarnGetLong, TarnSetLong, known, symbol, before);
        break;
      case 2: {
        const uint32_t bits = data_.ConsumeIntegral<uint32_t>();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        TarnSetFloat(instance, index, value);
        RequireDescriptorsUnchanged();
        const Snapshot after = TakeAll();
        if (known && symbol.dataType == TARN_DATA_FLOAT) {
          RequireOnlyChanged(before, after, index, 0, 4);
          Require(std::memcmp(after[index].data(), &value, 4) == 0, "a float reads back");
        } else {
          RequireOnlyChanged(before, after, 0, 0, 0);
        }
        break;
      }
      case 3: {
        const uint64_t bits = data_.ConsumeIntegral<uint64_t>();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        TarnSetDouble(instance, index, value);
        RequireDescriptorsUnchanged();
        const Snapshot after = TakeAll();
        if (known && symbol.dataType == TARN_DATA_DOUBLE) {
          RequireOnlyChanged(before, after, index, 0, 8);
          Require(std::memcmp(after[index].data(), &value, 8) == 0, "a double reads back");
        } else {
          RequireOnlyChanged(before, after, 0, 0, 0);
        }
        break;
      }
      case 4:
        TypedScalarOf<TarnLogical>(instance, index, data_.ConsumeIntegral<uint8_t>(),
                                   TARN_DATA_LOGICAL, TarnGetBool, TarnSetBool, known, symbol,
                                   before);
        break;
      default:
        TypedScalarOf<const char*>(instance, index, text.c_str(), TARN_DATA_STRING, TarnGetString,
                                   TarnSetString, known, symbol, before);
        break;
    }
  }

  // One indexed getter and setter pair, chosen by the input, on the index set `s` with `text` for
  // strings; returns the data type the pair is for.
  uint32_t CallIndexedForm(uint32_t instance, uint32_t index, const uint32_t* s,
                           const std::string& text) {
    switch (data_.ConsumeIntegralInRange(0, 11)) {
      case 0:
        TarnGetShortIndexed(instance, index, s);
        TarnGetShort6(instance, index, s[0], s[1], s[2], s[3], s[4], s[5]);
        TarnSetShortIndexed(instance, index, data_.ConsumeIntegral<int16_t>(), s);
        return TARN_DATA_SHORT;
      case 1:
        TarnGetLong2(instance, index, s[0], s[1]);
        TarnSetLong3(instance, index, data_.ConsumeIntegral<int32_t>(), s[0], s[1], s[2]);
        return TARN_DATA_LONG;
      case 2:
        TarnGetFloat1(instance, index, s[0]);
        TarnSetFloatIndexed(instance, index, data_.ConsumeFloatingPoint<float>(), s);
        return TARN_DATA_FLOAT;
      case 3:
        TarnGetDoubleIndexed(instance, index, s);
        TarnGetDouble4(instance, index, s[0], s[1], s[2], s[3]);
        TarnSetDouble2(instance, index, data_.ConsumeFloatingPoint<double>(), s[0], s[1]);
        return TARN_DATA_DOUBLE;
      case 4:
        TarnGetDouble5(instance, index, s[0], s[1], s[2], s[3], s[4]);
        TarnSetDouble6(instance, index, data_.ConsumeFloatingPoint<double>(), s[0], s[1], s[2],
                       s[3], s[4], s[5]);
        return TARN_DATA_DOUBLE;
      case 5:
        TarnGetBool3(instance, index, s[0], s[1], s[2]);
        TarnSetBoolIndexed(instance, index, data_.ConsumeIntegral<uint8_t>(), s);
        return TARN_DATA_LOGICAL;
      case 6:
        TarnGetStringIndexed(instance, index, s);
        TarnSetString1(instance, index, text.c_str(), s[0]);
        return TARN_DATA_STRING;
      case 7:
        TarnGetString2(instance, index, s[0], s[1]);
        TarnSetStringIndexed(instance, index, text.c_str(), s);
        return TARN_DATA_STRING;
      case 8:
        TarnGetLongIndexed(instance, index, nullptr);
        TarnSetLongIndexed(instance, index, data_.ConsumeIntegral<int32_t>(), nullptr);
        return TARN_DATA_LONG;
      case 9:
        TarnGetShort5(instance, index, s[0], s[1], s[2], s[3], s[4]);
        TarnSetShort4(instance, index, data_.ConsumeIntegral<int16_t>(), s[0], s[1], s[2], s[3]);
        return TARN_DATA_SHORT;
      case 10:
        TarnGetLong6(instance, index, s[0], s[1], s[2], s[3], s[4], s[5]);
        TarnSetLong5(instance, index, data_.ConsumeIntegral<int32_t>(), s[0], s[1], s[2], s[3],
                     s[4]);
        return TARN_DATA_LONG;
      default:
        TarnGetString4(instance, index, s[0], s[1], s[2], s[3]);
        TarnSetString6(instance, index, text.c_str(), s[0], s[1], s[2], s[3], s[4], s[5]);
        return TARN_DATA_STRING;
    }
  }

  void TypedIndexed(uint32_t instance, uint32_t index, bool known, const Symbol& symbol,
                    const Snapshot& before) {
    const Extents set = AnyIndexSet(symbol);
    const uint32_t* s = set.data();
    const std::string text = AnyText();
    const uint32_t code = CallIndexedForm(instance, index, s, text);
    RequireDescriptorsUnchanged();
    const Snapshot after = TakeAll();
    const bool written = known && symbol.dataType == code;
    if (!written) {
      RequireOnlyChanged(before, after, 0, 0, 0);
      return;
    }
    // Which element the call wrote depends on the form; every byte outside the symbol stays.
    RequireOnlyChanged(before, after, index, 0, symbol.Bytes());
  }

  void Helpers(const Symbol& symbol) {
    const Extents set = AnyIndexSet(symbol);
    const bool valid = IsValidIndexSet(set.data(), symbol.extents.data());
    Require(valid == ValidIndexSet(set, symbol.extents), "index set validity");
    Require(!IsValidIndexSet(nullptr, symbol.extents.data()), "no set is valid for null");
    if (valid) {
      Require(
          GetFlatArrayOffset(set.data(), symbol.extents.data()) == FlatOffset(set, symbol.extents),
          "flat offsets run first index fastest");
    }
    Require(GetNumberDimensions(symbol.extents.data()) <= 6, "at most six dimensions");
    GetFlatArrayOffset(nullptr, nullptr);
    GetNumberDimensions(nullptr);
  }

  void Watch(uint32_t instance, uint32_t index) {
    const uint32_t userValue = data_.ConsumeIntegral<uint32_t>();
    if (data_.ConsumeBool()) {
      TarnAddSymbolWatchCallback(instance, userValue, index, IgnoreWatch);
    } else {
      TarnRemoveSymbolWatchCallback(instance, userValue, index, IgnoreWatch);
    }
  }

  void Lookup() {
    const uint32_t index = data_.ConsumeIntegralInRange<uint32_t>(1, symbolCount);
    std::string name = TarnGetSymbolName(index);
    for (char& c : name) {
      if (data_.ConsumeBool()) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    Require(TarnGetSymbolIndex(name.c_str()) == index, "a name in any case finds its symbol");
    Require(TarnGetSymbolIndex(nullptr) == 0, "no symbol for a null name");
  }

  // Instances come and go; the first one stays so that the block can be read.
  void CreateOrDestroy() {
    if (data_.ConsumeBool() && instances_.size() < 4) {
      const uint32_t instance = TarnCreate();
      Require(instance != 0, "an instance can be created");
      TarnAddStatusCallback(instance, 0, CountMessage);
      instances_.push_back(instance);
    } else if (instances_.size() > 1) {
      TarnDestroy(instances_.back());
      instances_.pop_back();
    } else {
      TarnDestroy(data_.PickValueInArray<uint32_t>({0u, 100u, 0xFFFFFFFFu}));
    }
  }

  FuzzedDataProvider& data_;
  std::vector<uint32_t> instances_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::test::UseModel(ShapesModel::Register);
  TarnInitialize();
  symbolCount = TarnGetNumberSymbols();
  symbols.assign(symbolCount + 1, Symbol{});
  for (uint32_t index = 1; index <= symbolCount; ++index) symbols[index] = Describe(index);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  Session(data).Run();
  return 0;
}
