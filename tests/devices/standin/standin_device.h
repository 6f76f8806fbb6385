/*
 * Stand-in device libraries for the monitor tests: libkelvaro.so and
 * libruvasko.so with the same exports as the real ones, reading their
 * devices from files instead of USB, so a test (or the program started by a
 * test) is given exactly the readings it wants.
 *
 * ORVANA_STANDIN_DIR names a folder, read at every call. Each file in it
 * whose name starts with "meter" (libkelvaro) or "counter" (libruvasko) is
 * one device; FindUSB lists them in name order and returns the file's path.
 * A meter file holds "temperature humidity" (for example "25.5 40"), a
 * counter file the cumulative count ("1000"); a file holding "fail" (or
 * anything that is not a number) makes the reading fail. Removing the file
 * unplugs the device; writing it under another name plugs it back under a
 * new device path.
 *
 * Besides the library's own exports both stand-ins export the counters
 * below. All functions are thread-safe.
 */
#ifndef ORVANA_TESTS_STANDIN_DEVICE_H
#define ORVANA_TESTS_STANDIN_DEVICE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Strings returned by FindUSB or GetVers and not yet given to FreeString. */
int standin_live_strings(void);
/* Calls of FindUSB, and of the reading (GetTempHumid[True] / GetCountTime). */
int standin_find_calls(void);
int standin_read_calls(void);

#ifdef __cplusplus
}
#endif

#endif /* ORVANA_TESTS_STANDIN_DEVICE_H */
