/*
 * libkytoutil: the client settings of the Kyto media server.
 *
 * The library owns the client access list (clients.xml), which it reads, adds to and deletes
 * from under an exclusive flock on clients.lock, and reads the client type catalogue
 * (clientTypes.xml). It also converts MAC address text to bytes and maps browsing profile ids
 * to profile file paths.
 *
 * Ownership: every pointer handed to a callback is borrowed for that call only. Strings that the
 * library returns are heap copies that the caller frees with free(). The library never frees
 * its callers' arguments. A callback of Kyto_Util_ReadClientSettings runs while the lock is
 * held and must not call Kyto_Util_ReadClientSettings, Kyto_Util_AddClientToXMLFile or
 * Kyto_Util_DelClientFromXMLFile: it would wait forever on that lock.
 *
 * Results are 0 for success and 1 for failure, or a null pointer.
 *
 * ABI: every export is a plain C symbol with C linkage, callable from C, except FlagStrToUint
 * and FlagStrToInt. Those two are C++ functions exported under their mangled names
 * (_Z13FlagStrToUintP12uint_name_stPKc, _Z12FlagStrToIntP11int_name_stPKc), because the
 * programs already built against the library call them by those names. They are declared only
 * for C++ callers; a C program can't call them, and their names depend on the C++ ABI of the
 * compiler (the Itanium ABI of GCC and Clang). The exported set is fixed by libkytoutil.map.
 */
#ifndef KYTOUTIL_KYTOUTIL_H
#define KYTOUTIL_KYTOUTIL_H

#include <stdint.h>

#if defined(KYTOUTIL_BUILDING)
#define KYTOUTIL_API __attribute__((visibility("default")))
#else
#define KYTOUTIL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One record of a flag name table: a name and the bits it stands for. */
typedef struct uint_name_st {
  uint32_t value;
  const char* name;
} uint_name_st;

/* One record of an enumeration name table: a name and its value. */
typedef struct int_name_st {
  int32_t value;
  const char* name;
} int_name_st;

/*
 * Called once per valid entry of the client access list, in list order. Return 0 to go on,
 * non-zero to stop the walk. mac points to 6 bytes, first field first. ip, device, user and
 * clientType may be null. profileId is 0 to 5 or -1; deny is 0 or 1.
 */
typedef int (*ClientSettingsCallback)(void* context, const unsigned char* mac, const char* ip,
                                      const char* device, int profileId, const char* user,
                                      const char* clientType, int deny);

/*
 * Called once per entry of the client type catalogue, in catalogue order. Return 0 to go on,
 * non-zero to stop the walk. Every text may be null. Note that transcode comes last.
 */
typedef int (*ClientTypeSettingsCallback)(void* context, const char* shortName,
                                          const char* fullName, unsigned int flag,
                                          unsigned int sflag, const char* pattern, int matchType,
                                          int compareType, long bflag, const char* transcode);

/* Name tables, each ended by a record with value 0 and a null name. */
KYTOUTIL_API extern uint_name_st s_flagName[];       /* FLAG bits */
KYTOUTIL_API extern uint_name_st s_sFlagName[];      /* SFLAG bits */
KYTOUTIL_API extern int_name_st s_matchTypeName[];   /* PATTERN_TYPE values */
KYTOUTIL_API extern int_name_st s_compareTypeName[]; /* COMPARE_TYPE values */

/*
 * Walks clients.xml under the lock and calls callback(context, ...) for each entry with a valid
 * MAC. Returns 0 when the file was read (whether or not the callback stopped the walk), 1 when
 * callback is null, the lock can't be taken, or the file can't be read, doesn't parse or has no
 * UPNP_CLIENTS element. After a 1 for a list that could not be read, errno tells why (ENOENT
 * when there is no list yet, EINVAL for a file that is not a regular one, EFBIG for one larger
 * than the 64 MiB the library reads, ENOTSUP for an encoding it can't convert); after a 1 for a
 * file that is no list, or for a lock that could not be taken (whose message says why), it is 0.
 */
KYTOUTIL_API int Kyto_Util_ReadClientSettings(ClientSettingsCallback callback, void* context);

/*
 * Adds a client, replacing every entry of the same address: two valid MAC texts are compared by
 * their 6 bytes, any other text only with the same text. ip, user and clientType may be null or
 * empty for none; profileId and deny are negative for none. Returns 0 when the list was written,
 * 1 when the lock can't be taken, a text can't be stored in XML or is over 4096 bytes, the list
 * can't be read or parsed for lack of memory, or the write fails.
 */
KYTOUTIL_API int Kyto_Util_AddClientToXMLFile(const char* mac, const char* ip, int profileId,
                                              const char* user, const char* clientType, int deny);

/*
 * Removes every entry of this address, compared as by Kyto_Util_AddClientToXMLFile. Returns 0
 * when at least one entry was removed and the list written, 1 otherwise (no lock, unreadable or
 * malformed list, no such entry, write failure).
 */
KYTOUTIL_API int Kyto_Util_DelClientFromXMLFile(const char* mac);

/*
 * Walks clientTypes.xml and calls callback(context, ...) for each CLIENTTYPE with its flags
 * and enumerations converted to numbers. Returns 0 when the catalogue was read, 1 when callback
 * is null or the file can't be read, doesn't parse or has no UPNP_CLIENTTYPES element.
 */
KYTOUTIL_API int Kyto_Util_ReadClientTypeSettings(ClientTypeSettingsCallback callback,
                                                  void* context);

/*
 * Converts MAC text ("00:11:22:33:44:55", either letter case) into 6 bytes. Returns 0 when the
 * text is valid and all 6 bytes were written, 1 otherwise.
 */
KYTOUTIL_API int convertMacStrToMacBinStr(const char* macText, char* macBytes);

/* Returns a heap copy of a configuration file path (free() it), or null when memory runs out. */
KYTOUTIL_API char* GetUPnPConfig(const char* path);

/*
 * Returns a 1024-byte heap buffer (free() it) holding the path of a browsing profile's file,
 * profile 0 to 5; null for any other id or when memory runs out.
 */
KYTOUTIL_API char* Kyto_Util_GetProfileName(int profileId);

#ifdef __cplusplus
} /* extern "C" */

/* C++ linkage on purpose: see "ABI" at the top. */

/* Converts names separated by '|', ',' or ' ' to the OR of their table values (case-insensitive).
 */
KYTOUTIL_API unsigned int FlagStrToUint(uint_name_st* table, const char* text);

/* Converts one whole name to its table value (case-insensitive), 0 when no name equals it. */
KYTOUTIL_API int FlagStrToInt(int_name_st* table, const char* text);
#endif

#endif /* KYTOUTIL_KYTOUTIL_H */
