// The GUID index's sort: a Hoare-partition quicksort with the middle item as
// pivot, bounded in depth. A range whose partitioning goes deeper than the
// bound is finished by heap sort, so no input costs more than O(n log n)
// comparisons, while every input that stays within the bound is ordered
// exactly as by the unbounded quicksort (which of several items with one
// GUID a lookup finds depends on that order).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <vector>

namespace bridge {

// Partitions a range may go through before it is heap sorted: three times
// the binary digits of the count, about 3 log2(n). Random orders go at most
// about 2.7 log2(n) deep at the sizes of real models, and that only in
// ranges of a few items, which are never heap sorted (below), so they keep
// the plain quicksort's order; an order built against the middle pivot goes
// n/2 deep.
inline std::size_t SortDepthBound(std::size_t count) noexcept {
  return 3 * static_cast<std::size_t>(std::bit_width(count));
}

// Ranges this small are never heap sorted: even at their worst they cost
// fewer than kSmallRange^2 comparisons, and random orders reach the deepest
// levels only in such ranges.
inline constexpr std::ptrdiff_t kSmallRange = 16;

// Heap sort of items[low..high], which needs no memory of its own.
template <typename Item, typename Compare>
void HeapSortRange(std::vector<Item>& items, std::ptrdiff_t low, std::ptrdiff_t high, Compare& compare) {
  const auto less = [&compare](const Item& a, const Item& b) { return compare(a, b) < 0; };
  std::make_heap(items.begin() + low, items.begin() + high + 1, less);
  std::sort_heap(items.begin() + low, items.begin() + high + 1, less);
}

// Sorts items[low..high]; compare(a, b) returns < 0, 0 or > 0.
// finish(low, high) sorts a range that went too deep, in the order that
// HeapSortRange gives it.
template <typename Item, typename Compare, typename Finish>
void BoundedQuickSort(std::vector<Item>& items, std::ptrdiff_t low, std::ptrdiff_t high, std::size_t depthLeft,
                      Compare& compare, Finish& finish) {
  const auto at = [&items](std::ptrdiff_t index) -> Item& { return items[static_cast<std::size_t>(index)]; };
  Item pivot;
  while (low < high) {
    if (depthLeft == 0 && high - low >= kSmallRange) {
      finish(low, high);
      return;
    }
    if (depthLeft > 0) --depthLeft;
    std::ptrdiff_t i = low;
    std::ptrdiff_t j = high;
    // The pivot is the item, not the position: partitioning moves items.
    pivot = at(low + (high - low) / 2);
    do {
      while (compare(at(i), pivot) < 0) ++i;
      while (compare(at(j), pivot) > 0) --j;
      if (i <= j) {
        using std::swap;
        swap(at(i), at(j));
        ++i;
        --j;
      }
    } while (i <= j);
    // The two parts are independent, so sorting the smaller one by recursion
    // and the larger one in this loop gives the same order as any other
    // sequence, while the stack stays logarithmic for every input.
    if (j - low < high - i) {
      if (low < j) BoundedQuickSort(items, low, j, depthLeft, compare, finish);
      low = i;
    } else {
      if (i < high) BoundedQuickSort(items, i, high, depthLeft, compare, finish);
      high = j;
    }
  }
}

// The same, finishing deep ranges by heap sort.
template <typename Item, typename Compare>
void BoundedQuickSort(std::vector<Item>& items, std::ptrdiff_t low, std::ptrdiff_t high, std::size_t depthLeft,
                      Compare& compare) {
  const auto heapSort = [&items, &compare](std::ptrdiff_t from, std::ptrdiff_t to) {
    HeapSortRange(items, from, to, compare);
  };
  BoundedQuickSort(items, low, high, depthLeft, compare, heapSort);
}

}  // namespace bridge
