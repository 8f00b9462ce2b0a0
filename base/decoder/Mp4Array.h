#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace lumora {

// A growable array of the MP4 writer: SmartPtr items (which keep their
// objects alive), numbers or byte blocks. Reading an index outside the array
// gives the empty item (a null pointer or 0). Letting go of the array (or
// Clear) releases the items from the last to the first.
template <class T>
class Mp4Array {
public:
    Mp4Array() = default;
    Mp4Array(const Mp4Array&) = delete;
    Mp4Array& operator=(const Mp4Array&) = delete;
    virtual ~Mp4Array() { Clear(); }

    int32_t Count() const { return fCount; }
    bool IsEmpty() const { return fCount == 0; }

    // Appends; false only when the array cannot grow any more.
    bool Add(const T& item) { return Insert(item, fCount); }
    bool Add(T&& item) { return Insert(std::move(item), fCount); }

    // Inserts at index when 0 <= index < Count(), else appends.
    template <class U>
    bool Insert(U&& item, int32_t index) {
        if (fCount == std::numeric_limits<int32_t>::max()) return false;
        if (fCount == fMaxCount) {
            // Capacity 2 at first, then twice the old one.
            const int32_t grown = fMaxCount == 0 ? 2
                                  : fMaxCount > std::numeric_limits<int32_t>::max() / 2
                                      ? std::numeric_limits<int32_t>::max()
                                      : fMaxCount * 2;
            fItems.reserve(static_cast<size_t>(grown));
            fMaxCount = grown;
        }
        if (index < 0 || index >= fCount) {
            fItems.push_back(std::forward<U>(item));
        } else {
            fItems.insert(fItems.begin() + index, std::forward<U>(item));
        }
        ++fCount;
        return true;
    }

    const T& operator[](int32_t index) const { return Get(index); }
    const T& Get(int32_t index) const {
        if (index < 0 || index >= fCount) return fEmptyItem;
        return fItems[static_cast<size_t>(index)];
    }
    // Replaces the item at index; an index outside the array changes nothing.
    bool Set(int32_t index, const T& item) {
        if (index < 0 || index >= fCount) return false;
        fItems[static_cast<size_t>(index)] = item;
        return true;
    }
    const T& Last() const { return Get(fCount - 1); }

    // Releases every item, the last first, and frees the storage. An item's
    // release may reach this array again: it is already out of the list.
    void Clear() {
        while (!fItems.empty()) {
            [[maybe_unused]] T last = std::move(fItems.back());
            fItems.pop_back();
            --fCount;
        }
        std::vector<T>().swap(fItems);
        fCount = 0;
        fMaxCount = 0;
    }

    auto begin() const { return fItems.begin(); }
    auto end() const { return fItems.end(); }

private:
    T fEmptyItem{};
    std::vector<T> fItems;
    int32_t fCount = 0;
    int32_t fMaxCount = 0;
};

}  // namespace lumora
