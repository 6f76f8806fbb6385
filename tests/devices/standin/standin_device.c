/* One source for both stand-ins: STANDIN_COUNTER selects libruvasko. */
#define _POSIX_C_SOURCE 200809L
#include "standin_device.h"

#include <dirent.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define API __attribute__((visibility("default")))

#ifdef STANDIN_COUNTER
static const char kPrefix[] = "counter";
#else
static const char kPrefix[] = "meter";
#endif

static atomic_int liveStrings;
static atomic_int findCalls;
static atomic_int readCalls;
static atomic_int hanging;

API int standin_live_strings(void) { return atomic_load(&liveStrings); }
API int standin_find_calls(void) { return atomic_load(&findCalls); }
API int standin_read_calls(void) { return atomic_load(&readCalls); }
/* Reads waiting now in a device that does not answer. */
API int standin_hanging_reads(void) { return atomic_load(&hanging); }

/* A system string: 4 bytes of length, the bytes, a NUL. */
static char* systemString(const char* text) {
    const uint32_t n = (uint32_t)strlen(text);
    char* block = malloc(sizeof n + n + 1);
    if (block == NULL) {
        return NULL;
    }
    memcpy(block, &n, sizeof n);
    memcpy(block + sizeof n, text, n + 1);
    atomic_fetch_add(&liveStrings, 1);
    return block + sizeof n;
}

API void FreeString(char* text) {
    if (text != NULL) {
        atomic_fetch_sub(&liveStrings, 1);
        free(text - sizeof(uint32_t));
    }
}

static int byName(const void* a, const void* b) {
    return strcmp(*(char* const*)a, *(char* const*)b);
}

API char* FindUSB(int* index) {
    atomic_fetch_add(&findCalls, 1);
    const char* dir = getenv("ORVANA_STANDIN_DIR");
    char* names[64];
    int count = 0;
    DIR* d = (index != NULL && dir != NULL) ? opendir(dir) : NULL;
    if (d != NULL) {
        struct dirent* e;
        while ((e = readdir(d)) != NULL && count < 64) {
            if (strncmp(e->d_name, kPrefix, sizeof kPrefix - 1) == 0) {
                names[count++] = strdup(e->d_name);
            }
        }
        closedir(d);
    }
    qsort(names, (size_t)count, sizeof names[0], byName);
    char* result = NULL;
    for (int m = 0; m < count; ++m) {
        if (result == NULL && m >= *index) {
            char* path = malloc(strlen(dir) + strlen(names[m]) + 2);
            if (path != NULL) {
                strcpy(path, dir);
                strcat(path, "/");
                strcat(path, names[m]);
                result = systemString(path);
                free(path);
            }
            *index = m + 1;
        }
        free(names[m]);
    }
    if (result == NULL) {
        if (index != NULL) {
            *index = 0;
        }
        result = systemString("");
    }
    return result;
}

/* The device file's content; 0 when it cannot be read. */
static int readOnce(const char* path, char* buffer, size_t size) {
    FILE* f = path != NULL ? fopen(path, "r") : NULL;
    if (f == NULL) {
        return 0;
    }
    const size_t n = fread(buffer, 1, size - 1, f);
    fclose(f);
    buffer[n] = '\0';
    return 1;
}

/* As readOnce; a device whose file says "hang" does not answer until the
 * file says something else (at most 20 s, so a forgotten one cannot hold a
 * test for ever). */
static int readDevice(const char* path, char* buffer, size_t size) {
    if (!readOnce(path, buffer, size)) {
        return 0;
    }
    if (strncmp(buffer, "hang", 4) != 0) {
        return 1;
    }
    atomic_fetch_add(&hanging, 1);
    const struct timespec nap = {0, 5 * 1000 * 1000};
    int ok = 0;
    for (int i = 0; i < 4000; ++i) {
        nanosleep(&nap, NULL);
        ok = readOnce(path, buffer, size);
        if (!ok || strncmp(buffer, "hang", 4) != 0) {
            break;
        }
    }
    atomic_fetch_sub(&hanging, 1);
    return ok && strncmp(buffer, "hang", 4) != 0;
}

API char* GetVers(const char* path) {
    char text[256];
    return systemString(readDevice(path, text, sizeof text) ? "01/02/03" : "");
}

#ifdef STANDIN_COUNTER

API int GetCountTime(const char* path, uint32_t* count, uint32_t* time) {
    atomic_fetch_add(&readCalls, 1);
    char text[256];
    if (count == NULL || time == NULL || !readDevice(path, text, sizeof text)) {
        return -1;
    }
    char* end = NULL;
    const unsigned long v = strtoul(text, &end, 10);
    if (end == text) {
        return -1;
    }
    *count = (uint32_t)v;
    *time = 60;
    return 0;
}

API int Clear(const char* path) {
    char text[256];
    return readDevice(path, text, sizeof text) ? 0 : -1;
}

#else

static int measure(const char* path, double* temperature, double* humidity) {
    atomic_fetch_add(&readCalls, 1);
    char text[256];
    double t = 0.0, h = 0.0;
    int ok = readDevice(path, text, sizeof text) && sscanf(text, "%lf %lf", &t, &h) == 2;
    if (temperature != NULL) {
        *temperature = ok ? t : 0.0;
    }
    if (humidity != NULL) {
        *humidity = ok ? h : 0.0;
    }
    return ok ? 0 : -1;
}

API int GetTempHumid(const char* path, double* temperature, double* humidity) {
    return measure(path, temperature, humidity);
}

API int GetTempHumidTrue(const char* path, double* temperature, double* humidity) {
    return measure(path, temperature, humidity);
}

API int ControlIO(const char* path, int output, int on) {
    (void)on;
    char text[256];
    if (output != 0 && output != 1) {
        return -1;
    }
    return readDevice(path, text, sizeof text) ? 0 : -1;
}

API int SetHeater(const char* path, int on) {
    (void)on;
    char text[256];
    return readDevice(path, text, sizeof text) ? 0 : -1;
}

#endif
