#include "OpmlWriter.h"

#include "jconvert.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr const char* kCrLf = "\r\n";

// Characters XML 1.0 forbids (C0 controls other than TAB, LF and CR; U+FFFE and
// U+FFFF) are left out: one of them would make the whole feed list unreadable to the
// gateway's XML parser. Text pasted from web pages does carry them now and then.
std::string WithoutForbiddenCharacters(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') continue;
        if (b == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
            (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

// Every value from the head or the tree: escaped, then made UTF-8.
std::string Value(std::string_view text) {
    return WithoutForbiddenCharacters(LocalToUtf8(EscapeXmlText(text)));
}

void Line(std::string& out, std::string_view text) {
    out += text;
    out += kCrLf;
}

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The path the rename must replace: a symbolic link is followed, so saving through
// it updates the file it points to instead of replacing the link.
std::string ResolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 16; ++hops) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        char buffer[PATH_MAX];
        const ssize_t n = readlink(target.c_str(), buffer, sizeof buffer - 1);
        if (n <= 0) break;
        std::string link(buffer, static_cast<std::size_t>(n));
        if (link.front() != '/') {
            const std::size_t slash = target.rfind('/');
            link = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
        target = link;
    }
    return target;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void WriteOutline(std::string& out, const OutlineNode& node) {
    // Depth-first without recursion: each entry is a node, or the closing line of a
    // folder whose children have been written.
    struct Step {
        const OutlineNode* node;
        int depth;
        bool close;
    };
    std::vector<Step> pending{{&node, node.Depth(), false}};
    while (!pending.empty()) {
        const Step step = pending.back();
        pending.pop_back();
        std::string indent = "\t\t";
        indent.append(static_cast<std::size_t>(step.depth), '\t');
        if (step.close) {
            Line(out, indent + "</outline>");
            continue;
        }
        const std::string text = Value(step.node->text);
        if (const auto& data = step.node->data) {
            Line(out, indent + "<outline text=\"" + text + "\" type=\"rss\" xmlUrl=\"" +
                          Value(data->xmlUrl) + "\" description=\"" +
                          Value(data->description) + "\" htmlUrl=\"" +
                          Value(data->htmlUrl) + "\" title=\"" + text + "\" />");
            continue;
        }
        Line(out, indent + "<outline text=\"" + text + "\">");
        pending.push_back({step.node, step.depth, true});
        for (int i = step.node->ChildCount() - 1; i >= 0; --i) {
            pending.push_back({step.node->Child(i), step.depth + 1, false});
        }
    }
}

std::string BuildOpmlText(const OpmlHead& head, const OutlineNode& top, std::time_t now) {
    const std::string timestamp = FormatUtc(kOpmlDatePattern, now);
    std::string out;
    Line(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    if (!head.stylesheetHref.empty()) {
        Line(out, "<?xml-stylesheet href=\"" + Value(head.stylesheetHref) +
                      "\" type=\"text/xsl\"?>");
    }
    Line(out, "<opml version=\"1.0\">");
    Line(out, "\t<head>");
    if (!head.title.empty()) Line(out, "\t\t<title>" + Value(head.title) + "</title>");
    Line(out, "\t\t<dateCreated>" +
                  (head.dateCreated.empty() ? timestamp : Value(head.dateCreated)) +
                  "</dateCreated>");
    // The head's own dateModified is never written: saving is the modification.
    Line(out, "\t\t<dateModified>" + timestamp + "</dateModified>");
    if (!head.ownerName.empty()) {
        Line(out, "\t\t<ownerName>" + Value(head.ownerName) + "</ownerName>");
    }
    if (!head.ownerEmail.empty()) {
        Line(out, "\t\t<ownerEmail>" + Value(head.ownerEmail) + "</ownerEmail>");
    }
    Line(out, "\t</head>");
    Line(out, "\t<body>");
    for (int i = 0; i < top.ChildCount(); ++i) WriteOutline(out, *top.Child(i));
    Line(out, "\t</body>");
    Line(out, "</opml>");
    return out;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes,
                           std::string* error) {
    const std::string target = ResolveTarget(path);
    std::string temp = target + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        if (error) *error = SystemError("cannot create a temporary file beside " + target);
        return false;
    }
    // The new file keeps the permissions of the one it replaces (0644 for a new one).
    struct stat info {};
    const mode_t mode = stat(target.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    // A failed chmod is not worth losing the save over.
    (void)fchmod(fd, mode);
    bool ok = WriteAll(fd, bytes);
    if (!ok && error) *error = SystemError("cannot write " + temp);
    if (ok && fsync(fd) != 0) {
        ok = false;
        if (error) *error = SystemError("cannot flush " + temp);
    }
    if (close(fd) != 0 && ok) {
        ok = false;
        if (error) *error = SystemError("cannot close " + temp);
    }
    if (ok && rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        if (error) *error = SystemError("cannot replace " + target);
    }
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk only with its directory.
    const std::size_t slash = target.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const int dirFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        (void)fsync(dirFd);
        close(dirFd);
    }
    return true;
}

OpmlSaveResult SaveOpmlFile(const std::string& path, const OpmlHead& head,
                            const OutlineNode& top) {
    // The whole text is built before the file is touched.
    const std::string text = BuildOpmlText(head, top, std::time(nullptr));
    OpmlSaveResult result;
    if (path.empty()) {
        result.message = kSaveFailedMessage;
        result.detail = "no file name";
        return result;
    }
    result.ok = ReplaceFileAtomically(path, text, &result.detail);
    if (!result.ok) result.message = kSaveFailedMessage;
    return result;
}
