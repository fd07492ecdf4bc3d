// Links against the installed library and calls it; exits 0 when the answers are right.
#include <kytoutil/kytoutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
  char mac[6];
  if (convertMacStrToMacBinStr("00:11:22:33:44:55", mac) != 0 || mac[5] != 0x55) return 1;
  if (FlagStrToUint(s_flagName, "DLNA|NO_RANGE") != 0x08100000u) return 2;
  if (FlagStrToInt(s_matchTypeName, "UserAgent") != 1) return 3;
  char* profile = Kyto_Util_GetProfileName(0);
  if (profile == nullptr || std::strstr(profile, "standard_1.xml") == nullptr) return 4;
  std::free(profile);
  std::puts("consumer ok");
  return 0;
}
