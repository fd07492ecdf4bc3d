/*
 * Media metadata library of the appliance: what is known of a media file's streams.
 *
 * Both queries take the file's directory (ending in '/') and its name, and return 0 on success
 * and non-zero when the file is missing or holds no stream of the kind asked for. Out-parameters
 * that the file does not provide are set to zero (texts to empty). The duration is in whole
 * seconds. Text buffers hold 256 bytes and are always NUL-terminated.
 */
#ifndef KYTO_CORVI_METADATA_H
#define KYTO_CORVI_METADATA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CORVI_TEXT_SIZE 256
#define CORVI_API __attribute__((visibility("default")))

/* Prepares the library; the directory is where the appliance keeps its media tools. */
CORVI_API int Corvi_Init(const char* toolDir);
/* Releases what Corvi_Init and the queries took. */
CORVI_API int Corvi_UnInit(void);

CORVI_API int GetVideoMetadata(const char* dir, const char* file, int32_t* width, int32_t* height,
                               int32_t* bitRate, int32_t* frameRateMilli, int32_t* sampleRate,
                               int32_t* channels, int32_t* bitsPerSample, int32_t* audioStreams,
                               int32_t* durationSeconds, int32_t* videoStreams, char* videoCodec,
                               char* audioCodec, int32_t* year, int32_t* rotation,
                               int32_t* videoProfile, int32_t* videoLevel, int32_t* trackNumber,
                               int32_t* discNumber, int32_t* subtitleStreams, int32_t* hasCoverArt,
                               int32_t* reserved, char containerName[16], char pixelFormat[16],
                               int64_t* fileSize);

/*
 * The audio query shares its storage with the video query: the caller passes the same
 * variables for bitRate, sampleRate, channels, bitsPerSample, audioStreams, durationSeconds,
 * year, trackNumber, discNumber, subtitleStreams and audioCodec.
 */
CORVI_API int GetAudioMetadata(const char* dir, const char* file, int32_t* bitRate,
                               int32_t* sampleRate, int32_t* channels, int32_t* bitsPerSample,
                               int32_t* audioStreams, int32_t* durationSeconds, int32_t* year,
                               int32_t* trackNumber, int32_t* discNumber, int32_t* subtitleStreams,
                               char* audioCodec);

#ifdef __cplusplus
}
#endif

#endif /* KYTO_CORVI_METADATA_H */
