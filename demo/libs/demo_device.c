/*
 * The demo's meter and counter: libkelvaro.so and libruvasko.so with the
 * exports of the real libraries (kelvaro/kelvaro.h, ruvasko/ruvasko.h), whose
 * one device is a file that the demo keeps up to date. DEMO_COUNTER selects
 * the counter.
 *
 * The folder of the device files is named by ORVANA_DEMO_DEVICES, read at
 * every call. The meter is the file "meter", holding "temperature humidity"
 * ("24.5 48.0"); the counter is the file "counter", holding its cumulative
 * count ("12345"). FindUSB finds the device while its file exists; a reading
 * fails (-1) while the file is missing or holds no number, as an unplugged
 * device would. Every call is independent; the functions are thread-safe.
 */
#define _POSIX_C_SOURCE 200809L

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifdef DEMO_COUNTER
#include "ruvasko/ruvasko.h"
#define DEVICE_API RUVASKO_API
static const char kDeviceFile[] = "counter";
#else
#include "kelvaro/kelvaro.h"
#define DEVICE_API KELVARO_API
static const char kDeviceFile[] = "meter";
#endif

/* A system string: 4 bytes of length, the bytes, a NUL. */
static char* systemString(const char* text) {
    const uint32_t n = (uint32_t)strlen(text);
    char* block = malloc(sizeof n + n + 1);
    if (block == NULL) {
        return NULL;
    }
    memcpy(block, &n, sizeof n);
    memcpy(block + sizeof n, text, n + 1);
    return block + sizeof n;
}

DEVICE_API void FreeString(char* text) {
    if (text != NULL) {
        free(text - sizeof(uint32_t));
    }
}

/* The device file's path (malloc'ed), or NULL without a device folder. */
static char* devicePath(void) {
    const char* dir = getenv("ORVANA_DEMO_DEVICES");
    if (dir == NULL || *dir == '\0') {
        return NULL;
    }
    char* path = malloc(strlen(dir) + sizeof kDeviceFile + 1);
    if (path != NULL) {
        strcpy(path, dir);
        strcat(path, "/");
        strcat(path, kDeviceFile);
    }
    return path;
}

/* The file's first line into buffer; 0 when it cannot be read. */
static int readDevice(const char* path, char* buffer, size_t size) {
    FILE* f = path != NULL ? fopen(path, "r") : NULL;
    if (f == NULL) {
        return 0;
    }
    const int ok = fgets(buffer, (int)size, f) != NULL;
    fclose(f);
    return ok;
}

DEVICE_API char* FindUSB(int* index) {
    char* path = devicePath();
    char text[64];
    const int present = index != NULL && *index == 0 && readDevice(path, text, sizeof text);
    char* result = systemString(present ? path : "");
    if (index != NULL) {
        *index = present ? 1 : 0;
    }
    free(path);
    return result;
}

DEVICE_API char* GetVers(const char* path) {
    char text[64];
    return systemString(readDevice(path, text, sizeof text) ? "01/00/00" : "");
}

#ifdef DEMO_COUNTER

DEVICE_API int GetCountTime(const char* path, uint32_t* count, uint32_t* deviceTime) {
    char text[64];
    if (count == NULL || deviceTime == NULL || !readDevice(path, text, sizeof text)) {
        return -1;
    }
    char* end = NULL;
    const unsigned long long v = strtoull(text, &end, 10);
    if (end == text || v > UINT32_MAX) {
        return -1;
    }
    *count = (uint32_t)v;
    /* The device's own time counter: seconds, 24 bits. */
    *deviceTime = (uint32_t)((unsigned long long)time(NULL) & 0xFFFFFFu);
    return 0;
}

DEVICE_API int Clear(const char* path) {
    char text[64];
    if (!readDevice(path, text, sizeof text)) {
        return -1;
    }
    FILE* f = fopen(path, "w");
    if (f == NULL) {
        return -1;
    }
    const int ok = fputs("0\n", f) >= 0;
    return fclose(f) == 0 && ok ? 0 : -1;
}

#else

static int measure(const char* path, double* temperature, double* humidity) {
    char text[64];
    double t = 0.0, h = 0.0;
    const int ok = readDevice(path, text, sizeof text) && sscanf(text, "%lf %lf", &t, &h) == 2;
    if (temperature != NULL) {
        *temperature = ok ? t : 0.0;
    }
    if (humidity != NULL) {
        *humidity = ok ? h : 0.0;
    }
    return ok ? 0 : -1;
}

DEVICE_API int GetTempHumid(const char* path, double* temperature, double* humidity) {
    return measure(path, temperature, humidity);
}

DEVICE_API int GetTempHumidTrue(const char* path, double* temperature, double* humidity) {
    return measure(path, temperature, humidity);
}

DEVICE_API int ControlIO(const char* path, int output, int on) {
    (void)on;
    char text[64];
    if (output != 0 && output != 1) {
        return -1;
    }
    return readDevice(path, text, sizeof text) ? 0 : -1;
}

DEVICE_API int SetHeater(const char* path, int on) {
    (void)on;
    char text[64];
    return readDevice(path, text, sizeof text) ? 0 : -1;
}

#endif
