// The demo's mail delivery: an SmtpClient that delivers every message as a
// file into a Maildir folder (new/, cur/, tmp/), where any mail program can
// open it. Each message is written into tmp/ and renamed into new/ once it is
// complete, so a reader never sees a half-written mail. Lines end in LF, as
// Maildir readers expect; a "Return-Path" and one "Delivered-To" per
// recipient come first, as a delivery agent adds them.
#pragma once

#include <memory>
#include <string>

#include "mail/network_state.h"
#include "mail/smtp_client.h"

namespace orvana::demo {

// `folder` is the Maildir folder; it and its three sub-folders are created
// when missing (mode 0700). send() returns Sent once the file is in new/,
// Refused when every recipient is malformed (isMalformedAddress; some
// malformed ones are listed in `refused` and left out), Failed when the file
// cannot be written (no file is left behind then). The server settings are
// ignored. One call at a time (the mail sender's thread); any thread.
// Never null.
std::unique_ptr<SmtpClient> makeMaildirSmtpClient(std::string folder);

// The network gate of a Maildir delivery, which needs no network: always
// connected. Never null; any thread.
std::unique_ptr<NetworkState> makeLocalDeliveryNetworkState();

// Creates the Maildir folder with new/, cur/ and tmp/. False when one of them
// cannot be made.
bool createMaildir(const std::string& folder);

}  // namespace orvana::demo
