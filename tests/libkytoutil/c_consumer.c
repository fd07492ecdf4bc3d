/* The public header in C, alone, and a C program that links and calls the library. */
#include "kytoutil/kytoutil.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "failed: %s\n", what);
    ++failures;
  }
}

int main(void) {
  char mac[6];
  check(convertMacStrToMacBinStr("0a:1b:2c:3d:4e:5f", mac) == 0 &&
            memcmp(mac, "\x0a\x1b\x2c\x3d\x4e\x5f", 6) == 0,
        "convertMacStrToMacBinStr");
  char* copy = GetUPnPConfig("/x");
  check(copy != NULL && strcmp(copy, "/x") == 0, "GetUPnPConfig");
  free(copy);
  check(strcmp(s_flagName[0].name, "DLNA") == 0 && s_flagName[0].value == 0x00100000u,
        "s_flagName");
  check(s_compareTypeName[1].value == 1, "s_compareTypeName");
  check(Kyto_Util_ReadClientSettings(NULL, NULL) == 1, "Kyto_Util_ReadClientSettings");
  return failures == 0 ? 0 : 1;
}
