#include "StoreXml.h"

#include <libxml/xmlreader.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

// No network, and none of the options that load a DTD, substitute entities or lift the
// parser's limits: these files come from the user and from other programs.
constexpr int kReaderOptions = XML_PARSE_NONET;

struct ReaderDeleter {
    void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};

std::string Text(const xmlChar* text) {
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// The first fatal error wins; a namespace complaint alone does not stop the reader,
// since the files are read without namespaces.
struct FirstError {
    std::string message;
    bool fatal = false;
};

void KeepError(void* context, xmlErrorPtr error) {
    auto* first = static_cast<FirstError*>(context);
    if (!error || first->fatal) return;
    const bool fatal = error->level == XML_ERR_FATAL;
    if (!first->message.empty() && !fatal) return;
    std::string message = error->message ? error->message : "not well-formed";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    first->message = "line " + std::to_string(error->line) + ", column " + std::to_string(error->int2) +
                     ": " + message;
    first->fatal = fatal;
}

struct OpenElement {
    std::optional<std::string> firstChild;
    bool childSeen = false;
};

}  // namespace

StoreFileBytes ReadStoreFile(const std::string& path) {
    StoreFileBytes file;
    std::ifstream in(path, std::ios::binary);
    if (!in) return file;
    // A folder in the file's place opens, but its size is no size to read.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        file.status = StoreFileBytes::Status::Unreadable;
        file.error = "cannot read " + path + ": not a file";
        return file;
    }
    // One read of the whole file: a store of many records is tens of megabytes.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        file.bytes.resize(static_cast<size_t>(size));
        in.read(file.bytes.data(), size);
        file.bytes.resize(static_cast<size_t>(in.gcount()));
        in.clear();
    }
    // Whatever a file that changes size under us holds beyond that point.
    file.bytes.append(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        file.status = StoreFileBytes::Status::Unreadable;
        file.error = "cannot read " + path;
        file.bytes.clear();
        return file;
    }
    file.status = StoreFileBytes::Status::Read;
    return file;
}

std::optional<std::string> XmlAttributes::Get(const char* name) const {
    xmlChar* value = xmlTextReaderGetAttribute(reader_, reinterpret_cast<const xmlChar*>(name));
    if (!value) return std::nullopt;
    std::string text = Text(value);
    xmlFree(value);
    return text;
}

XmlWalkResult WalkXml(std::string_view bytes, XmlVisitor& visitor, XmlTextLimit limit) {
    XmlWalkResult result;
    if (bytes.empty()) {
        result.error = "no document element";
        return result;
    }
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        result.error = "the file is too large";
        return result;
    }
    std::unique_ptr<xmlTextReader, ReaderDeleter> reader(xmlReaderForMemory(
        bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
        limit == XmlTextLimit::Lifted ? kReaderOptions | XML_PARSE_HUGE : kReaderOptions));
    if (!reader) {
        result.error = "the XML parser could not start";
        return result;
    }
    FirstError error;
    xmlTextReaderSetStructuredErrorHandler(reader.get(), KeepError, &error);

    std::vector<std::string> path;
    std::vector<OpenElement> open;
    // Only the first child node of an element gives its value.
    auto noteChild = [&open](std::optional<std::string> value) {
        if (open.empty() || open.back().childSeen) return;
        open.back().childSeen = true;
        open.back().firstChild = std::move(value);
    };
    auto end = [&] {
        visitor.ElementEnd(path, open.back().firstChild);
        path.pop_back();
        open.pop_back();
    };
    int status = 0;
    while ((status = xmlTextReaderRead(reader.get())) == 1 && !error.fatal) {
        const int type = xmlTextReaderNodeType(reader.get());
        switch (type) {
        case XML_READER_TYPE_ELEMENT: {
            noteChild(std::string());
            path.push_back(Text(xmlTextReaderConstName(reader.get())));
            if (path.size() == 1) result.root = path[0];
            open.emplace_back();
            visitor.ElementStart(path, XmlAttributes(reader.get()));
            if (xmlTextReaderIsEmptyElement(reader.get())) end();
            break;
        }
        case XML_READER_TYPE_END_ELEMENT:
            if (!open.empty()) end();
            break;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA:
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        case XML_READER_TYPE_COMMENT:
        case XML_READER_TYPE_PROCESSING_INSTRUCTION:
            noteChild(Text(xmlTextReaderConstValue(reader.get())));
            break;
        case XML_READER_TYPE_ENTITY_REFERENCE:
            noteChild(std::string());
            break;
        default:
            break;
        }
    }
    if (status != 0 || error.fatal) {
        result.error = error.message.empty() ? "not well-formed" : error.message;
    } else if (result.root.empty()) {
        result.error = "no document element";
    }
    return result;
}
