#include "sensors/ui/trend_graph_binding.h"

#include <QFrame>
#include <QPainter>

#include "sensors/ui/sensor_dlg.h"

namespace orvana::sensors {

TempGraphInput graphInputOf(const TemperatureMonitor& m) {
    TempGraphInput in;
    in.tempAuto = m.TempAutoYScale != 0;
    in.tempMin = m.TempMin;
    in.tempDiv = m.TempDiv;
    in.tempLo = {m.bTempWarnLo != 0, m.TempWarnLo};
    in.tempHi = {m.bTempWarnHi != 0, m.TempWarnHi};
    in.humidAuto = m.HumidAutoYScale != 0;
    in.humidMin = m.HumidMin;
    in.humidDiv = m.HumidDiv;
    in.humidLo = {m.bHumidWarnLo != 0, m.HumidWarnLo};
    in.humidHi = {m.bHumidWarnHi != 0, m.HumidWarnHi};
    in.periodS = m.PeriodS;
    in.periodL = m.PeriodL;
    return in;
}

GeigerGraphInput graphInputOf(const GeigerMonitor& m) {
    GeigerGraphInput in;
    in.autoScale = m.AutoYScale != 0;
    in.cpmMin = m.CpmMin;
    in.cpmDiv = m.CpmDiv;
    in.cpmHi = {m.bCpmWarnHi != 0, m.CpmWarnHi};
    in.periodS = m.PeriodS;
    in.periodL = m.PeriodL;
    in.maS1 = m.MaTypeS1;
    in.maS2 = m.MaTypeS2;
    in.maL1 = m.MaTypeL1;
    in.maL2 = m.MaTypeL2;
    return in;
}

OwlGraphInput graphInputOf(const OwlMonitor& m) {
    OwlGraphInput in;
    in.autoScale = m.AutoYScale != 0;
    in.ymin = m.Ymin;
    in.ymax = m.Ymax;
    in.ystep = m.Ystep;
    in.lo = {m.WarnLoEnable != 0, m.WarnLoTh};
    in.hi = {m.WarnHiEnable != 0, m.WarnHiTh};
    in.costPerKW = m.CostPerKW;
    in.periodR = m.PeriodR;
    in.periodL = m.PeriodL;
    in.maR1 = m.MaTypeR1;
    in.maR2 = m.MaTypeR2;
    in.maL1 = m.MaTypeL1;
    in.maL2 = m.MaTypeL2;
    return in;
}

// One copy routine per kind, used in both directions, so the two lists of
// fields cannot drift apart.
template <class To, class From>
void copyTemp(To& to, const From& from) {
    to.TempAutoYScale = from.TempAutoYScale;
    to.TempMin = from.TempMin;
    to.TempDiv = from.TempDiv;
    to.TempWarnLo = from.TempWarnLo;
    to.TempWarnHi = from.TempWarnHi;
    to.bTempWarnLo = from.bTempWarnLo;
    to.bTempWarnHi = from.bTempWarnHi;
    to.TempHist = from.TempHist;
    to.HumidAutoYScale = from.HumidAutoYScale;
    to.HumidMin = from.HumidMin;
    to.HumidDiv = from.HumidDiv;
    to.HumidWarnLo = from.HumidWarnLo;
    to.HumidWarnHi = from.HumidWarnHi;
    to.bHumidWarnLo = from.bHumidWarnLo;
    to.bHumidWarnHi = from.bHumidWarnHi;
    to.HumidHist = from.HumidHist;
    to.PeriodS = from.PeriodS;
    to.PeriodL = from.PeriodL;
}

template <class To, class From>
void copyGeiger(To& to, const From& from) {
    to.CpmMin = from.CpmMin;
    to.CpmDiv = from.CpmDiv;
    to.CpmWarnHi = from.CpmWarnHi;
    to.bCpmWarnHi = from.bCpmWarnHi;
    to.CpmHist = from.CpmHist;
    to.AutoYScale = from.AutoYScale;
    to.PeriodS = from.PeriodS;
    to.PeriodL = from.PeriodL;
    to.MaTypeS1 = from.MaTypeS1;
    to.MaTypeL1 = from.MaTypeL1;
    to.MaTypeS2 = from.MaTypeS2;
    to.MaTypeL2 = from.MaTypeL2;
    to.MaTypeWarn = from.MaTypeWarn;
}

template <class To, class From>
void copyOwl(To& to, const From& from) {
    to.CostPerKW = from.CostPerKW;
    to.AutoYScale = from.AutoYScale;
    to.Ymin = from.Ymin;
    to.Ymax = from.Ymax;
    to.Ystep = from.Ystep;
    to.PeriodL = from.PeriodL;
    to.MaTypeL1 = from.MaTypeL1;
    to.MaTypeL2 = from.MaTypeL2;
    to.PeriodR = from.PeriodR;
    to.MaTypeR1 = from.MaTypeR1;
    to.MaTypeR2 = from.MaTypeR2;
    to.WarnMaType = from.WarnMaType;
    to.WarnHiEnable = from.WarnHiEnable;
    to.WarnLoEnable = from.WarnLoEnable;
    to.WarnLoTh = from.WarnLoTh;
    to.WarnHiTh = from.WarnHiTh;
    to.WarnHiste = from.WarnHiste;
}

TempSettingValues settingValuesOf(const TemperatureMonitor& m) {
    TempSettingValues v;
    copyTemp(v, m);
    return v;
}
GeigerSettingValues settingValuesOf(const GeigerMonitor& m) {
    GeigerSettingValues v;
    copyGeiger(v, m);
    return v;
}
OwlSettingValues settingValuesOf(const OwlMonitor& m) {
    OwlSettingValues v;
    copyOwl(v, m);
    return v;
}

void applySettingValues(const TempSettingValues& v, TemperatureMonitor& m) {
    copyTemp(m, v);
}
void applySettingValues(const GeigerSettingValues& v, GeigerMonitor& m) {
    copyGeiger(m, v);
}
void applySettingValues(const OwlSettingValues& v, OwlMonitor& m) {
    copyOwl(m, v);
}

// ---- the windows ----

namespace {

// A graph frame's client area in window coordinates (inside its black line).
QRect clientRectOf(const QFrame* f) {
    return f->contentsRect().translated(f->pos());
}

GraphStyle styleOf(const QWidget& w) {
    GraphStyle st;
    st.font = w.font();
    return st;
}

void drawPane(QPainter& p, const QRect& r, const QImage& pane) {
    if (!r.isEmpty())
        p.drawImage(r.topLeft(), pane);
}

void setText(QLabel* l, const QString& text) {
    if (l && l->text() != text)
        l->setText(text);
}

// Runs `Dialog` filled from the monitor; copies back on OK.
template <class Dialog, class Monitor>
bool runSettings(QWidget* parent, Prompt& prompt, const SettingsDialogRunner& run, Monitor& m) {
    Dialog dlg(prompt, parent);
    dlg.setValues(settingValuesOf(m));
    if (run(dlg) != QDialog::Accepted)
        return false;
    applySettingValues(dlg.values(), m);
    return true;
}

}  // namespace

void CSensorDlg::paintEvent(QPaintEvent* e) {
    QDialog::paintEvent(e);
    QPainter p(this);
    DrawGraphAll(p);
}

void CTemperatureDlg::DrawGraphAll(QPainter& p) {
    TemperatureMonitor& m = temperature();
    const QRect s = clientRectOf(graphShort()), l = clientRectOf(graphLong());
    const TempPanes panes = PaintTempPanes(m.series(), graphInputOf(m), s.size(), l.size(),
                                           host_.clock().now(), styleOf(*this));
    setText(label(IDC_SPAN_SHORT), panes.shortSpan);
    setText(label(IDC_SPAN_LONG), panes.longSpan);
    for (int k = 0; k < 6; ++k) {
        setText(label(kRightAxisLabels[k]), panes.tempAxis[static_cast<std::size_t>(k)]);
        setText(label(kLeftAxisLabels[k]), panes.humidAxis[static_cast<std::size_t>(k)]);
    }
    drawPane(p, s, panes.shortPane);
    drawPane(p, l, panes.longPane);
}

void CGeigerDlg::DrawGraphAll(QPainter& p) {
    GeigerMonitor& m = geiger();
    const QRect s = clientRectOf(graphShort()), l = clientRectOf(graphLong());
    const GeigerPanes panes = PaintGeigerPanes(m.series(), graphInputOf(m), s.size(), l.size(),
                                               host_.clock().now(), styleOf(*this));
    setText(label(IDC_SPAN_SHORT), panes.shortSpan);
    setText(label(IDC_SPAN_LONG), panes.longSpan);
    for (int k = 0; k < 6; ++k)
        setText(label(kLeftAxisLabels[k]), panes.cpmAxis[static_cast<std::size_t>(k)]);
    drawPane(p, s, panes.shortPane);
    drawPane(p, l, panes.longPane);
}

void COwlDlg::DrawGraphAll(QPainter& p) {
    OwlMonitor& m = owl();
    const OwlGraphInput in = graphInputOf(m);
    const QRect s = clientRectOf(graphShort()), l = clientRectOf(graphLong());
    const OwlPanes panes =
        PaintOwlPanes(m.series(), in, s.size(), l.size(), host_.clock().now(), styleOf(*this));
    // Measured from the graph areas, so each value stands at its grid line.
    DrawOwlAxisTexts(p, s, l, panes.scale, spanS(in.periodR), spanL(in.periodL), font(), Qt::black,
                     notifyBox()->height());
    drawPane(p, s, panes.shortPane);
    drawPane(p, l, panes.longPane);
}

bool CTemperatureDlg::EditSettings() {
    return runSettings<CDlgTempSetting>(this, host_.prompt(), runDialog, temperature());
}

bool CGeigerDlg::EditSettings() {
    return runSettings<CDlgGeigerSetting>(this, host_.prompt(), runDialog, geiger());
}

bool COwlDlg::EditSettings() {
    return runSettings<CDlgOwlSetting>(this, host_.prompt(), runDialog, owl());
}

}  // namespace orvana::sensors
