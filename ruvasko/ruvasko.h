/*
 * libruvasko - the USB Geiger counter (HID, vendor 0x1774, product 0x1002).
 *
 * Load it at run time with dlopen("libruvasko.so") and look the functions up
 * by these plain names with dlsym.
 *
 * System strings. FindUSB and GetVers return a "system string": a byte string
 * made by this library. The returned pointer points at the bytes, which are
 * followed by a NUL byte, so it can be read as a C string; the 4 bytes just
 * before it hold the byte length as a uint32_t in native byte order
 * (ruvasko_string_length reads it). The caller owns every returned string and
 * must release it with this library's FreeString, never with free(). An empty
 * result is an empty system string (length 0), not NULL; NULL comes back only
 * when memory runs out.
 *
 * Devices are named by their hidraw device path (for example "/dev/hidraw4").
 * Every call opens the device itself and closes it before returning; nothing
 * stays open between calls.
 *
 * Threads: one call at a time per process. The library serialises its calls,
 * so an overlapping call waits (an exchange up to about one second) instead of
 * failing, but callers should not rely on overlap. The program calls it from
 * its UI thread only.
 */
#ifndef RUVASKO_RUVASKO_H
#define RUVASKO_RUVASKO_H

#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
/* Windows exports the decorated names through the module-definition file. */
#define RUVASKO_API
#else
#define RUVASKO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Finds the next counter. *index is the first enumeration member to consider
 * (0 for the first counter). On a match, stores the matching member + 1 into
 * *index and returns the device path; when there is no further counter, stores
 * 0 into *index and returns an empty string. index == NULL returns an empty
 * string. A member listed without a device path (NULL or empty) is no
 * counter: the search goes on past it. The device is not opened.
 */
RUVASKO_API char* FindUSB(int* index);

/*
 * Firmware version as "%02d/%02d/%02d" (for example "01/02/03"). Empty string
 * when the device cannot be opened or refuses the version request.
 */
RUVASKO_API char* GetVers(const char* path);

/*
 * Reads the cumulative pulse count (since the counter was cleared or powered
 * up) and the device's time counter (24 bits, the device's own unit).
 * Returns 0 on success; -1 when the device cannot be opened, the write was
 * short, no reply came within 1000 ms or the reply was too short; the negated
 * system error number (errno) when the write was refused. On failure *count
 * and *time are left unchanged. NULL outputs give -1 without a request.
 */
RUVASKO_API int GetCountTime(const char* path, uint32_t* count, uint32_t* time);

/*
 * Clears the pulse count. Results as GetCountTime; the reply is read and
 * discarded.
 */
RUVASKO_API int Clear(const char* path);

/* Releases a string returned by this library. NULL is accepted. */
RUVASKO_API void FreeString(char* text);

/* Byte length of a system string returned by this library (0 for NULL). */
static inline uint32_t ruvasko_string_length(const char* text) {
    uint32_t length = 0;
    if (text != NULL) {
        memcpy(&length, text - sizeof length, sizeof length);
    }
    return length;
}

#ifdef __cplusplus
}
#endif

#endif /* RUVASKO_RUVASKO_H */
