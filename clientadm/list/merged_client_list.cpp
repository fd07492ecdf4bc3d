#include "merged_client_list.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kyto::clientadm {

std::string_view MergedClientList::copy(const char* text) {
  if (text == nullptr || *text == '\0') return {};
  const std::size_t length = std::strlen(text);
  auto* room = static_cast<char*>(texts_.allocate(length, 1));
  std::memcpy(room, text, length);
  return {room, length};
}

void MergedClientList::refresh(ClientRecord& record, const ClientReport& client) {
  if (client.ip != nullptr && *client.ip != '\0') record.ip = copy(client.ip);
  if (client.deviceName != nullptr && *client.deviceName != '\0')
    record.deviceName = copy(client.deviceName);
}

ClientRecord& MergedClientList::create(std::int32_t comeFrom, const ClientReport& client) {
  ClientRecord& record = records_.emplace_back();
  for (const RecordField& field : kRecordFields)
    if (field.text != nullptr) record.*field.text = copy(client.*field.reported);
  record.profileId = client.profileId;
  record.comeFrom = comeFrom;
  record.deny = client.deny;
  return record;
}

int MergedClientList::merge(std::int32_t comeFrom, const ClientReport& client) noexcept {
  try {
    if (client.mac != nullptr && *client.mac != '\0') {
      const auto found = byMac_.find(client.mac);
      if (found != byMac_.end()) {
        refresh(*found->second, client);
        return 0;
      }
      ClientRecord& record = create(comeFrom, client);
      byMac_.emplace(record.mac, &record);
      return 0;
    }
    if (client.mac != nullptr && !withoutMac_.empty()) {
      // The empty MAC text is looked for as any other: the first record that has it.
      refresh(*withoutMac_.begin()->second, client);
      return 0;
    }
    if (withoutMac_.contains(comeFrom)) return 0;  // one source reported it twice
    withoutMac_.emplace(comeFrom, &create(comeFrom, client));
    return 0;
  } catch (...) {
    return 1;
  }
}

const ClientRecord* MergedClientList::finish() noexcept {
  try {
    std::vector<ClientRecord*> order;
    order.reserve(records_.size());
    for (ClientRecord& record : records_) order.push_back(&record);
    std::sort(order.begin(), order.end(), [](const ClientRecord* a, const ClientRecord* b) {
      return a->comeFrom != b->comeFrom ? a->comeFrom < b->comeFrom : a->mac < b->mac;
    });
    for (std::size_t i = 0; i < order.size(); ++i)
      order[i]->next = i + 1 < order.size() ? order[i + 1] : nullptr;
    return order.empty() ? nullptr : order.front();
  } catch (...) {
    // Without room to sort, the records go out in the order reported.
    for (std::size_t i = 0; i < records_.size(); ++i)
      records_[i].next = i + 1 < records_.size() ? &records_[i + 1] : nullptr;
    return records_.empty() ? nullptr : &records_.front();
  }
}

}  // namespace kyto::clientadm
