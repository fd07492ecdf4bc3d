#include "mac_index.h"

#include <functional>

#include "merged_client_list.h"

namespace kyto::clientadm {

namespace {

constexpr std::size_t kInitialSlots = 1024;

}  // namespace

std::size_t MacIndex::hashOf(std::string_view mac) noexcept {
  return std::hash<std::string_view>{}(mac);
}

void MacIndex::place(std::vector<Slot>& slots, Slot slot) noexcept {
  const std::size_t mask = slots.size() - 1;
  std::size_t at = slot.hash & mask;
  while (slots[at].record != nullptr) at = (at + 1) & mask;
  slots[at] = slot;
}

ClientRecord* MacIndex::find(std::string_view mac) const noexcept {
  if (slots_.empty()) return nullptr;
  const std::size_t hash = hashOf(mac);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask; slots_[at].record != nullptr; at = (at + 1) & mask) {
    if (slots_[at].hash == hash && slots_[at].record->mac == mac) return slots_[at].record;
  }
  return nullptr;
}

void MacIndex::reserveOneMore() {
  if (2 * (used_ + 1) <= slots_.size()) return;
  // Built aside and swapped in, so a failed allocation changes nothing.
  std::vector<Slot> grown(slots_.empty() ? kInitialSlots : 2 * slots_.size());
  for (const Slot& slot : slots_) {
    if (slot.record != nullptr) place(grown, slot);
  }
  slots_.swap(grown);
}

void MacIndex::insert(ClientRecord* record) noexcept {
  place(slots_, Slot{hashOf(record->mac), record});
  ++used_;
}

}  // namespace kyto::clientadm
