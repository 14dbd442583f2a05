// Spreading independent pieces of work over the cores.
//
// Each index is done by exactly one thread, so a result that depends only
// on its own index comes out the same on any number of threads; sums over
// indices are left to the caller, in index order, after the loop.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace morvek {

// Runs body(local, i) for i = begin .. end-1 on `threads` threads (0: all
// cores), the calling thread among them; local = makeLocal() is made once
// by each thread, for scratch that the pieces a thread takes share. The
// first exception stops the others from taking more work and is passed on
// once all have ended.
template <class MakeLocal, class Body>
void parallelFor(std::size_t begin, std::size_t end, unsigned threads, MakeLocal makeLocal, Body body) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<std::size_t> next{begin};
  std::exception_ptr failure;
  std::mutex failing;
  auto work = [&] {
    try {
      auto local = makeLocal();
      for (std::size_t i; (i = next++) < end;) body(local, i);
    } catch (...) {
      std::lock_guard lock(failing);
      if (!failure) failure = std::current_exception();
      next = end;
    }
  };
  {
    const std::size_t count = end > begin ? end - begin : 0;
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < std::min<std::size_t>(threads, count); ++t) helpers.emplace_back(work);
    work();
  }
  if (failure) std::rethrow_exception(failure);
}

// The same with body(i), without scratch.
template <class Body>
void parallelFor(std::size_t begin, std::size_t end, unsigned threads, Body body) {
  parallelFor(begin, end, threads, [] { return 0; }, [&](int, std::size_t i) { body(i); });
}

}  // namespace morvek
