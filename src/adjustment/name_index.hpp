// Values by point name, for the readers and the book's adjustment alike:
// open addressing in a table that doubles before it is half full, no node per
// name. The names are views; their text must outlive the index.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace traverse {

template <typename Value>
class NameIndex {
 public:
  // Room for `names` without growing.
  explicit NameIndex(std::size_t names = 0) {
    if (names > 0) slots_.resize(std::bit_ceil(2 * names + 16));
  }

  // The value of `name`, or null where it has none.
  const Value* Find(std::string_view name) const {
    if (slots_.empty()) return nullptr;
    const Slot& slot = slots_[Place(name, std::hash<std::string_view>{}(name))];
    return slot.name.data() != nullptr ? &slot.value : nullptr;
  }

  // The hash a name is filed by, for the calls below that take it, so that
  // a name looked up in more than one index is hashed once.
  static std::size_t Hash(std::string_view name) { return std::hash<std::string_view>{}(name); }

  // Find, with the name's Hash.
  const Value* Find(std::string_view name, std::size_t hash) const {
    if (slots_.empty()) return nullptr;
    const Slot& slot = slots_[Place(name, hash)];
    return slot.name.data() != nullptr ? &slot.value : nullptr;
  }

  // The value of `name`, given `value` first where it has none: one probe
  // for a look-up and an insertion. The pointer holds until the next
  // insertion.
  Value* Insert(std::string_view name, std::size_t hash, const Value& value, bool& inserted) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    Slot& slot = slots_[Place(name, hash)];
    inserted = slot.name.data() == nullptr;
    if (inserted) {
      slot.name = name;
      slot.hash = hash;
      slot.value = value;
      ++count_;
    }
    return &slot.value;
  }

  // Gives `name` the value, in place of one it had.
  void Set(std::string_view name, const Value& value) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    const std::size_t hash = std::hash<std::string_view>{}(name);
    Slot& slot = slots_[Place(name, hash)];
    if (slot.name.data() == nullptr) {
      slot.name = name;
      slot.hash = hash;
      ++count_;
    }
    slot.value = value;
  }

 private:
  struct Slot {
    std::string_view name;  // none: an empty slot
    std::size_t hash = 0;
    Value value{};
  };

  // The name's slot, or the empty one where it would go.
  std::size_t Place(std::string_view name, std::size_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].name.data() != nullptr && (slots_[i].hash != hash || slots_[i].name != name))
      i = (i + 1) & mask;
    return i;
  }

  void Grow() {
    std::vector<Slot> old(std::max<std::size_t>(1024, 2 * slots_.size()));
    old.swap(slots_);
    for (const Slot& slot : old)
      if (slot.name.data() != nullptr) slots_[Place(slot.name, slot.hash)] = slot;
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

}  // namespace traverse
