#include "RefreshProgress.h"

void RefreshProgress::Report(int done, int total) {
    std::lock_guard lock(mutex_);
    if (sink_ && total > 0) sink_(done < 0 ? 0 : (done > total ? total : done), total);
}

void RefreshProgress::Finished() {
    std::lock_guard lock(mutex_);
    if (sink_) sink_(0, 0);
}

void RefreshProgress::Listen(Sink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}
