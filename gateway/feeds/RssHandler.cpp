#include "RssHandler.h"

#include "InternetSession.h"

RssHandler::RssHandler(std::string url, bool disableMessageBox, bool enableHtml)
    : feed_(std::make_shared<Feed>(Feed{std::move(url), {}})),
      disableMessageBox_(disableMessageBox),
      enableHtml_(enableHtml) {}

void RssHandler::Download(InternetSession&) {}

void RssHandler::SaveSentItems() {}
