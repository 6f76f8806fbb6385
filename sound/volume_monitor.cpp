#include "sound/volume_monitor.h"

#include <limits>

#include "core/checked_settings.h"

#include <algorithm>

#include "core/event_log.h"
#include "core/status_text.h"
#include "sound/wave_file.h"

namespace orvana::sound {

double thresholdDb(int sliderPos) {
    return (1000 - sliderPos) / 1000.0 * 42.0 - 36.0;
}

std::string durationText(std::int64_t d) {
    if (d < 0)
        d = 0;  // the clock was set back during the alarm
    if (d >= 3600)
        return strprintf("\r\n　継続時間：%d時間%d分%d秒", static_cast<int>(d / 3600),
                         static_cast<int>(d % 3600 / 60), static_cast<int>(d % 60));
    if (d >= 60)
        return strprintf("\r\n　継続時間：%d分%d秒", static_cast<int>(d / 60),
                         static_cast<int>(d % 60));
    return strprintf("\r\n　継続時間：%d秒", static_cast<int>(d));
}

VolumeMonitor::VolumeMonitor(MonitorHost& host, WaveInputFactory& inputs, Options options)
    : host_(host),
      inputs_(inputs),
      options_(options),
      capture_(std::make_unique<WaveCapture>(host, inputs.Create())) {
    levels_.SetVolIntegTime(3);
}

VolumeMonitor::~VolumeMonitor() {
    Close();
}

void VolumeMonitor::LoadSettings() {
    // The dialog's ranges; a value outside them (a hand-edited or damaged
    // store: a huge integration time alone would take gigabytes) gives the
    // default and is said once. The recording length has no range in the
    // dialog, so any number stays and is held within what the capture takes.
    CheckedSettings in(host_.store(), kVolumeSection);
    levels_.SetVolIntegTime(in.integer("VOL_INTEG_TIME", 3, 1, 10));
    m_thresholdPos = in.integer("THRESHOLD", 142, 0, 1000);
    m_useDynamic = in.flag("B_DYNAMIC_VOL_THRESHOLD", 0);
    m_dynamicThreshold = in.integer("DYNAMIC_VOL_THRESHOLD", 10, 1, 24);
    m_enableNotify = in.flag("ENABLE_NOTIFY", 0);
    m_recSec = clampRecSec(
        in.integer("REC_SEC", 4, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    capture_->SetRecSec(m_recSec);
    if (const std::string line = ResetKeysLine(in.resetKeys()); !line.empty())
        host_.Report(line, 2);
}

void VolumeMonitor::SaveSettings(const Placement& placement) {
    SettingsStore& st = host_.store();
    SavePlacement(st, kVolumeSection, placement);
    st.writeInt(kVolumeSection, "VOL_INTEG_TIME", levels_.m_volIntegTime);
    st.writeInt(kVolumeSection, "THRESHOLD", m_thresholdPos);
    st.writeInt(kVolumeSection, "B_DYNAMIC_VOL_THRESHOLD", m_useDynamic);
    st.writeInt(kVolumeSection, "DYNAMIC_VOL_THRESHOLD", m_dynamicThreshold);
    st.writeInt(kVolumeSection, "ENABLE_NOTIFY", m_enableNotify);
    st.writeInt(kVolumeSection, "REC_SEC", m_recSec);
    st.sync();
}

bool VolumeMonitor::Open() {
    const bool ok = capture_->Open(m_recSec, options_.startCaptureThread);
    m_thresholdText = strprintf("Threshold =%5.1f[dB]", thresholdDb(m_thresholdPos));
    levels_.PreFill(kSilenceDb);
    m_tick = 0;
    return ok;
}

void VolumeMonitor::Close() {
    capture_->Close();
}

bool VolumeMonitor::OnTimer() {
    ++m_tick;
    if (capture_->isOpen()) {
        double level = m_curLevel;
        const bool usable = capture_->Meter(&level);
        m_curLevel = level;
        if (usable)
            levels_.SetVolHis(m_curLevel);
    }
    if (m_tick % 5 != 0)
        return false;
    Evaluate();
    return true;
}

AlarmSignal VolumeMonitor::Evaluate() {
    const double L = levels_.GetVolHisAve();
    m_levelText = strprintf("Level = %5.1f[dB]", L);
    levels_.SetVolHisLong(L);
    const double A = levels_.GetVolHisLongAve();
    const double T = thresholdDb(m_thresholdPos);

    m_graph.m_alarm = m_fixedAlarm;
    m_graph.m_startThreshold = m_graph.m_endThreshold = LevelGraph::fractionOf(T);
    m_graph.AddValue(LevelGraph::fractionOf(L));
    m_graph.AddValueAve(LevelGraph::fractionOf(A));
    m_graph.m_dynamicOffset = m_useDynamic ? m_dynamicThreshold / 42.0 : -1.0;

    AlarmSignal sig;
    const bool wasFixed = m_fixedAlarm != 0;
    if (!m_fixedAlarm && !m_dynamicAlarm && L > T) {
        sig.start = true;
        m_fixedAlarm = 1;
    } else if (wasFixed && L < T) {
        sig.end = true;
        m_fixedAlarm = 0;
    }
    if (m_useDynamic) {
        if (!m_fixedAlarm && !m_dynamicAlarm && L > m_dynamicThreshold + A) {
            sig.start = true;
            m_dynamicAlarm = 1;
        } else if (m_dynamicAlarm && L < A) {
            sig.end = true;
            m_dynamicAlarm = 0;
        }
    }

    if (m_enableNotify) {
        if (sig.start)
            notifyStart();
        else if (sig.end)
            notifyEnd(L);
    }
    if (sig.start) {
        stateStart_ = host_.clock().now();
        stateSum_ = 0;
        stateCount_ = 0;
    }
    if (m_fixedAlarm || m_dynamicAlarm) {
        stateSum_ += L;
        ++stateCount_;
    }
    if (m_alarmNotified) {
        m_alarmSum += L;
        ++m_alarmCount;
    }
    m_levelSum += L;
    ++m_levelCount;
    return sig;
}

void VolumeMonitor::notifyStart() {
    host_.Report(kSeparator, 0);
    host_.Report(">>>警報発生<<<", 2);
    const std::string body =
        "\r\n警報音を検出しました。" + strprintf("\r\n　音量:%6.2f[dB]", m_curLevel);
    host_.RegistMail(ALERT_VOL, "警報発生", body, 2);
    m_alarmNotified = 1;
    m_alarmSum = 0;
    m_alarmCount = 0;
    m_alarmStart = host_.clock().now();
}

void VolumeMonitor::notifyEnd(double L) {
    const TimeT now = host_.clock().now();
    std::int64_t d;
    double average;
    if (m_alarmNotified) {
        d = now - m_alarmStart;
        average = m_alarmCount > 0 ? m_alarmSum / m_alarmCount : L;
    } else {
        // No start notice is open: tell the alarm as it was observed.
        d = now - stateStart_;
        average = stateCount_ > 0 ? stateSum_ / stateCount_ : L;
    }
    const std::string body = "\r\n警報音が終了しました。" + durationText(d) +
                             strprintf("\r\n　平均音量:%6.2f[dB]", average);
    host_.Report("<<<警報解除>>>", 2);
    host_.Report(kSeparator, 0);
    host_.RegistMail(ALERT_VOL, "警報解除", body, 2);
    m_alarmNotified = 0;
}

void VolumeMonitor::OnSliderScroll(int position) {
    m_thresholdPos = std::clamp(position, 0, 1000);
    m_thresholdText = strprintf("Threshold = %5.1f[dB]", thresholdDb(m_thresholdPos));
}

void VolumeMonitor::ApplyDialogValues(int recSec, int integTime, int dynamicThreshold) {
    levels_.SetVolIntegTime(integTime);
    m_dynamicThreshold = dynamicThreshold;
    m_recSec = clampRecSec(recSec);
    capture_->SetRecSec(m_recSec);
}

int VolumeMonitor::MakeWaveFile(const std::string& path) {
    std::vector<std::uint8_t> recording;
    if (capture_->TakeRecording(&recording))
        WriteWaveFile(path, capture_->format(), recording.data(), recording.size());
    return 1;
}

std::string VolumeMonitor::SaveWave() {
    const TimeT now = host_.clock().now();
    const std::string dir = host_.store().getString(kSection, "DATA_DIR", "");
    const std::string stamp = formatLocal(now, "%Y年%m月%d日%H時%M分%S秒");
    const std::string wav = joinDataPath(dir, stamp + ".wav");
    MakeWaveFile(wav);
    return wav;
}

double VolumeMonitor::TakeAverageLevel(bool* any) {
    const bool some = m_levelCount > 0;
    const double average = some ? m_levelSum / m_levelCount : kSilenceDb;
    if (any)
        *any = some;
    m_levelSum = 0;
    m_levelCount = 0;
    return average;
}

int ProbeVolumeInput(WaveInputFactory& inputs, MonitorHost& host) {
    if (inputs.DeviceCount() <= 0)
        return 0;
    std::unique_ptr<WaveInput> in = inputs.Create();
    if (!in->Open(WaveFormat())) {
        host.Report("Error : WAVE INデバイスのオープンに失敗しました。", 0);
        host.Report("---- 音量検知機能は使用できません。----", 0);
        return 0;
    }
    in->Close();
    return 1;
}

}  // namespace orvana::sound
