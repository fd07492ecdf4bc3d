// Stored client lists as the library writes them, and the listing clientadm makes of them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kyto::test {

// A clients.xml holding these CLIENT elements.
std::string listFile(std::initializer_list<std::string_view> clientElements);
std::string listFile(const std::vector<std::string>& clientElements);

// A stored list of count clients 02:00:00:00:HH:LL with user "user <n>" (count > 0), and the
// lines clientadm list prints for it.
std::string clientList(int count);
std::string clientListing(int count);

}  // namespace kyto::test
