#include "client_list_text.h"

#include <cstdio>

namespace kyto::test {

namespace {

template <typename Elements>
std::string listFileOf(const Elements& clientElements) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (clientElements.size() == 0) return text + "<UPNP_CLIENTS/>\n";
  text += "<UPNP_CLIENTS>\n";
  for (std::string_view element : clientElements) text.append("  ").append(element) += "\n";
  return text + "</UPNP_CLIENTS>\n";
}

std::string macOf(int n) {
  char mac[18];
  snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", n >> 8 & 0xff, n & 0xff);
  return mac;
}

}  // namespace

std::string listFile(std::initializer_list<std::string_view> clientElements) {
  return listFileOf(clientElements);
}

std::string listFile(const std::vector<std::string>& clientElements) {
  return listFileOf(clientElements);
}

std::string clientList(int count) {
  std::vector<std::string> elements;
  for (int n = 0; n < count; ++n)
    elements.push_back("<CLIENT MAC=\"" + macOf(n) + "\" USER=\"user " + std::to_string(n) +
                       "\"/>");
  return listFile(elements);
}

std::string clientListing(int count) {
  std::string lines;
  for (int n = 0; n < count; ++n)
    lines += "0|" + macOf(n) + "||||-1|user " + std::to_string(n) + "|0\n";
  return lines;
}

}  // namespace kyto::test
