#include "mac_index.h"

#include <functional>

#include "merged_client_list.h"

namespace kyto::clientadm {

namespace {

constexpr std::size_t kInitialSlots = 1024;

}  // namespace

MacIndex::Hash MacIndex::hashOf(std::string_view mac) noexcept {
  return static_cast<Hash>(std::hash<std::string_view>{}(mac));
}

void MacIndex::place(Slots& slots, Slot slot) noexcept {
  const std::size_t mask = slots.size() - 1;
  std::size_t at = slot.hash & mask;
  while (slots[at].record != nullptr) at = (at + 1) & mask;
  slots[at] = slot;
}

void MacIndex::reserveMore(std::size_t records) {
  std::size_t size = slots_.empty() ? kInitialSlots : slots_.size();
  while (size < 2 * (used_ + records)) size *= 2;
  if (size == slots_.size()) return;
  // Built aside and swapped in, so a failed allocation changes nothing.
  Slots grown(size);
  for (const Slot& slot : slots_) {
    if (slot.record != nullptr) place(grown, slot);
  }
  slots_.swap(grown);
}

void MacIndex::prefetch(Hash hash) const noexcept {
  if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
}

ClientRecord* MacIndex::findOrInsert(Hash hash, ClientRecord* record) noexcept {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = hash & mask;
  for (; slots_[at].record != nullptr; at = (at + 1) & mask) {
    if (slots_[at].hash == hash && slots_[at].record->mac == record->mac) return slots_[at].record;
  }
  slots_[at] = Slot{hash, record};
  ++used_;
  return record;
}

}  // namespace kyto::clientadm
