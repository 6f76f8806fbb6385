#include "core/user_address.h"

namespace orvana {

std::string CUserAddress::GetString() const {
    std::string flags;
    if (m_bIjyou)
        flags += "異常通知,";
    if (m_bTeiki)
        flags += "定期通知,";
    if (m_bKanri)
        flags += "その他管理情報通知,";
    if (!flags.empty() && flags.back() == ',')
        flags.pop_back();
    return m_strAddress + ";  " + flags;
}

}  // namespace orvana
