#include "mail/ui/test_mail.h"

#include <vector>

#include "mail/mime_message.h"

namespace orvana {

bool testMailParams(const AppSettings& s, const TestMailAccount& account, SmtpParams& params,
                    std::string& from) {
    params = resolveSmtpParams(SenderSettings::of(s), account.maker, account.caFile, from);
    params.connectTimeout = account.connectTimeout;
    params.totalTimeout = account.totalTimeout;
    return !params.host.empty() && !params.user.empty() && !params.password.empty() &&
           !from.empty();
}


bool sendTestMail(SmtpClient& smtp, const SmtpParams& params, const std::string& from,
                  const std::string& to, const std::string& subject, const std::string& body,
                  TimeT now) {
    if (isMalformedAddress(to) || isMalformedAddress(from))
        return false;
    MimeInput in;
    in.from = from;
    in.to = {to};
    in.subject = subject;
    in.body = body;
    in.date = now;
    const SmtpResult r = smtp.send(params, from, {to}, buildMimeMessage(in), nullptr);
    return r.status == SmtpResult::Sent && r.refused.empty();
}

}  // namespace orvana
