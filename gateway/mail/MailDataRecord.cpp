// The delivered-item record of a message in sentitems.xml.
#include "MailData.h"

void MailData::WriteRecord(XERCES_CPP_NAMESPACE::DOMDocument*,
                           XERCES_CPP_NAMESPACE::DOMElement*) const {}
