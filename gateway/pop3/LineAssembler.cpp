#include "LineAssembler.h"

void LineAssembler::Feed(std::string_view bytes, std::vector<Line>& out) {
    while (!bytes.empty()) {
        size_t lf = bytes.find('\n');
        std::string_view piece = bytes.substr(0, lf == std::string_view::npos ? bytes.size() : lf + 1);
        bytes.remove_prefix(piece.size());
        bool complete = !piece.empty() && piece.back() == '\n';
        if (discarding_) {
            if (complete) discarding_ = false;
            continue;
        }
        partial_.append(piece);
        if (complete) {
            size_t content = partial_.size() - 1;
            if (content > 0 && partial_[content - 1] == '\r') --content;
            if (content > kMaxLine) {
                out.push_back({std::string(), true});
            } else {
                out.push_back({std::move(partial_), false});
            }
            partial_.clear();
        } else if (partial_.size() > kMaxLine + 1) {
            // Even a CR at the end would leave more than kMaxLine bytes.
            out.push_back({std::string(), true});
            partial_.clear();
            discarding_ = true;
        }
    }
}
