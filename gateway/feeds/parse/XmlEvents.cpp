#include "XmlEvents.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <memory>

namespace {

constexpr size_t kChunkBytes = 64 * 1024;
// Elements nested deeper than this are flattened: their start and end are not passed
// on, their text is. libxml2's push parser sets no depth limit of its own, and no
// feed needs more.
constexpr int kMaxDepth = 256;
// Deeper still the parse stops with an error: libxml2 keeps a few pointers per open
// element, and a document of nothing but nesting must not cost more than its size.
constexpr int kRefusedDepth = 4096;

std::string_view View(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// With entity substitution off, libxml2 hands attribute values over with every "&"
// written as "&#38;" (its DOM builder decodes them again).
std::string DecodeAttributeValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw.compare(i, 5, "&#38;") == 0) {
            out += '&';
            i += 4;
        } else {
            out += raw[i];
        }
    }
    return out;
}

class Parser {
public:
    explicit Parser(XmlEventSink& sink) : sink_(sink) {}

    XmlEventSink& sink_;
    xmlParserCtxtPtr context = nullptr;
    XmlNodeKind runKind = XmlNodeKind::Text;
    bool inRun = false;
    std::string run;
    bool undeclaredEntity = false;
    int depth = 0;
    bool flattened = false;
    std::string firstError;

    void Flush() {
        if (!inRun) return;
        inRun = false;
        sink_.Node(runKind, run);
        run.clear();
        CheckStop();
    }
    void Append(XmlNodeKind kind, const xmlChar* data, int length) {
        if (inRun && runKind != kind) Flush();
        inRun = true;
        runKind = kind;
        run.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    }
    void CheckStop() {
        if (sink_.stop && context) xmlStopParser(context);
    }

    static Parser& Of(void* userData) {
        auto* context = static_cast<xmlParserCtxtPtr>(userData);
        return *static_cast<Parser*>(context->_private);
    }
    static Parser* OrNull(void* userData) {
        auto* context = static_cast<xmlParserCtxtPtr>(userData);
        return context ? static_cast<Parser*>(context->_private) : nullptr;
    }

    static void OnStart(void* userData, const xmlChar* local, const xmlChar* prefix,
                        const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                        int attributeCount, int, const xmlChar** attributes) {
        Parser& self = Of(userData);
        self.Flush();
        if (self.sink_.stop) return;
        if (++self.depth > kMaxDepth) {
            self.flattened = true;
            if (self.depth > kRefusedDepth) {
                if (self.firstError.empty())
                    self.firstError = "elements nested deeper than " + std::to_string(kRefusedDepth);
                xmlStopParser(self.context);
            }
            return;
        }
        XmlElementStart element;
        element.local = View(local);
        element.prefix = View(prefix);
        element.ns = View(uri);
        for (int i = 0; i < namespaceCount; ++i)
            element.namespaces.emplace_back(View(namespaces[2 * i]), View(namespaces[2 * i + 1]));
        element.attributes.reserve(static_cast<size_t>(attributeCount));
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + 5 * i;
            XmlAttribute attribute;
            attribute.local = View(a[0]);
            attribute.prefix = View(a[1]);
            attribute.ns = View(a[2]);
            attribute.value = DecodeAttributeValue(std::string_view(
                reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3])));
            element.attributes.push_back(std::move(attribute));
        }
        self.sink_.StartElement(element);
        self.CheckStop();
    }
    static void OnEnd(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
        Parser& self = Of(userData);
        self.Flush();
        if (self.sink_.stop) return;
        if (self.depth-- > kMaxDepth) return;
        self.sink_.EndElement();
        self.CheckStop();
    }
    static void OnCharacters(void* userData, const xmlChar* data, int length) {
        Of(userData).Append(XmlNodeKind::Text, data, length);
    }
    static void OnCdata(void* userData, const xmlChar* data, int length) {
        // A long section may come in several blocks; they make one piece.
        Of(userData).Append(XmlNodeKind::Cdata, data, length);
    }
    static void OnComment(void* userData, const xmlChar* value) {
        Parser& self = Of(userData);
        self.Flush();
        if (self.sink_.stop) return;
        self.sink_.Node(XmlNodeKind::Comment, View(value));
        self.CheckStop();
    }
    static void OnProcessingInstruction(void* userData, const xmlChar*, const xmlChar* data) {
        Parser& self = Of(userData);
        self.Flush();
        if (self.sink_.stop) return;
        self.sink_.Node(XmlNodeKind::ProcessingInstruction, View(data));
        self.CheckStop();
    }
    // Only the predefined entities exist: no document can declare one of its own.
    static xmlEntityPtr OnGetEntity(void*, const xmlChar* name) { return xmlGetPredefinedEntity(name); }
    // Errors come here, never to standard error.
    static void OnError(void* userData, xmlErrorPtr error) {
        Parser* parser = OrNull(userData);
        if (!parser || !error) return;
        Parser& self = *parser;
        if (error->code == XML_ERR_UNDECLARED_ENTITY) self.undeclaredEntity = true;
        // Under a DOCTYPE an unknown entity is only a warning, and the reference is dropped.
        if (error->code == XML_WAR_UNDECLARED_ENTITY) {
            self.undeclaredEntity = true;
            return;
        }
        if (error->domain == XML_FROM_NAMESPACE || error->level < XML_ERR_ERROR) return;
        if (self.firstError.empty()) {
            std::string message = error->message ? error->message : "not well-formed";
            while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
                message.pop_back();
            self.firstError = "line " + std::to_string(error->line) + ": " + message;
        }
    }
};

xmlSAXHandler MakeHandler() {
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = Parser::OnStart;
    handler.endElementNs = Parser::OnEnd;
    handler.characters = Parser::OnCharacters;
    handler.ignorableWhitespace = Parser::OnCharacters;
    handler.cdataBlock = Parser::OnCdata;
    handler.comment = Parser::OnComment;
    handler.processingInstruction = Parser::OnProcessingInstruction;
    handler.getEntity = Parser::OnGetEntity;
    handler.serror = Parser::OnError;
    // No internalSubset, externalSubset, entityDecl or resolveEntity: a DOCTYPE is
    // read past, nothing it names is loaded and no entity it declares exists.
    return handler;
}

// libxml2 reports some encoding problems without a parser context, on its generic
// channel of the calling thread; they are the parse's errors, not standard error's.
void IgnoreGenericError(void*, const char*, ...) {}

struct ContextFree {
    void operator()(xmlParserCtxtPtr context) const {
        // A DOCTYPE with declarations makes libxml2 keep them in a document of its own,
        // which the context does not free.
        if (context->myDoc) xmlFreeDoc(context->myDoc);
        xmlFreeParserCtxt(context);
    }
};

}  // namespace

const std::string* XmlElementStart::Attribute(std::string_view name) const {
    for (const auto& attribute : attributes) {
        if (attribute.ns.empty() && attribute.local == name) return &attribute.value;
    }
    return nullptr;
}

const std::string* XmlElementStart::Attribute(std::string_view nsUri, std::string_view name) const {
    for (const auto& attribute : attributes) {
        if (attribute.ns == nsUri && attribute.local == name) return &attribute.value;
    }
    return nullptr;
}

XmlParseOutcome ParseXmlEvents(std::string_view bytes, bool recover, XmlEventSink& sink) {
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    xmlSAXHandler handler = MakeHandler();
    Parser parser(sink);
    // Everything goes in through chunks, once the context knows the parser: libxml2
    // tells the encoding from the first bytes of the first one.
    const size_t head = 0;
    std::unique_ptr<xmlParserCtxt, ContextFree> context(
        xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr));
    XmlParseOutcome outcome;
    if (!context) {
        outcome.firstError = "out of memory";
        return outcome;
    }
    context->_private = &parser;
    parser.context = context.get();
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | (recover ? XML_PARSE_RECOVER : 0));
    bool stopped = false;
    for (size_t at = head; at < bytes.size(); at += kChunkBytes) {
        const size_t n = std::min(kChunkBytes, bytes.size() - at);
        const int status = xmlParseChunk(context.get(), bytes.data() + at, static_cast<int>(n), 0);
        // A strict parse ends at its first error; a stopped one (the sink, or libxml2's
        // depth limit) at once.
        stopped = sink.stop || context->instate == XML_PARSER_EOF || (status != 0 && !recover);
        if (stopped) break;
    }
    if (!stopped) xmlParseChunk(context.get(), nullptr, 0, 1);
    parser.Flush();
    outcome.wellFormed = context->wellFormed && parser.firstError.empty();
    outcome.clean = outcome.wellFormed && !parser.undeclaredEntity;
    outcome.firstError = parser.firstError;
    outcome.flattened = parser.flattened;
    if (!outcome.clean && outcome.firstError.empty())
        outcome.firstError = parser.undeclaredEntity ? "reference to an undeclared entity"
                                                     : "not well-formed";
    return outcome;
}
