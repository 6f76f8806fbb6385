// One synchronous SMTP transaction: connect, optional STARTTLS and AUTH,
// envelope, message, quit.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvana {

struct SmtpParams {
    std::string host;  // name or address; IPv6 without brackets
    int port = 587;
    bool implicitTls = false;  // TLS from the first byte (port 465)
    bool startTls = false;     // upgrade with STARTTLS; the transfer fails without it
    bool auth = false;         // present user and password (SMTP AUTH)
    std::string user, password;
    std::string caFile;  // extra trusted CA certificates (PEM); empty: system CAs only
    std::chrono::milliseconds connectTimeout{30000};
    std::chrono::milliseconds totalTimeout{120000};
    // Called on the sending thread the moment the server has taken the
    // message for every recipient (its reply to the end of the data), before
    // the session is closed; may be empty. What a crash or a lost connection
    // after this moment does cannot make the mail go out twice if the caller
    // records the delivery here.
    std::function<void()> onAccepted;
};

struct SmtpRefusal {
    std::string address;
    int code = 0;  // the server's reply code, 0 when the address never reached it
};

struct SmtpResult {
    enum Status {
        Sent,     // accepted (refused may still list some recipients)
        Refused,  // no recipient accepted; refused lists all of them
        Failed,   // anything else: connection, TLS, AUTH, time-out, server error
    };
    Status status = Failed;
    std::vector<SmtpRefusal> refused;  // in the order the recipients were given
    std::string error;                 // a short reason for Failed, for diagnostics
};

class SmtpClient {
  public:
    virtual ~SmtpClient() = default;
    // Sends `message` (complete RFC 5322 text with CR LF line ends) from
    // `from` to `recipients`. Returns when the transaction ended, failed or
    // timed out; `cancel` (may be null) aborts a running transfer within
    // about a second. Called on the sender thread; one call at a time.
    virtual SmtpResult send(const SmtpParams& params, const std::string& from,
                            const std::vector<std::string>& recipients, const std::string& message,
                            const std::atomic<bool>* cancel) = 0;
};

// True for an address that must never reach the SMTP dialogue: empty,
// longer than the 254 bytes an SMTP path leaves it, or holding control
// characters, white space or angle brackets, any of which would end or
// change the command. Any thread.
bool isMalformedAddress(const std::string& address);

// The libcurl backend. Never null.
std::unique_ptr<SmtpClient> makeCurlSmtpClient();

}  // namespace orvana
