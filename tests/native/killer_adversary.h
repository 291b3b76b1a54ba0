// M. D. McIlroy's "killer adversary" (A Killer Adversary for Quicksort,
// Software: Practice and Experience 29(4), 1999): a comparison that decides
// the values of the items lazily while a sort runs, so that every pivot
// turns out to be about the smallest item left. The values decided by the
// end form an input order on which that sort does its worst.
#pragma once

#include <cstddef>
#include <numeric>
#include <vector>

namespace test_support {

class KillerAdversary {
 public:
  explicit KillerAdversary(std::size_t count) : gas_(count), value_(count, gas_) {}

  // The comparison to hand to the sort: items are the positions 0..count-1
  // of the input, compared by the values decided so far.
  int operator()(std::size_t x, std::size_t y) {
    ++comparisons_;
    // Two undecided items: the one that was compared before (the likely
    // pivot) becomes the smallest value not yet given.
    if (value_[x] == gas_ && value_[y] == gas_) value_[x == candidate_ ? x : y] = solid_++;
    if (value_[x] == gas_) {
      candidate_ = x;
    } else if (value_[y] == gas_) {
      candidate_ = y;
    }
    return value_[x] < value_[y] ? -1 : value_[x] > value_[y] ? 1 : 0;
  }

  // The input order: the value at each position, all distinct. Items never
  // decided stay above every decided one, in position order, which agrees
  // with every answer given.
  std::vector<std::size_t> Order() {
    for (std::size_t& v : value_) {
      if (v == gas_) v = solid_++;
    }
    return value_;
  }

  std::size_t Comparisons() const { return comparisons_; }

 private:
  // The value of an item not yet decided: above every decided one.
  std::size_t gas_;
  std::vector<std::size_t> value_;
  std::size_t solid_ = 0;
  std::size_t candidate_ = 0;
  std::size_t comparisons_ = 0;
};

// The order that makes sort(items, compare) do its worst: sort runs once on
// the positions with the adversary as its comparison.
template <typename Sort>
std::vector<std::size_t> KillerOrder(std::size_t count, Sort sort) {
  KillerAdversary adversary(count);
  std::vector<std::size_t> items(count);
  std::iota(items.begin(), items.end(), std::size_t{0});
  sort(items, adversary);
  return adversary.Order();
}

}  // namespace test_support
