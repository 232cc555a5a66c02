#pragma once

#include <string>
#include <string_view>
#include <vector>

// Cuts the byte stream of a session into command lines. A line ends at LF (CR LF or a
// bare LF) and keeps its line end, so the command sees it as it arrived. Lines may come
// several per receive or split over many.
class LineAssembler {
public:
    static constexpr size_t kMaxLine = 2000;  // bytes before the line end

    struct Line {
        std::string text;
        bool tooLong = false;  // the line is dropped up to its end; text is empty
    };

    // Appends the complete lines found so far to out. A line that grows past kMaxLine
    // is reported once, as soon as that is certain, and its rest is skipped.
    void Feed(std::string_view bytes, std::vector<Line>& out);

private:
    std::string partial_;
    bool discarding_ = false;
};
