// ScopedFlag: raises a bool for the lifetime of the guard and lowers it again when the guard goes,
// also when the guarded evaluation throws.
#ifndef TARN_INTEGRATORS_SCOPED_FLAG_H
#define TARN_INTEGRATORS_SCOPED_FLAG_H

namespace tarn {

class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_SCOPED_FLAG_H
