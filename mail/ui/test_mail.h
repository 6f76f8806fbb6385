// The settings dialog's test mail: the same account rules and SMTP client
// as the mail sender, sent at once and waited for.
#pragma once

#include <chrono>
#include <string>

#include "core/app_settings.h"
#include "core/clock.h"
#include "mail/mail_sender.h"
#include "mail/smtp_client.h"

namespace orvana {

inline constexpr const char* kTestMailIncompleteText =
    "送信（STMP）サーバーに関する情報設定が、不十分です。";
inline constexpr const char* kTestMailSentText =
    "TESTメールの送信に成功しました。受信を確認してください。";
// The failure text ends with two example accounts of public mail services.
inline constexpr const char* kTestMailFailedText =
    "TESTメールの送信に失敗しました。\r\nメールの各設定項目を再確認してください。\r\n例)\r\n"
    "・Gmail : smtp.gmail.com 587(TLS)\r\n"
    "・Yahoo!メール : smtp.mail.yahoo.co.jp 587\r\n";

// Where test mails go out: the maker's account and the extra CA file, and
// how long the window may wait for the server.
struct TestMailAccount {
    MakerAccount maker;
    std::string caFile;
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds totalTimeout{30000};
};

// The connection for a test mail from the (unsaved) settings s, by the
// sender's parameter table. False when host, login name, password or From
// is empty (for port 25 as well); params and from are filled either way.
bool testMailParams(const AppSettings& s, const TestMailAccount& account, SmtpParams& params,
                    std::string& from);

// Sends one plain test mail from `from` to `to` (subject in ISO-2022-JP, no
// Cc, Reply-To or attachment) and waits for the end of the transaction,
// bounded by the time-outs in params. True when the server accepted it.
// A destination with blanks, control characters or angle brackets is never
// handed to the server and counts as a failure. UI thread.
bool sendTestMail(SmtpClient& smtp, const SmtpParams& params, const std::string& from,
                  const std::string& to, const std::string& subject, const std::string& body,
                  TimeT now);

}  // namespace orvana
