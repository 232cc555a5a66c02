#pragma once

// The names of delivered files, by the Maildir convention:
//   <seconds>.M<microseconds>P<pid>Q<counter>.<host>[,K=<key>][:2,<flags>]
// The time, process and the Maildir's own delivery counter make the name unique; the
// host has '/', ':' and ',' written as \057, \072 and \054 so that it cannot end the
// name early. A caller's key (an item's identity digest) rides in a ",K=" field of the
// base name, which mail readers and Dovecot keep when they add flags after ':'.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <time.h>

// Keys are 1 to 128 characters of [0-9A-Za-z_-]: safe in a file name and in IMAP.
bool IsMaildirKey(std::string_view key);

std::string EscapeMaildirHost(std::string_view host);

std::string MakeMaildirName(timespec time, long pid, std::uint64_t counter, std::string_view host,
                            std::string_view key);

// What a file name in new/ or cur/ says, for any deliverer's names, not only ours.
struct MaildirName {
    std::uint64_t seconds = 0;
    std::uint64_t microseconds = 0;  // the M field, 0 without one
    std::uint64_t counter = 0;       // the Q field, 0 without one
    std::string key;                 // the K field, empty without one
};

// Empty when the name is not of the Maildir form <digits>.<unique>.<host>[:<info>]
// (dot files, editor backups, names with control characters).
std::optional<MaildirName> ParseMaildirName(std::string_view fileName);

// Arrival order: time, then microseconds, then counter.
bool ArrivedBefore(const MaildirName& a, const MaildirName& b);
