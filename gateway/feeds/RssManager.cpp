#include "RssManager.h"

#include <xercesc/util/PlatformUtils.hpp>

RssManager::RssManager() { XERCES_CPP_NAMESPACE::XMLPlatformUtils::Initialize(); }

RssManager::~RssManager() {
    handlers_.clear();
    XERCES_CPP_NAMESPACE::XMLPlatformUtils::Terminate();
}
