// The kind of a notice: selects recipients and the attachment row.
#pragma once

namespace orvana {

enum ALERT_MODE : int {
    ALERT_VOL = 0,     // sound alarm start and end
    ALERT_CAM = 1,     // motion detected
    ALERT_TEMP = 2,    // temperature/humidity limit passed or back
    ALERT_GEIGER = 3,  // radiation risk entered or left
    ALERT_OWL = 4,     // power consumption out of or back within limits
    ALERT_POW = 5,     // mains failure and recovery
    ALERT_TK = 6,      // periodic status notice
    ALERT_KANRI = 7,   // management notices; never any attachment
    ALERT_RQ = 8,      // broadcast mail typed by the user
    ALERT_KA = 9,      // KeepAlive for the watchdog service
};

}  // namespace orvana
