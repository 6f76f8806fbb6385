#include "kelvaro/kelvaro.h"

#include <mutex>
#include <string>

#include "hid/hid_exchange.h"
#include "hid/system_string.h"

namespace {

using orvana::hid::Report;

constexpr std::uint16_t kMeterProductId = 0x1001;
// Humidity and temperature sit in reply bytes 1-4.
constexpr std::size_t kMeasurementBytes = 4;

struct Measurement {
    long double temperature = 0;
    long double humidityLinear = 0;
    long double humidityTrue = 0;
};

int measure(const char* path, Measurement& result) {
    if (path == nullptr) {
        return -1;
    }
    Report reply{};
    const Report request{};
    const std::lock_guard lock(orvana::hid::transportLock());
    const int status =
        orvana::hid::exchange(orvana::hid::hidapiBus(), path, request, reply, kMeasurementBytes);
    if (status != 0) {
        return status;
    }
    const long double hraw = reply[1] * 256 + reply[2];
    const long double traw = reply[3] * 256 + reply[4];
    result.temperature = 0.01L * traw - 40;
    result.humidityLinear = -2.8e-6L * hraw * hraw + 0.0405L * hraw - 4;
    result.humidityTrue =
        (result.temperature - 25) * (0.01L + 0.00008L * hraw) + result.humidityLinear;
    return 0;
}

int readInto(const char* path, double* temperature, double* humidity, bool compensated) {
    Measurement m;
    int status = -1;
    if (temperature != nullptr && humidity != nullptr) {
        try {
            status = measure(path, m);
        } catch (...) {
            status = -1;
        }
    }
    if (status != 0) {
        if (temperature != nullptr) {
            *temperature = 0.0;
        }
        if (humidity != nullptr) {
            *humidity = 0.0;
        }
        return status;
    }
    *temperature = static_cast<double>(m.temperature);
    *humidity = static_cast<double>(compensated ? m.humidityTrue : m.humidityLinear);
    return 0;
}

int sendFeature(const char* path, std::uint8_t command, std::uint8_t value) {
    if (path == nullptr) {
        return -1;
    }
    try {
        Report report{};
        report[1] = command;
        report[2] = value;
        const std::lock_guard lock(orvana::hid::transportLock());
        return orvana::hid::setFeature(orvana::hid::hidapiBus(), path, report);
    } catch (...) {
        return -1;
    }
}

}  // namespace

extern "C" {

char* FindUSB(int* index) {
    return orvana::hid::findUsbExport(index, kMeterProductId);
}

char* GetVers(const char* path) {
    return orvana::hid::getVersExport(path);
}

int GetTempHumid(const char* path, double* temperature, double* humidity) {
    return readInto(path, temperature, humidity, false);
}

int GetTempHumidTrue(const char* path, double* temperature, double* humidity) {
    return readInto(path, temperature, humidity, true);
}

int ControlIO(const char* path, int output, int on) {
    if (output != 0 && output != 1) {
        return -1;
    }
    return sendFeature(path, output == 0 ? 3 : 4, on != 0 ? 1 : 0);
}

int SetHeater(const char* path, int on) {
    return sendFeature(path, 1, on != 0 ? 4 : 0);
}

void FreeString(char* text) {
    orvana::hid::freeSystemString(text);
}

}  // extern "C"
