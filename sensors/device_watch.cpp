#include "sensors/device_watch.h"

namespace orvana::sensors {

DeviceWatchTexts DeviceWatchTexts::forDevice(const std::string& name) {
    DeviceWatchTexts t;
    t.lossLine = ">>>" + name + "が応答しません<<<";
    t.lossSubject = name + "応答なし";
    t.lossBody = "\r\n" + name + "から続けて測定値を読めませんでした。\r\n1分毎に再検索します。";
    t.returnLine = ">>>" + name + "の応答回復<<<";
    t.returnSubject = name + "応答回復";
    t.returnBody = "\r\n" + name + "から再び測定値を読めるようになりました。";
    return t;
}

DeviceWatch::DeviceWatch(MonitorHost& host, DeviceWatchTexts texts,
                         std::function<std::string()> search)
    : host_(host), texts_(std::move(texts)), search_(std::move(search)) {}

void DeviceWatch::find() {
    path_ = search_ ? search_() : std::string();
}

void DeviceWatch::readSucceeded() {
    failures_ = 0;
    searched_ = false;
    if (lossReported_) {
        lossReported_ = false;
        host_.Report(texts_.returnLine, 2);
        host_.RegistMail(ALERT_KANRI, texts_.returnSubject, texts_.returnBody, 2);
    }
}

bool DeviceWatch::readFailed() {
    if (failures_ < kFailuresBeforeSearch)
        ++failures_;
    if (failures_ < kFailuresBeforeSearch)
        return false;
    if (!lossReported_) {
        lossReported_ = true;
        host_.Report(texts_.lossLine, 2);
        host_.RegistMail(ALERT_KANRI, texts_.lossSubject, texts_.lossBody, 2);
    }
    const TimeT now = host_.clock().now();
    // A clock set back counts as a minute gone, so the search never stalls.
    if (searched_ && now - lastSearch_ < kSearchIntervalSeconds && now >= lastSearch_)
        return false;
    searched_ = true;
    lastSearch_ = now;
    const std::string found = search_ ? search_() : std::string();
    if (found.empty())
        return false;
    path_ = found;
    return true;
}

}  // namespace orvana::sensors
