#pragma once

// The names of delivered files, by the Maildir convention:
//   <seconds>.M<microseconds>P<pid>Q<counter>.<host>,S=<size>,W=<wire size>[,K=<key>][:2,<flags>]
// The time, process and the Maildir's own delivery counter make the name unique; the
// host has '/', ':' and ',' written as \057, \072 and \054 so that it cannot end the
// name early. S is the file's size and W its size with every line ending CRLF, as
// Dovecot names its own files (it then needs neither a stat nor a read for the sizes;
// a POP3 server gets its octet counts the same way). A caller's key (an item's
// identity digest) rides in a ",K=" field, which mail readers and Dovecot keep when
// they add flags after ':'.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <time.h>

// Keys are 1 to 128 characters of [0-9A-Za-z_-]: safe in a file name and in IMAP.
bool IsMaildirKey(std::string_view key);

std::string EscapeMaildirHost(std::string_view host);

std::string MakeMaildirName(timespec time, long pid, std::uint64_t counter, std::string_view host,
                            std::uint64_t size, std::uint64_t wireSize, std::string_view key);

// The size of the bytes with every bare LF counted as CRLF.
std::uint64_t WireSize(std::string_view bytes);

// What a file name in new/ or cur/ says, for any deliverer's names, not only ours.
struct MaildirName {
    std::uint64_t seconds = 0;
    std::uint64_t microseconds = 0;  // the M field, 0 without one
    std::uint64_t counter = 0;       // the Q field, 0 without one
    std::optional<std::uint64_t> size;      // the S field
    std::optional<std::uint64_t> wireSize;  // the W field
    std::string key;                        // the K field, empty without one
};

// Empty when the name is not of the Maildir form <digits>.<unique>.<host>[:<info>]
// (dot files, editor backups, names with control characters).
std::optional<MaildirName> ParseMaildirName(std::string_view fileName);

// Arrival order: time, then microseconds, then counter.
bool ArrivedBefore(const MaildirName& a, const MaildirName& b);
