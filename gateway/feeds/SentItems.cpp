// sentitems.xml: the records of items delivered before, read at every download and
// rewritten from the deleted list at QUIT.
#include "RssHandler.h"

#include "FeedFolder.h"
#include "Log.h"
#include "Notifier.h"
#include "ProcessFlags.h"
#include "Trace.h"
#include "XmlParse.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>

#include <cstdio>
#include <memory>

XERCES_CPP_NAMESPACE_USE

namespace {

const char kSaveFailure[] = "データの出力中にエラーが発生しました";

std::string IndexKey(const std::string& subject, const std::string& link) {
    std::string key;
    key.reserve(subject.size() + link.size() + 1);
    key += subject;
    key += '\0';
    key += link;
    return key;
}

// Xerces objects are given back with release(), also when the library throws.
template <typename T>
struct Releaser {
    void operator()(T* object) const { object->release(); }
};
template <typename T>
using Released = std::unique_ptr<T, Releaser<T>>;

bool NameIs(const DOMNode* node, const char* name) {
    return ToUtf8(node->getNodeName()) == name;
}

// Moves an unreadable store aside so that its records are not overwritten by the next
// save, and says so in the log.
void SetAside(const std::string& path, const std::string& url, const std::string& reason) {
    const std::string bad = path + ".bad";
    const bool moved = std::rename(path.c_str(), bad.c_str()) == 0;
    WriteLog("sentitems.xmlを読み込めませんでした。" +
             std::string(moved ? "sentitems.xml.badに移しました。" : "") + "\n" + reason +
             "\nURL: " + url + "\n\n");
    g_feedError = true;
}

}  // namespace

void RssHandler::LoadSentItems() {
    sentItems_.clear();
    sentIndex_.clear();
    const std::string path = FeedFolder() + "sentitems.xml";
    const OptionalXmlFile sent = ParseXmlFileIfPresent(path);
    if (!sent.present) return;
    const DOMElement* root = sent.document ? sent.document->getDocumentElement() : nullptr;
    if (!root || !NameIs(root, "sent-items")) {
        SetAside(path, feed_->url, root ? "ルート要素がsent-itemsではありません。" : sent.error);
        return;
    }
    for (const DOMNode* item = root->getFirstChild(); item; item = item->getNextSibling()) {
        if (!NameIs(item, "item")) continue;
        auto record = std::make_shared<MailData>(enableHtml_);
        for (const DOMNode* c = item->getFirstChild(); c; c = c->getNextSibling()) {
            if (!c->getFirstChild()) continue;
            if (NameIs(c, "subject")) record->SetSubject(FirstChildValue(c));
            else if (NameIs(c, "link")) record->SetLink(FirstChildValue(c));
            else if (NameIs(c, "date")) record->SetDate(FirstChildValue(c));
        }
        sentItems_.push_back(std::move(record));
    }
    IndexSentItems();
}

void RssHandler::IndexSentItems() {
    sentIndex_.clear();
    for (size_t i = 0; i < sentItems_.size(); ++i)
        sentIndex_[IndexKey(sentItems_[i]->GetSubject(), sentItems_[i]->GetLink())].push_back(i);
}

void RssHandler::FileMessage(MailDataPointer message, bool compareDate) {
    message->SetUid(MakeUid(feed_->url, *message));
    // Subject and link always; the date too for Atom entries and for dated RSS items.
    const bool withDate = compareDate || message->HasTime();
    bool delivered = false;
    auto bucket = sentIndex_.find(IndexKey(message->GetSubject(), message->GetLink()));
    if (bucket != sentIndex_.end()) {
        if (!withDate) {
            delivered = true;
        } else {
            const std::string date = message->GetDate();
            for (size_t i : bucket->second) {
                if (sentItems_[i]->GetDate() == date) {
                    delivered = true;
                    break;
                }
            }
        }
    }
    if (delivered) {
        mailbox_->AddDelivered(std::move(message));
    } else {
        mailbox_->AddPending(std::move(message));
    }
}

bool RssHandler::SaveSentItems() {
    const auto& deleted = mailbox_->Deleted();
    if (deleted.empty()) return true;
    // The whole document is made in memory first: only a complete file, written and
    // synced, replaces the old one. A truncated store would bring every delivered item back.
    bool ok = false;
    MemBufFormatTarget target;
    try {
        DOMImplementation* implementation =
            DOMImplementationRegistry::getDOMImplementation(XmlString("Core"));
        if (implementation) {
            auto* ls = static_cast<DOMImplementationLS*>(implementation);
            Released<DOMDocument> document(
                implementation->createDocument(nullptr, XmlString("sent-items"), nullptr));
            DOMElement* root = document->getDocumentElement();
            for (const auto& record : deleted) record->WriteRecord(document.get(), root);
            Released<DOMLSSerializer> writer(ls->createLSSerializer());
            writer->getDomConfig()->setParameter(XMLUni::fgDOMWRTFormatPrettyPrint, true);
            Released<DOMLSOutput> output(ls->createLSOutput());
            output->setEncoding(XmlString("UTF-8"));
            output->setByteStream(&target);
            ok = writer->write(document.get(), output.get());
        }
    } catch (const XMLException& e) {
        Trace("SaveSentItems: " + ToUtf8(e.getMessage()));
        ok = false;
    } catch (const DOMException& e) {
        Trace("SaveSentItems: " + ToUtf8(e.getMessage()));
        ok = false;
    } catch (const OutOfMemoryException&) {
        ok = false;
    }
    if (ok) {
        const std::string_view bytes(reinterpret_cast<const char*>(target.getRawBuffer()),
                                     static_cast<std::size_t>(target.getLen()));
        ok = WriteFileAtomically(FeedFolder() + "sentitems.xml", bytes, /*sync=*/true);
    }
    if (!ok) CurrentNotifier().Show(kSaveFailure, "", Notifier::Icon::None, Notifier::Buttons::Ok);
    return ok;
}
