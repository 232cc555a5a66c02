#pragma once

// Maildir++ subfolder names: the path of folder names {"Feeds", "Technology", "Ars
// Technica"} becomes the one folder ".Feeds.Technology.Ars Technica" beside new/ and cur/,
// which Dovecot and Courier serve over IMAP as Feeds/Technology/Ars Technica.
//
// Each name is made safe and stays readable:
// - '.' (the Maildir++ level separator), '/' and '\' (path and IMAP hierarchy
//   separators) and the IMAP list wildcards '*' and '%' become '_';
// - control characters become spaces, runs of spaces one space, and spaces at either
//   end go (IMAP clients and file managers trip over them);
// - a leading '~' becomes '_' (servers read it as a home folder);
// - an empty name becomes "_", and a top-level "INBOX" (in any case) "INBOX_", since
//   ".INBOX" would hide behind the inbox itself;
// - the whole folder name is kept within 255 bytes, the limit of one file name, by
//   shortening the longest names character by character.
// Names that are not UTF-8 have their stray bytes replaced by U+FFFD first.

#include <string>
#include <string_view>
#include <vector>

enum class FolderNameEncoding {
    // IMAP's modified UTF-7 ("Entw&APw-rfe", "&-" for '&'): what Dovecot (by default)
    // and Courier keep on disk, so a stock server shows the names as written.
    ModifiedUtf7,
    // UTF-8 as is ('&' stays '&'), for Dovecot with the ":UTF-8" mail_location option.
    Utf8,
};

std::string MaildirPlusPlusFolder(const std::vector<std::string>& names,
                                  FolderNameEncoding encoding = FolderNameEncoding::ModifiedUtf7);

// RFC 3501 modified UTF-7 of a UTF-8 text.
std::string EncodeModifiedUtf7(std::string_view utf8);
