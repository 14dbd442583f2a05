// Scratch arrays of one pass, carved from a single allocation.
//
// The allocator then hands the same block back call after call, where
// arrays of this size allocated one by one tend to be mapped afresh each
// time, and on some systems the page faults cost more than the pass itself.
// Every array starts on a cache line.
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>

namespace numerics::detail {

class Arena {
 public:
  template <class T>
  static constexpr std::size_t bytesFor(std::size_t count) {
    return (count * sizeof(T) + kAlign - 1) / kAlign * kAlign;
  }

  explicit Arena(std::size_t bytes) : store_(std::make_unique_for_overwrite<std::byte[]>(bytes)), size_(bytes) {}

  // count uninitialised values of a trivial type T.
  template <class T>
  T* take(std::size_t count) {
    const std::size_t bytes = bytesFor<T>(count);
    assert(used_ + bytes <= size_);
    T* p = reinterpret_cast<T*>(store_.get() + used_);
    used_ += bytes;
    return p;
  }

 private:
  static constexpr std::size_t kAlign = 64;  // a cache line; new[] gives at least 16
  std::unique_ptr<std::byte[]> store_;
  std::size_t size_;
  std::size_t used_ = 0;
};

}  // namespace numerics::detail
