#pragma once

#include "MailBody.h"

#include <optional>
#include <string>
#include <vector>

// When USER, PASS and APOP need TLS (STLS first, or the implicit-TLS port). Auto: with
// a certificate, from every address but loopback; Always: with a certificate, from
// every address (without one it is a mistake that stops Quillo); Never: plain text is
// taken from anywhere.
enum class RequireTls { Auto, Always, Never };

// The gateway's settings as read from Quillo.xml.
struct Settings {
    int port = 110;
    bool disableMessageBox = false;
    bool disableTrayIcon = false;
    bool enableHtml = false;
    // Only this machine by default: without a password the server lets anyone log in.
    std::string listenAddress = "127.0.0.1";
    // The one POP3 password (PASS or APOP); empty lets any PASS log in.
    std::string password;
    // Feed transfers of one refresh that may run at once; 1 fetches one after the other.
    // Never more than four to one host, whatever this says.
    int downloadConcurrency = 64;
    // The charset of message bodies: auto (ISO-2022-JP when it holds the message) or iso-2022-jp.
    MailCharset mailCharset = MailCharset::Auto;
    // A greeting waits at most this long for the refresh; late feeds are offered later.
    int greetingDeadlineSeconds = 20;
    // Minutes between background refreshes; 0 refreshes at every connection instead.
    int refreshIntervalMinutes = 0;
    // Without a refresh interval: a feed requested less than this many minutes before
    // is not requested again at a connection; 0 requests every feed at every one.
    int minFeedIntervalMinutes = 0;
    // The User-Agent of the feed transfers.
    std::string userAgent = "QUILLO";
    // PEM files of the TLS certificate chain and its key; relative paths are resolved
    // beside Quillo.xml. With a certificate the server offers STLS and listens for
    // implicit TLS. The key defaults to the certificate's file.
    std::string tlsCertificate;
    std::string tlsKey;
    // The implicit-TLS port; when not given, 995 is tried and may be unavailable.
    std::optional<int> tlsPort;
    // Whether a login must wait for TLS.
    RequireTls requireTls = RequireTls::Auto;
    // Days a stored message waits for its client; older ones are recorded as delivered
    // and removed, so a setup nobody reads does not fill the disk. 0 keeps them for ever.
    int keepDays = 30;
    // A Maildir every new item is delivered into (and recorded as delivered at once)
    // instead of being offered over POP3; "" for none. "~/" at the start is the home
    // folder; a relative path is beside Quillo.xml.
    std::string maildir;
    // One Maildir++ subfolder per feed (".Feeds.<feed-list folders>.<feed title>")
    // instead of everything in the Maildir's own new/.
    bool maildirFeedFolders = false;
};

// A port setting: decimal digits only, 1 to 65535, with white space around them allowed
// (an element laid out over several lines). Anything else, the empty text too, is none.
std::optional<int> ParsePort(const std::string& text);

// What reading Quillo.xml did. A missing file and an unreadable one leave the settings
// as they were. An invalid one is well-formed but holds a value that cannot be used
// (a port that is no port): every other value is applied, the rejected ones keep what
// they were. error says why an unreadable or invalid file cannot be used.
struct SettingsFileResult {
    enum class Status { Missing, Read, Unreadable, Invalid };
    Status status = Status::Missing;
    std::string error;
    // A listen-address that is not an IPv4 address; the default stands in its place.
    std::optional<std::string> rejectedListenAddress;
    // Values read the lenient way earlier versions read them, so a file that worked
    // still works: an empty number element or a number outside its range. One line each,
    // saying what was read, in document order.
    std::vector<std::string> warnings;
};

// Applies every settings element of the file at path to settings: each settings
// element in document order, and within it each element in order, so the last one
// of a name wins. The root must be quillo.
SettingsFileResult LoadSettingsFile(const std::string& path, Settings& settings);
