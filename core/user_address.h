// One registered mail recipient with its notice flags. Value type.
#pragma once

#include <string>

namespace orvana {

struct CUserAddress {
    std::string m_strAddress;
    int m_bIjyou = 0;  // abnormal-event notices
    int m_bTeiki = 0;  // periodic notices
    int m_bKanri = 0;  // other management information
    int m_bTest = 0;   // ticked for the next broadcast mail

    // List-box text: address, ";  ", then the set flags' names, the last
    // trailing "," removed.
    std::string GetString() const;
    const std::string& GetAddress() const { return m_strAddress; }
    // A record is usable exactly when it has an address.
    bool IsValid() const { return !m_strAddress.empty(); }
};

}  // namespace orvana
