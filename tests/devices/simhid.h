/*
 * Simulated hidapi for the device-library tests.
 *
 * libhidapi-hidraw.so.0 built from simhid.cpp exports the hidapi functions the
 * HID transport uses and answers like the meter and the counter. A test binary
 * links it directly (so the dlopen'd libkelvaro.so / libruvasko.so bind to it
 * by soname) and steers it with the functions below; orvana-probe gets it
 * through LD_LIBRARY_PATH and reads SIMHID_DEVICES instead:
 *   SIMHID_DEVICES="1774:1001:/dev/sim/meter0,1774:1002:/dev/sim/counter0"
 * (hexadecimal vendor:product:path; a trailing ":noreply" makes that device
 * never answer).
 *
 * Model. hid_enumerate lists the devices in the order they were added. A
 * device answers one input report per output report written; a meter answers
 * with its reply report (Traw 6500, Hraw 1000 by default), a counter with its
 * count and time (10000 and 60 by default) and zeroes the count on a clear
 * request (byte 1 = 0xAA). The version feature report is 01/02/03. With no
 * reply pending, hid_read_timeout records the time-out it was given and
 * returns 0 at once: no test waits.
 *
 * Reports in this API are 8 bytes with the report ID (0) in byte 0, as the
 * device's tables number them. All functions are thread-safe.
 */
#ifndef ORVANA_TESTS_SIMHID_H
#define ORVANA_TESTS_SIMHID_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets every device, handle and counter. */
void simhid_reset(void);

/* Adds a device at the end of the enumeration; returns its id (0, 1, ...).
 * path == NULL lists the device with a NULL path, which hidapi may give for a
 * device it cannot name; such a device is never opened. */
int simhid_add_device(unsigned short vendor_id, unsigned short product_id, const char* path);

/* The input report answered to each request (8 bytes, byte 0 = report ID). */
void simhid_set_reply(int id, const unsigned char* report8);

/* Payload bytes delivered per reply (after the ID byte); 7 by default. */
void simhid_set_reply_length(int id, int bytes);

/* on != 0: the device never answers. */
void simhid_set_no_reply(int id, int on);

/* on == 0: the device is unplugged: not enumerated and not opened. A device
 * plugged back under a new path is a new device (simhid_add_device). */
void simhid_set_present(int id, int on);

/* on != 0: hid_open_path fails for this device. */
void simhid_set_open_fails(int id, int on);

/* hid_write returns `result` (bytes written; -1 = refused, with errno = err,
 * which may be 0). */
void simhid_set_write_result(int id, int result, int err);

/* err != 0: hid_read_timeout fails with -1 and errno = err. */
void simhid_set_read_error(int id, int err);

/* The feature report answered to hid_get_feature_report (8 bytes). */
void simhid_set_feature_reply(int id, const unsigned char* report8);

/* Feature request failures: 0 = none, > 0 = fail with -1 and that errno,
 * < 0 = fail with -1 and errno 0. */
void simhid_set_feature_errors(int id, int send_err, int get_err);

/* Copies the last output report written (as given to hid_write); returns its length. */
size_t simhid_last_written(int id, unsigned char* buffer, size_t capacity);

/* Copies the last feature report sent; returns its length. */
size_t simhid_last_feature(int id, unsigned char* buffer, size_t capacity);

/* Time-out of the last hid_read_timeout call on the device; -2 if none. */
int simhid_last_timeout(int id);

struct simhid_counters {
    int opens;        /* successful hid_open_path calls */
    int failed_opens; /* hid_open_path calls that returned NULL */
    int closes;       /* hid_close calls on open handles */
    int bad_closes;   /* hid_close on an unknown or already closed handle */
    int open_handles; /* handles open now */
    int writes;
    int reads;
    int feature_sends;
    int feature_gets;
    int enumerations_live; /* hid_enumerate results not yet freed */
    int inits;
    int exits;
};

void simhid_get_counters(struct simhid_counters* out);

#ifdef __cplusplus
}
#endif

#endif /* ORVANA_TESTS_SIMHID_H */
