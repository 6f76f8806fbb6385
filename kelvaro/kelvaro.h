/*
 * libkelvaro - the USB temperature/humidity meter (HID, vendor 0x1774,
 * product 0x1001).
 *
 * Load it at run time with dlopen("libkelvaro.so") and look the functions up
 * by these plain names with dlsym.
 *
 * System strings. FindUSB and GetVers return a "system string": a byte string
 * made by this library. The returned pointer points at the bytes, which are
 * followed by a NUL byte, so it can be read as a C string; the 4 bytes just
 * before it hold the byte length as a uint32_t in native byte order
 * (kelvaro_string_length reads it). The caller owns every returned string and
 * must release it with this library's FreeString, never with free(). An empty
 * result is an empty system string (length 0), not NULL; NULL comes back only
 * when memory runs out.
 *
 * Devices are named by their hidraw device path (for example "/dev/hidraw3").
 * Every call opens the device itself and closes it before returning; nothing
 * stays open between calls.
 *
 * Threads: one call at a time per process. The library serialises its calls,
 * so an overlapping call waits (a measurement up to about one second) instead
 * of failing, but callers should not rely on overlap. The program calls it from
 * its UI thread only.
 */
#ifndef KELVARO_KELVARO_H
#define KELVARO_KELVARO_H

#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
/* Windows exports the decorated names through the module-definition file. */
#define KELVARO_API
#else
#define KELVARO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Finds the next meter. *index is the first enumeration member to consider
 * (0 for the first meter). On a match, stores the matching member + 1 into
 * *index, so calling again with it continues after that meter, and returns the
 * device path. When there is no further meter, stores 0 into *index and
 * returns an empty string. index == NULL returns an empty string. A member
 * listed without a device path (NULL or empty) is no meter: the search goes
 * on past it. The device is not opened.
 */
KELVARO_API char* FindUSB(int* index);

/*
 * Firmware version as "%02d/%02d/%02d" (for example "01/02/03"). Empty string
 * when the device cannot be opened or refuses the version request.
 */
KELVARO_API char* GetVers(const char* path);

/*
 * One measurement: temperature in degrees Celsius and linear relative humidity
 * in percent. Returns 0 on success; -1 when the device cannot be opened, the
 * write was short, no reply came within 1000 ms or the reply was too short;
 * the negated system error number (errno) when the write was refused. On any
 * failure both outputs are set to 0.0 (those that are not NULL).
 */
KELVARO_API int GetTempHumid(const char* path, double* temperature, double* humidity);

/*
 * As GetTempHumid, with the humidity compensated for the measured temperature.
 * This is the reading the program uses.
 */
KELVARO_API int GetTempHumidTrue(const char* path, double* temperature, double* humidity);

/*
 * Switches output 0 or 1 on (on != 0) or off. Returns 0 on success, -1 for an
 * output other than 0 or 1 (checked before the device is opened) or when the
 * device cannot be opened, the negated system error number (errno) when the
 * meter refuses the request.
 */
KELVARO_API int ControlIO(const char* path, int output, int on);

/*
 * Switches the heater on (on != 0) or off. Returns 0 on success, -1 when the
 * device cannot be opened, the negated system error number when the meter
 * refuses the request.
 */
KELVARO_API int SetHeater(const char* path, int on);

/* Releases a string returned by this library. NULL is accepted. */
KELVARO_API void FreeString(char* text);

/* Byte length of a system string returned by this library (0 for NULL). */
static inline uint32_t kelvaro_string_length(const char* text) {
    uint32_t length = 0;
    if (text != NULL) {
        memcpy(&length, text - sizeof length, sizeof length);
    }
    return length;
}

#ifdef __cplusplus
}
#endif

#endif /* KELVARO_KELVARO_H */
