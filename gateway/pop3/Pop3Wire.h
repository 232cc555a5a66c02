#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class MailboxMessage;

// The form a message takes on the wire of RETR and TOP (RFC 1939): a line that begins
// with "." gets one more, and the reply ends with the line ".". Stored messages are
// kept plain; only the server makes this form, while sending.

// The octets RETR sends for the message before its terminating line: the size LIST and
// STAT give. Known without reading the text.
std::uint64_t Pop3Octets(const MailboxMessage& message);

// Appends the text dot-stuffed, then the terminating line. A text whose last line has
// no CR LF gets one.
void AppendDotStuffed(std::string_view text, std::string& out);

// The header, the empty line that ends it and the first lineCount body lines of a
// message text, as plain text (not stuffed).
std::string_view TopOfMessage(std::string_view text, int lineCount);
